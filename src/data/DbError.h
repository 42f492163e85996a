#pragma once

#include <QString>
#include <stdexcept>

struct sqlite3;

namespace db {

// A failure of the store: the engine's result code, its extended result code (which says more,
// for example which constraint or which kind of input/output error) and its message.
class Error : public std::runtime_error {
public:
    Error(int code, const QString& message);
    Error(int code, int extendedCode, const QString& message);
    int code() const { return code_; }
    int extendedCode() const { return extendedCode_; }
    QString message() const { return message_; }

    // Another connection or statement holds a lock that this one needs.
    bool isBusy() const;
    bool isDiskFull() const;
    // The file, or the folder its journal goes in, takes no writes.
    bool isReadOnly() const;
    bool isCantOpen() const;

private:
    int code_;
    int extendedCode_;
    QString message_;
};

// A text that a column's type does not take; nothing was held for the row.
class ConversionError : public Error {
public:
    ConversionError(const QString& column, const QString& text);
    QString column() const { return column_; }

private:
    QString column_;
};

// Throws the connection's last error, reported under the given result code.
[[noreturn]] void ThrowEngineError(sqlite3* handle, int code);

} // namespace db
