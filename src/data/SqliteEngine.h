#pragma once

#include "data/Engine.h"
#include "data/SqliteStatement.h"

#include <QElapsedTimer>
#include <QHash>

struct sqlite3;

namespace db {

// The embedded engine: one SQLCipher file, keyed with the password.
class SqliteEngine : public Engine {
public:
    SqliteEngine(const QString& path, const QString& password, FileMode mode, int busyTimeoutMs);
    ~SqliteEngine() override;

    bool IsServer() const override { return false; }
    QString Location() const override { return path_; }
    void Execute(const QString& sql) override;
    std::unique_ptr<RowStream> Query(const QString& sql) override;
    std::unique_ptr<RowStream> Query(const db::Query& query) override;
    qint64 Delete(const db::Query& query) override;
    QList<qint64> Totals(const db::Query& query) override;
    bool OneStatementAtATime() const override { return false; }
    RowSource SourceOf(const RowStream& stream) override;
    void Begin(bool immediate) override;
    void LockRow(const QString& table, const QString& keyColumn, const QVariant& key) override;
    QVariant Insert(const QString& table, const QStringList& columns, const QVariantList& values,
                    const QString& keyColumn) override;
    bool UpdateRow(const QString& table, const QStringList& columns, const QVariantList& values,
                   const QString& keyColumn, const QVariant& key) override;
    void InsertRows(const QString& table, const QStringList& columns,
                    const QList<QVariantList>& rows, const QString& keyColumn) override;
    void ReplaceRows(const QString& table, const QStringList& columns,
                     const QList<QVariantList>& rows, const QString& keyColumn) override;
    qint64 UpdateRows(const QString& table, const QStringList& columns,
                      const QList<QVariantList>& rows, const QString& keyColumn) override;
    bool InTransaction() const override;
    void Commit() override;
    void Rollback() override;
    void SetBusyTimeout(int milliseconds) override;
    int PageCacheMegabytes() const override { return pageCacheMegabytes_; }
    void SetPageCacheMegabytes(int megabytes) override;
    std::optional<QStringList> TableColumns(const QString& table) override;
    int SchemaVersion() override;
    void SetSchemaVersion(int version) override;
    bool CanBackUp() const override { return true; }
    void BackUp(const QString& target) override;
    void Settle() override;
    bool CanCheckPages() const override { return true; }
    QStringList CheckPages() override;

    // The pages kept for reading: a list read again finds them decrypted.
    static constexpr int kReadingCacheMegabytes = 64;

    // The library's handle, for a bench that reads with the engine alone through the same page
    // cache as the program.
    sqlite3* Handle() const { return handle_; }

    // The statement texts a query and a delete are sent as: unquoted names, values written into
    // the text (an apostrophe doubled; the engine knows no other escape).
    static QString SelectText(const db::Query& query);
    static QString DeleteText(const db::Query& query);
    static QString TotalsText(const db::Query& query);

private:
    // The engine's busy handler: waits out a lock held elsewhere for the busy time, giving the
    // user interface its turns meanwhile.
    static int BusyTurn(void* engine, int tries);
    // Names this program's writer for the history's triggers, once a transaction.
    void NameWriter();
    // Runs a write inside the caller's transaction, or in one of its own, with the writer named.
    template <typename Write> auto Writing(Write write);
    void InsertEach(const QString& table, const QStringList& columns,
                    const QList<QVariantList>& rows, bool replace = false);
    qint64 UpdateEach(const QString& table, const QStringList& columns,
                      const QList<QVariantList>& rows, const QString& keyColumn);
    // A statement the program runs again and again, prepared once: preparing a change of the
    // ship-owner table builds its triggers' programs too, which cost as much as the save. The
    // statement stays valid until the next call.
    SqliteStatement& Prepared(const QString& sql);

    sqlite3* handle_ = nullptr;
    QString path_;
    QString password_; // a backup is keyed as the original
    int busyTimeoutMs_;
    QElapsedTimer busySince_;
    bool writerNamed_ = false;
    int pageCacheMegabytes_ = 0;         // 0: the engine's own small default
    std::optional<bool> hasWriterTable_; // looked up at the first write after any statement
    std::optional<qint64> writerId_;     // this desk's number among the writers
    QHash<QString, std::shared_ptr<SqliteStatement>> prepared_;
};

} // namespace db
