#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
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

// Reads RFC 4180 records from UTF-8 text handed over in pieces of any size: commas (or another
// separator), fields in double quotes where they hold commas, quotes (doubled) or line breaks,
// CRLF or LF line ends. Blanks are part of a field. Blank lines are skipped.
class CsvReader {
public:
    struct Record {
        int line; // where the record starts, from 1
        QStringList fields;
    };
    using RecordHandler = std::function<void(const Record&)>;

    // Hands each record in order to onRecord.
    CsvReader(RecordHandler onRecord, char separator = ',');
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // The next piece of the text; throws CsvSyntaxError at the first break of the rules (the
    // records before it have been handed over).
    void Feed(QByteArrayView text);
    // The end of the text: the last record without a line break is handed over; throws
    // CsvSyntaxError for a quoted field never closed.
    void Finish();

    // The separator a file uses, from its first line: the most frequent of comma, semicolon and
    // tab outside quotes; a comma when there is none.
    static char SeparatorOf(QByteArrayView text);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace exchange
