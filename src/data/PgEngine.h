#pragma once

#include "data/Engine.h"

#include <QHash>

struct pg_conn;

namespace db {

// A PostgreSQL server through libpq. A query is sent as a statement whose values are bound
// parameters, never part of its text; where the server reads a condition differently from the
// file, the statement makes the results the same: "contains" ignores ASCII case and knows no
// escape character, as on the file.
class PgEngine : public Engine {
public:
    // Connects with a libpq connection string or URI.
    PgEngine(const QString& conninfo, int busyTimeoutMs);
    ~PgEngine() override;

    bool IsServer() const override { return true; }
    QString Location() const override;
    void Execute(const QString& sql) override;
    std::unique_ptr<RowStream> Query(const QString& sql) override;
    std::unique_ptr<RowStream> Query(const db::Query& query) override;
    qint64 Delete(const db::Query& query) override;
    QList<qint64> Totals(const db::Query& query) override;
    bool OneStatementAtATime() const override { return true; }
    RowSource SourceOf(const RowStream& stream) override;
    void Begin(bool immediate) override;
    void LockRow(const QString& table, const QString& keyColumn, const QVariant& key) override;
    void LockTable(const QString& table) override;
    QVariant Insert(const QString& table, const QStringList& columns, const QVariantList& values,
                    const QString& keyColumn) override;
    bool UpdateRow(const QString& table, const QStringList& columns, const QVariantList& values,
                   const QString& keyColumn, const QVariant& key) override;
    void InsertRows(const QString& table, const QStringList& columns,
                    const QList<QVariantList>& rows, const QString& keyColumn) override;
    void ReplaceRows(const QString& table, const QStringList& columns,
                     const QList<QVariantList>& rows, const QString& keyColumn) override;
    bool InTransaction() const override;
    void Commit() override;
    void Rollback() override;
    void SetBusyTimeout(int milliseconds) override;
    std::optional<QStringList> TableColumns(const QString& table) override;
    bool MayRead(const QString& table) override;
    bool MayWrite(const QString& table) override;
    int SchemaVersion() override;
    void SetSchemaVersion(int version) override;

    // A statement's text and the values bound to its placeholders ($1, $2, ...).
    struct Statement {
        QString text;
        QVariantList parameters;
    };
    static Statement SelectStatement(const db::Query& query);
    static Statement DeleteStatement(const db::Query& query);
    static Statement TotalsStatement(const db::Query& query);

private:
    QVariant InsertOne(const QString& table, const QStringList& columns, const QVariantList& values,
                       const QString& keyColumn);
    // replacing: the key column of ReplaceRows, whose rows replace those with the same key.
    void InsertEach(const QString& table, const QStringList& columns,
                    const QList<QVariantList>& rows, const QString& keyColumn,
                    const QString& replacing = QString());
    bool UpdateOne(const QString& table, const QStringList& columns, const QVariantList& values,
                   const QString& keyColumn, const QVariant& key);
    // Each appends the values it binds to the statement's parameters.
    static QString SelectText(const db::Query& query, Statement& statement);
    static QString WhereText(const db::Query& query, Statement& statement);
    static QString ConditionText(const db::Condition& condition, Statement& statement);
    bool HasPrivileges(const QString& table, const QStringList& privileges);
    // The desk whose transaction holds the row's lock, as it named itself; empty when unknown.
    QString HolderOf(const QString& table, const QString& keyColumn, const QVariant& key);
    // Connects again after the server went away; throws when it is still out of reach.
    pg_conn* Ready();
    // Reads what the server sent while no statement ran: the end of a connection that it closed
    // (a restart, an administrator) is seen here, before a statement is lost on it.
    void ReadWhatTheServerSent();
    void ApplySessionSettings();
    // After rows were added with keys of their own, the keys the server gives lie above them,
    // as on the file, where a key is never given twice.
    void KeepKeysAbove(const QString& table, const QString& keyColumn, qint64 key);

    pg_conn* conn_ = nullptr;
    int busyTimeoutMs_;
    bool inTransaction_ = false;
    QHash<unsigned, RowSource> sources_; // by table oid
};

} // namespace db
