#include "data/Recordset.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Engine.h"
#include "data/Query.h"

#include <QScopeGuard>

namespace db {

QVariant ConvertForColumn(const QString& column, bool integerColumn, const QString& text) {
    if (!integerColumn)
        return QVariant(text);
    if (text.isEmpty())
        return QVariant();
    // An optional sign and ASCII digits only: no blanks, no other digits, no fraction.
    const qsizetype start = text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-'));
    bool wholeNumber = start < text.size();
    for (qsizetype i = start; wholeNumber && i < text.size(); ++i)
        wholeNumber = text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9');
    bool fits = false;
    const qint64 number = wholeNumber ? text.toLongLong(&fits) : 0;
    if (!fits)
        throw ConversionError(column, text, wholeNumber);
    return QVariant(number);
}

Recordset::Recordset() = default;

Recordset::~Recordset() {
    try {
        Close();
    } catch (...) {
        // Closing only rolls back and releases; nothing is left to report to.
    }
}

void Recordset::Open(const Query& query, Connection& connection, int, int lockType, long) {
    if (IsOpen())
        throw Error(ErrorKind::Misuse, QStringLiteral("the result set is already open"));
    connection.PrepareForQuery();
    Adopt(connection.engine().Query(query), connection, lockType);
}

void Recordset::Open(const QString& source, Connection& connection, int, int lockType, long) {
    if (IsOpen())
        throw Error(ErrorKind::Misuse, QStringLiteral("the result set is already open"));
    connection.PrepareForQuery();
    Adopt(connection.engine().Query(source), connection, lockType);
}

void Recordset::Adopt(std::unique_ptr<RowStream> stream, Connection& connection, int lockType) {
    const int count = stream->ColumnCount();
    for (int i = 0; i < count; ++i) {
        columns_.append(stream->ColumnName(i));
        columnIndexLower_.insert(columns_.last().toLower(), i);
        integerColumn_.append(stream->IsIntegerColumn(i));
    }
    connection_ = &connection;
    connection.RegisterRecordset(this);
    updatable_ = lockType == adLockPessimistic || lockType == adLockOptimistic;
    if (!updatable_) {
        live_ = std::move(stream);
        atEnd_ = !live_->Next();
        if (atEnd_)
            FinishLive();
        return;
    }
    while (stream->Next()) {
        QVector<QVariant> row(count);
        for (int i = 0; i < count; ++i)
            row[i] = stream->Value(i);
        rows_.append(row);
    }
    const RowSource rowSource = connection.engine().SourceOf(*stream);
    table_ = rowSource.table;
    keyColumn_ = rowSource.keyColumn;
    dirty_.fill(false, count);
    position_ = 0;
    atEnd_ = rows_.isEmpty();
}

QVariant Recordset::Field(const QString& column) const {
    const int index = FieldIndex(column);
    RequireCurrentRow();
    if (live_)
        return live_->Value(index);
    return rows_[position_][index];
}

QByteArrayView Recordset::FieldText(int index) const {
    RequireCurrentRow();
    if (index < 0 || index >= columns_.size())
        throw Error(ErrorKind::Misuse, QStringLiteral("no column at position %1").arg(index));
    if (live_)
        return live_->Text(index);
    if (rowText_.isEmpty()) {
        for (const QVariant& value : rows_[position_])
            rowText_.append(Utf8Text(value));
    }
    return rowText_[index].isNull() ? QByteArrayView() : QByteArrayView(rowText_[index]);
}

void Recordset::SetField(const QString& column, const QString& text) {
    RequireUpdatable();
    const int index = FieldIndex(column);
    RequireCurrentRow();
    if (index == keyColumn_)
        throw Error(ErrorKind::ValueRefused,
                    QStringLiteral("column %1 is assigned by the store").arg(columns_[index]));
    // Named as the caller spelled it: the engine may store the name folded.
    const QVariant value = ConvertForColumn(column, integerColumn_[index], text);
    BeginWrite();
    rows_[position_][index] = value;
    rowText_.clear();
    dirty_[index] = true;
}

void Recordset::MoveNext() {
    RequireCurrentRow();
    if (live_) {
        if (!live_->Next()) {
            atEnd_ = true;
            FinishLive();
        }
        return;
    }
    ++position_;
    rowText_.clear();
    atEnd_ = position_ >= rows_.size();
}

void Recordset::AddNew() {
    RequireUpdatable();
    if (!atEnd_ && (newRow_ || dirty_.contains(true)))
        Update();
    rows_.append(QVector<QVariant>(columns_.size()));
    position_ = rows_.size() - 1;
    rowText_.clear();
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
    rowText_.clear();
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
        while (live_->Next())
            rows_.append(ReadLiveRow());
    }
    FinishLive();
}

