#include "exchange/TableFile.h"

#include "exchange/CsvTableWriter.h"
#include "exchange/XlsxTableWriter.h"

#include <QFileInfo>
#include <QStorageInfo>

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

namespace {

// Why a file cannot be written, in words, where the cause can be found: the libraries' own
// texts say "Unknown error" for a full disk.
QString WriteFailureCause(const QString& path, const QString& detail) {
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir())
        return QStringLiteral("the folder %1 does not exist").arg(folder.filePath());
    if (!folder.isWritable())
        return QStringLiteral("the folder %1 is not writable").arg(folder.filePath());
    const QStorageInfo storage(folder.filePath());
    if (storage.isValid() && storage.bytesAvailable() < (1 << 20))
        return QStringLiteral("the disk is full");
    return detail;
}

} // namespace

FileError::FileError(Kind kind, const QString& path, const QString& detail)
    : std::runtime_error(
          QStringLiteral("%1: %2")
              .arg(path, kind == CannotWrite ? WriteFailureCause(path, detail) : detail)
              .toStdString()),
      kind_(kind), path_(path) {}

std::unique_ptr<TableWriter> OpenTableWriter(FileFormat format, const QString& path,
                                             const QString& sheetName, const QStringList& header,
                                             const QVector<bool>& integerColumns) {
    if (format == FileFormat::Csv)
        return std::make_unique<CsvTableWriter>(path, header);
    return std::make_unique<XlsxTableWriter>(path, sheetName, header, integerColumns);
}

} // namespace exchange
