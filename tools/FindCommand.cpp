#include "tools/FindCommand.h"

#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"
#include "exchange/CompanyList.h"
#include "exchange/CsvTableWriter.h"
#include "exchange/DirectoryExport.h"
#include "exchange/TableFile.h"
#include "platform/Fonts.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

namespace findcommand {
namespace {

// The text conditions' options and the columns they test.
const QList<std::pair<QString, QString>>& TextOptions() {
    static const QList<std::pair<QString, QString>> options = {
        {QStringLiteral("--name"), QStringLiteral("公司名称")},
        {QStringLiteral("--country"), QStringLiteral("国家")},
        {QStringLiteral("--tel"), QStringLiteral("tel")},
        {QStringLiteral("--fax"), QStringLiteral("fax")},
        {QStringLiteral("--address"), QStringLiteral("adrress")},
    };
    return options;
}

// A column as the command line names it: the text options' words, or a stored name in any case.
QString ColumnNamed(const QString& name) {
    for (const auto& [option, column] : TextOptions())
        if (name.compare(option.mid(2), Qt::CaseInsensitive) == 0)
            return column;
    for (const QString& column : shipowner::Columns())
        if (name.compare(column, Qt::CaseInsensitive) == 0)
            return column;
    return QString();
}

bool SetBound(const QString& option, const QString& value, shipowner::CompanySearch& search,
              QString* error) {
    const QString column = ColumnNamed(value.section(QLatin1Char('='), 0, 0));
    bool isNumber = false;
    const qint64 bound = value.section(QLatin1Char('='), 1).toLongLong(&isNumber);
    if (!shipowner::FleetColumns().contains(column) || !isNumber) {
        *error = QStringLiteral("%1 takes a fleet column and a whole number, as Tank_No=5; got %2")
                     .arg(option, value);
        return false;
    }
    shipowner::NumberRange& range = search.numbers[column];
    (option == QStringLiteral("--min") ? range.least : range.most) = bound;
    if (range.least && range.most && *range.least > *range.most) {
        *error = QStringLiteral("the lower bound of %1 is above its upper bound").arg(column);
        return false;
    }
    return true;
}

bool FormatNamed(const QString& name, Format& format) {
    const QList<std::pair<QString, Format>> formats = {{QStringLiteral("table"), Format::Table},
                                                       {QStringLiteral("csv"), Format::Csv},
                                                       {QStringLiteral("xlsx"), Format::Xlsx},
                                                       {QStringLiteral("pdf"), Format::Pdf}};
    for (const auto& [word, named] : formats)
        if (name.compare(word, Qt::CaseInsensitive) == 0) {
            format = named;
            return true;
        }
    return false;
}

// How many terminal columns a text takes: East Asian wide characters two, others one.
int DisplayWidth(const QString& text) {
    int width = 0;
    for (const uint c : text.toUcs4())
        width += (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                         (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000
                     ? 2
                     : 1;
    return width;
}

// A cell of the table cut to the column's widest: a long address must not push every row.
constexpr int kWidestCell = 40;

QString Cell(const QString& text) {
    QString cell = text;
    cell.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (DisplayWidth(cell) <= kWidestCell)
        return cell;
    while (DisplayWidth(cell) > kWidestCell - 1)
        cell.chop(1);
    return cell + QStringLiteral("…");
}

// The list's columns, id first, aligned; read whole, as a column's width needs every row.
qint64 PrintTable(db::Connection& connection, const db::Query& query) {
    db::Recordset rs;
    rs.Open(query, connection, db::adOpenStatic, db::adLockReadOnly);
    // The grid's columns in the grid's order.
    QList<shipowner::Column> shown;
    for (const shipowner::Column& column : shipowner::ColumnTable())
        if (column.gridColumn > 0 && column.name != shipowner::kId)
            shown.append(column);
    std::sort(shown.begin(), shown.end(),
              [](const auto& a, const auto& b) { return a.gridColumn < b.gridColumn; });
    QStringList header = {shipowner::kId};
    for (const shipowner::Column& column : shown)
        header.append(column.meaning);
    QList<QStringList> rows = {header};
    for (; !rs.AtEnd(); rs.MoveNext()) {
        QStringList row = {shipowner::ValueText(rs.Field(shipowner::kId))};
        for (const shipowner::Column& column : shown)
            row.append(Cell(shipowner::ValueText(rs.Field(column.name))));
        rows.append(row);
    }
    QList<int> widths(header.size(), 0);
    for (const QStringList& row : rows)
        for (int i = 0; i < row.size(); ++i)
            widths[i] = qMax(widths[i], DisplayWidth(row[i]));
    QTextStream out(stdout);
    for (const QStringList& row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += row[i] + QString(i + 1 < row.size() ? widths[i] - DisplayWidth(row[i]) + 2 : 0,
                                     QLatin1Char(' '));
        out << line << '\n';
    }
    return rows.size() - 1;
}

} // namespace

qint64 WritePdf(db::Connection& connection, const shipowner::CompanySearch& search,
                const shipowner::ListOrder& order, const QString& path) {
    const QList<exchange::ListedCompany> rows =
        exchange::ListedCompanies(connection, shipowner::SearchQuery(search, order));
    exchange::WriteCompanyListPdf(path, QFont(platform::kSongFamily, 9),
                                  exchange::CompanyListHeading(shipowner::Describe(search),
                                                               QDateTime::currentDateTime(),
                                                               rows.size()),
                                  rows);
    return rows.size();
}

bool WantsPdf(const QStringList& arguments) {
    for (int i = 0; i < arguments.size(); ++i)
        if (arguments[i].endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ||
            (arguments[i] == QStringLiteral("--format") &&
             arguments.value(i + 1).compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0))
            return true;
    return false;
}

std::optional<Request> Parse(const QStringList& arguments, bool toTerminal, QString* error) {
    Request request;
    request.search.folded = true;
    std::optional<Format> format;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& option = arguments[i];
        if (option == QStringLiteral("--force")) {
            request.force = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            *error = QStringLiteral("find: %1 needs a value").arg(option);
            return std::nullopt;
        }
        const QString value = arguments[++i];
        QString textColumn;
        for (const auto& [name, column] : TextOptions())
            if (option == name)
                textColumn = column;
        if (!textColumn.isEmpty()) {
            request.search.texts.insert(textColumn, value);
        } else if (option == QStringLiteral("--min") || option == QStringLiteral("--max")) {
            if (!SetBound(option, value, request.search, error))
                return std::nullopt;
        } else if (option == QStringLiteral("--sort")) {
            const bool descending = value.endsWith(QStringLiteral(":desc"), Qt::CaseInsensitive);
            request.order = {ColumnNamed(descending ? value.chopped(5) : value), descending};
            if (request.order.column.isEmpty()) {
                *error = QStringLiteral("find: no column %1 to sort by").arg(value);
                return std::nullopt;
            }
        } else if (option == QStringLiteral("--format")) {
            format.emplace();
            if (!FormatNamed(value, *format)) {
                *error = QStringLiteral("find: no format %1 (csv, xlsx, pdf or table)").arg(value);
                return std::nullopt;
            }
        } else if (option == QStringLiteral("--output")) {
            request.output = value;
        } else {
            *error = QStringLiteral("find: unknown option %1").arg(option);
            return std::nullopt;
        }
    }
    if (!format)
        format =
            !request.output.isEmpty()
                ? (FormatNamed(QFileInfo(request.output).suffix(), request.format) ? request.format
                                                                                   : Format::Csv)
            : toTerminal ? Format::Table
                         : Format::Csv;
    request.format = *format;
    if (!request.output.isEmpty() && QFileInfo::exists(request.output) && !request.force) {
        *error = QStringLiteral("find: %1 exists; give --force to replace it").arg(request.output);
        return std::nullopt;
    }
    if (request.format == Format::Table && !request.output.isEmpty()) {
        *error = QStringLiteral("find: a table is printed; give --format csv or xlsx for a file");
        return std::nullopt;
    }
    if ((request.format == Format::Xlsx || request.format == Format::Pdf) &&
        request.output.isEmpty()) {
        *error = QStringLiteral("find: an Excel workbook or a PDF needs --output FILE");
        return std::nullopt;
    }
    return request;
}

qint64 Run(db::Connection& connection, const Request& request) {
    switch (request.format) {
    case Format::Pdf:
        return WritePdf(connection, request.search, request.order, request.output);
    case Format::Table:
        return PrintTable(connection, shipowner::SearchQuery(request.search, request.order));
    case Format::Csv:
        if (request.output.isEmpty()) {
            QFile out;
            out.open(stdout, QIODevice::WriteOnly);
            exchange::CsvTableWriter writer(out, shipowner::Columns());
            return exchange::ExportRecords(
                connection, shipowner::RecordsQuery(request.search, request.order), writer);
        }
        [[fallthrough]];
    case Format::Xlsx:
        return exchange::ExportRecords(
            connection, shipowner::RecordsQuery(request.search, request.order),
            *exchange::OpenRecordWriter(request.output, request.format == Format::Xlsx
                                                            ? exchange::FileFormat::Xlsx
                                                            : exchange::FileFormat::Csv));
    }
    return 0;
}

} // namespace findcommand
