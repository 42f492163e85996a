#pragma once

#include <QString>
#include <stdexcept>

struct sqlite3;

namespace db {

// A failure of the store: the engine's result code and its message.
class Error : public std::runtime_error {
public:
    Error(int code, const QString& message);
    int code() const { return code_; }
    QString message() const { return message_; }

private:
    int code_;
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
