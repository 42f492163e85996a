#include "data/Connection.h"

#include "data/ConnectionString.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "data/Statement.h"

#include <QFile>
#include <sqlite3.h>

namespace db {

namespace {
const QString kEmbeddedDriver = QStringLiteral("microsoft access driver (*.mdb)");
}

Connection::Connection() = default;

Connection::~Connection() {
    const QList<Recordset*> open = recordsets_;
    for (Recordset* recordset : open)
        recordset->ForgetConnection();
    sqlite3_close_v2(handle_);
}

void Connection::Open(const QString& connectionString, const QString& userId,
                      const QString& password, long) {
    const ConnectionString parsed = ConnectionString::Parse(connectionString);
    if (parsed.Value(QStringLiteral("driver")).toLower() != kEmbeddedDriver)
        throw Error(SQLITE_ERROR, QStringLiteral("unsupported driver \"%1\"")
                                      .arg(parsed.Value(QStringLiteral("driver"))));
    const QString path = parsed.Value(QStringLiteral("dbq"));
    if (path.isEmpty())
        throw Error(SQLITE_ERROR, QStringLiteral("the connection string names no file (dbq)"));
    if (!userId.isEmpty())
        throw Error(SQLITE_AUTH, QStringLiteral("the store has no user accounts"));
    OpenFile(path, password);
}

void Connection::OpenFile(const QString& path, const QString& password, bool create) {
    if (IsOpen())
        throw Error(SQLITE_MISUSE, QStringLiteral("the connection is already open"));
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* handle = nullptr;
    const QByteArray encodedPath = QFile::encodeName(path);
    int rc = sqlite3_open_v2(encodedPath.constData(), &handle, flags, nullptr);
    try {
        if (rc != SQLITE_OK)
            ThrowEngineError(handle, rc);
        if (!password.isEmpty()) {
            const QByteArray key = password.toUtf8();
            rc = sqlite3_key(handle, key.constData(), key.size());
            if (rc != SQLITE_OK)
                ThrowEngineError(handle, rc);
        }
        // The key is only checked when a page is read: probe once so that a refused key, a plain
        // file or one that is no database fails here.
        Statement probe(handle, QStringLiteral("SELECT count(*) FROM sqlite_master"));
        probe.Step();
    } catch (...) {
        sqlite3_close_v2(handle);
        throw;
    }
    handle_ = handle;
    sqlite3_busy_timeout(handle_, busyTimeoutMs_);
    Exec(handle_, QStringLiteral("PRAGMA journal_mode=DELETE"));
    Exec(handle_, QStringLiteral("PRAGMA synchronous=FULL"));
}

void Connection::Execute(const QString& commandText, long) {
    Statement statement(Handle(), commandText);
    if (!statement.IsReadOnly())
        DetachReaders();
    while (statement.Step()) {
    }
}

void Connection::SetBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = milliseconds;
    if (handle_ != nullptr)
        sqlite3_busy_timeout(handle_, milliseconds);
}

sqlite3* Connection::Handle() const {
    if (handle_ == nullptr)
        throw Error(SQLITE_MISUSE, QStringLiteral("the connection is not open"));
    return handle_;
}

void Connection::DetachReaders() {
    for (Recordset* recordset : recordsets_)
        recordset->TakeSnapshot();
}

void Connection::RegisterRecordset(Recordset* recordset) {
    if (!recordsets_.contains(recordset))
        recordsets_.append(recordset);
}

void Connection::UnregisterRecordset(Recordset* recordset) {
    recordsets_.removeAll(recordset);
}

} // namespace db
