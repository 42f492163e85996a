#include "data/Recordset.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Statement.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <sqlite3.h>

namespace db {

namespace {

QString QuoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QVariant ConvertForColumn(const QString& column, bool integerColumn, const QString& text) {
    if (!integerColumn)
        return QVariant(text);
    if (text.isEmpty())
        return QVariant();
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    bool fits = false;
    const qint64 number = text.toLongLong(&fits);
    if (!wholeNumber.match(text).hasMatch() || !fits)
        throw ConversionError(column, text);
    return QVariant(number);
}

bool IsIntegerType(const QString& declaredType) {
    return declaredType.contains(QLatin1String("INT"), Qt::CaseInsensitive);
}

} // namespace

Recordset::Recordset() = default;

Recordset::~Recordset() {
    try {
        Close();
    } catch (...) {
        // Closing only rolls back and releases; nothing is left to report to.
    }
}

void Recordset::Open(const QString& source, Connection& connection, int, int lockType, long) {
    if (IsOpen())
        throw Error(SQLITE_MISUSE, QStringLiteral("the result set is already open"));
    auto statement = std::make_unique<Statement>(connection.Handle(), source);
    const int count = statement->ColumnCount();
    for (int i = 0; i < count; ++i) {
        columns_.append(statement->ColumnName(i));
        columnIndexLower_.insert(columns_.last().toLower(), i);
        integerColumn_.append(IsIntegerType(statement->DeclaredType(i)));
    }
    connection_ = &connection;
    connection.RegisterRecordset(this);
    updatable_ = lockType == adLockPessimistic || lockType == adLockOptimistic;
    if (!updatable_) {
        live_ = std::move(statement);
        atEnd_ = !live_->Step();
        if (atEnd_)
            FinishLive();
        return;
    }
    while (statement->Step()) {
        QVector<QVariant> row(count);
        for (int i = 0; i < count; ++i)
            row[i] = statement->Column(i);
        rows_.append(row);
    }
    for (int i = 0; i < count; ++i) {
        const QString table = statement->TableName(i);
        if (i == 0)
            table_ = table;
        else if (table != table_)
            table_.clear();
    }
    if (!table_.isEmpty()) {
        for (int i = 0; i < count; ++i) {
            const QByteArray table = table_.toUtf8();
            const QByteArray column = columns_[i].toUtf8();
            const char* type = nullptr;
            int primaryKey = 0;
            if (sqlite3_table_column_metadata(connection.Handle(), nullptr, table.constData(),
                                              column.constData(), &type, nullptr, nullptr,
                                              &primaryKey, nullptr) == SQLITE_OK &&
                primaryKey != 0 &&
                QString::fromUtf8(type).compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
                keyColumn_ = i;
        }
    }
    dirty_.fill(false, count);
    position_ = 0;
    atEnd_ = rows_.isEmpty();
}

QVariant Recordset::Field(const QString& column) const {
    const int index = ColumnIndex(column);
    RequireCurrentRow();
    if (live_)
        return live_->Column(index);
    return rows_[position_][index];
}

void Recordset::SetField(const QString& column, const QString& text) {
    RequireUpdatable();
    const int index = ColumnIndex(column);
    RequireCurrentRow();
    if (index == keyColumn_)
        throw Error(SQLITE_CONSTRAINT,
                    QStringLiteral("column %1 is assigned by the store").arg(columns_[index]));
    const QVariant value = ConvertForColumn(columns_[index], integerColumn_[index], text);
    BeginWrite();
    rows_[position_][index] = value;
    dirty_[index] = true;
}

void Recordset::MoveNext() {
    RequireCurrentRow();
    if (live_) {
        if (!live_->Step()) {
            atEnd_ = true;
            FinishLive();
        }
        return;
    }
    ++position_;
    atEnd_ = position_ >= rows_.size();
}

void Recordset::AddNew() {
    RequireUpdatable();
    if (!atEnd_ && (newRow_ || dirty_.contains(true)))
        Update();
    rows_.append(QVector<QVariant>(columns_.size()));
    position_ = rows_.size() - 1;
    atEnd_ = false;
    newRow_ = true;
    dirty_.fill(false);
}

void Recordset::Update() {
    RequireUpdatable();
    RequireCurrentRow();
    if (!newRow_ && !dirty_.contains(true))
        return;
    BeginWrite();
    // Stored or not, the write ends here; a failed one is rolled back.
    const auto endWrite = qScopeGuard([this] { write_.reset(); });
    StoreRow();
    write_->commit();
    newRow_ = false;
    dirty_.fill(false);
}

void Recordset::Close() {
    write_.reset();
    live_.reset();
    if (connection_ != nullptr)
        connection_->UnregisterRecordset(this);
    connection_ = nullptr;
    columns_.clear();
    columnIndexLower_.clear();
    integerColumn_.clear();
    rows_.clear();
    dirty_.clear();
    atEnd_ = true;
    updatable_ = false;
    newRow_ = false;
    table_.clear();
    keyColumn_ = -1;
}

void Recordset::TakeSnapshot() {
    if (!live_)
        return;
    rows_.clear();
    position_ = 0;
    if (!atEnd_) {
        rows_.append(ReadLiveRow());
        while (live_->Step())
            rows_.append(ReadLiveRow());
    }
    FinishLive();
}

void Recordset::ForgetConnection() {
    TakeSnapshot();
    write_.reset();
    connection_ = nullptr;
}

int Recordset::ColumnIndex(const QString& column) const {
    // A scan of the few names as spelled is much cheaper than hashing the name on every read.
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i] == column)
            return i;
    const auto found = columnIndexLower_.constFind(column.toLower());
    if (found == columnIndexLower_.constEnd())
        throw Error(SQLITE_ERROR, QStringLiteral("no column named %1").arg(column));
    return found.value();
}

