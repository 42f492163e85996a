#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

namespace db {
class Connection;
}

// The engine the data-layer and screen tests run on: the encrypted file, or the server whose
// libpq connection string is in ORVANDEL_TEST_SERVER when ORVANDEL_TEST_ENGINE is "server". The
// test command starts a throw-away server for them; without one, the server runs fail.
bool OnServer();

// What one run of the database tool gave.
struct ToolRun {
    int exitCode;
    QString out;
    QString err;
};
// Runs the built database tool on the given system directory and waits for it.
ToolRun RunTool(const QString& systemDir, const QStringList& arguments);
QString TestServer();
// Whether the test command gave the test server; a test that needs it fails without it, saying so:
// QVERIFY2(HasTestServer(), kNeedsTestServer).
bool HasTestServer();
inline constexpr char kNeedsTestServer[] = "needs the test server's connection string in "
                                           "ORVANDEL_TEST_SERVER (scripts/test.sh starts one)";
// The test server as a URI (postgresql://user@host:port/dbname), with the password in it when
// one is given; empty without a test server.
QString TestServerUri(const QString& password = QString());

// A private system directory for one test: ORVANDEL_SYSTEM_DIR points at it while it lives.
class SystemDirFixture {
public:
    explicit SystemDirFixture(const QString& subPath = QString());
    ~SystemDirFixture();
    QString path() const { return path_; }
    QString databasePath() const;
    // Makes an empty directory on the engine under test and leaves `connection` open on it: the
    // keyed file, or on the server a new table, with server.conf written so that start-up and
    // the tool find it.
    void CreateDatabase(db::Connection& connection) const;
    // Opens one more connection on the directory, as another desk would.
    void OpenAnother(db::Connection& connection) const;
    // The connection string that start-up would use for this directory.
    QString connectionString() const;
    // Runs statements in another program, as an office might: the engine's own shell on the
    // file, psql on a server. Returns what went wrong; empty when they ran.
    QString RunOtherProgram(const QString& sql) const;

private:
    QTemporaryDir root_;
    QString path_;
    QByteArray previous_;
};

// A PostgreSQL server of a suite's own, started by the test server script: stopping it, or
// changing its settings, leaves the other suites' server alone. Stopped and removed when it goes.
class PrivateServer {
public:
    PrivateServer() = default;
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;
    // Starts it and returns its connection string; on failure, the script's error.
    bool Start(QString* result);
    // Stops it, or waits until a stop already under way is done; the data stays.
    bool Halt(const QString& mode, QString* error);
    bool Resume(QString* error);
    // The folder of its data, logs and socket.
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QString conninfo_;
};

// Adds one company with the given column values (other columns null) and returns its id.
qint64 InsertCompany(db::Connection& connection, const QMap<QString, QVariant>& values);
// Reads one column of one row straight from the table, for checking what was stored.
QVariant StoredValue(db::Connection& connection, qint64 id, const QString& column);
qint64 RowCount(db::Connection& connection);
// Caps the directory file at the pages it has now, so that anything needing one more page finds
// the disk full.
void FillTheDisk(db::Connection& connection);

// Files that must not be taken for the directory. MakeBadFile puts one of these kinds at `path`:
// "zero bytes", "no table", "missing column", "damaged pages", "text file", "plain database",
// "wrong key", "directory", "newer layout" (a sound file of a newer program's layout version).
QStringList BadFileKinds();
void MakeBadFile(const QString& kind, const QString& path);
// The bytes of a file, as a hash; "no file" for anything that is not a regular file.
QByteArray FileHash(const QString& path);

// Writes system.reg into `directory` with, below HKEY_LOCAL_MACHINE\SOFTWARE\Test, a value "Long"
// of `bytes` bytes in continued hex lines as the registry editor exports them, followed by a
// short text value "After" = "found".
void WriteLongRegistryValue(const QString& directory, qint64 bytes);

// The test display, for the tests that run the real program (they need DISPLAY).
class QProcess;
// Runs xdotool and gives what it printed, trimmed; empty when it failed, as it does for a window
// that went away between two calls.
QString Xdotool(const QStringList& arguments);
// The ids of the started program's visible windows.
QStringList VisibleWindows(const QProcess& program);
// A window's size as the display has it: "787x586".
QString WindowSize(const QString& window);
// For a failure message: whether the program still runs, else how it ended, and what it wrote
// to its standard error.
QString ProgramState(QProcess& program);
