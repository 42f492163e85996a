#include "data/History.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Engine.h"
#include "data/Query.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"

#include <QSet>
#include <functional>
#include <optional>

namespace history {
namespace {

const QString kCompany = QStringLiteral("company_id");
const QString kVersion = QStringLiteral("version");
const QString kChange = QStringLiteral("change");
const QString kAt = QStringLiteral("changed_at");
const QString kWriter = QStringLiteral("writer");
const QString kChanged = QStringLiteral("changed");
const QString kBefore = QStringLiteral("before");

// How a change is stored: one letter, since every version of every company spells it.
const QString kInserted = QStringLiteral("i");
const QString kUpdated = QStringLiteral("u");
const QString kDeleted = QStringLiteral("d");

QString ChangeName(const QString& stored) {
    if (stored == kInserted)
        return QStringLiteral("insert");
    return stored == kDeleted ? QStringLiteral("delete") : QStringLiteral("update");
}

QStringList StoredColumns() {
    return {kCompany, kVersion, kChange, kAt, kWriter, kChanged, kBefore};
}

// Every value column's bit set: a delete keeps the whole record.
qint64 AllColumns() {
    return (qint64(1) << ValueColumns().size()) - 1;
}

// What a trigger writes, in each engine's words.
struct Dialect {
    std::function<QString(const QString& column)> differs;         // OLD and NEW differ
    std::function<QString(const QString& row, int index)> literal; // a value as a literal
};

// The bit mask of the columns an update changed.
QString ChangedMask(const Dialect& dialect) {
    QStringList bits;
    const QStringList columns = ValueColumns();
    for (int i = 0; i < columns.size(); ++i)
        bits.append(QStringLiteral("CASE WHEN %1 THEN %2 ELSE 0 END")
                        .arg(dialect.differs(columns[i]))
                        .arg(qint64(1) << i));
    return bits.join(QStringLiteral(" + "));
}

// The values before an update of the columns it changed, as comma-separated literals.
QString ChangedValues(const Dialect& dialect) {
    QStringList parts;
    const QStringList columns = ValueColumns();
    for (int i = 0; i < columns.size(); ++i)
        parts.append(
            QStringLiteral("CASE WHEN %1 THEN ',' || %2 ELSE '' END")
                .arg(dialect.differs(columns[i]), dialect.literal(QStringLiteral("OLD"), i)));
    return QStringLiteral("substr(%1, 2)").arg(parts.join(QStringLiteral(" || ")));
}

// A whole record as comma-separated literals.
QString WholeRecord(const Dialect& dialect, const QString& row) {
    QStringList parts;
    for (int i = 0; i < ValueColumns().size(); ++i)
        parts.append(dialect.literal(row, i));
    return parts.join(QStringLiteral(" || ',' || "));
}

// Reads the literals a trigger wrote (SQL's own forms: NULL, numbers, 'text' with '' for a
// quote, X'hex' for bytes) into values.
QVariantList Literals(const QString& text) {
    QVariantList values;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == QLatin1Char('\'')) {
            QString value;
            for (++i; i < text.size(); ++i) {
                if (text[i] == QLatin1Char('\'')) {
                    if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\''))
                        ++i;
                    else
                        break;
                }
                value.append(text[i]);
            }
            values.append(value);
            i += 2; // the closing quote and the comma
            continue;
        }
        qsizetype end = text.indexOf(QLatin1Char(','), i);
        if (end < 0)
            end = text.size();
        const QStringView word = QStringView(text).mid(i, end - i);
        bool whole = false;
        const qint64 number = word.toLongLong(&whole);
        if (word == QLatin1String("NULL"))
            values.append(QVariant());
        else if (word.startsWith(QLatin1String("X'"))) // bytes another program stored
            values.append(QByteArray::fromHex(word.mid(2, word.size() - 3).toLatin1()));
        else
            values.append(whole ? QVariant(number) : QVariant(word.toDouble()));
        i = end + 1;
    }
    return values;
}

// A value as the triggers write it.
QString Literal(const QVariant& value) {
    if (value.isNull())
        return QStringLiteral("NULL");
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray) {
        QString text = value.toString();
        text.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QLatin1Char('\'') + text + QLatin1Char('\'');
    }
    return value.toString();
}

// The columns whose bits are set in the mask, with the values the text holds, put into values.
void Apply(QVariantList& values, qint64 changed, const QString& before) {
    const QVariantList old = Literals(before);
    qsizetype next = 0;
    for (qsizetype i = 0; i < values.size(); ++i)
        if (changed & (qint64(1) << i))
            values[i] = old.value(next++);
}

