#include "data/CompanySearch.h"
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/DbError.h"
#include "data/Engine.h"
#include "data/History.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "data/SearchKey.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"
#include "exchange/DirectoryImport.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QtTest>

using history::Version;

namespace {

QString Name(const Version& version) {
    return version.values.value(history::ValueColumns().indexOf(QStringLiteral("公司名称")))
        .toString();
}

// Values as text, null told apart from the empty text and from the text "NULL".
QStringList Shown(const QVariantList& values) {
    QStringList shown;
    for (const QVariant& value : values)
        shown.append(value.isNull() ? QStringLiteral("<null>")
                                    : QLatin1Char('=') + value.toString());
    return shown;
}

QVariantList Record(db::Connection& connection, qint64 id) {
    db::Recordset rs;
    rs.Open(db::From(shipowner::kTable)
                .Select(history::ValueColumns())
                .Where(shipowner::kId, db::Condition::Test::Equals, id),
            connection, db::adOpenStatic, db::adLockReadOnly);
    QVariantList values;
    for (const QString& column : history::ValueColumns())
        values.append(rs.AtEnd() ? QVariant() : rs.Field(column));
    return values;
}

// The records of a company's versions, newest first.
QList<QStringList> ShownVersions(const QList<Version>& versions) {
    QList<QStringList> shown;
    for (const Version& version : versions)
        shown.append(Shown(version.values));
    return shown;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void eachChangeByEachWriterLeavesOneVersion_data();
    void eachChangeByEachWriterLeavesOneVersion();
    void updateThatChangesNothingLeavesNone();
    void restoringAVersionIsANewChangeAndChecksForLostUpdates();
    void deletedCompanyComesBackUnderItsId();
    void pruneRemovesOnlyOlderVersions();
    void toolListsRestoresAndPrunes();
    void exportSaysWhenEachCompanyLastChanged();
    void everyVersionIsRebuiltFromWhatItsChangeChanged();
    void newIdIsOneCompanyGoneAndAnotherCome();
    void directoryOfTheFirstLayoutGainsHistoryAndOrder();
    void historyOfTheFirstLayoutKeepsItsVersions();

private:
    // Runs statements in another program: the engine's own shell on the file, psql on a server.
    void runOtherProgram(const QString& sql);
    QString whoOfThisProgram();
    QString whoOfTheOtherProgram();
    qint64 addCompany(const QString& name);
    void write(const QString& writer, const QString& change, qint64& id);
    // Removes the history's triggers and tables, leaving the companies.
    void dropHistory();

    std::unique_ptr<SystemDirFixture> dir_;
    db::Connection connection_;
};

void TestHistory::init() {
    dir_ = std::make_unique<SystemDirFixture>();
    dir_->CreateDatabase(connection_);
}

void TestHistory::cleanup() {
    connection_.Close();
    dir_.reset();
}

void TestHistory::runOtherProgram(const QString& sql) {
    const QString failed = dir_->RunOtherProgram(sql);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

QString TestHistory::whoOfThisProgram() {
    if (!OnServer())
        return db::DeskName();
    db::Recordset rs;
    rs.Open(QStringLiteral("SELECT session_user AS who"), connection_);
    return rs.Field(QStringLiteral("who")).toString() + QStringLiteral(" (") + db::DeskName() +
           QLatin1Char(')');
}

QString TestHistory::whoOfTheOtherProgram() {
    if (!OnServer())
        return QString(); // the shell names nobody
    db::Recordset rs;
    rs.Open(QStringLiteral("SELECT session_user AS who"), connection_);
    return rs.Field(QStringLiteral("who")).toString() + QStringLiteral(" (psql)");
}

void TestHistory::dropHistory() {
    const QString on = OnServer() ? QStringLiteral(" ON Orvandel") : QString();
    for (const char* event : {"insert", "update", "renumber", "delete"})
        connection_.Execute(QStringLiteral("DROP TRIGGER IF EXISTS orvandel_history_%1%2")
                                .arg(QString::fromLatin1(event), on));
    connection_.Execute(QStringLiteral("DROP TABLE ") + history::kTable);
    connection_.Execute(QStringLiteral("DROP TABLE ") + history::kWritersTable);
}

qint64 TestHistory::addCompany(const QString& name) {
    return InsertCompany(connection_, {{QStringLiteral("公司名称"), name}});
}

void TestHistory::eachChangeByEachWriterLeavesOneVersion_data() {
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("change");
    for (const char* change : {"insert", "update", "delete"})
        QTest::addRow("record set, %s", change) << "record set" << change;
    for (const char* change : {"insert", "update"}) {
        QTest::addRow("import, %s", change) << "import" << change;
        QTest::addRow("tool, %s", change) << "tool" << change;
    }
    for (const char* change : {"insert", "update", "delete"})
        QTest::addRow("another program, %s", change) << "another program" << change;
}

// How each writer makes each change of one company; an update or delete finds it made already.
void TestHistory::write(const QString& writer, const QString& change, qint64& id) {
    const QString name = QStringLiteral("%1 %2").arg(writer, change);
    if (writer == QLatin1String("record set")) {
        if (change == QLatin1String("delete")) {
            connection_.Delete(shipowner::RecordQuery(id));
            return;
        }
        db::Recordset rs;
        rs.Open(shipowner::RecordQuery(id), connection_, db::adOpenKeyset, db::adLockPessimistic);
        if (rs.AtEnd())
            rs.AddNew();
        rs.SetField(QStringLiteral("公司名称"), name);
        rs.SetField(QStringLiteral("Tank_No"), QStringLiteral("3"));
        rs.Update();
        id = rs.Field(shipowner::kId).toLongLong();
        return;
    }
    if (writer == QLatin1String("another program")) {
        runOtherProgram(
            change == QLatin1String("insert")
                ? QStringLiteral("INSERT INTO Orvandel (id, 公司名称, Tank_No) VALUES "
                                 "(777, '%1', 3)")
                      .arg(name)
            : change == QLatin1String("update")
                ? QStringLiteral("UPDATE Orvandel SET 公司名称 = '%1', Tank_No = 3 WHERE id = %2")
                      .arg(name)
                      .arg(id)
                : QStringLiteral("DELETE FROM Orvandel WHERE id = %1").arg(id));
        if (change == QLatin1String("insert"))
            id = 777;
        return;
    }
    // A file of one row: with its id to update, without one to add.
    const QString csv = QDir(dir_->path()).filePath(QStringLiteral("one.csv"));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(change == QLatin1String("insert")
                   ? QStringLiteral("公司名称,Tank_No\n%1,3\n").arg(name).toUtf8()
                   : QStringLiteral("id,公司名称,Tank_No\n%1,%2,3\n").arg(id).arg(name).toUtf8());
    file.close();
    if (writer == QLatin1String("import")) {
        const exchange::ImportResult result = exchange::ImportCsv(connection_, csv, {});
        QVERIFY(result.written);
    } else {
        const ToolRun run = RunTool(dir_->path(), {QStringLiteral("import"), csv});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    }
    if (change == QLatin1String("insert")) {
        db::Recordset rs;
        rs.Open(QStringLiteral("SELECT max(id) AS id FROM Orvandel"), connection_);
        id = rs.Field(QStringLiteral("id")).toLongLong();
    }
}

void TestHistory::eachChangeByEachWriterLeavesOneVersion() {
    QFETCH(QString, writer);
    QFETCH(QString, change);
    qint64 id = 0;
    if (change != QLatin1String("insert"))
        id = addCompany(QStringLiteral("before"));
    const int versionsBefore = history::VersionsOf(connection_, id).size();
    const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
    write(writer, change, id);
    const QDateTime after = QDateTime::currentDateTimeUtc().addMSecs(1);
    const QList<Version> versions = history::VersionsOf(connection_, id);
    QCOMPARE(versions.size(), versionsBefore + 1);
    const Version& newest = versions.first();
    QCOMPARE(newest.change, change);
    QCOMPARE(newest.companyId, id);
    QVERIFY2(newest.at >= before && newest.at <= after, qPrintable(newest.at.toString()));
    QCOMPARE(newest.who, writer == QLatin1String("another program") ? whoOfTheOtherProgram()
                                                                    : whoOfThisProgram());
    // The row after the change, or before it for a delete.
    QCOMPARE(Name(newest), change == QLatin1String("delete")
                               ? QStringLiteral("before")
                               : QStringLiteral("%1 %2").arg(writer, change));
    if (change == QLatin1String("delete")) {
        QCOMPARE(StoredValue(connection_, id, QStringLiteral("id")).toString(),
                 QStringLiteral("<no row>"));
    } else {
        const int tankers = history::ValueColumns().indexOf(QStringLiteral("Tank_No"));
        QCOMPARE(newest.values.value(tankers).toLongLong(), 3);
    }
}

void TestHistory::updateThatChangesNothingLeavesNone() {
    const qint64 id = addCompany(QStringLiteral("远洋航运"));
    connection_.Execute(
        QStringLiteral("UPDATE Orvandel SET 公司名称 = '远洋航运' WHERE id = %1").arg(id));
    runOtherProgram(
        QStringLiteral("UPDATE Orvandel SET 公司名称 = '远洋航运' WHERE id = %1").arg(id));
    QCOMPARE(history::VersionsOf(connection_, id).size(), 1);
    connection_.Execute(QStringLiteral("UPDATE Orvandel SET tel = '' WHERE id = %1").arg(id));
    QCOMPARE(history::VersionsOf(connection_, id).size(), 2); // null to empty is a change
}

void TestHistory::restoringAVersionIsANewChangeAndChecksForLostUpdates() {
    const qint64 id = addCompany(QStringLiteral("A"));
    connection_.Execute(QStringLiteral("UPDATE Orvandel SET 公司名称 = 'B' WHERE id = %1").arg(id));
    connection_.Execute(QStringLiteral("UPDATE Orvandel SET 公司名称 = 'C' WHERE id = %1").arg(id));
    QList<Version> versions = history::VersionsOf(connection_, id);
    QCOMPARE(versions.size(), 3);
    const Version b = versions[1];
    QCOMPARE(Name(b), QStringLiteral("B"));
    // Changed by another desk since this one looked: refused, nothing written.
    try {
        history::RestoreVersion(connection_, b, versions[1].version);
        QFAIL("a stale restore went through");
    } catch (const db::RowChangedError& error) {
        QVERIFY(!error.deleted());
    }
    QCOMPARE(StoredValue(connection_, id, QStringLiteral("公司名称")).toString(),
             QStringLiteral("C"));
    history::RestoreVersion(connection_, b, versions.first().version);
    QCOMPARE(StoredValue(connection_, id, QStringLiteral("公司名称")).toString(),
             QStringLiteral("B"));
    versions = history::VersionsOf(connection_, id);
    QCOMPARE(versions.size(), 4);
    QCOMPARE(versions.first().change, QStringLiteral("update"));
    QCOMPARE(versions.first().values, b.values);
    QCOMPARE(history::Differences(versions[1].values, versions[0].values),
             QStringList{QStringLiteral("船东名称：C → B")});
}

void TestHistory::deletedCompanyComesBackUnderItsId() {
    const qint64 kept = addCompany(QStringLiteral("留下"));
    const qint64 id = addCompany(QStringLiteral("删掉"));
    connection_.Execute(QStringLiteral("UPDATE Orvandel SET tel = '+30 1' WHERE id = %1").arg(id));
    connection_.Delete(shipowner::RecordQuery(id));
    QList<Version> deleted = history::Deleted(connection_);
    QCOMPARE(deleted.size(), 1);
    QCOMPARE(deleted.first().companyId, id);
    history::Undelete(connection_, deleted.first());
    QCOMPARE(StoredValue(connection_, id, QStringLiteral("tel")).toString(),
             QStringLiteral("+30 1"));
    QVERIFY(history::Deleted(connection_).isEmpty());
    QCOMPARE(history::VersionsOf(connection_, id).first().change, QStringLiteral("insert"));
    // Back already: a second undelete is refused and changes nothing.
    QVERIFY_THROWS_EXCEPTION(db::Error, history::Undelete(connection_, deleted.first()));
    QCOMPARE(RowCount(connection_), 2);
    QCOMPARE(history::VersionsOf(connection_, kept).size(), 1);
}

// The store keeps only the fields a change changed, with their values before it: every version's
// record is rebuilt from them, including the texts that look like the stored form.
void TestHistory::everyVersionIsRebuiltFromWhatItsChangeChanged() {
    const qint64 id = addCompany(QStringLiteral("A"));
    QList<QStringList> seen = {Shown(Record(connection_, id))};
    QStringList changes = {QStringLiteral("tel = 'O''Neil, \"Ltd\"', Tank_No = -3"),
                           QStringLiteral("tel = NULL, fax = '', 国家 = '希腊'"),
                           QStringLiteral("Tank_No = NULL, 公司名称 = 'NULL'"),
                           QStringLiteral("adrress = ',,''', Other_No = 1234567890123")};
    if (!OnServer()) // bytes in a text column, as the file's own shell may store them
        changes << QStringLiteral("fax = X'41FF'") << QStringLiteral("fax = 'B'");
    for (const QString& change : changes) {
        connection_.Execute(
            QStringLiteral("UPDATE Orvandel SET %1 WHERE id = %2").arg(change).arg(id));
        seen.prepend(Shown(Record(connection_, id)));
    }
    QCOMPARE(ShownVersions(history::VersionsOf(connection_, id)), seen);
    // Deleted: the delete keeps the whole record, and the versions before it are still rebuilt.
    runOtherProgram(QStringLiteral("DELETE FROM Orvandel WHERE id = %1").arg(id));
    seen.prepend(seen.first());
    QCOMPARE(ShownVersions(history::VersionsOf(connection_, id)), seen);
    const QList<Version> deleted = history::Deleted(connection_);
    QCOMPARE(deleted.size(), 1);
    QCOMPARE(Shown(deleted.first().values), seen.first());
    // Back, and changed again.
    history::Undelete(connection_, deleted.first());
    seen.prepend(seen.first());
    connection_.Execute(QStringLiteral("UPDATE Orvandel SET tel = '1' WHERE id = %1").arg(id));
    seen.prepend(Shown(Record(connection_, id)));
    const QList<Version> versions = history::VersionsOf(connection_, id);
    QCOMPARE(ShownVersions(versions), seen);
    // Numbered by the company's own count, newest first.
    QList<qint64> numbers, expected;
    for (const Version& version : versions)
        numbers.append(version.version);
    for (qint64 number = seen.size(); number >= 1; --number)
        expected.append(number);
    QCOMPARE(numbers, expected);
}

// Only another program can give a company a new id: its history stays with the old id, ending in
// a delete, and the new id's begins with an insert.
void TestHistory::newIdIsOneCompanyGoneAndAnotherCome() {
    const qint64 id = addCompany(QStringLiteral("旧号"));
    const QStringList before = Shown(Record(connection_, id));
    runOtherProgram(
        QStringLiteral("UPDATE Orvandel SET id = 9001, tel = 'x' WHERE id = %1").arg(id));
    const QList<Version> old = history::VersionsOf(connection_, id);
    QCOMPARE(old.size(), 2);
    QCOMPARE(old.first().change, QStringLiteral("delete"));
    QCOMPARE(Shown(old.first().values), before);
    const QList<Version> moved = history::VersionsOf(connection_, 9001);
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.first().change, QStringLiteral("insert"));
    QCOMPARE(Shown(moved.first().values), Shown(Record(connection_, 9001)));
}

void TestHistory::pruneRemovesOnlyOlderVersions() {
    const qint64 id = addCompany(QStringLiteral("A"));
    QTest::qWait(20);
    const QDateTime cut = QDateTime::currentDateTimeUtc();
    QTest::qWait(20);
    connection_.Execute(QStringLiteral("UPDATE Orvandel SET 公司名称 = 'B' WHERE id = %1").arg(id));
    QCOMPARE(history::Prune(connection_, cut), 1);
    const QList<Version> left = history::VersionsOf(connection_, id);
    QCOMPARE(left.size(), 1);
    QCOMPARE(Name(left.first()), QStringLiteral("B"));
}

void TestHistory::toolListsRestoresAndPrunes() {
    const qint64 id = addCompany(QStringLiteral("A"));
    connection_.Execute(QStringLiteral("UPDATE Orvandel SET tel = '+30 1' WHERE id = %1").arg(id));
    const QList<Version> versions = history::VersionsOf(connection_, id);
    const auto tool = [this](const QStringList& arguments) {
        const ToolRun run = RunTool(dir_->path(), arguments);
        if (run.exitCode != 0)
            qWarning("%s", qPrintable(run.err));
        return run;
    };
    ToolRun run = tool({"history", QString::number(id)});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(QStringLiteral("version %1 ").arg(versions.first().version)),
             qPrintable(run.out));
    QVERIFY(run.out.contains(QStringLiteral("电话：（空） → +30 1")));
    QCOMPARE(tool({"restore-record", QString::number(id), "--version",
                   QString::number(versions.last().version)})
                 .exitCode,
             0);
    QVERIFY(StoredValue(connection_, id, QStringLiteral("tel")).isNull());
    connection_.Delete(shipowner::RecordQuery(id));
    run = tool({"deleted"});
    QVERIFY2(run.out.startsWith(QStringLiteral("%1\tA\t").arg(id)), qPrintable(run.out));
    QCOMPARE(tool({"restore-record", QString::number(id), "--at",
                   QDateTime::currentDateTime().addSecs(60).toString(Qt::ISODate)})
                 .exitCode,
             0);
    QCOMPARE(StoredValue(connection_, id, QStringLiteral("tel")).toString(), QString());
    QCOMPARE(StoredValue(connection_, id, QStringLiteral("公司名称")).toString(),
             QStringLiteral("A"));
    QCOMPARE(tool({"restore-record", QString::number(id), "--version", "x"}).exitCode, 2);
    QCOMPARE(tool({"prune-history", "--before", "2000-01-01"}).exitCode, 0);
    QCOMPARE(history::VersionsOf(connection_, id).size(), 5);
    QCOMPARE(tool({"prune-history", "--before", "2999-01-01"}).exitCode, 0);
    QVERIFY(history::VersionsOf(connection_, id).isEmpty());
}

