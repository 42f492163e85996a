#include "data/SqliteEngine.h"

#include "data/TextOrder.h"

#include "data/DbError.h"
#include "data/History.h"
#include "data/Query.h"
#include "data/SqliteStatement.h"
#include "data/Wait.h"

#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

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
    SqliteStatement mode(handle, QStringLiteral("PRAGMA journal_mode=WAL"));
    const QString result = mode.Step() ? mode.Column(0).toString() : QString();
    if (result.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        throw Error(
            ErrorKind::CannotOpen,
            QStringLiteral("the file cannot keep a write-ahead log (journal mode %1)").arg(result));
}

// Whether another program has the file open. Every connection to a file with a write-ahead log
// holds a shared lock on one byte of the shared-memory file beside it for as long as it is open
// (the engine's "dead man switch", byte 128). Asked before this process opens the file: closing
// the descriptor would drop this process's own locks on it.
bool OpenElsewhere(const QString& path) {
    const QByteArray shm = QFile::encodeName(path + QStringLiteral("-shm"));
    const int fd = ::open(shm.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false; // no shared memory: no one has it open with a log
    flock lock{};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 128;
    lock.l_len = 1;
    const bool held = fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return held;
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
    const SqliteStatement& statement() const { return statement_; }

private:
    SqliteStatement statement_;
};

// Sorting by it computes each row's key once, where a collation would compare texts over and over.
const QString kTextOrderFunction = QStringLiteral("orvandel_text_order");

void TextOrderKey(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    // Decoded here rather than by the engine, whose own conversion costs twice as much.
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    const int bytes = sqlite3_value_bytes(arguments[0]);
    try {
        const QByteArray key = db::TextSortKey(QString::fromUtf8(text, bytes));
        sqlite3_result_blob(context, key.constData(), int(key.size()), SQLITE_TRANSIENT);
    } catch (const Error& error) {
        sqlite3_result_error(context, error.message().toUtf8().constData(), -1);
    }
}

QString Literal(const QVariant& value) {
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
        return QString::number(value.toLongLong());
    QString text = value.toString();
    text.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString ConditionText(const Condition& condition) {
    switch (condition.test) {
    case Condition::Test::Contains: {
        // '%' and '_' in the text stay wildcards, as the user typed them.
        QString text = condition.value.toString();
        text.replace(QLatin1Char('\''), QStringLiteral("''"));
        return condition.column + QStringLiteral(" like '%") + text + QStringLiteral("%'");
    }
    case Condition::Test::In: {
        QStringList numbers;
        for (const QVariant& number : condition.value.toList())
            numbers.append(QString::number(number.toLongLong()));
        return condition.column + QStringLiteral(" in (") + numbers.join(QLatin1Char(',')) +
               QLatin1Char(')');
    }
    case Condition::Test::AtLeast:
    case Condition::Test::AtMost:
        return QStringLiteral("coalesce(%1,0)%2%3")
            .arg(condition.column,
                 condition.test == Condition::Test::AtLeast ? QStringLiteral(">=")
                                                            : QStringLiteral("<="),
                 QString::number(condition.value.toLongLong()));
    case Condition::Test::AllOf:
    case Condition::Test::AnyOf: {
        const bool all = condition.test == Condition::Test::AllOf;
        if (condition.parts.isEmpty())
            return all ? QStringLiteral("1") : QStringLiteral("0");
        QStringList parts;
        for (const Condition& part : condition.parts)
            parts.append(ConditionText(part));
        return QLatin1Char('(') +
               parts.join(all ? QStringLiteral(" and ") : QStringLiteral(" or ")) +
               QLatin1Char(')');
    }
    case Condition::Test::InQuery: {
        // The engine cannot tell how few rows a "like" leaves; told they are few, it looks each
        // one up in the outer table, in key order, instead of reading all of that table too.
        const db::Query& inner = *condition.query;
        db::Query unconditioned = inner;
        unconditioned.where.clear();
        return condition.column + QStringLiteral(" in (") +
               SqliteEngine::SelectText(unconditioned) + QStringLiteral(" where unlikely(") +
               ConditionText(db::AllOf(inner.where)) + QStringLiteral("))");
    }
    case Condition::Test::Equals:
        break;
    }
    return condition.column + QLatin1Char('=') + Literal(condition.value);
}

// One equality alone reads "where id=5"; anything else is written after "where 1=1 ", each
// condition behind " and  ".
QString WhereText(const db::Query& query) {
    if (query.where.size() == 1 && query.where[0].test == Condition::Test::Equals &&
        query.order.isEmpty())
        return QStringLiteral(" where ") + ConditionText(query.where[0]);
    if (query.where.isEmpty() && query.order.isEmpty())
        return QString();
    QString text = QStringLiteral(" where 1=1 ");
    for (const Condition& condition : query.where)
        text += QStringLiteral(" and  ") + ConditionText(condition);
    return text;
}

QString OrderText(const db::Query& query) {
    if (query.order.isEmpty())
        return QString();
    QStringList keys;
    for (const Order& order : query.order)
        keys.append((order.asText ? QStringLiteral("%1(%2)").arg(kTextOrderFunction, order.column)
                                  : order.column) +
                    (order.descending ? QStringLiteral(" desc") : QStringLiteral(" asc")));
    return QStringLiteral(" order by ") + keys.join(QStringLiteral(", ")) + QLatin1Char(' ');
}

} // namespace

SqliteEngine::SqliteEngine(const QString& path, const QString& password, FileMode mode,
                           int busyTimeoutMs)
    : path_(path), password_(password), busyTimeoutMs_(busyTimeoutMs) {
    // The engine would open a folder and fail only at the first read, as an input/output error.
    if (QFileInfo(path).isDir())
        throw Error(ErrorKind::CannotOpen, QStringLiteral("%1 is a folder").arg(path));
    // One thread uses a connection: the engine's per-call mutex would only cost time.
    if (mode == FileMode::Alone && OpenElsewhere(path))
        throw Error(ErrorKind::Busy,
                    QStringLiteral("%1 is open in another program; close it first").arg(path));
    const int access = mode == FileMode::ReadOnly ? SQLITE_OPEN_READONLY
                       : mode == FileMode::Create ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                                  : SQLITE_OPEN_READWRITE;
    const int flags = access | SQLITE_OPEN_NOMUTEX;
    sqlite3* opened = nullptr;
    const QByteArray encodedPath = QFile::encodeName(path);
    const int rc = sqlite3_open_v2(encodedPath.constData(), &opened, flags, nullptr);
    // Closed on every failure below; kept only once the connection is fully set up.
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> handle(opened, sqlite3_close_v2);
    if (rc != SQLITE_OK)
        ThrowSqliteError(opened, rc);
    // Before the first read: a lock held elsewhere for a moment is waited for, as a save does.
    sqlite3_busy_handler(opened, &SqliteEngine::BusyTurn, this);
    if (!password.isEmpty()) {
        const QByteArray key = password.toUtf8();
        const int keyRc = sqlite3_key(opened, key.constData(), key.size());
        if (keyRc != SQLITE_OK)
            ThrowSqliteError(opened, keyRc);
        // The file is in the 3.x format; later engine versions read it only when told so (this
        // one ignores the setting).
        Exec(opened, QStringLiteral("PRAGMA cipher_compatibility = 3"));
    }
    sqlite3_create_function_v2(opened, kTextOrderFunction.toUtf8().constData(), 1,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &TextOrderKey, nullptr,
                               nullptr, nullptr);
    // The key is only checked when a page is read: probe once so that a refused key, a plain
    // file or one that is no database fails here.
    Exec(opened, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    if (mode == FileMode::Alone) {
        // No log left beside the file, and every other program kept out until this one closes.
        Exec(opened, QStringLiteral("PRAGMA journal_mode=DELETE"));
        Exec(opened, QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
        Exec(opened, QStringLiteral("BEGIN EXCLUSIVE"));
    } else if (mode != FileMode::ReadOnly) {
        UseWriteAheadLog(opened);
        Exec(opened, QStringLiteral("PRAGMA synchronous=FULL"));
    }
    if (mode != FileMode::Alone) {
        // A list sorted by a column is sorted in memory, not in temporary files the engine would
        // encrypt page by page; pages are kept for reading below.
        Exec(opened, QStringLiteral("PRAGMA temp_store=MEMORY"));
    }
    handle_ = handle.release();
    if (mode != FileMode::Alone)
        SetPageCacheMegabytes(kReadingCacheMegabytes);
}

SqliteEngine::~SqliteEngine() {
    prepared_.clear();
    sqlite3_close_v2(handle_);
}

void SqliteEngine::NameWriter() {
    if (writerNamed_)
        return;
    if (!hasWriterTable_)
        hasWriterTable_ = TableColumns(history::kWritersTable).has_value();
    if (!*hasWriterTable_)
        return;
    if (!writerId_) {
        SqliteStatement add(handle_, QStringLiteral("INSERT OR IGNORE INTO %1 (who) VALUES (?)")
                                         .arg(history::kWritersTable));
        add.Bind(1, DeskName());
        add.Step();
        SqliteStatement find(
            handle_, QStringLiteral("SELECT id FROM %1 WHERE who=?").arg(history::kWritersTable));
        find.Bind(1, DeskName());
        find.Step();
        writerId_ = find.Column(0).toLongLong();
    }
    SqliteStatement name(handle_, QStringLiteral("UPDATE %1 SET who=?").arg(history::kWriterTable));
    name.Bind(1, *writerId_);
    name.Step();
    writerNamed_ = true;
}

template <typename Write> auto SqliteEngine::Writing(Write write) {
    return InOwnTransaction([&] {
        NameWriter();
        return write();
    });
}

void SqliteEngine::Execute(const QString& sql) {
    // The statement may make or drop the tables, or remove the writer.
    hasWriterTable_.reset();
    writerId_.reset();
    Exec(handle_, sql);
}

std::unique_ptr<RowStream> SqliteEngine::Query(const QString& sql) {
    return std::make_unique<SqliteRowStream>(handle_, sql);
}

std::unique_ptr<RowStream> SqliteEngine::Query(const db::Query& query) {
    return Query(SelectText(query));
}

qint64 SqliteEngine::Delete(const db::Query& query) {
    return Writing([&] {
        Exec(handle_, DeleteText(query));
        return qint64(sqlite3_changes(handle_));
    });
}

QString SqliteEngine::SelectText(const db::Query& query) {
    RequirePlainNames(query);
    const QString columns =
        query.columns.isEmpty() ? QStringLiteral("*") : query.columns.join(QLatin1Char(','));
    return QStringLiteral("select ") + columns + QStringLiteral(" from ") + query.table +
           WhereText(query) + OrderText(query);
}

QString SqliteEngine::TotalsText(const db::Query& query) {
    db::Query filter = query;
    filter.columns.clear();
    filter.order.clear();
    RequirePlainNames(query);
    QStringList sums = {QStringLiteral("count(*)")};
    for (const QString& column : query.columns)
        sums.append(QStringLiteral("coalesce(sum(%1),0)").arg(column));
    for (const Condition& condition : query.counted)
        sums.append(QStringLiteral("count(case when %1 then 1 end)").arg(ConditionText(condition)));
    return QStringLiteral("select ") + sums.join(QLatin1Char(',')) + QStringLiteral(" from ") +
           query.table + WhereText(filter);
}

QList<qint64> SqliteEngine::Totals(const db::Query& query) {
    SqliteStatement statement(handle_, TotalsText(query));
    statement.Step();
    QList<qint64> totals;
    for (int column = 0; column < statement.ColumnCount(); ++column)
        totals.append(statement.Column(column).toLongLong());
    return totals;
}

QString SqliteEngine::DeleteText(const db::Query& query) {
    RequirePlainNames(query);
    if (query.where.isEmpty())
        throw Error(ErrorKind::Misuse, QStringLiteral("a delete names the rows it deletes"));
    return QStringLiteral("delete from ") + query.table + WhereText(query);
}

RowSource SqliteEngine::SourceOf(const RowStream& stream) {
    const SqliteStatement& statement = static_cast<const SqliteRowStream&>(stream).statement();
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
    writerNamed_ = false;
}

void SqliteEngine::LockRow(const QString&, const QString&, const QVariant&) {
    // The file has one write lock, taken when the transaction began; it covers every row.
}

QVariant SqliteEngine::Insert(const QString& table, const QStringList& columns,
                              const QVariantList& values, const QString& keyColumn) {
    return Writing([&] {
        InsertRows(table, columns, {values}, keyColumn);
        return QVariant(static_cast<qint64>(sqlite3_last_insert_rowid(handle_)));
    });
}

bool SqliteEngine::UpdateRow(const QString& table, const QStringList& columns,
                             const QVariantList& values, const QString& keyColumn,
                             const QVariant& key) {
    return UpdateRows(table, columns, {values + QVariantList{key}}, keyColumn) != 0;
}

void SqliteEngine::InsertRows(const QString& table, const QStringList& columns,
                              const QList<QVariantList>& rows, const QString&) {
    Writing([&] {
        InsertEach(table, columns, rows);
        return 0;
    });
}

void SqliteEngine::ReplaceRows(const QString& table, const QStringList& columns,
                               const QList<QVariantList>& rows, const QString&) {
    Writing([&] {
        InsertEach(table, columns, rows, true);
        return 0;
    });
}

// Many rows go in one statement: a statement that fires triggers keeps a journal of the pages it
// changes, encrypted page by page, so that it can be undone alone. One statement a row wrote each
// page it touched to that journal again for every row; one statement for many rows writes it once.
void SqliteEngine::InsertEach(const QString& table, const QStringList& columns,
                              const QList<QVariantList>& rows, bool replace) {
    constexpr int kMostRowsPerStatement = 64;
    const QString verb = replace ? QStringLiteral("INSERT OR REPLACE") : QStringLiteral("INSERT");
    if (columns.isEmpty()) {
        SqliteStatement& insert =
            Prepared(QStringLiteral("%1 INTO %2 DEFAULT VALUES").arg(verb, QuoteIdentifier(table)));
        for (qsizetype row = 0; row < rows.size(); ++row) {
            insert.Step();
            insert.Reset();
        }
        return;
    }
    const int variables = sqlite3_limit(handle_, SQLITE_LIMIT_VARIABLE_NUMBER, -1);
    const int perStatement =
        static_cast<int>(qBound(1, variables / int(columns.size()), kMostRowsPerStatement));
    const QString head =
        QStringLiteral("%1 INTO %2 (%3) VALUES ")
            .arg(verb, QuoteIdentifier(table), Quoted(columns).join(QLatin1Char(',')));
    const QString oneRow = QLatin1Char('(') + Placeholders(columns.size()) + QLatin1Char(')');
    SqliteStatement* insert = nullptr;
    int insertRows = 0;
    for (qsizetype first = 0; first < rows.size(); first += perStatement) {
        const int count = static_cast<int>(qMin<qsizetype>(perStatement, rows.size() - first));
        if (count != insertRows) {
            insert = &Prepared(head + QStringList(count, oneRow).join(QLatin1Char(',')));
            insertRows = count;
        }
        for (int row = 0; row < count; ++row) {
            const QVariantList& values = rows[first + row];
            for (int i = 0; i < values.size(); ++i)
                insert->Bind(row * int(columns.size()) + i + 1, values[i]);
        }
        insert->Step();
        insert->Reset();
    }
}

qint64 SqliteEngine::UpdateRows(const QString& table, const QStringList& columns,
                                const QList<QVariantList>& rows, const QString& keyColumn) {
    return Writing([&] { return UpdateEach(table, columns, rows, keyColumn); });
}

qint64 SqliteEngine::UpdateEach(const QString& table, const QStringList& columns,
                                const QList<QVariantList>& rows, const QString& keyColumn) {
    SqliteStatement& update =
        Prepared(QStringLiteral("UPDATE %1 SET %2=? WHERE %3=?")
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

SqliteStatement& SqliteEngine::Prepared(const QString& sql) {
    // A save names the columns it changed, an import writes rows a batch at a time: a few
    // statements in a session.
    constexpr qsizetype kKept = 32;
    auto found = prepared_.find(sql);
    if (found == prepared_.end()) {
        if (prepared_.size() >= kKept)
            prepared_.clear();
        found = prepared_.insert(sql, std::make_shared<SqliteStatement>(handle_, sql));
    }
    SqliteStatement& statement = **found;
    statement.Reset(); // a step that failed left it where it stopped
    return statement;
}

bool SqliteEngine::InTransaction() const {
    return sqlite3_get_autocommit(handle_) == 0;
}

void SqliteEngine::Commit() {
    BeforeCommit();
    // Another program's transaction after this one finds no writer named.
    if (writerNamed_)
        Exec(handle_, QStringLiteral("UPDATE %1 SET who=NULL").arg(history::kWriterTable));
    writerNamed_ = false;
    Exec(handle_, QStringLiteral("COMMIT"));
}

void SqliteEngine::Rollback() {
    // The engine may have rolled back on its own already (for example on a full disk).
    writerNamed_ = false;
    writerId_.reset(); // it may have been added in this transaction
    if (InTransaction())
        Exec(handle_, QStringLiteral("ROLLBACK"));
}

void SqliteEngine::SetPageCacheMegabytes(int megabytes) {
    Exec(handle_, QStringLiteral("PRAGMA cache_size=-%1").arg(megabytes * 1024));
    pageCacheMegabytes_ = megabytes;
}

void SqliteEngine::SetBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = milliseconds;
}

std::optional<QStringList> SqliteEngine::TableColumns(const QString& table) {
    if (!IsPlainName(table))
        throw Error(ErrorKind::Misuse, QStringLiteral("\"%1\" is no table name").arg(table));
    // This engine's version has no table-valued pragmas to bind the name to.
    SqliteStatement info(handle_,
                         QStringLiteral("PRAGMA table_info(%1)").arg(QuoteIdentifier(table)));
    QStringList names;
    while (info.Step())
        names.append(info.Column(1).toString());
    if (names.isEmpty())
        return std::nullopt;
    return names;
}

int SqliteEngine::SchemaVersion() {
    SqliteStatement version(handle_, QStringLiteral("PRAGMA user_version"));
    return version.Step() ? version.Column(0).toInt() : 0;
}

void SqliteEngine::SetSchemaVersion(int version) {
    // Kept in the file's header, and written with the transaction it is part of.
    Exec(handle_, QStringLiteral("PRAGMA user_version = %1").arg(version));
}

void SqliteEngine::BackUp(const QString& target) {
    if (QFileInfo::exists(target))
        throw Error(ErrorKind::CannotOpen, QStringLiteral("%1 exists already").arg(target));
    const QString partial = target + QStringLiteral(".partial");
    QFile::remove(partial);
    {
        SqliteEngine copy(partial, password_, FileMode::Create, 0);
        sqlite3_backup* backup = sqlite3_backup_init(copy.handle_, "main", handle_, "main");
        if (backup == nullptr)
            ThrowSqliteError(copy.handle_, sqlite3_errcode(copy.handle_));
        int rc = SQLITE_OK;
        // A few pages at a time, so that a save elsewhere waits only a moment; a page changed
        // meanwhile makes the copy start over, so it is always one consistent state.
        while ((rc = sqlite3_backup_step(backup, 256)) == SQLITE_OK || rc == SQLITE_BUSY ||
               rc == SQLITE_LOCKED)
            if (rc != SQLITE_OK)
                sqlite3_sleep(50);
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE) {
            QFile::remove(partial);
            ThrowSqliteError(copy.handle_, rc);
        }
        copy.Settle();
    }
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        throw Error(ErrorKind::CannotOpen, QStringLiteral("cannot write %1").arg(target));
    }
}

int SqliteEngine::BusyTurn(void* engine, int tries) {
    auto* self = static_cast<SqliteEngine*>(engine);
    if (tries == 0)
        self->busySince_.start();
    const qint64 waited = self->busySince_.elapsed();
    if (waited >= self->busyTimeoutMs_) {
        WaitDone();
        return 0; // the lock is reported as busy
    }
    // The file's own limit is the busy time; the user may still stop sooner.
    if (WaitTurn(waited, 0, false) != WaitAnswer::KeepWaiting) {
        WaitDone();
        return 0;
    }
    sqlite3_sleep(5);
    return 1;
}

void SqliteEngine::Settle() {
    // Without the write-ahead log, the file holds everything and opens read-only on its own.
    Exec(handle_, QStringLiteral("PRAGMA journal_mode=DELETE"));
}

QStringList SqliteEngine::CheckPages() {
    QStringList problems;
    try {
        // Checks every page but not the indexes against the rows.
        SqliteStatement check(handle_, QStringLiteral("PRAGMA quick_check"));
        while (check.Step()) {
            const QString line = check.Column(0).toString();
            if (line != QLatin1String("ok"))
                problems.append(QStringLiteral("the file is damaged: %1").arg(line));
        }
    } catch (const Error& error) {
        problems.append(QStringLiteral("the file is damaged: %1").arg(error.details()));
    }
    return problems;
}

} // namespace db