QVariantList NoRecord() {
    return QVariantList(ValueColumns().size());
}

// One stored row, as read.
struct Stored {
    Version version;
    qint64 changed = 0;
    QString before;

    // The whole record a delete kept.
    QVariantList Removed() const {
        QVariantList values = NoRecord();
        Apply(values, changed, before);
        return values;
    }
};

// A writer's name by the number a version gives; empty for a writer that did not say.
QString WriterName(const QHash<qint64, QString>& writers, const QVariant& number) {
    return number.isNull() ? QString() : writers.value(number.toLongLong());
}

QHash<qint64, QString> Writers(db::Connection& connection) {
    QHash<qint64, QString> writers;
    connection.PrepareForQuery();
    const std::unique_ptr<db::RowStream> rows = connection.engine().Query(
        db::From(kWritersTable).Select({QStringLiteral("id"), QStringLiteral("who")}));
    while (rows->Next())
        writers.insert(rows->Value(0).toLongLong(), rows->Value(1).toString());
    return writers;
}

QList<Stored> ReadStored(db::Connection& connection, const db::Query& query) {
    const QHash<qint64, QString> writers = Writers(connection);
    db::Recordset rs;
    rs.Open(query, connection, db::adOpenStatic, db::adLockReadOnly);
    QList<Stored> stored;
    for (; !rs.AtEnd(); rs.MoveNext()) {
        Stored row;
        row.version.version = rs.Field(kVersion).toLongLong();
        row.version.companyId = rs.Field(kCompany).toLongLong();
        row.version.change = ChangeName(rs.Field(kChange).toString());
        row.version.at = QDateTime::fromMSecsSinceEpoch(rs.Field(kAt).toLongLong(), Qt::UTC);
        row.version.who = WriterName(writers, rs.Field(kWriter));
        row.changed = rs.Field(kChanged).toLongLong();
        row.before = rs.Field(kBefore).toString();
        stored.append(row);
    }
    return stored;
}

std::optional<QVariantList> CurrentRecord(db::Connection& connection, qint64 id) {
    db::Recordset rs;
    rs.Open(db::From(shipowner::kTable)
                .Select(ValueColumns())
                .Where(shipowner::kId, db::Condition::Test::Equals, id),
            connection, db::adOpenStatic, db::adLockReadOnly);
    if (rs.AtEnd())
        return std::nullopt;
    QVariantList values;
    for (const QString& column : ValueColumns())
        values.append(rs.Field(column));
    return values;
}

bool CompanyExists(db::Connection& connection, qint64 id) {
    return CurrentRecord(connection, id).has_value();
}

