#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace db {

struct Query;

// A condition on one column. Contains matches rows whose column holds the text anywhere, with the
// store's like: ASCII case ignored, '%' and '_' in the text acting as wildcards. AtLeast and
// AtMost compare whole numbers, bounds included; a row whose column is empty matches neither.
// AllOf and AnyOf join other conditions (none: true and false); InQuery holds when the column's
// value is among the values of another query's one column.
struct Condition {
    enum class Test { Equals, Contains, In, AtLeast, AtMost, AllOf, AnyOf, InQuery };
    QString column;
    Test test = Test::Equals;
    QVariant value; // Equals: a number or text; Contains: text; In: a list of whole numbers;
                    // AtLeast, AtMost: a whole number
    QList<Condition> parts;             // AllOf, AnyOf
    std::shared_ptr<const Query> query; // InQuery
};

Condition AllOf(const QList<Condition>& parts);
Condition AnyOf(const QList<Condition>& parts);
Condition InQuery(const QString& column, const Query& query);

// Empty values come first in ascending order and last in descending order, on every engine.
struct Order {
    QString column;
    bool descending = false;
    // Text compared as people sort it: Chinese characters in pinyin order, Latin letters without
    // regard to case. Otherwise the engine's own order: numbers by value, text byte by byte.
    bool asText = false;
};

// What the program asks of one table: which columns (none: all of them), which rows and in what
// order. Each engine renders it in its own way; a server never sees a value inside the statement
// text. Table and column names come from the program, never from what the user typed; an engine
// refuses a name that is not a plain word.
struct Query {
    QString table;
    QStringList columns;
    QList<Condition> where;
    QList<Order> order;
    // For Engine::Totals only: after the sums, how many of the rows found meet each of these.
    QList<Condition> counted;

    Query& Select(const QStringList& names) {
        columns = names;
        return *this;
    }
    Query& Where(const QString& column, Condition::Test test, const QVariant& value) {
        where.append({column, test, value, {}, {}});
        return *this;
    }
    Query& Where(const Condition& condition) {
        where.append(condition);
        return *this;
    }
    Query& OrderBy(const QString& column, bool descending = false) {
        order.append({column, descending, false});
        return *this;
    }
    Query& OrderByText(const QString& column, bool descending = false) {
        order.append({column, descending, true});
        return *this;
    }
};

inline Query From(const QString& table) {
    Query query;
    query.table = table;
    return query;
}

// Whether a name may stand in a statement as it is: letters (any script), digits and '_', not
// starting with a digit.
bool IsPlainName(const QString& name);
// Throws a Misuse error when a table or column of the query is not a plain name.
void RequirePlainNames(const Query& query);

} // namespace db
