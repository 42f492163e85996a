#pragma once

#include <QList>
#include <QString>
#include <memory>

struct sqlite3;

namespace db {

class Engine;
class Recordset;

// One connection to the directory: the encrypted file, or a server. Errors are thrown as
// db::Error.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens what the connection string names. Its driver picks the engine: the desktop database
    // driver means the encrypted file named by dbq, keyed with the password; "PostgreSQL" means
    // the server named by server (a libpq connection string or URI), whose own password files
    // give the password.
    void Open(const QString& connectionString, const QString& userId, const QString& password,
              long options = -1);
    // Opens a file by path; with create, a missing file is made, keyed, empty.
    void OpenFile(const QString& path, const QString& password, bool create = false);
    // Runs one statement; whatever rows it returns are dropped.
    void Execute(const QString& commandText, long options = -1);

    bool IsOpen() const { return engine_ != nullptr; }
    // How long a write waits for a lock held elsewhere before it fails.
    void SetBusyTimeout(int milliseconds);

    // For the result-set layer and the database tool.
    Engine& engine() const;
    // The file's own handle, for the tool and the benchmark; throws when no file is open.
    sqlite3* Handle() const;
    // Read-only result sets still reading their statement are turned into snapshots before
    // this connection writes, so that what they return does not change under them, and before
    // an engine that runs one statement at a time runs another.
    void DetachReaders();
    // Called before a result set opens a statement.
    void PrepareForQuery();
    void RegisterRecordset(Recordset* recordset);
    void UnregisterRecordset(Recordset* recordset);

private:
    void Adopt(std::unique_ptr<Engine> engine);

    std::unique_ptr<Engine> engine_;
    int busyTimeoutMs_ = 3000;
    QList<Recordset*> recordsets_;
};

} // namespace db
