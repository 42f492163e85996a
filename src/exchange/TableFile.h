#pragma once

#include <QString>
#include <QVariant>
#include <QVector>
#include <memory>
#include <stdexcept>

// Files that carry the directory to and from spreadsheet programs.
namespace exchange {

enum class FileFormat { Csv, Xlsx };

// The format named by the file's extension (.csv or .xlsx, any case); false when it names none.
bool FormatOf(const QString& path, FileFormat& format);

// A file that cannot be read or written as asked. The kind lets a screen say it in its own words;
// what() says it in English for the database tool.
class FileError : public std::runtime_error {
public:
    enum Kind {
        CannotRead,      // the file cannot be opened or read
        CannotWrite,     // the file or its temporary twin cannot be created or written
        UnknownEncoding, // --encoding names no encoding this system knows
        TooLongForExcel  // a text longer than an Excel cell holds (32,767 characters)
    };
    FileError(Kind kind, const QString& path, const QString& detail);
    Kind kind() const { return kind_; }
    QString path() const { return path_; }

private:
    Kind kind_;
    QString path_;
};

// Writes one table: a header row, then rows of values (null, whole numbers or text) in the
// header's order. Nothing shows under the file's name until Commit() has finished; a writer
// destroyed without Commit() leaves the folder as it was.
class TableWriter {
public:
    virtual ~TableWriter() = default;
    virtual void WriteRow(const QVector<QVariant>& values) = 0;
    virtual void Commit() = 0;
};

// A writer for the format, with the header already written. integerColumns marks the columns
// whose values are whole numbers.
std::unique_ptr<TableWriter> OpenTableWriter(FileFormat format, const QString& path,
                                             const QString& sheetName, const QStringList& header,
                                             const QVector<bool>& integerColumns);

} // namespace exchange
