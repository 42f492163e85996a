#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>

namespace exchange {

// A break of the CSV rules (RFC 4180), such as a quote that is never closed.
class CsvSyntaxError : public std::runtime_error {
public:
    CsvSyntaxError(int line, const QString& reason);
    int line() const { return line_; }
    QString reason() const { return reason_; }

private:
    int line_;
    QString reason_;
};

// Reads RFC 4180 records from UTF-8 text: commas (or another separator), fields in double quotes
// where they hold commas, quotes (doubled) or line breaks, CRLF or LF line ends. Blanks are part of
// a field. Blank lines are skipped.
class CsvReader {
public:
    struct Record {
        int line; // where the record starts, from 1
        QStringList fields;
    };
    using RecordHandler = std::function<void(const Record&)>;
    // Called now and then with the number of bytes read so far.
    using Progress = std::function<void(qint64)>;

    // Calls onRecord for each record in order; throws CsvSyntaxError at the first break of the
    // rules (the records before it have been handed over).
    static void Parse(const QByteArray& text, const RecordHandler& onRecord,
                      const Progress& progress = {}, char separator = ',');
    // The separator a file uses, from its first line: the most frequent of comma, semicolon and
    // tab outside quotes; a comma when there is none.
    static char SeparatorOf(const QByteArray& text);
};

} // namespace exchange
