#include "data/History.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Engine.h"
#include "data/Query.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"

#include <QSet>

namespace history {
namespace {

const QString kVersion = QStringLiteral("version");
const QString kCompany = QStringLiteral("company_id");
const QString kChange = QStringLiteral("change");
const QString kAt = QStringLiteral("changed_at");
const QString kWho = QStringLiteral("who");

// The columns of a history row before the record's own.
QString OwnColumns() {
    return QStringList{kCompany, kChange, kAt, kWho}.join(QLatin1Char(','));
}

// Each record column, prefixed: "NEW.公司名称,NEW.国家,…".
QString RecordValues(const QString& prefix) {
    QStringList values;
    for (const QString& column : ValueColumns())
        values.append(prefix + column);
    return values.join(QLatin1Char(','));
}

QString ColumnDefinitions(const QString& text, const QString& number) {
    QStringList definitions;
    for (const shipowner::Column& column : shipowner::ColumnTable())
        if (column.type != shipowner::ColumnType::Key)
            definitions.append(column.name + QLatin1Char(' ') +
                               (column.type == shipowner::ColumnType::Text ? text : number));
    return definitions.join(QStringLiteral(", "));
}

Version Read(const db::Recordset& rs) {
    Version version;
    version.version = rs.Field(kVersion).toLongLong();
    version.companyId = rs.Field(kCompany).toLongLong();
    version.change = rs.Field(kChange).toString();
    version.at = QDateTime::fromMSecsSinceEpoch(rs.Field(kAt).toLongLong(), Qt::UTC);
    version.who = rs.Field(kWho).toString();
    for (const QString& column : ValueColumns())
        version.values.append(rs.Field(column));
    return version;
}

QList<Version> ReadAll(db::Connection& connection, const db::Query& query) {
    db::Recordset rs;
    rs.Open(query, connection, db::adOpenStatic, db::adLockReadOnly);
    QList<Version> versions;
    for (; !rs.AtEnd(); rs.MoveNext())
        versions.append(Read(rs));
    return versions;
}

bool CompanyExists(db::Connection& connection, qint64 id) {
    db::Recordset rs;
    rs.Open(db::From(shipowner::kTable)
                .Select({shipowner::kId})
                .Where(shipowner::kId, db::Condition::Test::Equals, id),
            connection, db::adOpenStatic, db::adLockReadOnly);
    return !rs.AtEnd();
}

} // namespace

QString Version::Text(const QString& column) const {
    return shipowner::ValueText(values.value(ValueColumns().indexOf(column)));
}

QString LocalTimeText(const QDateTime& utc) {
    return utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QStringList ValueColumns() {
    QStringList columns = shipowner::Columns();
    columns.removeAll(shipowner::kId);
    return columns;
}

QStringList FileStatements() {
    // Milliseconds since 1970 in UTC, as the server writes them.
    const QString now =
        QStringLiteral("CAST(round((julianday('now') - 2440587.5) * 86400000) AS INTEGER)");
    const QString who = QStringLiteral("(SELECT who FROM %1)").arg(kWriterTable);
    const auto trigger = [&](const QString& event, const QString& kind, const QString& row,
                             const QString& when) {
        return QStringLiteral("CREATE TRIGGER orvandel_history_%1 AFTER %2 ON %3%4 BEGIN INSERT "
                              "INTO %5 (%6,%7) VALUES (%8.id,'%1',%9,%10,%11); END")
            .arg(kind, event, shipowner::kTable, when, kTable, OwnColumns(),
                 ValueColumns().join(QLatin1Char(',')), row, now, who,
                 RecordValues(row + QLatin1Char('.')));
    };
    QStringList changed = {QStringLiteral("OLD.id IS NOT NEW.id")};
    for (const QString& column : ValueColumns())
        changed.append(QStringLiteral("OLD.%1 IS NOT NEW.%1").arg(column));
    return {
        // No NOT NULL: a constraint that may fail inside a trigger makes the engine keep a
        // statement journal for every row written, which made an import six times as slow.
        QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 INTEGER, %4 "
                       "TEXT, %5 INTEGER, %6 TEXT, %7)")
            .arg(kTable, kVersion, kCompany, kChange, kAt, kWho,
                 ColumnDefinitions(QStringLiteral("TEXT"), QStringLiteral("INTEGER"))),
        QStringLiteral("CREATE INDEX orvandel_history_company ON %1 (%2, %3)")
            .arg(kTable, kCompany, kVersion),
        QStringLiteral("CREATE TABLE %1 (who TEXT)").arg(kWriterTable),
        QStringLiteral("INSERT INTO %1 VALUES (NULL)").arg(kWriterTable),
        trigger(QStringLiteral("INSERT"), QStringLiteral("insert"), QStringLiteral("NEW"),
                QString()),
        trigger(QStringLiteral("UPDATE"), QStringLiteral("update"), QStringLiteral("NEW"),
                QStringLiteral(" WHEN ") + changed.join(QStringLiteral(" OR "))),
        trigger(QStringLiteral("DELETE"), QStringLiteral("delete"), QStringLiteral("OLD"),
                QString()),
    };
}

QStringList ServerStatements() {
    // The function runs as the directory's owner, so that a desk that may change companies need
    // not be given the history; session_user is still the desk's own role.
    const QString function =
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION orvandel_history_row() RETURNS trigger LANGUAGE plpgsql "
            "SECURITY DEFINER SET search_path FROM CURRENT AS $$ DECLARE r %1%ROWTYPE; BEGIN IF "
            "TG_OP = 'DELETE' THEN r := OLD; ELSE r := NEW; END IF; INSERT INTO %2 (%3,%4) "
            "VALUES (r.id, lower(TG_OP), (extract(epoch FROM clock_timestamp()) * 1000)::bigint, "
            "session_user || coalesce(' (' || nullif(current_setting('application_name', true), "
            "'') || ')', ''), %5); RETURN NULL; END $$")
            .arg(shipowner::kTable, kTable, OwnColumns(), ValueColumns().join(QLatin1Char(',')),
                 RecordValues(QStringLiteral("r.")));
    const auto trigger = [](const QString& event, const QString& when) {
        return QStringLiteral("CREATE TRIGGER orvandel_history_%1 AFTER %2 ON %3 FOR EACH ROW%4 "
                              "EXECUTE FUNCTION orvandel_history_row()")
            .arg(event.toLower(), event, shipowner::kTable, when);
    };
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 bigint GENERATED ALWAYS AS IDENTITY "
                       "PRIMARY KEY, %3 bigint NOT NULL, %4 text NOT NULL, %5 bigint NOT NULL, %6 "
                       "text, %7)")
            .arg(kTable, kVersion, kCompany, kChange, kAt, kWho,
                 ColumnDefinitions(QStringLiteral("text COLLATE \"C\""), QStringLiteral("bigint"))),
        QStringLiteral("CREATE INDEX IF NOT EXISTS orvandel_history_company ON %1 (%2, %3)")
            .arg(kTable, kCompany, kVersion),
        function,
        trigger(QStringLiteral("INSERT"), QString()),
        trigger(QStringLiteral("UPDATE"), QStringLiteral(" WHEN (OLD.* IS DISTINCT FROM NEW.*)")),
        trigger(QStringLiteral("DELETE"), QString()),
    };
}

