#include "data/SqliteEngine.h"

#include "data/DbError.h"
#include "data/Statement.h"

#include <QFile>
#include <memory>
#include <sqlite3.h>

namespace db {

namespace {

bool IsIntegerType(const QString& declaredType) {
    return declaredType.contains(QLatin1String("INT"), Qt::CaseInsensitive);
}

QString Placeholders(int count) {
    return QStringList(count, QStringLiteral("?")).join(QLatin1Char(','));
}

QStringList Quoted(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names)
        quoted.append(QuoteIdentifier(name));
    return quoted;
}

// With a write-ahead log a reader never blocks a save, in this process or another: a fill paused
// under a message box, or another program reading, no longer makes every other copy's save fail.
// Each commit is still on disk when it returns (synchronous=FULL).
void UseWriteAheadLog(sqlite3* handle) {
    Statement mode(handle, QStringLiteral("PRAGMA journal_mode=WAL"));
    const QString result = mode.Step() ? mode.Column(0).toString() : QString();
    if (result.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        throw Error(
            SQLITE_CANTOPEN,
            QStringLiteral("the file cannot keep a write-ahead log (journal mode %1)").arg(result));
}

class SqliteRowStream : public RowStream {
public:
    SqliteRowStream(sqlite3* handle, const QString& sql) : statement_(handle, sql) {}
    int ColumnCount() const override { return statement_.ColumnCount(); }
    QString ColumnName(int column) const override { return statement_.ColumnName(column); }
    bool IsIntegerColumn(int column) const override {
        return IsIntegerType(statement_.DeclaredType(column));
    }
    bool Next() override { return statement_.Step(); }
    QVariant Value(int column) const override { return statement_.Column(column); }
    QByteArrayView Text(int column) const override { return statement_.ColumnText(column); }
    const Statement& statement() const { return statement_; }

private:
    Statement statement_;
};

} // namespace

SqliteEngine::SqliteEngine(const QString& path, const QString& password, bool create,
                           int busyTimeoutMs) {
    // One thread uses a connection: the engine's per-call mutex would only cost time.
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* opened = nullptr;
    const QByteArray encodedPath = QFile::encodeName(path);
    const int rc = sqlite3_open_v2(encodedPath.constData(), &opened, flags, nullptr);
    // Closed on every failure below; kept only once the connection is fully set up.
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> handle(opened, sqlite3_close_v2);
    if (rc != SQLITE_OK)
        ThrowEngineError(opened, rc);
    // Before the first read: a lock held elsewhere for a moment is waited for, as a save does.
    sqlite3_busy_timeout(opened, busyTimeoutMs);
    if (!password.isEmpty()) {
        const QByteArray key = password.toUtf8();
        const int keyRc = sqlite3_key(opened, key.constData(), key.size());
        if (keyRc != SQLITE_OK)
            ThrowEngineError(opened, keyRc);
        // The file is in the 3.x format; later engine versions read it only when told so (this
        // one ignores the setting).
        Exec(opened, QStringLiteral("PRAGMA cipher_compatibility = 3"));
    }
    // The key is only checked when a page is read: probe once so that a refused key, a plain
    // file or one that is no database fails here.
    Exec(opened, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    UseWriteAheadLog(opened);
    Exec(opened, QStringLiteral("PRAGMA synchronous=FULL"));
    handle_ = handle.release();
}

SqliteEngine::~SqliteEngine() {
    sqlite3_close_v2(handle_);
}

void SqliteEngine::Execute(const QString& sql) {
    Exec(handle_, sql);
}

std::unique_ptr<RowStream> SqliteEngine::Query(const QString& sql) {
    return std::make_unique<SqliteRowStream>(handle_, sql);
}

RowSource SqliteEngine::SourceOf(const RowStream& stream) {
    const Statement& statement = static_cast<const SqliteRowStream&>(stream).statement();
    RowSource source;
    const int count = statement.ColumnCount();
    for (int i = 0; i < count; ++i) {
        const QString table = statement.TableName(i);
        if (i == 0)
            source.table = table;
        else if (table != source.table)
            source.table.clear();
    }
    if (source.table.isEmpty())
        return source;
    const QByteArray table = source.table.toUtf8();
    for (int i = 0; i < count; ++i) {
        const QByteArray column = statement.ColumnName(i).toUtf8();
        const char* type = nullptr;
        int primaryKey = 0;
        if (sqlite3_table_column_metadata(handle_, nullptr, table.constData(), column.constData(),
                                          &type, nullptr, nullptr, &primaryKey,
                                          nullptr) == SQLITE_OK &&
            primaryKey != 0 &&
            QString::fromUtf8(type).compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
            source.keyColumn = i;
    }
    return source;
}

void SqliteEngine::Begin(bool immediate) {
    Exec(handle_, immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
}

void SqliteEngine::LockRow(const QString&, const QString&, const QVariant&) {
    // The file has one write lock, taken when the transaction began; it covers every row.
}

QVariant SqliteEngine::Insert(const QString& table, const QStringList& columns,
                              const QVariantList& values, const QString& keyColumn) {
    InsertRows(table, columns, {values}, keyColumn);
    return QVariant(static_cast<qint64>(sqlite3_last_insert_rowid(handle_)));
}

bool SqliteEngine::UpdateRow(const QString& table, const QStringList& columns,
                             const QVariantList& values, const QString& keyColumn,
                             const QVariant& key) {
    return UpdateRows(table, columns, {values + QVariantList{key}}, keyColumn) != 0;
}

void SqliteEngine::InsertRows(const QString& table, const QStringList& columns,
                              const QList<QVariantList>& rows, const QString&) {
    const QString sql =
        columns.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(QuoteIdentifier(table))
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(QuoteIdentifier(table), Quoted(columns).join(QLatin1Char(',')),
                       Placeholders(columns.size()));
    Statement insert(handle_, sql);
    for (const QVariantList& values : rows) {
        for (int i = 0; i < values.size(); ++i)
            insert.Bind(i + 1, values[i]);
        insert.Step();
        insert.Reset();
    }
}

qint64 SqliteEngine::UpdateRows(const QString& table, const QStringList& columns,
                                const QList<QVariantList>& rows, const QString& keyColumn) {
    Statement update(handle_,
                     QStringLiteral("UPDATE %1 SET %2=? WHERE %3=?")
                         .arg(QuoteIdentifier(table), Quoted(columns).join(QStringLiteral("=?,")),
                              QuoteIdentifier(keyColumn)));
    qint64 changed = 0;
    for (const QVariantList& values : rows) {
        for (int i = 0; i < values.size(); ++i)
            update.Bind(i + 1, values[i]);
        update.Step();
        changed += sqlite3_changes(handle_);
        update.Reset();
    }
    return changed;
}

bool SqliteEngine::InTransaction() const {
    return sqlite3_get_autocommit(handle_) == 0;
}

void SqliteEngine::Commit() {
    Exec(handle_, QStringLiteral("COMMIT"));
}

void SqliteEngine::Rollback() {
    // The engine may have rolled back on its own already (for example on a full disk).
    if (InTransaction())
        Exec(handle_, QStringLiteral("ROLLBACK"));
}

void SqliteEngine::SetBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(handle_, milliseconds);
}

} // namespace db