// A company's versions as the earlier layout kept them (the whole record after each change,
// before it for a delete), oldest first, turned into rows as the triggers write them now: what
// each change changed and the values before it, numbered from 1. The writer stays a name here.
// An update with no version before it cannot say what it changed, and says nothing.
QList<QVariantList> ChangedFieldsOf(const QList<std::pair<Version, QVariantList>>& company) {
    QList<QVariantList> rows;
    std::optional<QVariantList> previous;
    qint64 number = 0;
    for (const auto& [version, values] : company) {
        const QString stored = version.change == QLatin1String("insert")   ? kInserted
                               : version.change == QLatin1String("delete") ? kDeleted
                                                                           : kUpdated;
        qint64 changed = 0;
        QStringList before;
        if (stored == kDeleted) {
            changed = AllColumns();
            for (const QVariant& value : values)
                before.append(Literal(value));
        } else if (stored == kUpdated && previous) {
            for (qsizetype i = 0; i < values.size(); ++i)
                if (values[i].isNull() != previous->value(i).isNull() ||
                    values[i].toString() != previous->value(i).toString()) {
                    changed |= qint64(1) << i;
                    before.append(Literal(previous->value(i)));
                }
        }
        rows.append({version.companyId, ++number, stored, version.at.toMSecsSinceEpoch(),
                     version.who, changed,
                     stored == kInserted || (stored == kUpdated && !previous)
                         ? QVariant()
                         : QVariant(before.join(QLatin1Char(',')))});
        previous = stored == kDeleted ? std::nullopt : std::optional<QVariantList>(values);
    }
    return rows;
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
    const Dialect dialect{
        [](const QString& column) { return QStringLiteral("OLD.%1 IS NOT NEW.%1").arg(column); },
        [](const QString& row, int index) {
            return QStringLiteral("quote(%1.%2)").arg(row, ValueColumns()[index]);
        }};
    // Milliseconds since 1970 in UTC, as the server writes them.
    const QString now =
        QStringLiteral("CAST(round((julianday('now') - 2440587.5) * 86400000) AS INTEGER)");
    // One row of the history. Its values are given, not selected: a statement that selects from
    // the table it adds to makes the engine copy what it selected first, for every save.
    const auto row = [&](const QString& id, const QString& change, const QString& changed,
                         const QString& before) {
        return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3, (SELECT coalesce(max(%4), 0) + 1 "
                              "FROM %1 WHERE %5=%3), '%6', %7, (SELECT who FROM %8), %9")
                   .arg(kTable, StoredColumns().join(QLatin1Char(',')), id, kVersion, kCompany,
                        change, now, kWriterTable, changed) +
               QStringLiteral(", %1);").arg(before);
    };
    const QString inserted =
        row(QStringLiteral("NEW.id"), kInserted, QStringLiteral("0"), QStringLiteral("NULL"));
    const QString deleted = row(QStringLiteral("OLD.id"), kDeleted, QString::number(AllColumns()),
                                WholeRecord(dialect, QStringLiteral("OLD")));
    QStringList changed;
    for (const QString& column : ValueColumns())
        changed.append(dialect.differs(column));
    const auto trigger = [](const QString& name, const QString& event, const QString& when,
                            const QString& body) {
        return QStringLiteral("CREATE TRIGGER orvandel_history_%1 AFTER %2 ON %3%4 BEGIN %5 END")
            .arg(name, event, shipowner::kTable, when, body);
    };
    return {
        // The rows of one company lie together, in the order of its versions: no second index,
        // and a company's versions are one short read. No NOT NULL: a constraint that may fail
        // inside a trigger makes the engine keep a statement journal for every row written,
        // which made an import six times as slow.
        QStringLiteral("CREATE TABLE %1 (%2 INTEGER, %3 INTEGER, %4 TEXT, %5 INTEGER, %6 INTEGER, "
                       "%7 INTEGER, %8 TEXT, PRIMARY KEY (%2, %3)) WITHOUT ROWID")
            .arg(kTable, kCompany, kVersion, kChange, kAt, kWriter, kChanged, kBefore),
        QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, who TEXT UNIQUE)")
            .arg(kWritersTable),
        QStringLiteral("CREATE TABLE %1 (who INTEGER)").arg(kWriterTable),
        QStringLiteral("INSERT INTO %1 VALUES (NULL)").arg(kWriterTable),
        trigger(QStringLiteral("insert"), QStringLiteral("INSERT"), QString(), inserted),
        trigger(
            QStringLiteral("update"), QStringLiteral("UPDATE"),
            QStringLiteral(" WHEN OLD.id IS NEW.id AND (%1)")
                .arg(changed.join(QStringLiteral(" OR "))),
            row(QStringLiteral("NEW.id"), kUpdated, ChangedMask(dialect), ChangedValues(dialect))),
        // A new id is the old company gone and a new one come.
        trigger(QStringLiteral("renumber"), QStringLiteral("UPDATE"),
                QStringLiteral(" WHEN OLD.id IS NOT NEW.id"), deleted + inserted),
        trigger(QStringLiteral("delete"), QStringLiteral("DELETE"), QString(), deleted),
    };
}

