#pragma once

#include "data/Engine.h"

struct sqlite3;

namespace db {

// The embedded engine: one SQLCipher file, keyed with the password.
class SqliteEngine : public Engine {
public:
    // Opens the file; with create, a missing file is made, keyed, empty. Never creates otherwise.
    SqliteEngine(const QString& path, const QString& password, bool create, int busyTimeoutMs);
    ~SqliteEngine() override;

    bool IsServer() const override { return false; }
    void Execute(const QString& sql) override;
    std::unique_ptr<RowStream> Query(const QString& sql) override;
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
    qint64 UpdateRows(const QString& table, const QStringList& columns,
                      const QList<QVariantList>& rows, const QString& keyColumn) override;
    bool InTransaction() const override;
    void Commit() override;
    void Rollback() override;
    void SetBusyTimeout(int milliseconds) override;

    sqlite3* Handle() const { return handle_; }

private:
    sqlite3* handle_ = nullptr;
};

} // namespace db
