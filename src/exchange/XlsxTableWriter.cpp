#include "exchange/XlsxTableWriter.h"

#include "exchange/XlsxReader.h"

#include <QFileInfo>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <xlsxwriter.h>

namespace exchange {

namespace {

// Whole numbers beyond 2^53 lose digits as a spreadsheet's numbers; they are written as text.
constexpr qint64 kLargestExactNumber = 9007199254740992LL;
// Where the library stores the one sheet in the workbook's archive.
const QString kSheetPart = QStringLiteral("xl/worksheets/sheet1.xml");
// Excel's widest column, in character widths.
constexpr int kWidestColumn = 255;

bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

StandardErrorSilenced::StandardErrorSilenced() {
    std::fflush(stderr);
    const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nowhere < 0)
        return;
    saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (saved_ >= 0)
        dup2(nowhere, STDERR_FILENO);
    close(nowhere);
}

StandardErrorSilenced::~StandardErrorSilenced() {
    if (saved_ < 0)
        return;
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
}

XlsxTableWriter::XlsxTableWriter(const QString& path, const QString& sheetName,
                                 const QStringList& header, const QVector<bool>& integerColumns)
    : path_(path), temporary_(QFileInfo(path).absolutePath() + QStringLiteral("/.") +
                              QFileInfo(path).fileName() + QStringLiteral(".XXXXXX")),
      integerColumns_(integerColumns), widths_(header.size(), 0) {
    if (!temporary_.open())
        throw FileError(FileError::CannotWrite, path, temporary_.errorString());
    temporary_.close();
    const QByteArray name = QFile::encodeName(temporary_.fileName());
    lxw_workbook_options options = {};
    // Rows go to disk as they are written, so a large directory needs little memory.
    options.constant_memory = LXW_TRUE;
    workbook_ = workbook_new_opt(name.constData(), &options);
    if (workbook_ == nullptr)
        throw FileError(FileError::CannotWrite, path, QStringLiteral("cannot start the workbook"));
    sheet_ = workbook_add_worksheet(workbook_, sheetName.toUtf8().constData());
    bold_ = workbook_add_format(workbook_);
    if (sheet_ == nullptr || bold_ == nullptr)
        throw FileError(FileError::CannotWrite, path, QStringLiteral("cannot start the sheet"));
    format_set_bold(bold_);
    worksheet_freeze_panes(sheet_, 1, 0);
    for (int column = 0; column < header.size(); ++column)
        WriteCell(column, header[column], bold_);
    ++row_;
}

XlsxTableWriter::~XlsxTableWriter() {
    if (workbook_ != nullptr)
        workbook_close(workbook_); // unfinished: the temporary file goes with temporary_
}

int XlsxTableWriter::DisplayWidth(const QString& text) {
    int widest = 0;
    int width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n')) {
            widest = std::max(widest, width);
            width = 0;
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            width += IsWide(QChar::surrogateToUcs4(c, text.at(++i))) ? 2 : 1;
        } else {
            width += IsWide(c.unicode()) ? 2 : 1;
        }
    }
    return std::max(widest, width);
}

void XlsxTableWriter::WriteRow(const QVector<QVariant>& values) {
    if (row_ >= LXW_ROW_MAX)
        throw FileError(FileError::CannotWrite, path_,
                        QStringLiteral("more rows than an Excel sheet holds"));
    for (int column = 0; column < values.size(); ++column)
        WriteCell(column, values[column], nullptr);
    ++row_;
}

void XlsxTableWriter::WriteCell(int column, const QVariant& value, lxw_format* format) {
    if (value.isNull())
        return;
    const bool number = integerColumns_.value(column) &&
                        (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int);
    const qint64 whole = number ? value.toLongLong() : 0;
    if (number && whole >= -kLargestExactNumber && whole <= kLargestExactNumber) {
        int digits = whole < 0 ? 2 : 1;
        for (qint64 rest = whole / 10; rest != 0; rest /= 10)
            ++digits;
        widths_[column] = std::max(widths_[column], digits);
        Check(worksheet_write_number(sheet_, row_, column, static_cast<double>(whole), format),
              column);
        lastRowWithCells_ = row_ + 1;
        return;
    }
    const QString text = value.toString();
    if (text.isEmpty())
        return;
    lastRowWithCells_ = row_ + 1;
    widths_[column] = std::max(widths_[column], DisplayWidth(text));
    // The text as UTF-8 with its terminating NUL, in a buffer kept from cell to cell.
    utf8Text_.resize(utf8_.requiredSpace(text.size()) + 1);
    *utf8_.appendToBuffer(utf8Text_.data(), text) = '\0';
    Check(worksheet_write_string(sheet_, row_, column, utf8Text_.constData(), format), column);
}

void XlsxTableWriter::Check(int error, int column) {
    if (error == LXW_NO_ERROR)
        return;
    if (error == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
        throw FileError(FileError::TooLongForExcel, path_,
                        QStringLiteral("row %1, column %2 holds a text longer than an Excel cell "
                                       "takes (32,767 characters)")
                            .arg(row_)
                            .arg(column + 1));
    throw FileError(FileError::CannotWrite, path_,
                    QString::fromUtf8(lxw_strerror(static_cast<lxw_error>(error))));
}

void XlsxTableWriter::Commit() {
    for (int column = 0; column < widths_.size(); ++column) {
        // A little room for the cell's margins; the bold header is a little wider than its
        // characters.
        const double width = std::min(kWidestColumn, widths_[column] + 2);
        Check(worksheet_set_column(sheet_, column, column, width, nullptr));
    }
    const lxw_error closed = workbook_close(workbook_);
    workbook_ = nullptr;
    if (closed != LXW_NO_ERROR)
        throw FileError(FileError::CannotWrite, path_, QString::fromUtf8(lxw_strerror(closed)));
    // The library does not notice a failed write of the sheet's rows to its own temporary file
    // (a full disk): the workbook would close short of rows as if whole.
    try {
        if (XlsxReader::LastRowOf(temporary_.fileName(), kSheetPart) != lastRowWithCells_)
            throw FileError(FileError::CannotWrite, path_,
                            QStringLiteral("the workbook came out without all its rows"));
    } catch (const XlsxError& error) {
        throw FileError(FileError::CannotWrite, path_, error.reason());
    }
    temporary_.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                              QFile::ReadOther);
    // rename() replaces the target in one step, so the name shows the old file or the new one.
    if (std::rename(QFile::encodeName(temporary_.fileName()).constData(),
                    QFile::encodeName(path_).constData()) != 0)
        throw FileError(FileError::CannotWrite, path_, QString::fromLocal8Bit(strerror(errno)));
    temporary_.setAutoRemove(false);
}

} // namespace exchange
