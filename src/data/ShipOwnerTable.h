#pragma once

#include "data/Query.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The ship-owner table: its columns, the requests the program makes of it, and how values turn
// into the texts the screens show.
namespace shipowner {

struct CompanySearch;

inline const QString kTable = QStringLiteral("Orvandel");
inline const QString kId = QStringLiteral("id");

enum class ColumnType {
    Key,   // the whole number the store assigns
    Text,  // names, addresses, numbers to dial
    Number // counts, tonnages and capacities: whole numbers
};

// One column of the record: everything the engines, the checks, the screens and the files need
// to know of it. A new column is one more row, and a schema step that adds it to older
// directories.
struct Column {
    QString name; // as stored
    ColumnType type;
    QString meaning; // what it holds, in the user's words
    int cap;         // the longest text a box takes for it
    int gridColumn;  // its column in the query grid, 0 when the grid does not show it
    int detailBox;   // its box in the detail screen, -1 when the screen does not show it
    int since;       // the schema version that added it
};

// The columns in table order.
const QList<Column>& ColumnTable();
// Their names, spelled as stored, in table order.
const QStringList& Columns();
// Whether the column at this position of Columns() holds whole numbers (id and the counts,
// tonnages and capacities); the others hold text.
bool IsIntegerColumn(int column);
// The column shown in a box of the detail screen.
const Column& ColumnInBox(int box);
QString CreateTableStatement();
// The same table on a server, defined with the same unquoted names as the program's statements
// use, so that both fold alike there (ASCII letters to lower case); text compared byte by byte,
// so that like ignores ASCII case only; trigram indexes, so that "contains" searches on company
// and country need not read every row.
QStringList CreateServerTableStatements();
// On a server: the collation that sorts text as people do, and the indexes that give a list
// sorted by a grid column its first rows at once.
QStringList ServerListOrderStatements();

// The query screen's list: the grid's columns, the companies whose name and country contain the
// filters (a filter of spaces asks nothing), newest first.
db::Query ListQuery(const QString& companyFilter, const QString& countryFilter);
// The same as a search.
CompanySearch ListSearch(const QString& companyFilter, const QString& countryFilter);
// One record by its id: to show it, to open it for saving, and to delete it.
db::Query RecordQuery(qint64 id);

// Removes leading and trailing spaces, ordinary and ideographic; tabs and line breaks stay.
QString TrimSpaces(const QString& text);
// The same on UTF-8 bytes, without decoding them.
QByteArrayView TrimSpaces(QByteArrayView utf8);
// A value as the screens show it: its text form, null as the empty text, trimmed.
QString ValueText(const QVariant& value);

} // namespace shipowner
