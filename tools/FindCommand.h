#pragma once

#include "data/CompanySearch.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace db {
class Connection;
}

// The database tool's find: the search window's conditions and order, from the command line.
namespace findcommand {

enum class Format { Table, Csv, Xlsx, Pdf };

struct Request {
    shipowner::CompanySearch search;
    shipowner::ListOrder order;
    Format format = Format::Table;
    QString output;     // empty: standard output
    bool force = false; // an existing output file is replaced
};

// The request the arguments make; on a mistake none, and `error` says what is wrong.
// `toTerminal`: whether standard output is a terminal, where the table is the default.
std::optional<Request> Parse(const QStringList& arguments, bool toTerminal, QString* error);

// Runs the request, writing the file or standard output; returns how many companies were found.
// A PDF needs a QGuiApplication and the program's fonts (platform::SetUpFonts()).
qint64 Run(db::Connection& connection, const Request& request);

// Writes the list of the companies a search finds, in the order asked, as a PDF; returns how many.
qint64 WritePdf(db::Connection& connection, const shipowner::CompanySearch& search,
                const shipowner::ListOrder& order, const QString& path);

// Whether a command line asks for a PDF, and so for fonts, before any command runs.
bool WantsPdf(const QStringList& arguments);

inline constexpr char kUsage[] =
    "  find [--name T] [--country T] [--tel T] [--fax T] [--address T]\n"
    "       [--min COLUMN=N] [--max COLUMN=N] [--sort COLUMN[:desc]]\n"
    "       [--format csv|xlsx|pdf|table] [--output FILE [--force]]\n"
    "                        list the companies whose texts contain every T given\n"
    "                        (ASCII case ignored) and whose fleet figures lie in\n"
    "                        the ranges (bounds included; no figure counts as 0;\n"
    "                        COLUMN: Tank_No, Tank_Dwt, Bulk_NO, Bulk_Dwt, Gas_No,\n"
    "                        Gas_Cum, Chem_No, Chem_Dwt, Cont_No, Cont_TEU,\n"
    "                        Other_No, Other_Dwt, any case), newest first or by\n"
    "                        --sort (name, country, tel, fax, address, id or a\n"
    "                        fleet column), as the search window finds them.\n"
    "                        csv and xlsx hold whole records; table and pdf (a\n"
    "                        landscape A4 list) the list's columns.\n"
    "                        The format follows FILE's extension;\n"
    "                        without --output, a table on a terminal, else CSV\n";

} // namespace findcommand
