#include "data/Connection.h"

#include "data/ConnectionString.h"
#include "data/DbError.h"
#include "data/Engine.h"
#include "data/PgEngine.h"
#include "data/Recordset.h"
#include "data/SearchKey.h"
#include "data/SqliteEngine.h"

namespace db {

namespace {
const QString kEmbeddedDriver = QStringLiteral("microsoft access driver (*.mdb)");
const QString kServerDriver = QStringLiteral("postgresql");
} // namespace

Connection::Connection() = default;

Connection::~Connection() {
    Close();
}

void Connection::Close() {
    const QList<Recordset*> open = recordsets_;
    for (Recordset* recordset : open)
        recordset->ForgetConnection();
    recordsets_.clear();
    engine_.reset();
}

void Connection::Open(const QString& connectionString, const QString& userId,
                      const QString& password, long, FileMode mode) {
    const ConnectionString parsed = ConnectionString::Parse(connectionString);
    const QString driver = parsed.Value(QStringLiteral("driver"));
    if (driver.toLower() == kServerDriver) {
        // The server's own accounts and password files decide who may log in; the file's
        // password is not the server's.
        const QString server = parsed.Value(QStringLiteral("server"));
        if (server.isEmpty())
            throw Error(ErrorKind::Misuse,
                        QStringLiteral("the connection string names no server (server)"));
        if (IsOpen())
            throw Error(ErrorKind::Misuse, QStringLiteral("the connection is already open"));
        Adopt(std::make_unique<PgEngine>(server, busyTimeoutMs_));
        return;
    }
    if (driver.toLower() != kEmbeddedDriver)
        throw Error(ErrorKind::Misuse, QStringLiteral("unsupported driver \"%1\"").arg(driver));
    const QString path = parsed.Value(QStringLiteral("dbq"));
    if (path.isEmpty())
        throw Error(ErrorKind::Misuse, QStringLiteral("the connection string names no file (dbq)"));
    if (!userId.isEmpty())
        throw Error(ErrorKind::AuthRefused, QStringLiteral("the store has no user accounts"));
    OpenFile(path, password, mode);
}

void Connection::OpenFile(const QString& path, const QString& password, FileMode mode) {
    if (IsOpen())
        throw Error(ErrorKind::Misuse, QStringLiteral("the connection is already open"));
    Adopt(std::make_unique<SqliteEngine>(path, password, mode, busyTimeoutMs_));
}

void Connection::Adopt(std::unique_ptr<Engine> engine) {
    engine_ = std::move(engine);
    InstallBeforeCommit();
}

void Connection::InstallBeforeCommit() {
    buildKeys_ = searchkey::PendingKeyBuilder();
    engine_->SetBeforeCommit([gate = commitGate_, buildKeys = buildKeys_](Engine& engine) {
        if (gate)
            gate();
        buildKeys(engine);
    });
}

void Connection::BuildPendingKeys() {
    buildKeys_(engine());
}

void Connection::SetCommitGate(std::function<void()> gate) {
    commitGate_ = std::move(gate);
    if (engine_)
        InstallBeforeCommit();
}

void Connection::Execute(const QString& commandText, long) {
    Engine& target = engine();
    DetachReaders();
    target.Execute(commandText);
    // The statement may have made or dropped the table of search keys.
    InstallBeforeCommit();
}

qint64 Connection::Delete(const Query& query) {
    Engine& target = engine();
    DetachReaders();
    return target.Delete(query);
}

QList<qint64> Connection::Totals(const Query& query) {
    Engine& target = engine();
    DetachReaders();
    return target.Totals(query);
}

bool Connection::IsServer() const {
    return engine().IsServer();
}

bool Connection::MayWrite(const QString& table) const {
    return engine().MayWrite(table);
}

QString Connection::ServerName() const {
    return engine_ && engine_->IsServer() ? engine_->Location() : QString();
}

void Connection::SetBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = milliseconds;
    if (engine_)
        engine_->SetBusyTimeout(milliseconds);
}

Engine& Connection::engine() const {
    if (!engine_)
        throw Error(ErrorKind::Misuse, QStringLiteral("the connection is not open"));
    return *engine_;
}

void Connection::DetachReaders() {
    for (Recordset* recordset : recordsets_)
        recordset->TakeSnapshot();
}

void Connection::PrepareForQuery() {
    if (engine().OneStatementAtATime())
        DetachReaders();
}

void Connection::RegisterRecordset(Recordset* recordset) {
    if (!recordsets_.contains(recordset))
        recordsets_.append(recordset);
}

void Connection::UnregisterRecordset(Recordset* recordset) {
    recordsets_.removeAll(recordset);
}

} // namespace db
