#include "data/DbError.h"

#include <sqlite3.h>

namespace db {

Error::Error(int code, const QString& message) : Error(code, code, message) {}

Error::Error(int code, int extendedCode, const QString& message)
    : std::runtime_error(message.toStdString()), code_(code & 0xff), extendedCode_(extendedCode),
      message_(message) {}

bool Error::isBusy() const {
    return code_ == SQLITE_BUSY || code_ == SQLITE_LOCKED;
}

bool Error::isDiskFull() const {
    return code_ == SQLITE_FULL;
}

bool Error::isReadOnly() const {
    return code_ == SQLITE_READONLY;
}

bool Error::isCantOpen() const {
    return code_ == SQLITE_CANTOPEN;
}

bool Error::isDamaged() const {
    return code_ == SQLITE_CORRUPT || code_ == SQLITE_NOTADB;
}

bool Error::isStatementRefused() const {
    return code_ == SQLITE_ERROR;
}

bool Error::isIoError() const {
    return code_ == SQLITE_IOERR;
}

ConversionError::ConversionError(const QString& column, const QString& text, bool outOfRange)
    : Error(
          SQLITE_MISMATCH,
          QStringLiteral("column %1 takes a whole number of at most 64 bits or nothing, not \"%2\"")
              .arg(column, text)),
      column_(column), outOfRange_(outOfRange) {}

RowChangedError::RowChangedError(bool deleted)
    : Error(SQLITE_ABORT, deleted
                              ? QStringLiteral("the row was deleted elsewhere after it was read")
                              : QStringLiteral("the row was changed elsewhere after it was read")),
      deleted_(deleted) {}

ServerLostError::ServerLostError(const QString& message, bool duringCommit)
    : Error(SQLITE_CANTOPEN, message), duringCommit_(duringCommit) {}

void ThrowEngineError(sqlite3* handle, int code) {
    if (handle == nullptr)
        throw Error(code, QString::fromUtf8(sqlite3_errstr(code)));
    // The connection keeps the extended code of its last failure; it belongs to this one only if
    // it extends the same result code.
    const int extended = sqlite3_extended_errcode(handle);
    throw Error(code, (extended & 0xff) == (code & 0xff) ? extended : code,
                QString::fromUtf8(sqlite3_errmsg(handle)));
}

} // namespace db