void Recordset::RequireCurrentRow() const {
    if (atEnd_)
        throw Error(SQLITE_MISUSE, QStringLiteral("there is no current row"));
}

void Recordset::RequireUpdatable() const {
    if (!updatable_ || connection_ == nullptr)
        throw Error(SQLITE_READONLY, QStringLiteral("the result set is read-only"));
    if (table_.isEmpty())
        throw Error(SQLITE_READONLY, QStringLiteral("the result set does not come from one table"));
}

QVector<QVariant> Recordset::ReadLiveRow() const {
    QVector<QVariant> row(columns_.size());
    for (int i = 0; i < row.size(); ++i)
        row[i] = live_->Column(i);
    return row;
}

void Recordset::FinishLive() {
    // Done with the statement: release it so its read lock goes too.
    live_.reset();
}

void Recordset::BeginWrite() {
    if (write_)
        return;
    connection_->DetachReaders();
    write_.emplace(*connection_, Transaction::Begin::Immediate);
}

void Recordset::StoreRow() {
    QStringList names;
    QVariantList values;
    for (int i = 0; i < columns_.size(); ++i) {
        if (dirty_[i]) {
            names.append(QuoteIdentifier(columns_[i]));
            values.append(rows_[position_][i]);
        }
    }
    sqlite3* handle = connection_->Handle();
    const QString table = QuoteIdentifier(table_);
    if (newRow_) {
        QString sql =
            names.isEmpty()
                ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(table, names.join(QLatin1Char(',')),
                           QStringList(names.size(), QStringLiteral("?")).join(QLatin1Char(',')));
        Statement insert(handle, sql);
        for (int i = 0; i < values.size(); ++i)
            insert.Bind(i + 1, values[i]);
        insert.Step();
        if (keyColumn_ >= 0)
            rows_[position_][keyColumn_] =
                QVariant(static_cast<qint64>(sqlite3_last_insert_rowid(handle)));
        return;
    }
    if (keyColumn_ < 0)
        throw Error(SQLITE_READONLY, QStringLiteral("the result set has no key to store by"));
    Statement update(handle,
                     QStringLiteral("UPDATE %1 SET %2 WHERE %3=?")
                         .arg(table, names.join(QStringLiteral("=?,")) + QStringLiteral("=?"),
                              QuoteIdentifier(columns_[keyColumn_])));
    for (int i = 0; i < values.size(); ++i)
        update.Bind(i + 1, values[i]);
    update.Bind(values.size() + 1, rows_[position_][keyColumn_]);
    update.Step();
    if (sqlite3_changes(handle) == 0)
        throw Error(SQLITE_NOTFOUND, QStringLiteral("the row is no longer in the table"));
}

} // namespace db
