#include "data/DbError.h"

#include <sqlite3.h>

namespace db {

Error::Error(int code, const QString& message)
    : std::runtime_error(message.toStdString()), code_(code), message_(message) {}

ConversionError::ConversionError(const QString& column, const QString& text)
    : Error(SQLITE_MISMATCH, QStringLiteral("column %1 takes a whole number or nothing, not \"%2\"")
                                 .arg(column, text)),
      column_(column) {}

void ThrowEngineError(sqlite3* handle, int code) {
    const QString message = handle != nullptr ? QString::fromUtf8(sqlite3_errmsg(handle))
                                              : QString::fromUtf8(sqlite3_errstr(code));
    throw Error(code, message);
}

} // namespace db
