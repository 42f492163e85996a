#include "exchange/TableFile.h"

#include "exchange/CsvTableWriter.h"
#include "exchange/XlsxTableWriter.h"

namespace exchange {

bool FormatOf(const QString& path, FileFormat& format) {
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        format = FileFormat::Csv;
        return true;
    }
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)) {
        format = FileFormat::Xlsx;
        return true;
    }
    return false;
}

FileError::FileError(Kind kind, const QString& path, const QString& detail)
    : std::runtime_error(QStringLiteral("%1: %2").arg(path, detail).toStdString()), kind_(kind),
      path_(path) {}

std::unique_ptr<TableWriter> OpenTableWriter(FileFormat format, const QString& path,
                                             const QString& sheetName, const QStringList& header,
                                             const QVector<bool>& integerColumns) {
    if (format == FileFormat::Csv)
        return std::make_unique<CsvTableWriter>(path, header);
    return std::make_unique<XlsxTableWriter>(path, sheetName, header, integerColumns);
}

} // namespace exchange