void TestHistory::exportSaysWhenEachCompanyLastChanged() {
    const qint64 changed = addCompany(QStringLiteral("A"));
    runOtherProgram(QStringLiteral("INSERT INTO Orvandel (id, 公司名称) VALUES (900, 'B')"));
    connection_.engine().UpdateRow(shipowner::kTable, {QStringLiteral("tel")},
                                   {QStringLiteral("1")}, shipowner::kId, changed);
    const QString csv = QDir(dir_->path()).filePath(QStringLiteral("out.csv"));
    const ToolRun run = RunTool(dir_->path(), {"export", csv, "--with-history-columns"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(file.readAll().mid(3)).split(QStringLiteral("\r\n"));
    QVERIFY(lines[0].endsWith(QStringLiteral(",last_changed_at,last_changed_by")));
    const QString when = history::VersionsOf(connection_, changed)
                             .first()
                             .at.toLocalTime()
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY2(lines[1].endsWith(QStringLiteral(",%1,%2").arg(when, whoOfThisProgram())),
             qPrintable(lines[1]));
    QVERIFY2(lines[2].startsWith(QStringLiteral("900,B,")), qPrintable(lines[2]));
    QVERIFY2(lines[2].endsWith(QStringLiteral(",%1").arg(whoOfTheOtherProgram())),
             qPrintable(lines[2]));
}

// A directory as the first program made it: no history, no sort indexes, layout 0.
void TestHistory::directoryOfTheFirstLayoutGainsHistoryAndOrder() {
    const qint64 id = addCompany(QStringLiteral("旧船东"));
    {
        db::Transaction transaction(connection_);
        const QString on = OnServer() ? QStringLiteral(" ON Orvandel") : QString();
        dropHistory();
        connection_.Execute(QStringLiteral("DROP TABLE ") + searchkey::kTable);
        for (const char* event : {"insert", "update", "delete"})
            connection_.Execute(QStringLiteral("DROP TRIGGER orvandel_search_key_%1%2")
                                    .arg(QString::fromLatin1(event), on));
        if (OnServer()) {
            connection_.Execute(QStringLiteral("DROP FUNCTION orvandel_history_row()"));
            connection_.Execute(QStringLiteral("DROP FUNCTION orvandel_search_key_row()"));
            for (int column = 1; column <= 4; ++column)
                for (const char* direction : {"asc", "desc"})
                    connection_.Execute(QStringLiteral("DROP INDEX orvandel_list_%1_%2")
                                            .arg(column)
                                            .arg(QString::fromLatin1(direction)));
        } else {
            connection_.Execute(QStringLiteral("DROP TABLE ") + history::kWriterTable);
        }
        connection_.engine().SetSchemaVersion(0);
        transaction.commit();
    }
    connection_.Close();
    dbfile::OpenDirectory(connection_, dir_->connectionString());
    QCOMPARE(connection_.engine().SchemaVersion(), schema::LatestVersion());
    QVERIFY(history::VersionsOf(connection_, id).isEmpty()); // kept from the upgrade on
    connection_.engine().UpdateRow(shipowner::kTable, {QStringLiteral("tel")},
                                   {QStringLiteral("1")}, shipowner::kId, id);
    const QList<Version> versions = history::VersionsOf(connection_, id);
    QCOMPARE(versions.size(), 1);
    QCOMPARE(versions.first().who, whoOfThisProgram());
    db::Recordset rs;
    rs.Open(shipowner::SearchQuery({}, {QStringLiteral("公司名称"), true}), connection_,
            db::adOpenStatic, db::adLockReadOnly);
    QCOMPARE(rs.Field(shipowner::kId).toLongLong(), id);
    // Its search key was built by the upgrade.
    shipowner::CompanySearch byPinyin;
    byPinyin.folded = true;
    byPinyin.texts.insert(QStringLiteral("公司名称"), QStringLiteral("jiuchuan"));
    db::Recordset found;
    found.Open(shipowner::SearchQuery(byPinyin), connection_, db::adOpenStatic, db::adLockReadOnly);
    QVERIFY(!found.AtEnd());
    QCOMPARE(found.Field(shipowner::kId).toLongLong(), id);
}

// A directory whose history kept the whole record for every version, as the history's first
// layout did: the upgrade keeps every version, its time and its writer.
void TestHistory::historyOfTheFirstLayoutKeepsItsVersions() {
    const qint64 id = addCompany(QStringLiteral("C"));
    const qint64 gone = addCompany(QStringLiteral("X"));
    const QVariantList c = Record(connection_, id);
    const QVariantList x = Record(connection_, gone);
    const auto with = [](QVariantList values, const char* column, const QVariant& value) {
        values[history::ValueColumns().indexOf(QString::fromUtf8(column))] = value;
        return values;
    };
    const QVariantList b =
        with(with(c, "公司名称", QStringLiteral("B")), "tel", QStringLiteral("'2,"));
    const QVariantList a = with(b, "Tank_No", 4);
    const qint64 t = QDateTime::currentMSecsSinceEpoch() - 100000;
    {
        db::Transaction transaction(connection_);
        dropHistory();
        QStringList columns;
        for (const QString& column : history::ValueColumns())
            columns.append(column +
                           (shipowner::IsIntegerColumn(int(shipowner::Columns().indexOf(column)))
                                ? QStringLiteral(" bigint")
                                : QStringLiteral(" text")));
        connection_.Execute(
            QStringLiteral("CREATE TABLE orvandel_history (version %1, company_id bigint, change "
                           "text, changed_at bigint, who text, %2)")
                .arg(OnServer() ? QStringLiteral("bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY")
                                : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"),
                     columns.join(QStringLiteral(", "))));
        connection_.Execute(QStringLiteral("CREATE INDEX orvandel_history_company ON "
                                           "orvandel_history (company_id, version)"));
        if (!OnServer()) {
            connection_.Execute(QStringLiteral("DROP TABLE ") + history::kWriterTable);
            connection_.Execute(QStringLiteral("CREATE TABLE orvandel_writer (who TEXT)"));
            connection_.Execute(QStringLiteral("INSERT INTO orvandel_writer VALUES (NULL)"));
        }
        const QStringList own = {QStringLiteral("company_id"), QStringLiteral("change"),
                                 QStringLiteral("changed_at"), QStringLiteral("who")};
        connection_.engine().InsertRows(
            history::kTable, own + history::ValueColumns(),
            {QVariantList{id, QStringLiteral("insert"), t, QStringLiteral("desk1")} + a,
             QVariantList{gone, QStringLiteral("insert"), t + 1, QStringLiteral("desk2")} + x,
             QVariantList{id, QStringLiteral("update"), t + 2, QStringLiteral("desk2")} + b,
             QVariantList{gone, QStringLiteral("delete"), t + 3, QStringLiteral("desk1")} + x,
             QVariantList{id, QStringLiteral("update"), t + 4, QVariant()} + c},
            QString());
        // Many more companies, long deleted: more than the upgrade rewrites in one go.
        QList<QVariantList> many;
        for (qint64 other = 100000; other < 106000; ++other)
            many.append(QVariantList{other, QStringLiteral("delete"), t, QStringLiteral("desk3")} +
                        x);
        connection_.engine().InsertRows(history::kTable, own + history::ValueColumns(), many,
                                        QString());
        connection_.Delete(shipowner::RecordQuery(gone));
        if (OnServer()) {
            // A desk that could read the history reads its writers' names after the upgrade.
            connection_.Execute(QStringLiteral("DO $$BEGIN CREATE ROLE orvandel_history_reader "
                                               "LOGIN; EXCEPTION WHEN duplicate_object THEN "
                                               "NULL; END$$"));
            connection_.Execute(QStringLiteral("GRANT SELECT ON Orvandel, orvandel_schema, "
                                               "orvandel_history TO orvandel_history_reader"));
        }
        connection_.engine().SetSchemaVersion(3);
        transaction.commit();
    }
    connection_.Close();
    dbfile::OpenDirectory(connection_, dir_->connectionString());
    QCOMPARE(connection_.engine().SchemaVersion(), schema::LatestVersion());
    QList<Version> versions = history::VersionsOf(connection_, id);
    QCOMPARE(ShownVersions(versions), (QList<QStringList>{Shown(c), Shown(b), Shown(a)}));
    QStringList who;
    QList<qint64> at;
    for (const Version& version : versions) {
        who.append(version.who);
        at.append(version.at.toMSecsSinceEpoch());
    }
    QCOMPARE(who, (QStringList{QString(), QStringLiteral("desk2"), QStringLiteral("desk1")}));
    QCOMPARE(at, (QList<qint64>{t + 4, t + 2, t}));
    if (OnServer()) {
        db::Connection reader;
        dbfile::OpenDirectory(reader,
                              serverconf::ServerConnectionString(
                                  TestServer() + QStringLiteral(" user=orvandel_history_reader")));
        QCOMPARE(history::VersionsOf(reader, id).value(1).who, QStringLiteral("desk2"));
    }
    const QList<Version> deleted = history::Deleted(connection_);
    QCOMPARE(deleted.size(), 6001);
    const auto gone1 = std::find_if(deleted.cbegin(), deleted.cend(),
                                    [gone](const Version& v) { return v.companyId == gone; });
    QVERIFY(gone1 != deleted.cend());
    QCOMPARE(Shown(gone1->values), Shown(x));
    QCOMPARE(gone1->who, QStringLiteral("desk1"));
    const QList<Version> last = history::VersionsOf(connection_, 105999);
    QCOMPARE(last.size(), 1);
    QCOMPARE(Shown(last.first().values), Shown(x));
    QCOMPARE(last.first().who, QStringLiteral("desk3"));
    // Kept from here on as before.
    connection_.engine().UpdateRow(shipowner::kTable, {QStringLiteral("tel")},
                                   {QStringLiteral("3")}, shipowner::kId, id);
    versions = history::VersionsOf(connection_, id);
    QCOMPARE(versions.size(), 4);
    QCOMPARE(versions.first().who, whoOfThisProgram());
    QCOMPARE(Shown(versions[1].values), Shown(c));
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
