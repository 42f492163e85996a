#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <memory>
#include <optional>

namespace db {

struct Condition;
struct Query;

// The one-row table in which a server records the directory's layout version (a file keeps it in
// its header).
inline const QString kServerSchemaTable = QStringLiteral("orvandel_schema");

// How the directory file is opened.
enum class FileMode {
    ReadOnly,  // nothing is written to the file or beside it, not even the journal mode
    ReadWrite, // an existing file, switched to a write-ahead log
    Create,    // as ReadWrite; a missing file is made, keyed, empty
    Alone      // as ReadWrite, refused (kind Busy) while another program has the file open, and
               // then kept from every other program until closed
};

// The rows of one statement as the engine delivers them, one at a time. Next() moves to the
// first row on its first call.
class RowStream {
public:
    virtual ~RowStream() = default;
    virtual int ColumnCount() const = 0;
    virtual QString ColumnName(int column) const = 0;
    // Whether the column holds whole numbers, so that a text written into it is converted.
    virtual bool IsIntegerColumn(int column) const = 0;
    virtual bool Next() = 0;
    // The value of a column in the current row: null, a whole number, a real number or text.
    virtual QVariant Value(int column) const = 0;
    // The same value as UTF-8 text, a null view for null, valid until Next(). An engine that
    // holds its rows as text hands out its own bytes; this default converts Value().
    virtual QByteArrayView Text(int column) const;

private:
    mutable QList<QByteArray> text_; // the default Text()'s bytes, one to a column
};

// Where the rows of a stream come from: one table, and the position of its integer key among
// the stream's columns (-1 when the stream does not carry it).
struct RowSource {
    QString table;
    int keyColumn = -1;
};

// One open session with a database engine. The result-set layer above it is the same for every
// engine; what differs (how statements run, how a row is locked and stored) lives here.
class Engine {
public:
    virtual ~Engine() = default;

    // A server shared by many desks, rather than the local file.
    virtual bool IsServer() const = 0;
    // The file's path, or the server's host and database, for messages.
    virtual QString Location() const = 0;

    // Runs one statement of the program's own fixed text (never one with a value the user gave);
    // whatever rows it returns are dropped.
    virtual void Execute(const QString& sql) = 0;
    // The rows of a statement of the program's own fixed text.
    virtual std::unique_ptr<RowStream> Query(const QString& sql) = 0;
    // The rows a query asks for, rendered as this engine renders it.
    virtual std::unique_ptr<RowStream> Query(const db::Query& query) = 0;
    // Deletes the rows the query's conditions match; returns how many there were.
    virtual qint64 Delete(const db::Query& query) = 0;
    // How many rows the query's conditions match, then the sum of each of its columns over them,
    // an empty value counting as 0.
    virtual QList<qint64> Totals(const db::Query& query) = 0;
    // Whether a stream still being read keeps this engine from running anything else, so that
    // open readers must be read to their end first.
    virtual bool OneStatementAtATime() const = 0;
    // The table a finished stream's rows came from; an empty table when they do not come from
    // exactly one.
    virtual RowSource SourceOf(const RowStream& stream) = 0;

