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

void RequirePlainNames(const Query& query) {
    QStringList names = query.columns;
    names.append(query.table);
    for (const Condition& condition : query.where)
        names.append(condition.column);
    for (const Order& order : query.order)
        names.append(order.column);
    for (const QString& name : names)
        if (!IsPlainName(name))
            throw Error(ErrorKind::Misuse,
                        QStringLiteral("\"%1\" is no table or column name").arg(name));
}

} // namespace db
