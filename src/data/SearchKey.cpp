#include "data/SearchKey.h"

#include "data/ChineseText.h"
#include "data/CompanySearch.h"
#include "data/Connection.h"
#include "data/Engine.h"
#include "data/History.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"

#include <memory>
#include <optional>

namespace searchkey {
namespace {

// The name first, as the table has it.
const QStringList& TextColumns() {
    static const QStringList columns = shipowner::SearchableTextColumns();
    return columns;
}

const QString& NameColumn() {
    return shipowner::Columns()[1];
}

QString Joined(const QString& prefix) {
    QStringList names;
    for (const QString& column : TextColumns())
        names.append(prefix + column);
    return names.join(QLatin1Char(','));
}

// The texts that changed, for an update trigger's condition: a change of the fleet alone leaves
// the key as it is.
QString TextsChanged(const QString& differ) {
    QStringList changed = {QStringLiteral("OLD.id %1 NEW.id").arg(differ)};
    for (const QString& column : TextColumns())
        changed.append(QStringLiteral("OLD.%1 %2 NEW.%1").arg(column, differ));
    return changed.join(QStringLiteral(" OR "));
}

const int kBatch = 1000;

// The pending keys, a batch at a time, so that a large import never holds all of them at once.
// Written with WITH rather than as a plain SELECT: a server then sends the few rows of a save at
// once instead of through the cursor that a list is read by, three round trips fewer a save.
QString PendingRowsStatement() {
    return QStringLiteral("WITH pending AS (SELECT id FROM %1 WHERE %2=%3 LIMIT %4) SELECT "
                          "id,%5 FROM %6 WHERE id IN (SELECT id FROM pending)")
        .arg(kTable, kState)
        .arg(int(Pending))
        .arg(kBatch)
        .arg(Joined(QString()), shipowner::kTable);
}

QStringList KeyColumns() {
    return QStringList{kState} + TextColumns() + QStringList{kSyllables, kInitials};
}

// A company's key: its id, then the key's columns.
QVariantList KeyRow(const db::RowStream& row) {
    QVariantList key = {row.Value(0), int(Built)};
    for (int i = 0; i < TextColumns().size(); ++i) {
        const QVariant text = row.Value(i + 1);
        key.append(text.isNull() ? QVariant() : QVariant(chinese::Folded(text.toString())));
    }
    const chinese::Pinyin pinyin = chinese::PinyinOf(row.Value(1).toString());
    key.append(pinyin.syllables);
    key.append(pinyin.initials);
    return key;
}

// The keys of the companies a statement lists by id and texts.
QList<QVariantList> KeysOf(db::Engine& engine, const QString& statement) {
    QList<QVariantList> keys;
    const std::unique_ptr<db::RowStream> rows = engine.Query(statement);
    while (rows->Next())
        keys.append(KeyRow(*rows));
    return keys;
}

void AddKeys(db::Engine& engine, const QList<QVariantList>& keys) {
    // No key column named: the ids are the companies', not the key table's own to keep above.
    engine.InsertRows(kTable, QStringList{shipowner::kId} + KeyColumns(), keys, QString());
}

void BuildPending(db::Engine& engine) {
    for (;;) {
        const QList<QVariantList> keys = KeysOf(engine, PendingRowsStatement());
        if (keys.isEmpty())
            return;
        // Replaced rather than updated: an engine adds many rows in one statement, where it
        // changes them one at a time.
        engine.ReplaceRows(kTable, QStringList{shipowner::kId} + KeyColumns(), keys,
                           shipowner::kId);
    }
}

} // namespace

QStringList FileStatements() {
    const QString mark =
        QStringLiteral("CASE WHEN (SELECT who FROM %1) IS NULL THEN %2 ELSE %3 END")
            .arg(history::kWriterTable)
            .arg(int(Stale))
            .arg(int(Pending));
    const QString write =
        QStringLiteral("DELETE FROM %1 WHERE id=NEW.id; INSERT INTO %1 "
                       "(id,%2,%3) VALUES (NEW.id,%4,%5);")
            .arg(kTable, kState, Joined(QString()), mark, Joined(QStringLiteral("NEW.")));
    return {
        // No constraint but the key: see the history table.
        QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, %2 INTEGER, %3 TEXT, %4 TEXT, "
                       "%5 TEXT)")
            .arg(kTable, kState, TextColumns().join(QStringLiteral(" TEXT,")), kSyllables,
                 kInitials),
        QStringLiteral("CREATE INDEX orvandel_search_key_pending ON %1 (id) WHERE %2=%3")
            .arg(kTable, kState)
            .arg(int(Pending)),
        QStringLiteral("CREATE TRIGGER orvandel_search_key_insert AFTER INSERT ON %1 BEGIN %2 END")
            .arg(shipowner::kTable, write),
        QStringLiteral("CREATE TRIGGER orvandel_search_key_update AFTER UPDATE ON %1 WHEN %2 "
                       "BEGIN DELETE FROM %3 WHERE id=OLD.id; %4 END")
            .arg(shipowner::kTable, TextsChanged(QStringLiteral("IS NOT")), kTable, write),
        QStringLiteral("CREATE TRIGGER orvandel_search_key_delete AFTER DELETE ON %1 BEGIN "
                       "DELETE FROM %2 WHERE id=OLD.id; END")
            .arg(shipowner::kTable, kTable),
    };
}