    // Starts a transaction; an immediate one takes the write lock now where the engine has one
    // for the whole store.
    virtual void Begin(bool immediate) = 0;
    // Locks the row with the key for the open transaction, waiting the busy time for a lock held
    // elsewhere; a wait in vain may end the transaction.
    virtual void LockRow(const QString& table, const QString& keyColumn, const QVariant& key) = 0;
    // Keeps every other writer out of the table for the open transaction, readers not, waiting the
    // busy time for writers already at work. An engine whose immediate transactions take the
    // write lock for the whole store has it already.
    virtual void LockTable(const QString&) {}
    // Adds a row and returns the key the engine gave it. Table names are used as the program's
    // statements spell them or as SourceOf() gave them.
    virtual QVariant Insert(const QString& table, const QStringList& columns,
                            const QVariantList& values, const QString& keyColumn) = 0;
    // Changes the row with the key; false when there is no such row.
    virtual bool UpdateRow(const QString& table, const QStringList& columns,
                           const QVariantList& values, const QString& keyColumn,
                           const QVariant& key) = 0;
    // Adds rows that all name the same columns, in order. The default runs Insert() for each; an
    // engine that can prepare the statement once and run it for every row does so.
    virtual void InsertRows(const QString& table, const QStringList& columns,
                            const QList<QVariantList>& rows, const QString& keyColumn);
    // Adds rows as InsertRows, each naming the key column; a row whose key is there already is
    // replaced.
    virtual void ReplaceRows(const QString& table, const QStringList& columns,
                             const QList<QVariantList>& rows, const QString& keyColumn) = 0;
    // Changes rows that all set the same columns; each row holds the values, then the key. The
    // default runs UpdateRow() for each. Returns how many of the keys had a row.
    virtual qint64 UpdateRows(const QString& table, const QStringList& columns,
                              const QList<QVariantList>& rows, const QString& keyColumn);
    virtual bool InTransaction() const = 0;
    virtual void Commit() = 0;
    // Rolls back a transaction that is still open; one that the engine ended on its own, or none,
    // is left alone.
    virtual void Rollback() = 0;

    // How long a write waits for a lock held elsewhere before it fails.
    virtual void SetBusyTimeout(int milliseconds) = 0;

    // How many megabytes of the store's pages this process keeps at most (the file's engine
    // keeps them; a server keeps its own, and this does nothing).
    virtual int PageCacheMegabytes() const { return 0; }
    virtual void SetPageCacheMegabytes(int) {}

    // The names of a table's columns as stored; none when there is no such table.
    virtual std::optional<QStringList> TableColumns(const QString& table) = 0;
    // Whether this session's account may read the table's rows, and add, change and delete them.
    // The file has no accounts: whoever opens it may do both.
    virtual bool MayRead(const QString&) { return true; }
    virtual bool MayWrite(const QString&) { return true; }
    // The version of the directory's layout that the store records; 0 when it records none.
    virtual int SchemaVersion() = 0;
    // Records the version, inside the caller's transaction.
    virtual void SetSchemaVersion(int version) = 0;

    // Whether the engine can copy the whole store to a file of its own kind (BackUp) and check
    // its pages (CheckPages).
    virtual bool CanBackUp() const { return false; }
    // A consistent copy, keyed as the original, taken while others read and save; it appears
    // under the target's name only when complete; an existing target is refused.
    virtual void BackUp(const QString& target);
    // Leaves the store as one file with nothing beside it once this session ends (a copy to keep
    // or to hand on); a server has nothing to do.
    virtual void Settle() {}
    virtual bool CanCheckPages() const { return false; }
    // What is wrong with the store's pages, one sentence each; empty when they are sound.
    virtual QStringList CheckPages();

    // What the program does in each of its write transactions just before it commits (it builds
    // the search keys of the rows written). It may read and write; its error ends the commit, and
    // the transaction is still open to be rolled back.
    void SetBeforeCommit(std::function<void(Engine&)> work) { beforeCommit_ = std::move(work); }

protected:
    // Runs a write. Outside a transaction it gets one of its own (immediate), committed when the
    // write returns, so that the work before a commit is done for it as for any other, and
    // rolled back when it throws.
    template <typename Write> auto InOwnTransaction(Write write) {
        if (InTransaction())
            return write();
        Begin(true);
        try {
            auto result = write();
            Commit();
            return result;
        } catch (...) {
            Rollback();
            throw;
        }
    }
    // For the engines' Commit().
    void BeforeCommit() {
        if (beforeCommit_)
            beforeCommit_(*this);
    }

private:
    std::function<void(Engine&)> beforeCommit_;
};

QString QuoteIdentifier(const QString& name);

// How this program names the one who writes: the user and the computer, within a server's 63
// bytes. A server is told it as the session's application name, so that another desk waiting for
// a record it holds can be told whose it is; both engines record it with each change.
QString DeskName();
// A value as UTF-8 text: null stays a null byte array, the empty text is empty but not null.
QByteArray Utf8Text(const QVariant& value);

} // namespace db
