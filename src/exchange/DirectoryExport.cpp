#include "exchange/DirectoryExport.h"

#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"

#include <QHash>

namespace exchange {

namespace {

// Ids asked for in one statement when writing a screen's rows.
constexpr int kIdsPerStatement = 500;

QString SelectColumns() {
    return QStringLiteral("select ") + shipowner::Columns().join(QLatin1Char(',')) +
           QStringLiteral(" from ") + shipowner::kTable;
}

std::unique_ptr<TableWriter> OpenWriter(const QString& path, FileFormat format) {
    const QStringList& columns = shipowner::Columns();
    QVector<bool> integerColumns(columns.size());
    for (int i = 0; i < columns.size(); ++i)
        integerColumns[i] = shipowner::IsIntegerColumn(i);
    return OpenTableWriter(format, path, shipowner::kTable, columns, integerColumns);
}

QVector<QVariant> CurrentRow(const db::Recordset& rs) {
    const QStringList& columns = shipowner::Columns();
    QVector<QVariant> row(columns.size());
    for (int i = 0; i < columns.size(); ++i)
        row[i] = rs.Field(columns[i]);
    return row;
}

} // namespace

qint64 ExportDirectory(db::Connection& connection, const QString& path, FileFormat format) {
    std::unique_ptr<TableWriter> writer = OpenWriter(path, format);
    db::Recordset rs;
    rs.Open(SelectColumns() + QStringLiteral(" order by id"), connection, db::adOpenForwardOnly,
            db::adLockReadOnly);
    qint64 written = 0;
    for (; !rs.AtEnd(); rs.MoveNext(), ++written)
        writer->WriteRow(CurrentRow(rs));
    rs.Close();
    writer->Commit();
    return written;
}

qint64 ExportCompanies(db::Connection& connection, const QList<qint64>& ids, const QString& path,
                       FileFormat format) {
    std::unique_ptr<TableWriter> writer = OpenWriter(path, format);
    qint64 written = 0;
    for (qsizetype first = 0; first < ids.size(); first += kIdsPerStatement) {
        const QList<qint64> chunk = ids.mid(first, kIdsPerStatement);
        QStringList numbers;
        for (const qint64 id : chunk)
            numbers.append(QString::number(id));
        db::Recordset rs;
        rs.Open(SelectColumns() + QStringLiteral(" where id in (") +
                    numbers.join(QLatin1Char(',')) + QLatin1Char(')'),
                connection, db::adOpenForwardOnly, db::adLockReadOnly);
        QHash<qint64, QVector<QVariant>> rows;
        for (; !rs.AtEnd(); rs.MoveNext()) {
            QVector<QVariant> row = CurrentRow(rs);
            rows.insert(row[0].toLongLong(), row);
        }
        rs.Close();
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