QStringList ServerStatements() {
    QStringList trigrams;
    for (const QString& column : TextColumns() + QStringList{kSyllables, kInitials})
        trigrams.append(column + QStringLiteral(" gin_trgm_ops"));
    QStringList replaced;
    for (const QString& column : KeyColumns())
        replaced.append(QStringLiteral("%1=EXCLUDED.%1").arg(column));
    // The function runs as the directory's owner, so that a desk that may change companies need
    // not be given more than to build the keys.
    // A row this program writes gets no texts until its key is built before the commit: each
    // text in the key's trigram index costs its writing there.
    QStringList ownTexts;
    for (const QString& column : TextColumns())
        ownTexts.append(QStringLiteral("CASE WHEN building THEN NULL ELSE NEW.%1 END").arg(column));
    const QString function =
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION orvandel_search_key_row() RETURNS trigger LANGUAGE "
            "plpgsql SECURITY DEFINER SET search_path FROM CURRENT AS $$ DECLARE building "
            "boolean := current_setting('orvandel.search_keys', true) = 'built at commit'; "
            "BEGIN IF TG_OP <> 'INSERT' THEN DELETE FROM %1 WHERE id = OLD.id; END IF; IF TG_OP "
            "<> 'DELETE' THEN INSERT INTO %1 (id,%2,%3) VALUES (NEW.id, CASE WHEN building THEN "
            "%4 ELSE %5 END, %6) ON CONFLICT (id) DO UPDATE SET %7; END IF; RETURN NULL; END $$")
            .arg(kTable, kState, Joined(QString()))
            .arg(int(Pending))
            .arg(int(Stale))
            .arg(ownTexts.join(QLatin1Char(',')), replaced.join(QLatin1Char(',')));
    const auto trigger = [](const QString& event, const QString& when) {
        return QStringLiteral("CREATE TRIGGER orvandel_search_key_%1 AFTER %2 ON %3 FOR EACH "
                              "ROW%4 EXECUTE FUNCTION orvandel_search_key_row()")
            .arg(event.toLower(), event, shipowner::kTable, when);
    };
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id bigint PRIMARY KEY, %2 smallint NOT "
                       "NULL, %3 text COLLATE \"C\", %4 text COLLATE \"C\", %5 text COLLATE \"C\")")
            .arg(kTable, kState, TextColumns().join(QStringLiteral(" text COLLATE \"C\",")),
                 kSyllables, kInitials),
        QStringLiteral("CREATE INDEX IF NOT EXISTS orvandel_search_key_pending ON %1 (id) WHERE "
                       "%2=%3")
            .arg(kTable, kState)
            .arg(int(Pending)),
        QStringLiteral("CREATE INDEX IF NOT EXISTS orvandel_search_key_trigrams ON %1 USING gin "
                       "(%2)")
            .arg(kTable, trigrams.join(QLatin1Char(','))),
        function,
        trigger(QStringLiteral("INSERT"), QString()),
        trigger(QStringLiteral("UPDATE"),
                QStringLiteral(" WHEN (%1)").arg(TextsChanged(QStringLiteral("IS DISTINCT FROM")))),
        trigger(QStringLiteral("DELETE"), QString()),
    };
}

std::function<void(db::Engine&)> PendingKeyBuilder() {
    // Whether the session builds keys: known for good once it is; a directory without the table
    // may get it from an upgrade in this session.
    auto builds = std::make_shared<std::optional<bool>>();
    return [builds](db::Engine& engine) {
        if (!builds->has_value()) {
            if (!engine.TableColumns(kTable))
                return;
            // A desk that may change companies builds their keys (and is refused at its first
            // save when the key table was not granted to it); one that only reads writes none.
            *builds = engine.MayWrite(shipowner::kTable);
        }
        if (**builds)
            BuildPending(engine);
    };
}

qint64 BuildAll(db::Engine& engine) {
    engine.Execute(QStringLiteral("DELETE FROM %1").arg(kTable));
    const QString companies =
        QStringLiteral("SELECT id,%1 FROM %2").arg(Joined(QString()), shipowner::kTable);
    const QString order = QStringLiteral(" ORDER BY id LIMIT %1").arg(kBatch);
    qint64 built = 0;
    QList<QVariantList> keys = KeysOf(engine, companies + order);
    while (!keys.isEmpty()) {
        AddKeys(engine, keys);
        built += keys.size();
        // The next batch after the last id: a number this program read, not a user's text.
        keys = KeysOf(engine,
                      companies +
                          QStringLiteral(" WHERE id > %1").arg(keys.last().first().toLongLong()) +
                          order);
    }
    return built;
}

qint64 Reindex(db::Connection& connection) {
    db::Transaction transaction(connection, db::Transaction::Begin::Immediate);
    const qint64 built = BuildAll(connection.engine());
    transaction.commit();
    return built;
}

QList<qint64> StaleCompanies(db::Connection& connection) {
    const std::unique_ptr<db::RowStream> rows = connection.engine().Query(
        QStringLiteral("SELECT id FROM %1 WHERE id NOT IN (SELECT id FROM %2 WHERE %3=%4) ORDER "
                       "BY id")
            .arg(shipowner::kTable, kTable, kState)
            .arg(int(Built)));
    QList<qint64> ids;
    while (rows->Next())
        ids.append(rows->Value(0).toLongLong());
    return ids;
}

db::Condition KeyMatches(const QString& column, const QString& typed, bool withPinyin) {
    using Test = db::Condition::Test;
    const QString folded = chinese::Folded(typed);
    QList<db::Condition> parts = {{column, Test::Contains, folded, {}, {}}};
    if (typed.toLower() != folded)
        parts.append({column, Test::Contains, typed, {}, {}});
    if (withPinyin && column == NameColumn() && chinese::MayBePinyin(folded)) {
        parts.append({kInitials, Test::Contains, chinese::Letters(folded), {}, {}});
        for (const QString& run : chinese::SyllableRuns(folded))
            parts.append({kSyllables, Test::Contains, run, {}, {}});
    }
    return db::AnyOf(parts);
}

} // namespace searchkey
