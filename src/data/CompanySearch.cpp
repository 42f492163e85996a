#include "data/CompanySearch.h"

#include "data/DbError.h"
#include "data/SearchKey.h"
#include "data/ShipOwnerTable.h"

namespace shipowner {
namespace {

QStringList ColumnsOfType(ColumnType type) {
    QStringList names;
    for (const Column& column : ColumnTable())
        if (column.type == type)
            names.append(column.name);
    return names;
}

void Refuse(const QString& what) {
    throw db::Error(db::ErrorKind::Misuse, what);
}

db::Query KeyRows(const QList<db::Condition>& conditions);

// The conditions in table order, so that the same search always reads the same.
db::Query Filtered(db::Query query, const CompanySearch& search) {
    for (auto it = search.texts.begin(); it != search.texts.end(); ++it)
        if (!SearchableTextColumns().contains(it.key()))
            Refuse(QStringLiteral("%1 is no text column").arg(it.key()));
    for (auto it = search.numbers.begin(); it != search.numbers.end(); ++it)
        if (!FleetColumns().contains(it.key()))
            Refuse(QStringLiteral("%1 is no number column").arg(it.key()));
    QList<db::Condition> keyMatches;
    for (const Column& column : ColumnTable()) {
        const QString text = TrimSpaces(search.texts.value(column.name));
        if (!text.isEmpty() && search.folded)
            keyMatches.append(searchkey::KeyMatches(column.name, text));
        else if (!text.isEmpty())
            query.Where(column.name, db::Condition::Test::Contains, text);
        const NumberRange range = search.numbers.value(column.name);
        if (range.least)
            query.Where(column.name, db::Condition::Test::AtLeast, *range.least);
        if (range.most)
            query.Where(column.name, db::Condition::Test::AtMost, *range.most);
    }
    // One look into the key table for all texts: on a server its trigram index finds them.
    if (!keyMatches.isEmpty())
        query.Where(db::InQuery(kId, KeyRows(keyMatches)));
    return query;
}

// The companies whose key meets every condition.
db::Query KeyRows(const QList<db::Condition>& conditions) {
    db::Query rows = db::From(searchkey::kTable).Select({kId});
    for (const db::Condition& condition : conditions)
        rows.Where(condition);
    return rows;
}

db::Query Ordered(db::Query query, const ListOrder& order) {
    if (!order.column.isEmpty()) {
        if (!Columns().contains(order.column))
            Refuse(QStringLiteral("%1 is no column").arg(order.column));
        const bool text = !IsIntegerColumn(int(Columns().indexOf(order.column)));
        if (order.column != kId) {
            if (text)
                query.OrderByText(order.column, order.descending);
            else
                query.OrderBy(order.column, order.descending);
        } else if (!order.descending) {
            return query.OrderBy(kId);
        }
    }
    return query.OrderBy(kId, true);
}

} // namespace

QStringList SearchableTextColumns() {
    return ColumnsOfType(ColumnType::Text);
}

QStringList FleetColumns() {
    return ColumnsOfType(ColumnType::Number);
}

const QList<ShipType>& ShipTypes() {
    static const QList<ShipType> types = {
        {QStringLiteral("油轮"), QStringLiteral("Tank_No"), QStringLiteral("Tank_Dwt"),
         QStringLiteral("载重吨")},
        {QStringLiteral("散货船"), QStringLiteral("Bulk_NO"), QStringLiteral("Bulk_Dwt"),
         QStringLiteral("载重吨")},
        {QStringLiteral("气体船"), QStringLiteral("Gas_No"), QStringLiteral("Gas_Cum"),
         QStringLiteral("立方米")},
        {QStringLiteral("化学品船"), QStringLiteral("Chem_No"), QStringLiteral("Chem_Dwt"),
         QStringLiteral("载重吨")},
        {QStringLiteral("集装箱船"), QStringLiteral("Cont_No"), QStringLiteral("Cont_TEU"),
         QStringLiteral("TEU")},
        {QStringLiteral("其他船舶"), QStringLiteral("Other_No"), QStringLiteral("Other_Dwt"),
         QStringLiteral("载重吨")},
    };
    return types;
}

QString Describe(const CompanySearch& search) {
    QStringList parts;
    for (const Column& column : ColumnTable()) {
        const QString text = TrimSpaces(search.texts.value(column.name));
        if (!text.isEmpty())
            parts.append(QStringLiteral("%1含“%2”").arg(column.meaning, text));
        const NumberRange range = search.numbers.value(column.name);
        if (range.least && range.most)
            parts.append(QStringLiteral("%1 %2 至 %3")
                             .arg(column.meaning)
                             .arg(*range.least)
                             .arg(*range.most));
        else if (range.least)
            parts.append(QStringLiteral("%1 ≥ %2").arg(column.meaning).arg(*range.least));
        else if (range.most)
            parts.append(QStringLiteral("%1 ≤ %2").arg(column.meaning).arg(*range.most));
    }
    return parts.join(QStringLiteral("；"));
}

db::Query SearchQuery(const CompanySearch& search, const ListOrder& order) {
    // The grid's columns in table order, the key last.
    QStringList shown;
    for (const Column& column : ColumnTable())
        if (column.gridColumn > 0 && column.type != ColumnType::Key)
            shown.append(column.name);
    shown.append(kId);
    return Ordered(Filtered(db::From(kTable).Select(shown), search), order);
}

db::Query RecordsQuery(const CompanySearch& search, const ListOrder& order) {
    return Ordered(Filtered(db::From(kTable).Select(Columns()), search), order);
}

db::Query FleetTotalsQuery(const CompanySearch& search) {
    db::Query totals = Filtered(db::From(kTable).Select(FleetColumns()), search);
    if (!search.folded)
        return totals;
    // Counted: the rows every text matches by its characters, and by them or folded.
    QList<db::Condition> typed;
    QList<db::Condition> folded;
    for (auto it = search.texts.begin(); it != search.texts.end(); ++it) {
        const QString text = TrimSpaces(it.value());
        if (text.isEmpty())
            continue;
        typed.append({it.key(), db::Condition::Test::Contains, text, {}, {}});
        folded.append(searchkey::KeyMatches(it.key(), text, false));
    }
    totals.counted = {db::AllOf(typed), db::InQuery(kId, KeyRows(folded))};
    return totals;
}

MatchKinds MatchKindsOf(const QList<qint64>& totals) {
    const qint64 found = totals.value(0);
    const int counted = int(FleetColumns().size()) + 1;
    if (totals.size() < counted + 2)
        return {found, 0, 0};
    const qint64 typed = totals[counted];
    const qint64 folded = qMax(typed, totals[counted + 1]);
    return {typed, folded - typed, found - folded};
}

} // namespace shipowner