QStringList ServerStatements() {
    const Dialect dialect{
        [](const QString& column) {
            return QStringLiteral("OLD.%1 IS DISTINCT FROM NEW.%1").arg(column);
        },
        [](const QString& row, int index) {
            const QString column = ValueColumns()[index];
            if (shipowner::IsIntegerColumn(int(shipowner::Columns().indexOf(column))))
                return QStringLiteral("coalesce(%1.%2::text, 'NULL')").arg(row, column);
            return QStringLiteral("coalesce('''' || replace(%1.%2, '''', '''''') || '''', 'NULL')")
                .arg(row, column);
        }};
    const auto row = [&](const QString& id, const QString& change, const QString& changed,
                         const QString& before) {
        return QStringLiteral("INSERT INTO %1 (%2) SELECT %3, coalesce(max(%4), 0) + 1, '%5', "
                              "(extract(epoch FROM clock_timestamp()) * 1000)::bigint, w, %6, %7 "
                              "FROM %1 WHERE %8 = %3;")
            .arg(kTable, StoredColumns().join(QLatin1Char(',')), id, kVersion, change, changed,
                 before, kCompany);
    };
    const QString inserted =
        row(QStringLiteral("NEW.id"), kInserted, QStringLiteral("0"), QStringLiteral("NULL"));
    const QString deleted = row(QStringLiteral("OLD.id"), kDeleted, QString::number(AllColumns()),
                                WholeRecord(dialect, QStringLiteral("OLD")));
    // The function runs as the directory's owner, so that a desk that may change companies need
    // not be given the history; session_user is still the desk's own role. A new id is the old
    // company gone and a new one come.
    const QString function =
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION orvandel_history_row() RETURNS trigger LANGUAGE plpgsql "
            "SECURITY DEFINER SET search_path FROM CURRENT AS $$ DECLARE name text := "
            "session_user || coalesce(' (' || nullif(current_setting('application_name', true), "
            "'') || ')', ''); w bigint; BEGIN SELECT id INTO w FROM %1 WHERE who = name; IF w IS "
            "NULL THEN INSERT INTO %1 (who) VALUES (name) ON CONFLICT (who) DO NOTHING; SELECT id "
            "INTO w FROM %1 WHERE who = name; END IF; IF TG_OP = 'INSERT' THEN %2 ELSIF TG_OP = "
            "'DELETE' THEN %3 ELSIF OLD.id IS DISTINCT FROM NEW.id THEN %3 %2 ELSE %4 END IF; "
            "RETURN NULL; END $$")
            .arg(kWritersTable, inserted, deleted,
                 row(QStringLiteral("NEW.id"), kUpdated, ChangedMask(dialect),
                     ChangedValues(dialect)));
    const auto trigger = [](const QString& event, const QString& when) {
        return QStringLiteral("CREATE TRIGGER orvandel_history_%1 AFTER %2 ON %3 FOR EACH ROW%4 "
                              "EXECUTE FUNCTION orvandel_history_row()")
            .arg(event.toLower(), event, shipowner::kTable, when);
    };
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 bigint NOT NULL, %3 integer NOT NULL, "
                       "%4 text NOT NULL, %5 bigint NOT NULL, %6 bigint, %7 bigint NOT NULL, %8 "
                       "text, CONSTRAINT orvandel_history_versions PRIMARY KEY (%2, %3))")
            .arg(kTable, kCompany, kVersion, kChange, kAt, kWriter, kChanged, kBefore),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id bigint GENERATED BY DEFAULT AS IDENTITY "
                       "PRIMARY KEY, who text NOT NULL UNIQUE)")
            .arg(kWritersTable),
        function,
        trigger(QStringLiteral("INSERT"), QString()),
        trigger(QStringLiteral("UPDATE"), QStringLiteral(" WHEN (OLD.* IS DISTINCT FROM NEW.*)")),
        trigger(QStringLiteral("DELETE"), QString()),
    };
}

