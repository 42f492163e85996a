#include "exchange/CsvTableWriter.h"

#include "exchange/CellText.h"

#include <charconv>
#include <csv.h>

namespace exchange {

namespace {

constexpr qsizetype kFlushSize = 1 << 20;

bool NeedsQuotes(const QByteArray& value) {
    for (const char c : value)
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    return false;
}

} // namespace

CsvTableWriter::CsvTableWriter(const QString& path, const QStringList& header)
    : file_(std::make_unique<QSaveFile>(path)), out_(file_.get()) {
    if (!file_->open(QIODevice::WriteOnly))
        throw FileError(FileError::CannotWrite, path, file_->errorString());
    buffer_.append("\xEF\xBB\xBF");
    WriteHeader(header);
}

CsvTableWriter::CsvTableWriter(QIODevice& out, const QStringList& header) : out_(&out) {
    WriteHeader(header);
}

void CsvTableWriter::WriteHeader(const QStringList& header) {
    buffer_.reserve(kFlushSize + 4096);
    for (int i = 0; i < header.size(); ++i) {
        if (i > 0)
            buffer_.append(',');
        AppendField(buffer_, header[i].toUtf8());
    }
    AppendRecordEnd();
}

void CsvTableWriter::AppendField(QByteArray& line, const QByteArray& value) {
    if (!NeedsQuotes(value)) {
        line.append(value);
        return;
    }
    // Quoted, with every quote doubled: at most twice the value and the two quotes.
    const qsizetype start = line.size();
    line.resize(start + 2 * value.size() + 2);
    const size_t written =
        csv_write(line.data() + start, line.size() - start, value.constData(), value.size());
    line.resize(start + static_cast<qsizetype>(written));
}

void CsvTableWriter::WriteRow(const QVector<QVariant>& values) {
    for (int i = 0; i < values.size(); ++i) {
        if (i > 0)
            buffer_.append(',');
        AppendValue(values[i]);
    }
    AppendRecordEnd();
}

void CsvTableWriter::AppendValue(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return;
    case QMetaType::LongLong:
    case QMetaType::Int: {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value.toLongLong()).ptr;
        buffer_.append(digits, end - digits);
        return;
    }
    case QMetaType::QByteArray:
        AppendField(buffer_, value.toByteArray());
        return;
    default: {
        const QString text = Guarded(value.toString());
        scratch_.resize(utf8_.requiredSpace(text.size()));
        scratch_.truncate(utf8_.appendToBuffer(scratch_.data(), text) - scratch_.data());
        AppendField(buffer_, scratch_);
    }
    }
}

void CsvTableWriter::AppendRecordEnd() {
    buffer_.append("\r\n", 2);
    if (buffer_.size() >= kFlushSize)
        Flush();
}

void CsvTableWriter::Flush() {
    if (out_->write(buffer_) != buffer_.size())
        throw FileError(FileError::CannotWrite, file_ ? file_->fileName() : QStringLiteral("-"),
                        out_->errorString());
    buffer_.resize(0); // keeps the capacity for the next rows
}

void CsvTableWriter::Commit() {
    Flush();
    if (file_ && !file_->commit())
        throw FileError(FileError::CannotWrite, file_->fileName(), file_->errorString());
}

} // namespace exchange
