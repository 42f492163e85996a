#include "data/Query.h"

#include "data/DbError.h"

namespace db {

bool IsPlainName(const QString& name) {
    if (name.isEmpty() || name.at(0).isDigit())
        return false;
    for (const QChar c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('_'))
            return false;
    return true;
}

namespace {

void RequirePlainName(const QString& name) {
    if (!IsPlainName(name))
        throw Error(ErrorKind::Misuse,
                    QStringLiteral("\"%1\" is no table or column name").arg(name));
}

void RequirePlainNames(const Condition& condition) {
    switch (condition.test) {
    case Condition::Test::AllOf:
    case Condition::Test::AnyOf:
        for (const Condition& part : condition.parts)
            RequirePlainNames(part);
        return;
    case Condition::Test::InQuery:
        RequirePlainName(condition.column);
        RequirePlainNames(*condition.query);
        return;
    default:
        RequirePlainName(condition.column);
    }
}

} // namespace

Condition AllOf(const QList<Condition>& parts) {
    return {QString(), Condition::Test::AllOf, QVariant(), parts, {}};
}

Condition AnyOf(const QList<Condition>& parts) {
    return {QString(), Condition::Test::AnyOf, QVariant(), parts, {}};
}

Condition InQuery(const QString& column, const Query& query) {
    return {column, Condition::Test::InQuery, QVariant(), {}, std::make_shared<const Query>(query)};
}

void RequirePlainNames(const Query& query) {
    RequirePlainName(query.table);
    for (const QString& column : query.columns)
        RequirePlainName(column);
    for (const Condition& condition : query.where + query.counted)
        RequirePlainNames(condition);
    for (const Order& order : query.order)
        RequirePlainName(order.column);
}

} // namespace db
