#pragma once

#include "data/Engine.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace db {

class Engine;
class Recordset;
struct Query;

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
    // A file is opened as the mode says; a server always for reading and writing.
    void Open(const QString& connectionString, const QString& userId, const QString& password,
              long options = -1, FileMode mode = FileMode::ReadWrite);
    // Opens a file by path.
    void OpenFile(const QString& path, const QString& password,
                  FileMode mode = FileMode::ReadWrite);
    // Runs one statement of the program's own fixed text; whatever rows it returns are dropped.
    void Execute(const QString& commandText, long options = -1);
    // Deletes the rows the query's conditions match; returns how many there were.
    qint64 Delete(const Query& query);
    // How many rows the query's conditions match, then the sum of each of its columns over them.
    QList<qint64> Totals(const Query& query);

    // Ends the session; result sets still open keep what they read.
    void Close();
    bool IsOpen() const { return engine_ != nullptr; }
    // A server shared by many desks, rather than the local file.
    bool IsServer() const;
    // The server's host and database, for messages; empty on the file.
    QString ServerName() const;
    // Whether this session's account may add, change and delete the table's rows.
    bool MayWrite(const QString& table) const;
    // What every commit waits for first, kept across a reopening: a check of the file's pages
    // still running, say. It may throw, which refuses the commit; the transaction stays open to
    // be rolled back.
    void SetCommitGate(std::function<void()> gate);
    // How long a write waits for a lock held elsewhere before it fails.
    void SetBusyTimeout(int milliseconds);
    // Builds the search keys of the rows written so far in this transaction, which the commit
    // would otherwise build: a long write (an import) calls it as it goes, while those rows'
    // pages are still in memory.
    void BuildPendingKeys();

    // For the result-set layer and the database tool.
    Engine& engine() const;
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
    void InstallBeforeCommit();

    std::unique_ptr<Engine> engine_;
    std::function<void()> commitGate_;
    std::function<void(Engine&)> buildKeys_;
    int busyTimeoutMs_ = 3000;
    QList<Recordset*> recordsets_;
};

} // namespace db
