#pragma once

#include <QList>
#include <QString>

struct sqlite3;

namespace db {

class Recordset;

// One connection to the encrypted directory file. Errors are thrown as db::Error.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the file named by the connection string's dbq, keyed with the password. The driver must
    // be the desktop database driver, which this embedded engine stands in for. Never creates a
    // file.
    void Open(const QString& connectionString, const QString& userId, const QString& password,
              long options = -1);
    // Opens a file by path; with create, a missing file is made, keyed, empty.
    void OpenFile(const QString& path, const QString& password, bool create = false);
    // Runs one statement; whatever rows it returns are dropped.
    void Execute(const QString& commandText, long options = -1);

    bool IsOpen() const { return handle_ != nullptr; }
    // How long a write waits for a lock held elsewhere before it fails.
    void SetBusyTimeout(int milliseconds);

    // For the result-set layer and the database tool.
    sqlite3* Handle() const;
    // Read-only result sets still stepping a statement are turned into snapshots before this
    // connection writes, so that what they return does not change under them.
    void DetachReaders();
    void RegisterRecordset(Recordset* recordset);
    void UnregisterRecordset(Recordset* recordset);

private:
    sqlite3* handle_ = nullptr;
    int busyTimeoutMs_ = 3000;
    QList<Recordset*> recordsets_;
};

} // namespace db
