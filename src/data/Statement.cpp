#include "data/Statement.h"

#include "data/DbError.h"

#include <sqlite3.h>

namespace db {

Statement::Statement(sqlite3* handle, const QString& sql) : handle_(handle) {
    const QByteArray text = sql.toUtf8();
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(handle_, text.constData(), text.size(), &stmt_, &tail);
    if (rc != SQLITE_OK)
        ThrowEngineError(handle_, rc);
    if (stmt_ == nullptr)
        throw Error(SQLITE_MISUSE, QStringLiteral("the statement text is empty"));
    // Whatever follows the first statement may only be blanks and comments.
    const char* end = text.constData() + text.size();
    sqlite3_stmt* next = nullptr;
    rc = sqlite3_prepare_v2(handle_, tail, static_cast<int>(end - tail), &next, nullptr);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next != nullptr) {
        sqlite3_finalize(stmt_);
        throw Error(SQLITE_MISUSE,
                    QStringLiteral("the text holds more than one statement; none was run"));
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

bool Statement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(stmt_);
    ThrowEngineError(handle_, rc);
}

void Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

void Statement::Bind(int index, const QVariant& value) {
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
        ThrowEngineError(handle_, rc);
}

bool Statement::IsReadOnly() const {
    return sqlite3_stmt_readonly(stmt_) != 0;
}

int Statement::ColumnCount() const {
    return sqlite3_column_count(stmt_);
}

QString Statement::ColumnName(int column) const {
    return QString::fromUtf8(sqlite3_column_name(stmt_, column));
}

QString Statement::DeclaredType(int column) const {
    return QString::fromUtf8(sqlite3_column_decltype(stmt_, column));
}

QString Statement::TableName(int column) const {
    return QString::fromUtf8(sqlite3_column_table_name(stmt_, column));
}

QVariant Statement::Column(int column) const {
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

QByteArrayView Statement::ColumnText(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return QByteArrayView(data, data == nullptr ? 0 : sqlite3_column_bytes(stmt_, column));
}

void Exec(sqlite3* handle, const QString& sql) {
    Statement statement(handle, sql);
    while (statement.Step()) {
    }
}

} // namespace db