void Recordset::ForgetConnection() {
    TakeSnapshot();
    write_.reset();
    connection_ = nullptr;
}

int Recordset::FieldIndex(const QString& column) const {
    // A scan of the few names as spelled is much cheaper than hashing the name on every read.
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i] == column)
            return i;
    const auto found = columnIndexLower_.constFind(column.toLower());
    if (found == columnIndexLower_.constEnd())
        throw Error(ErrorKind::NotADirectory, QStringLiteral("no column named %1").arg(column));
    return found.value();
}

void Recordset::RequireCurrentRow() const {
    if (atEnd_)
        throw Error(ErrorKind::Misuse, QStringLiteral("there is no current row"));
}

void Recordset::RequireUpdatable() const {
    if (!updatable_ || connection_ == nullptr)
        throw Error(ErrorKind::Misuse, QStringLiteral("the result set is read-only"));
    if (table_.isEmpty())
        throw Error(ErrorKind::Misuse,
                    QStringLiteral("the result set does not come from one table"));
}

QVector<QVariant> Recordset::ReadLiveRow() const {
    QVector<QVariant> row(columns_.size());
    for (int i = 0; i < row.size(); ++i)
        row[i] = live_->Value(i);
    return row;
}

void Recordset::FinishLive() {
    // Done with the statement: release it so its read lock goes too, and the engine is free.
    live_.reset();
}

void Recordset::BeginWrite() {
    if (write_)
        return;
    connection_->DetachReaders();
    write_.emplace(*connection_, Transaction::Begin::Immediate);
    if (!newRow_ && keyColumn_ >= 0) {
        // A failed lock leaves no transaction behind.
        auto dropWrite = qScopeGuard([this] { write_.reset(); });
        connection_->engine().LockRow(table_, columns_[keyColumn_], rows_[position_][keyColumn_]);
        RequireRowUnchanged();
        dropWrite.dismiss();
    }
}

void Recordset::RequireRowUnchanged() {
    // Read again under the lock: what was read at Open may be older than another program's save.
    const std::unique_ptr<RowStream> stored =
        connection_->engine().Query(From(table_).Select(columns_).Where(
            columns_[keyColumn_], Condition::Test::Equals, rows_[position_][keyColumn_]));
    if (!stored->Next())
        throw RowChangedError(true);
    for (int i = 0; i < columns_.size(); ++i)
        if (!dirty_[i] && stored->Value(i) != rows_[position_][i])
            throw RowChangedError(false);
}

void Recordset::StoreRow() {
    QStringList names;
    QVariantList values;
    for (int i = 0; i < columns_.size(); ++i) {
        if (dirty_[i]) {
            names.append(columns_[i]);
            values.append(rows_[position_][i]);
        }
    }
    Engine& engine = connection_->engine();
    const QString keyName = keyColumn_ >= 0 ? columns_[keyColumn_] : QString();
    if (newRow_) {
        const QVariant key = engine.Insert(table_, names, values, keyName);
        if (keyColumn_ >= 0)
            rows_[position_][keyColumn_] = key;
        rowText_.clear();
        return;
    }
    if (keyColumn_ < 0)
        throw Error(ErrorKind::Misuse, QStringLiteral("the result set has no key to store by"));
    if (!engine.UpdateRow(table_, names, values, keyName, rows_[position_][keyColumn_]))
        throw RowChangedError(true);
}

} // namespace db
