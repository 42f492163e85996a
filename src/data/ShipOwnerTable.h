#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>

// The ship-owner table: its columns, the statements the program sends, and how values turn into
// the texts the screens show.
namespace shipowner {

inline const QString kTable = QStringLiteral("Orvandel");

// The 18 columns in table order, spelled as stored.
const QStringList& Columns();
// Whether the column at this position of Columns() holds whole numbers (id and the counts,
// tonnages and capacities); the others hold text.
bool IsIntegerColumn(int column);
QString CreateTableStatement();
// The same table on a server, defined with the same unquoted names as the program's statements
// use, so that both fold alike there (ASCII letters to lower case); text compared byte by byte,
// so that like ignores ASCII case only; trigram indexes, so that "contains" searches on company
// and country need not read every row.
QStringList CreateServerTableStatements();

QString ListStatement(const QString& companyFilter, const QString& countryFilter);
// Shows one record, and opens it for saving.
QString RecordStatement(qint64 id);
QString DeleteStatement(qint64 id);

// Removes leading and trailing spaces, ordinary and ideographic; tabs and line breaks stay.
QString TrimSpaces(const QString& text);
// The same on UTF-8 bytes, without decoding them.
QByteArrayView TrimSpaces(QByteArrayView utf8);
// A value as the screens show it: its text form, null as the empty text, trimmed.
QString ValueText(const QVariant& value);

} // namespace shipowner
