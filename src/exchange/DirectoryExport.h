#pragma once

#include "exchange/TableFile.h"

#include <QList>
#include <QString>

namespace db {
class Connection;
struct Query;
} // namespace db

namespace exchange {

// Writes every company, all 18 columns with id first, in id order; returns how many. With
// `lastChanges`, two more columns say when each company last changed (local time) and by whom.
qint64 ExportDirectory(db::Connection& connection, const QString& path, FileFormat format,
                       bool lastChanges = false);

// A writer whose header is the record's 18 columns, id first.
std::unique_ptr<TableWriter> OpenRecordWriter(const QString& path, FileFormat format);
// Writes the rows of a query that selects every column in table order, in the query's order,
// and commits; returns how many.
qint64 ExportRecords(db::Connection& connection, const db::Query& query, TableWriter& writer);

// Writes the companies with these ids, all 18 columns, in the order given (the order a screen
// shows them in); ids no longer in the directory are left out. Returns how many were written.
qint64 ExportCompanies(db::Connection& connection, const QList<qint64>& ids, const QString& path,
                       FileFormat format);

} // namespace exchange
