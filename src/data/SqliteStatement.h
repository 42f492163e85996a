#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

namespace db {

// One prepared statement of the file engine. Text that holds more than one statement is refused
// whole.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* handle, const QString& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Runs the statement to its next row; false when it is done.
    bool Step();
    void Reset();
    void Bind(int index, const QVariant& value); // index from 1
    bool IsReadOnly() const;

    int ColumnCount() const;
    QString ColumnName(int column) const;
    QString DeclaredType(int column) const;
    QString TableName(int column) const;
    QVariant Column(int column) const;
    // The column's value as the engine's own UTF-8 text, a null view for null. Points into the
    // engine's memory: valid until the next Step() or Reset().
    QByteArrayView ColumnText(int column) const;

private:
    sqlite3* handle_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Runs a statement that returns no rows.
void Exec(sqlite3* handle, const QString& sql);

// Throws the connection's last error, reported under the given result code, with the kind that
// the code means.
[[noreturn]] void ThrowSqliteError(sqlite3* handle, int code);

} // namespace db
