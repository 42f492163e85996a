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
    // The file's pages are not what the engine wrote, or it is no database.
    bool isDamaged() const;
    // The disk or the file system failed a read or a write.
    bool isIoError() const;
    // The engine refused the statement: a table or column it names is not there, or its text is
    // wrong.
    bool isStatementRefused() const;

private:
    int code_;
    int extendedCode_;
    QString message_;
};

// A text that a column's type does not take; nothing was held for the row.
class ConversionError : public Error {
public:
    // outOfRange: a whole number, but beyond what the column holds (64 bits).
    ConversionError(const QString& column, const QString& text, bool outOfRange = false);
    QString column() const { return column_; }
    bool outOfRange() const { return outOfRange_; }

private:
    QString column_;
    bool outOfRange_;
};

// The row an updatable result set read was changed or deleted elsewhere before this one took
// the write lock; nothing was written.
class RowChangedError : public Error {
public:
    explicit RowChangedError(bool deleted);
    bool deleted() const { return deleted_; }

private:
    bool deleted_;
};

// The server went away, or does not take a new connection. When it went while a commit was on its
// way, whether the changes were stored is not known.
class ServerLostError : public Error {
public:
    explicit ServerLostError(const QString& message, bool duringCommit = false);
    bool duringCommit() const { return duringCommit_; }

private:
    bool duringCommit_;
};

// Throws the connection's last error, reported under the given result code.
[[noreturn]] void ThrowEngineError(sqlite3* handle, int code);

} // namespace db