QList<Version> VersionsOf(db::Connection& connection, qint64 companyId) {
    return ReadAll(connection, db::From(kTable)
                                   .Where(kCompany, db::Condition::Test::Equals, companyId)
                                   .OrderBy(kVersion, true));
}

QList<Version> Deleted(db::Connection& connection) {
    const db::Query deletes =
        db::From(kTable).Where(kChange, db::Condition::Test::Equals, QStringLiteral("delete"));
    // A company may have been deleted and brought back: the ones back are read in one statement,
    // not asked after one by one (a round trip each on a server).
    QSet<qint64> back;
    db::Recordset present;
    present.Open(db::From(shipowner::kTable)
                     .Select({shipowner::kId})
                     .Where(db::InQuery(shipowner::kId, db::Query(deletes).Select({kCompany}))),
                 connection, db::adOpenStatic, db::adLockReadOnly);
    for (; !present.AtEnd(); present.MoveNext())
        back.insert(present.Field(shipowner::kId).toLongLong());
    // Deleted, brought back and deleted again: its newest delete counts.
    QList<Version> deleted;
    QSet<qint64> seen = back;
    for (const Version& version : ReadAll(connection, db::Query(deletes).OrderBy(kVersion, true))) {
        if (seen.contains(version.companyId))
            continue;
        seen.insert(version.companyId);
        deleted.append(version);
    }
    return deleted;
}

