#include "data/SqliteStatement.h"

#include "data/DbError.h"

#include <sqlite3.h>

namespace db {

namespace {

ErrorKind KindOf(int code, const QString& message) {
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ErrorKind::Busy;
    case SQLITE_FULL:
        return ErrorKind::DiskFull;
    case SQLITE_READONLY:
        return ErrorKind::ReadOnly;
    case SQLITE_CANTOPEN:
        return ErrorKind::CannotOpen;
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ErrorKind::PermissionDenied;
    case SQLITE_CORRUPT:
        return ErrorKind::Damaged;
    case SQLITE_NOTADB:
        return ErrorKind::NotADirectory;
    case SQLITE_IOERR:
        return ErrorKind::IoError;
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
        return ErrorKind::ValueRefused;
    case SQLITE_MISUSE:
        return ErrorKind::Misuse;
    case SQLITE_ERROR:
        // The program's own statements name only the directory's table and columns.
        if (message.startsWith(QLatin1String("no such table")) ||
            message.startsWith(QLatin1String("no such column")) ||
            message.contains(QLatin1String("has no column named")))
            return ErrorKind::NotADirectory;
        return ErrorKind::Other;
    default:
        return ErrorKind::Other;
    }
}

} // namespace

void ThrowSqliteError(sqlite3* handle, int code) {
    // The connection keeps the extended code of its last failure; it belongs to this one only if
    // it extends the same result code.
    const int extended = handle == nullptr ? code : sqlite3_extended_errcode(handle);
    const int reported = (extended & 0xff) == (code & 0xff) ? extended : code;
    const QString message =
        QString::fromUtf8(handle == nullptr ? sqlite3_errstr(code) : sqlite3_errmsg(handle));
    throw Error(KindOf(code, message), message, QStringLiteral("SQLite %1").arg(reported));
}

SqliteStatement::SqliteStatement(sqlite3* handle, const QString& sql) : handle_(handle) {
    const QByteArray text = sql.toUtf8();
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(handle_, text.constData(), text.size(), &stmt_, &tail);
    if (rc != SQLITE_OK)
        ThrowSqliteError(handle_, rc);
    if (stmt_ == nullptr)
        throw Error(ErrorKind::Misuse, QStringLiteral("the statement text is empty"));
    // Whatever follows the first statement may only be blanks and comments.
    const char* end = text.constData() + text.size();
    sqlite3_stmt* next = nullptr;
    rc = sqlite3_prepare_v2(handle_, tail, static_cast<int>(end - tail), &next, nullptr);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next != nullptr) {
        sqlite3_finalize(stmt_);
        throw Error(ErrorKind::Misuse,
                    QStringLiteral("the text holds more than one statement; none was run"));
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

bool SqliteStatement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(stmt_);
    ThrowSqliteError(handle_, rc);
}

void SqliteStatement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

void SqliteStatement::Bind(int index, const QVariant& value) {
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(stmt_, index);
    } else if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int) {
        rc = sqlite3_bind_int64(stmt_, index, value.toLongLong());
    } else if (value.typeId() == QMetaType::Double) {
        rc = sqlite3_bind_double(stmt_, index, value.toDouble());
    } else {
        const QByteArray text = value.toString().toUtf8();
        rc = sqlite3_bind_text(stmt_, index, text.constData(), text.size(), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        ThrowSqliteError(handle_, rc);
}

bool SqliteStatement::IsReadOnly() const {
    return sqlite3_stmt_readonly(stmt_) != 0;
}

int SqliteStatement::ColumnCount() const {
    return sqlite3_column_count(stmt_);
}

QString SqliteStatement::ColumnName(int column) const {
    return QString::fromUtf8(sqlite3_column_name(stmt_, column));
}

QString SqliteStatement::DeclaredType(int column) const {
    return QString::fromUtf8(sqlite3_column_decltype(stmt_, column));
}

QString SqliteStatement::TableName(int column) const {
    return QString::fromUtf8(sqlite3_column_table_name(stmt_, column));
}

QVariant SqliteStatement::Column(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qint64>(sqlite3_column_int64(stmt_, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt_, column));
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
        return QVariant(QByteArray(data, sqlite3_column_bytes(stmt_, column)));
    }
    default: {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return QVariant(QString::fromUtf8(data, sqlite3_column_bytes(stmt_, column)));
    }
    }
}

QByteArrayView SqliteStatement::ColumnText(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return QByteArrayView(data, data == nullptr ? 0 : sqlite3_column_bytes(stmt_, column));
}

void Exec(sqlite3* handle, const QString& sql) {
    SqliteStatement statement(handle, sql);
    while (statement.Step()) {
    }
}

} // namespace db
