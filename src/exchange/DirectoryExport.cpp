#include "exchange/DirectoryExport.h"

#include "data/Connection.h"
#include "data/Engine.h"
#include "data/History.h"
#include "data/Query.h"
#include "data/ShipOwnerTable.h"

#include <QHash>

namespace exchange {

namespace {

// Ids asked for in one statement when writing a screen's rows.
constexpr int kIdsPerStatement = 500;

db::Query EveryColumn() {
    return db::From(shipowner::kTable).Select(shipowner::Columns());
}

// Reads every row of a query once, by column position. An export reads each row once and
// writes nothing, so it needs none of the result set's snapshots or name look-ups.
template <typename OnRow>
void ReadRows(db::Connection& connection, const db::Query& query, OnRow onRow) {
    connection.PrepareForQuery();
    const std::unique_ptr<db::RowStream> rows = connection.engine().Query(query);
    QVector<QVariant> row(rows->ColumnCount());
    while (rows->Next()) {
        for (int i = 0; i < row.size(); ++i)
            row[i] = rows->Value(i);
        onRow(row);
    }
}

} // namespace

std::unique_ptr<TableWriter> OpenRecordWriter(const QString& path, FileFormat format) {
    const QStringList& columns = shipowner::Columns();
    QVector<bool> integerColumns(columns.size());
    for (int i = 0; i < columns.size(); ++i)
        integerColumns[i] = shipowner::IsIntegerColumn(i);
    return OpenTableWriter(format, path, shipowner::kTable, columns, integerColumns);
}

qint64 ExportRecords(db::Connection& connection, const db::Query& query, TableWriter& writer) {
    qint64 written = 0;
    ReadRows(connection, query, [&](const QVector<QVariant>& row) {
        writer.WriteRow(row);
        ++written;
    });
    writer.Commit();
    return written;
}

qint64 ExportDirectory(db::Connection& connection, const QString& path, FileFormat format,
                       bool lastChanges) {
    if (!lastChanges)
        return ExportRecords(connection, EveryColumn().OrderBy(shipowner::kId),
                             *OpenRecordWriter(path, format));
    const QHash<qint64, history::LastChange> last = history::LastChanges(connection);
    const QStringList& columns = shipowner::Columns();
    QVector<bool> integerColumns(columns.size() + 2);
    for (int i = 0; i < columns.size(); ++i)
        integerColumns[i] = shipowner::IsIntegerColumn(i);
    const std::unique_ptr<TableWriter> writer = OpenTableWriter(
        format, path, shipowner::kTable,
        columns + QStringList{QStringLiteral("last_changed_at"), QStringLiteral("last_changed_by")},
        integerColumns);
    qint64 written = 0;
    ReadRows(connection, EveryColumn().OrderBy(shipowner::kId), [&](QVector<QVariant> row) {
        const auto change = last.constFind(row[0].toLongLong());
        if (change == last.constEnd()) {
            row << QVariant() << QVariant();
        } else {
            row << history::LocalTimeText(change->at) << change->who;
        }
        writer->WriteRow(row);
        ++written;
    });
    writer->Commit();
    return written;
}

qint64 ExportCompanies(db::Connection& connection, const QList<qint64>& ids, const QString& path,
                       FileFormat format) {
    std::unique_ptr<TableWriter> writer = OpenRecordWriter(path, format);
    qint64 written = 0;
    for (qsizetype first = 0; first < ids.size(); first += kIdsPerStatement) {
        const QList<qint64> chunk = ids.mid(first, kIdsPerStatement);
        QVariantList numbers;
        for (const qint64 id : chunk)
            numbers.append(QVariant(id));
        QHash<qint64, QVector<QVariant>> rows;
        ReadRows(connection, EveryColumn().Where(shipowner::kId, db::Condition::Test::In, numbers),
                 [&rows](const QVector<QVariant>& row) { rows.insert(row[0].toLongLong(), row); });
        for (const qint64 id : chunk) {
            const auto found = rows.constFind(id);
            if (found == rows.constEnd())
                continue;
            writer->WriteRow(found.value());
            ++written;
        }
    }
    writer->Commit();
    return written;
}

} // namespace exchange