void RestoreVersion(db::Connection& connection, const Version& version, qint64 newestSeen) {
    db::Transaction transaction(connection, db::Transaction::Begin::Immediate);
    db::Engine& engine = connection.engine();
    engine.LockRow(shipowner::kTable, shipowner::kId, version.companyId);
    if (!CompanyExists(connection, version.companyId))
        throw db::RowChangedError(true);
    const QList<Version> versions = VersionsOf(connection, version.companyId);
    if (versions.isEmpty() || versions.first().version != newestSeen)
        throw db::RowChangedError(false);
    connection.DetachReaders();
    engine.UpdateRow(shipowner::kTable, ValueColumns(), version.values, shipowner::kId,
                     version.companyId);
    transaction.commit();
}

void Undelete(db::Connection& connection, const Version& deleted) {
    db::Transaction transaction(connection, db::Transaction::Begin::Immediate);
    if (CompanyExists(connection, deleted.companyId))
        throw db::Error(db::ErrorKind::Misuse,
                        QStringLiteral("a company with id %1 exists").arg(deleted.companyId));
    connection.DetachReaders();
    connection.engine().Insert(shipowner::kTable, QStringList{shipowner::kId} + ValueColumns(),
                               QVariantList{deleted.companyId} + deleted.values, shipowner::kId);
    transaction.commit();
}

qint64 Prune(db::Connection& connection, const QDateTime& before) {
    return connection.Delete(
        db::From(kTable).Where(kAt, db::Condition::Test::AtMost, before.toMSecsSinceEpoch() - 1));
}

QHash<qint64, LastChange> LastChanges(db::Connection& connection) {
    QHash<qint64, LastChange> last;
    connection.PrepareForQuery();
    // Oldest first, so that each company's newest change is the one kept.
    const std::unique_ptr<db::RowStream> rows =
        connection.engine().Query(db::From(kTable).Select({kCompany, kAt, kWho}).OrderBy(kVersion));
    while (rows->Next())
        last.insert(rows->Value(0).toLongLong(),
                    {QDateTime::fromMSecsSinceEpoch(rows->Value(1).toLongLong(), Qt::UTC),
                     rows->Value(2).toString()});
    return last;
}

QStringList Differences(const QVariantList& before, const QVariantList& after) {
    QStringList differences;
    const QStringList columns = ValueColumns();
    for (int i = 0; i < columns.size(); ++i) {
        const QString old = shipowner::ValueText(before.value(i));
        const QString now = shipowner::ValueText(after.value(i));
        if (old == now)
            continue;
        const QString meaning =
            shipowner::ColumnTable().at(shipowner::Columns().indexOf(columns[i])).meaning;
        differences.append(QStringLiteral("%1：%2 → %3")
                               .arg(meaning, old.isEmpty() ? QStringLiteral("（空）") : old,
                                    now.isEmpty() ? QStringLiteral("（空）") : now));
    }
    return differences;
}

} // namespace history
