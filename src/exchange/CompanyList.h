#pragma once

#include <QDateTime>
#include <QFont>
#include <QList>
#include <QString>

class QPagedPaintDevice;
namespace db {
class Connection;
struct Query;
} // namespace db

// The list of companies on paper: printed, or written as a PDF file.
namespace exchange {

// One row of a printed list, as the query grid shows it.
struct ListedCompany {
    QString number;
    QString name;
    QString country;
    QString telephone;
    QString address;
};

// The rows of a query for the query grid's columns (shipowner::SearchQuery), numbered from 1.
QList<ListedCompany> ListedCompanies(db::Connection& connection, const db::Query& query);

// The line above the list: what was searched, when, how many companies.
QString CompanyListHeading(const QString& filters, const QDateTime& when, qint64 count);

// Paints the list onto a paged device (a printer or a PDF writer) whose page layout the caller has
// set to landscape A4: the heading and the column titles on every page, the page number at the
// foot. False when the device failed: painting could not begin (a printer that is not ready) or a
// page could not be started.
[[nodiscard]] bool PaintCompanyList(QPagedPaintDevice& device, const QFont& font,
                                    const QString& heading, const QList<ListedCompany>& rows);

// Writes the list as a landscape A4 PDF; nothing appears under the name unless the whole file was
// written. Throws FileError(CannotWrite, ...) when it cannot be written.
void WriteCompanyListPdf(const QString& path, const QFont& font, const QString& heading,
                         const QList<ListedCompany>& rows);

} // namespace exchange
