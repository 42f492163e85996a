#pragma once

#include "data/Query.h"

#include <QList>
#include <QMap>
#include <QString>
#include <optional>

// What a user looks for in the directory: parts of texts and ranges of the fleet's figures, all
// of them together. The query screen, the search window and the database tool ask through this
// one definition, so that they find the same companies for the same conditions.
namespace shipowner {

// Both bounds included; a missing bound allows anything on its side.
struct NumberRange {
    std::optional<qint64> least;
    std::optional<qint64> most;
};

struct CompanySearch {
    // A text column's name as stored, and a part of its text (spaces around it do not count; a
    // text of spaces asks nothing).
    QMap<QString, QString> texts;
    // A number column's name as stored, and the range its value must lie in; an empty value
    // counts as 0, as a company with no figure for a ship type has none of them.
    QMap<QString, NumberRange> numbers;
    // Whether texts match as the search window and the tool match them: folded as well as by
    // their characters, and the company's name also by its pinyin (searchkey). The query screen's
    // list matches characters only.
    bool folded = false;
};

// A list's order: by one column, ties newest first; no column, newest first.
struct ListOrder {
    QString column;
    bool descending = false;
};

// The columns a search may test: text columns for "contains", number columns for a range.
QStringList SearchableTextColumns();
QStringList FleetColumns();

// One of the six ship types: how many ships, and their tonnage or capacity in its unit.
struct ShipType {
    QString name;
    QString countColumn;
    QString sizeColumn;
    QString unit;
};
const QList<ShipType>& ShipTypes();

// The conditions in the user's words, for the heading of a printed list:
// "船东名称含“远洋”；油轮艘数 5 至 10"; empty when nothing is asked.
QString Describe(const CompanySearch& search);

// The query grid's columns of the companies found, in the order asked for. Throws a Misuse error
// for a column the record does not have or that cannot be tested as asked.
db::Query SearchQuery(const CompanySearch& search, const ListOrder& order = {});
// The whole records of the companies found, in the order asked for.
db::Query RecordsQuery(const CompanySearch& search, const ListOrder& order = {});
// The companies found and their fleets: for Connection::Totals, the count, then the sum of each
// of FleetColumns().
db::Query FleetTotalsQuery(const CompanySearch& search);

// How the companies a folded search found matched its texts: by their characters as typed; by
// folding (traditional, width, case, spaces); and by the name's pinyin.
struct MatchKinds {
    qint64 characters = 0;
    qint64 folding = 0;
    qint64 pinyin = 0;
};
// From FleetTotalsQuery()'s totals; all by characters for a search that does not fold.
MatchKinds MatchKindsOf(const QList<qint64>& totals);

} // namespace shipowner
