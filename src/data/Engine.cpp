#include "data/Engine.h"

namespace db {

QString QuoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void Engine::InsertRows(const QString& table, const QStringList& columns,
                        const QList<QVariantList>& rows, const QString& keyColumn) {
    for (const QVariantList& row : rows)
        Insert(table, columns, row, keyColumn);
}

qint64 Engine::UpdateRows(const QString& table, const QStringList& columns,
                          const QList<QVariantList>& rows, const QString& keyColumn) {
    qint64 changed = 0;
    for (const QVariantList& row : rows)
        changed += UpdateRow(table, columns, row.mid(0, row.size() - 1), keyColumn, row.last());
    return changed;
}

} // namespace db
