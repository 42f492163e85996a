#pragma once

#include "data/Transaction.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>
#include <optional>

namespace db {

class Connection;
class RowStream;
struct Query;

enum CursorType {
    adOpenUnspecified = -1,
    adOpenForwardOnly = 0,
    adOpenKeyset = 1,
    adOpenDynamic = 2,
    adOpenStatic = 3
};
enum LockType {
    adLockUnspecified = -1,
    adLockReadOnly = 1,
    adLockPessimistic = 2,
    adLockOptimistic = 3
};

// The store's conversion of a text for a column: text columns take it as it is; into an INTEGER
// column the empty text is null and a whole number (an optional sign and digits) is that number;
// any other text is refused with a ConversionError.
QVariant ConvertForColumn(const QString& column, bool integerColumn, const QString& text);

// The rows of one statement, read one at a time, the same over every engine. A read-only set
// reads its statement as the caller moves and becomes a snapshot in memory before its connection
// writes. An updatable set (pessimistic or optimistic lock) holds its rows in memory; its first
// field write starts the engine's write transaction and locks the row, and Update() stores the
// row and commits. Closing an updatable set
// whose row was not stored rolls back, so the table is as it was.
class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Opens the rows a query asks for.
    void Open(const Query& query, Connection& connection, int cursorType = adOpenUnspecified,
              int lockType = adLockUnspecified, long options = -1);
    // Opens a statement of the program's own fixed text, never one with a value the user gave.
    void Open(const QString& source, Connection& connection, int cursorType = adOpenUnspecified,
              int lockType = adLockUnspecified, long options = -1);
    bool IsOpen() const { return connection_ != nullptr || !columns_.isEmpty(); }
    bool AtEnd() const { return atEnd_; }

    // The value of a column in the current row: null, a whole number, a real number or text.
    QVariant Field(const QString& column) const;
    // The position of a column, found by name as Field() finds it.
    int FieldIndex(const QString& column) const;
    // The text of the current row's field at a position, as UTF-8 bytes with no copy: the
    // engine's own text of the value, a null view for null. Valid until the row moves
    // or changes, the set closes or the connection writes (which turns a live set into a snapshot).
    QByteArrayView FieldText(int index) const;
    // Holds text for a column of the current row, converted to the column's type: into an
    // INTEGER column the empty text is null and a whole number is that number; other text is
    // refused with a ConversionError and nothing is held.
    void SetField(const QString& column, const QString& text);
    void MoveNext();
    void AddNew();
    void Update();
    void Close();

    // For the connection.
    void TakeSnapshot();
    void ForgetConnection();

private:
    void Adopt(std::unique_ptr<RowStream> stream, Connection& connection, int lockType);
    void RequireCurrentRow() const;
    void RequireUpdatable() const;
    QVector<QVariant> ReadLiveRow() const;
    void FinishLive();
    void BeginWrite();
    void RequireRowUnchanged();
    void StoreRow();

    Connection* connection_ = nullptr;
    std::unique_ptr<RowStream> live_;
    QStringList columns_;
    QHash<QString, int> columnIndexLower_; // by name in lower case, for any other spelling
    QVector<bool> integerColumn_;
    QList<QVector<QVariant>> rows_;
    mutable QVector<QByteArray> rowText_; // FieldText() of a row held in memory
    int position_ = 0;
    bool atEnd_ = true;

    bool updatable_ = false;
    QString table_;
    int keyColumn_ = -1;
    QVector<bool> dirty_;
    bool newRow_ = false;
    std::optional<Transaction> write_; // from the first field write until Update() or Close()
};

} // namespace db
