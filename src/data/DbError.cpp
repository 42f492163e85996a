#include "data/DbError.h"

namespace db {

Error::Error(ErrorKind kind, const QString& message, const QString& engineCode)
    : std::runtime_error(message.toStdString()), kind_(kind), engineCode_(engineCode),
      message_(message) {}

QString Error::details() const {
    return engineCode_.isEmpty() ? message_ : QStringLiteral("%1 (%2)").arg(message_, engineCode_);
}

LockHeldError::LockHeldError(const QString& message, const QString& engineCode,
                             const QString& holder)
    : Error(ErrorKind::Busy, message, engineCode), holder_(holder) {}

ConversionError::ConversionError(const QString& column, const QString& text, bool outOfRange)
    : Error(
          ErrorKind::ValueRefused,
          QStringLiteral("column %1 takes a whole number of at most 64 bits or nothing, not \"%2\"")
              .arg(column, text)),
      column_(column), outOfRange_(outOfRange) {}

RowChangedError::RowChangedError(bool deleted)
    : Error(ErrorKind::RowChanged,
            deleted ? QStringLiteral("the row was deleted elsewhere after it was read")
                    : QStringLiteral("the row was changed elsewhere after it was read")),
      deleted_(deleted) {}

ServerLostError::ServerLostError(const QString& message, const QString& engineCode,
                                 bool duringCommit, ErrorKind kind)
    : Error(kind, message, engineCode), duringCommit_(duringCommit) {}

} // namespace db
