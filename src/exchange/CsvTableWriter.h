#pragma once

#include "exchange/TableFile.h"

#include <QByteArray>
#include <QSaveFile>
#include <QStringEncoder>
#include <QStringList>
#include <memory>

namespace exchange {

// RFC 4180 text as spreadsheet programs read it: UTF-8 with a byte-order mark, commas, CRLF
// line ends, a field quoted only when it holds a comma, a quote or a line break. Null and the
// empty text both give an empty field.
class CsvTableWriter : public TableWriter {
public:
    CsvTableWriter(const QString& path, const QStringList& header);
    // The same text on a device already open, such as standard output, without the byte-order
    // mark that programs reading a pipe do not expect; Commit() flushes it.
    CsvTableWriter(QIODevice& out, const QStringList& header);

    void WriteRow(const QVector<QVariant>& values) override;
    void Commit() override;

    // One value as its field's bytes, quoted where needed.
    static void AppendField(QByteArray& line, const QByteArray& value);

private:
    void WriteHeader(const QStringList& header);
    void AppendRecordEnd();
    void Flush();

    void AppendValue(const QVariant& value);

    std::unique_ptr<QSaveFile> file_; // none when writing to a device of the caller's
    QIODevice* out_;
    QByteArray buffer_;
    QStringEncoder utf8_{QStringEncoder::Utf8};
    QByteArray scratch_; // one value's UTF-8, reused from value to value
};

} // namespace exchange