void KeepOnlyChangedFields(db::Connection& connection) {
    // A directory given its history by this upgrade has it in this layout already.
    const std::optional<QStringList> columns = connection.engine().TableColumns(kTable);
    if (!columns || !columns->contains(QStringLiteral("who"), Qt::CaseInsensitive))
        return;
    const QString whole = kTable + QStringLiteral("_whole");
    const bool server = connection.IsServer();
    const QString on = server ? QStringLiteral(" ON ") + shipowner::kTable : QString();
    for (const char* event : {"insert", "update", "renumber", "delete"})
        connection.Execute(QStringLiteral("DROP TRIGGER IF EXISTS orvandel_history_%1%2")
                               .arg(QLatin1String(event), on));
    connection.Execute(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(kTable, whole));
    if (!server)
        connection.Execute(QStringLiteral("DROP TABLE ") + kWriterTable);
    for (const QString& statement : server ? ServerStatements() : FileStatements())
        connection.Execute(statement);
    connection.Execute(QStringLiteral("INSERT INTO %1 (who) SELECT DISTINCT who FROM %2 WHERE "
                                      "who IS NOT NULL AND who <> ''")
                           .arg(kWritersTable, whole));
    QHash<QString, qint64> writerIds;
    const QHash<qint64, QString> writers = Writers(connection);
    for (auto writer = writers.begin(); writer != writers.end(); ++writer)
        writerIds.insert(writer.value(), writer.key());

    // The versions as the earlier layout kept them, each company's oldest first, rewritten a
    // company at a time. An engine that can write while it reads writes them as it goes, so
    // that a long history is not held in memory; the other holds only the new, smaller rows.
    db::Engine& engine = connection.engine();
    const bool writeWhileReading = !engine.OneStatementAtATime();
    QList<QVariantList> rewritten;
    QList<std::pair<Version, QVariantList>> company;
    const auto endCompany = [&] {
        for (QVariantList row : ChangedFieldsOf(company)) {
            const QString who = row[4].toString();
            row[4] = writerIds.contains(who) ? QVariant(writerIds.value(who)) : QVariant();
            rewritten.append(row);
        }
        company.clear();
    };
    const auto write = [&] {
        engine.InsertRows(kTable, StoredColumns(), rewritten, QString());
        rewritten.clear();
    };
    {
        connection.PrepareForQuery();
        const QStringList read =
            QStringList{kCompany, kChange, kAt, QStringLiteral("who")} + ValueColumns();
        const std::unique_ptr<db::RowStream> rows =
            engine.Query(db::From(whole).Select(read).OrderBy(kCompany).OrderBy(kVersion));
        while (rows->Next()) {
            Version version;
            version.companyId = rows->Value(0).toLongLong();
            version.change = rows->Value(1).toString();
            version.at = QDateTime::fromMSecsSinceEpoch(rows->Value(2).toLongLong(), Qt::UTC);
            version.who = rows->Value(3).toString();
            QVariantList values;
            for (int i = 4; i < read.size(); ++i)
                values.append(rows->Value(i));
            if (!company.isEmpty() && company.first().first.companyId != version.companyId) {
                endCompany();
                if (writeWhileReading && rewritten.size() >= 5000)
                    write();
            }
            company.append({version, values});
        }
    }
    endCompany();
    write();
    if (server)
        // Whoever could read the history may read it still, and its writers' names.
        connection.Execute(
            QStringLiteral("DO $$ DECLARE r record; BEGIN FOR r IN SELECT DISTINCT grantee FROM "
                           "information_schema.role_table_grants WHERE table_name = '%1' AND "
                           "privilege_type = 'SELECT' AND grantee <> current_user LOOP EXECUTE "
                           "format('GRANT SELECT ON %2, %3 TO %I', r.grantee); END LOOP; END $$")
                .arg(whole, kTable, kWritersTable));
    connection.Execute(QStringLiteral("DROP TABLE ") + whole);
}

QList<Version> VersionsOf(db::Connection& connection, qint64 companyId) {
    const QList<Stored> stored =
        ReadStored(connection, db::From(kTable)
                                   .Where(kCompany, db::Condition::Test::Equals, companyId)
                                   .OrderBy(kVersion, true));
    // Newest first, each version's record is the one after it with its change undone; a
    // delete keeps the whole record it removed.
    QVariantList record = CurrentRecord(connection, companyId).value_or(NoRecord());
    QList<Version> versions;
    for (const Stored& row : stored) {
        Version version = row.version;
        if (version.change == QLatin1String("delete"))
            record = row.Removed();
        version.values = record;
        versions.append(version);
        if (version.change == QLatin1String("insert"))
            record = NoRecord();
        else if (version.change == QLatin1String("update"))
            Apply(record, row.changed, row.before);
    }
    return versions;
}

QList<Version> Deleted(db::Connection& connection) {
    const db::Query deletes =
        db::From(kTable).Where(kChange, db::Condition::Test::Equals, kDeleted);
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
    for (const Stored& row :
         ReadStored(connection, db::Query(deletes).OrderBy(kAt, true).OrderBy(kVersion, true))) {
        if (seen.contains(row.version.companyId))
            continue;
        seen.insert(row.version.companyId);
        Version version = row.version;
        version.values = row.Removed();
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
    const QHash<qint64, QString> writers = Writers(connection);
    QHash<qint64, LastChange> last;
    connection.PrepareForQuery();
    // Each company's oldest first, so that its newest change is the one kept.
    const std::unique_ptr<db::RowStream> rows = connection.engine().Query(
        db::From(kTable).Select({kCompany, kAt, kWriter}).OrderBy(kCompany).OrderBy(kVersion));
    while (rows->Next())
        last.insert(rows->Value(0).toLongLong(),
                    {QDateTime::fromMSecsSinceEpoch(rows->Value(1).toLongLong(), Qt::UTC),
                     WriterName(writers, rows->Value(2))});
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
