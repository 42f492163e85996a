#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DatabaseFile.h"
#include "data/DbError.h"
#include "data/Duplicates.h"
#include "data/Engine.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"
#include "support/TestSupport.h"
#include "tools/DemoDirectory.h"

#include <QFile>
#include <QtTest>
#include <chrono>
#include <thread>

using db::Connection;
using db::Recordset;

namespace {
using db::ErrorKind;

// This program's steps and two of a later program: a new column, then values in it.
const int kLatest = schema::LatestVersion();
QList<schema::Step> LaterSteps() {
    return schema::DirectorySteps() +
           QList<schema::Step>{
               {kLatest + 1,
                [](Connection& connection) {
                    connection.Execute(QStringLiteral("ALTER TABLE Orvandel ADD COLUMN note TEXT"));
                }},
               {kLatest + 2, [](Connection& connection) {
                    connection.Execute(QStringLiteral("UPDATE Orvandel SET note = 'checked'"));
                }}};
}

bool HasColumn(Connection& connection, const QString& column) {
    const auto columns = connection.engine().TableColumns(shipowner::kTable);
    return columns && columns->contains(column, Qt::CaseInsensitive);
}

bool InTransaction(Connection& connection) {
    return connection.engine().InTransaction();
}

// What only the encrypted file has (its single write lock, its pages, its key) is tested on the
// file alone.
#define FILE_ONLY()                                                                                \
    if (OnServer())                                                                                \
    QSKIP("about the encrypted file only")

QString ConnectionStringFor(const QString& path) {
    return QStringLiteral("Driver={microsoft access driver (*.mdb)};dbq=") + path;
}
} // namespace

class TestDataLayer : public QObject {
    Q_OBJECT
private slots:
    void connectionString();
    void openRefused_data();
    void openRefused();
    void openWaitsForAWriterThatHoldsTheFile();
    void failedOpenLeavesTheConnectionClosedForARetry();
    void aReaderNeverBlocksASave();
    void staleRowIsNeverOverwritten_data();
    void staleRowIsNeverOverwritten();
    void readingTurnsValuesIntoText();
    void likeMatchesAsOnTheFile_data();
    void likeMatchesAsOnTheFile();
    void likelyDuplicates_data();
    void likelyDuplicates();
    void likelyDuplicateGroups();
    void fieldTextByPosition_data();
    void fieldTextByPosition();
    void rowTextOfAnEngineWithoutItsOwn();
    void writeConversion_data();
    void writeConversion();
    void addNewReadsBackTheNewKey();
    void writeLockMakesAnotherWriterWaitThenFail();
    void heldLockRefusesTheSaveAndLosesNothing();
    void multiStatementTextIsRefused_data();
    void multiStatementTextIsRefused();
    void staticResultSetIsASnapshot();
    void readLeftBeforeItsEndLeavesNothingOpen();
    void unstoredRowRollsBack();
    void failedUpdateRollsBackAtOnce();
    void transactionEndsAsAsked_data();
    void transactionEndsAsAsked();
    void immediateTransactionTakesTheWriteLockAtOnce();
    void failedDemoFillAddsNothingAndReportsItsOwnError();
    void errorsSayWhatKindTheyAre_data();
    void errorsSayWhatKindTheyAre();
    void serverFilterNeverBecomesStatementText();
    void olderDirectoryIsBroughtUpToDate();
    void failedUpgradeChangesNothing_data();
    void failedUpgradeChangesNothing();
    void newerDirectoryIsRefused();
    void directoryOfTheFirstLayoutOpensWithAllItsRows();
    void readingAccountMayOnlyLook();
};

void TestDataLayer::connectionString() {
    const auto parsed = db::ConnectionString::Parse(
        QStringLiteral("DRIVER={microsoft access driver (*.mdb)};Dbq=/a b/c;x = {p;q}}r} ;empty="));
    QCOMPARE(parsed.Value(QStringLiteral("driver")),
             QStringLiteral("microsoft access driver (*.mdb)"));
    QCOMPARE(parsed.Value(QStringLiteral("DBQ")), QStringLiteral("/a b/c"));
    QCOMPARE(parsed.Value(QStringLiteral("x")), QStringLiteral("p;q}r"));
    QVERIFY(parsed.Has(QStringLiteral("empty")));
    QVERIFY(!parsed.Has(QStringLiteral("uid")));
}

void TestDataLayer::openRefused_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("code");
    QTest::newRow("missing file") << "missing" << int(ErrorKind::CannotOpen);
    QTest::newRow("wrong password") << "wrong password" << int(ErrorKind::NotADirectory);
    QTest::newRow("unencrypted database") << "plain" << int(ErrorKind::NotADirectory);
    QTest::newRow("file that is no database") << "text" << int(ErrorKind::NotADirectory);
    QTest::newRow("directory in its place") << "directory" << -1;
    QTest::newRow("other driver") << "driver" << int(ErrorKind::Misuse);
    QTest::newRow("no dbq") << "no dbq" << int(ErrorKind::Misuse);
}

void TestDataLayer::openRefused() {
    FILE_ONLY();
    QFETCH(QString, kind);
    QFETCH(int, code);
    SystemDirFixture dir;
    const QString path = dir.databasePath();
    QString connectionString = ConnectionStringFor(path);
    if (kind == QLatin1String("wrong password")) {
        Connection creator;
        creator.OpenFile(path, QStringLiteral("another"), db::FileMode::Create);
        creator.Execute(shipowner::CreateTableStatement());
    } else if (kind == QLatin1String("plain")) {
        Connection creator;
        creator.OpenFile(path, QString(), db::FileMode::Create);
        creator.Execute(shipowner::CreateTableStatement());
    } else if (kind == QLatin1String("text")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("driver")) {
        Connection creator;
        dir.CreateDatabase(creator);
        connectionString = QStringLiteral("Driver={SQL Server};dbq=") + path;
    } else if (kind == QLatin1String("no dbq")) {
        connectionString = QStringLiteral("Driver={Microsoft Access Driver (*.mdb)}");
    }
    Connection connection;
    try {
        connection.Open(connectionString, QString(), dbfile::kPassword);
        QFAIL("the open succeeded");
    } catch (const db::Error& error) {
        if (code >= 0)
            QCOMPARE(int(error.kind()), code);
        QVERIFY(!error.message().isEmpty());
    }
    QVERIFY(!connection.IsOpen());
    if (kind == QLatin1String("missing"))
        QVERIFY2(!QFile::exists(path), "opening must not create the file");
}

void TestDataLayer::openWaitsForAWriterThatHoldsTheFile() {
    FILE_ONLY();
    SystemDirFixture dir;
    Connection holder;
    dir.CreateDatabase(holder);
    // Another program in the middle of a save, holding the file against readers too.
    holder.Execute(QStringLiteral("PRAGMA journal_mode=DELETE"));
    holder.Execute(QStringLiteral("BEGIN EXCLUSIVE"));
    std::thread release([&holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        holder.Execute(QStringLiteral("COMMIT"));
    });
    Connection connection;
    connection.SetBusyTimeout(60000);
    QString failure;
    try {
        connection.Open(ConnectionStringFor(dir.databasePath()), QString(), dbfile::kPassword);
    } catch (const db::Error& error) {
        failure = error.message();
    }
    release.join();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(connection.IsOpen());
    QCOMPARE(RowCount(connection), 0);
}

void TestDataLayer::failedOpenLeavesTheConnectionClosedForARetry() {
    FILE_ONLY();
    SystemDirFixture dir;
    Connection reader;
    dir.CreateDatabase(reader);
    // A file still in the rollback-journal mode, read by another program: it cannot take the
    // write-ahead log until the reader is done.
    reader.Execute(QStringLiteral("PRAGMA journal_mode=DELETE"));
    reader.Execute(QStringLiteral("BEGIN"));
    RowCount(reader);
    Connection connection;
    connection.SetBusyTimeout(100);
    const QString connectionString = ConnectionStringFor(dir.databasePath());
    try {
        connection.Open(connectionString, QString(), dbfile::kPassword);
        QFAIL("the open went through a reader's lock");
    } catch (const db::Error& error) {
        QVERIFY2(error.kind() == ErrorKind::Busy, qPrintable(error.message()));
    }
    QVERIFY(!connection.IsOpen());
    reader.Execute(QStringLiteral("COMMIT"));
    connection.Open(connectionString, QString(), dbfile::kPassword);
    QVERIFY(connection.IsOpen());
}

void TestDataLayer::aReaderNeverBlocksASave() {
    FILE_ONLY();
    SystemDirFixture dir;
    Connection reader;
    dir.CreateDatabase(reader);
    const qint64 id = InsertCompany(reader, {{QStringLiteral("tel"), QStringLiteral("1")}});
    InsertCompany(reader, {{QStringLiteral("tel"), QStringLiteral("other")}});
    // Another program in the middle of reading: a fill paused under a message box, or a shell
    // with a read transaction open.
    Recordset fill;
    fill.Open(shipowner::ListQuery(QString(), QString()), reader, db::adOpenStatic,
              db::adLockReadOnly);
    reader.Execute(QStringLiteral("BEGIN"));
    RowCount(reader);

    Connection saver;
    saver.SetBusyTimeout(200);
    saver.OpenFile(dir.databasePath(), dbfile::kPassword);
    Recordset rs;
    rs.Open(shipowner::RecordQuery(id), saver, db::adOpenKeyset, db::adLockPessimistic);
    rs.SetField(QStringLiteral("tel"), QStringLiteral("2"));
    rs.Update();
    rs.Close();
    QCOMPARE(StoredValue(saver, id, QStringLiteral("tel")).toString(), QStringLiteral("2"));
    // The reader goes on with what it saw when it began.
    QCOMPARE(StoredValue(reader, id, QStringLiteral("tel")).toString(), QStringLiteral("1"));
    reader.Execute(QStringLiteral("COMMIT"));
    QCOMPARE(StoredValue(reader, id, QStringLiteral("tel")).toString(), QStringLiteral("2"));
}

void TestDataLayer::staleRowIsNeverOverwritten_data() {
    QTest::addColumn<QString>("between"); // what the first connection does after both have read
    QTest::newRow("first saves, second saves") << "save";
    QTest::newRow("second saves, first saves") << "save";
    QTest::newRow("first deletes, second saves") << "delete";
}

void TestDataLayer::staleRowIsNeverOverwritten() {
    QFETCH(QString, between);
    SystemDirFixture dir;
    Connection first;
    dir.CreateDatabase(first);
    Connection second;
    dir.OpenAnother(second);
    const qint64 id = InsertCompany(first, {{QStringLiteral("tel"), QStringLiteral("1")},
                                            {QStringLiteral("fax"), QStringLiteral("1")}});
    // Both read the row; one of them writes first, whichever it is.
    const bool firstWrites = QString::fromLatin1(QTest::currentDataTag()).startsWith("first");
    Connection& early = firstWrites ? first : second;
    Connection& late = firstWrites ? second : first;
    Recordset earlyRs;
    earlyRs.Open(shipowner::RecordQuery(id), early, db::adOpenKeyset, db::adLockPessimistic);
    Recordset lateRs;
    lateRs.Open(shipowner::RecordQuery(id), late, db::adOpenKeyset, db::adLockPessimistic);
    if (between == QLatin1String("delete")) {
        earlyRs.Close();
        early.Delete(shipowner::RecordQuery(id));
    } else {
        earlyRs.SetField(QStringLiteral("tel"), QStringLiteral("2"));
        earlyRs.Update();
    }
    try {
        lateRs.SetField(QStringLiteral("fax"), QStringLiteral("3"));
        QFAIL("the stale row was written");
    } catch (const db::RowChangedError& error) {
        QCOMPARE(error.deleted(), between == QLatin1String("delete"));
    }
    lateRs.Close();
    if (between == QLatin1String("delete")) {
        QCOMPARE(RowCount(late), 0);
        return;
    }
    QCOMPARE(StoredValue(late, id, QStringLiteral("tel")).toString(), QStringLiteral("2"));
    QCOMPARE(StoredValue(late, id, QStringLiteral("fax")).toString(), QStringLiteral("1"));
    // Read again, the row takes the change.
    lateRs.Open(shipowner::RecordQuery(id), late, db::adOpenKeyset, db::adLockPessimistic);
    lateRs.SetField(QStringLiteral("fax"), QStringLiteral("3"));
    lateRs.Update();
    QCOMPARE(StoredValue(early, id, QStringLiteral("fax")).toString(), QStringLiteral("3"));
    QCOMPARE(StoredValue(early, id, QStringLiteral("tel")).toString(), QStringLiteral("2"));
}

void TestDataLayer::likeMatchesAsOnTheFile_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("found"); // newest first
    QTest::newRow("ASCII case ignored")
        << "blue" << QStringList{"BLUE sky", "blue ocean", "Blue Lines"};
    QTest::newRow("other letters keep their case") << "ä" << QStringList{"ärger GmbH"};
    QTest::newRow("backslash is no escape") << "\\b" << QStringList{"A\\B Co"};
    QTest::newRow("percent is a wildcard") << "0%L" << QStringList{"1000 Lines", "100% Lines"};
    QTest::newRow("underscore is a wildcard") << "a_b" << QStringList{"axb", "a_b", "A\\B Co"};
    QTest::newRow("apostrophe") << "O'B" << QStringList{"O'Brien"};
}

void TestDataLayer::likeMatchesAsOnTheFile() {
    QFETCH(QString, filter);
    QFETCH(QStringList, found);
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    for (const char* name : {"Blue Lines", "blue ocean", "BLUE sky", "Ärger AG", "ärger GmbH",
                             "A\\B Co", "100% Lines", "1000 Lines", "a_b", "axb", "O'Brien"})
        InsertCompany(connection, {{QStringLiteral("公司名称"), QString::fromUtf8(name)}});
    Recordset rs;
    rs.Open(shipowner::ListQuery(filter, QString()), connection, db::adOpenStatic,
            db::adLockReadOnly);
    QStringList names;
    for (; !rs.AtEnd(); rs.MoveNext())
        names << rs.Field(QStringLiteral("公司名称")).toString();
    QCOMPARE(names, found);
}

void TestDataLayer::likelyDuplicates_data() {
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("country");
    QTest::addColumn<bool>("duplicate");
    const QVariantMap cosco = {{"公司名称", "中远海运"}, {"国家", "中国"}};
    QTest::newRow("same texts") << cosco << "中远海运"
                                << "中国" << true;
    QTest::newRow("spaces around and inside") << cosco << "  中远  海运 "
                                              << " 中国" << true;
    QTest::newRow("ideographic spaces") << cosco << "\u3000中远\u3000\u3000海运"
                                        << "中国\u3000" << true;
    QTest::newRow("Latin case") << QVariantMap{{"公司名称", "Blue Star Line"}, {"国家", "Greece"}}
                                << "BLUE STAR line"
                                << "greece" << true;
    QTest::newRow("full-width letters")
        << QVariantMap{{"公司名称", "ＣＯＳＣＯ　Ｓｈｉｐｐｉｎｇ"}, {"国家", "ＣＨＩＮＡ"}}
        << "COSCO Shipping"
        << "China" << true;
    QTest::newRow("no country stored, none typed")
        << QVariantMap{{"公司名称", "中远海运"}} << "中远海运" << QString() << true;
    QTest::newRow("another country") << cosco << "中远海运"
                                     << "新加坡" << false;
    QTest::newRow("another name") << cosco << "中远海运集团"
                                  << "中国" << false;
    QTest::newRow("empty names") << QVariantMap{{"公司名称", ""}, {"国家", "中国"}} << ""
                                 << "中国" << false;
    QTest::newRow("name of spaces") << QVariantMap{{"公司名称", " "}, {"国家", "中国"}} << "\u3000 "
                                    << "中国" << false;
}

void TestDataLayer::likelyDuplicates() {
    QFETCH(QVariantMap, stored);
    QFETCH(QString, name);
    QFETCH(QString, country);
    QFETCH(bool, duplicate);
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    InsertCompany(connection, {{"公司名称", "其他公司"}, {"国家", "中国"}});
    const qint64 id = InsertCompany(connection, stored);
    InsertCompany(connection, {{"公司名称", "又一家公司"}});
    QList<qint64> found;
    for (const shipowner::NamedCompany& company :
         shipowner::LikelyDuplicatesOf(connection, name, country))
        found << company.id;
    QCOMPARE(found, duplicate ? QList<qint64>{id} : QList<qint64>{});
}

void TestDataLayer::likelyDuplicateGroups() {
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    QList<qint64> ids;
    for (const auto& [name, country] : QList<std::pair<QString, QString>>{{"COSCO", "中国"},
                                                                          {"Blue Star", "希腊"},
                                                                          {"ＣＯＳＣＯ", "中国"},
                                                                          {"blue  star", "希腊"},
                                                                          {"COSCO", "新加坡"},
                                                                          {"", "中国"},
                                                                          {"", "中国"},
                                                                          {"cosco", "中国"}})
        ids << InsertCompany(connection, {{"公司名称", name}, {"国家", country}});
    QList<QStringList> groups;
    for (const QList<shipowner::NamedCompany>& group :
         shipowner::LikelyDuplicateGroups(connection)) {
        QStringList members;
        for (const shipowner::NamedCompany& company : group)
            members
                << QStringLiteral("%1 %2 %3").arg(company.id).arg(company.name, company.country);
        groups << members;
    }
    const auto member = [&ids](int index, const char* name, const char* country) {
        return QStringLiteral("%1 %2 %3")
            .arg(ids[index])
            .arg(QString::fromUtf8(name), QString::fromUtf8(country));
    };
    QCOMPARE(groups, (QList<QStringList>{
                         {member(0, "COSCO", "中国"), member(2, "ＣＯＳＣＯ", "中国"),
                          member(7, "cosco", "中国")},
                         {member(1, "Blue Star", "希腊"), member(3, "blue  star", "希腊")}}));
}

void TestDataLayer::readingTurnsValuesIntoText() {
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    const qint64 id =
        InsertCompany(connection, {{QStringLiteral("公司名称"), QStringLiteral("  远洋航运 ")},
                                   {QStringLiteral("adrress"), QStringLiteral("\t港口路1号")},
                                   {QStringLiteral("Tank_No"), qint64(25)}});
    InsertCompany(connection, {{QStringLiteral("id"), qint64(40000)},
                               {QStringLiteral("公司名称"), QStringLiteral("大号")}});

    Recordset rs;
    rs.Open(shipowner::RecordQuery(id), connection);
    QVERIFY(!rs.AtEnd());
    QCOMPARE(shipowner::ValueText(rs.Field(QStringLiteral("公司名称"))),
             QStringLiteral("远洋航运"));
    QCOMPARE(shipowner::ValueText(rs.Field(QStringLiteral("adrress"))),
             QStringLiteral("\t港口路1号"));
    QCOMPARE(shipowner::ValueText(rs.Field(QStringLiteral("Tank_No"))), QStringLiteral("25"));
    QVERIFY(rs.Field(QStringLiteral("fax")).isNull());
    QCOMPARE(shipowner::ValueText(rs.Field(QStringLiteral("fax"))), QString());
    QCOMPARE(shipowner::ValueText(rs.Field(QStringLiteral("ID"))), QString::number(id));
    rs.MoveNext();
    QVERIFY(rs.AtEnd());
    QVERIFY_THROWS_EXCEPTION(db::Error, rs.Field(QStringLiteral("tel")));
    rs.Close();

    rs.Open(shipowner::RecordQuery(40000), connection, db::adOpenStatic, db::adLockReadOnly);
    QCOMPARE(rs.Field(QStringLiteral("公司名称")).toString(), QStringLiteral("大号"));
    rs.Close();

    rs.Open(shipowner::RecordQuery(-1), connection);
    QVERIFY(rs.AtEnd());
}

void TestDataLayer::fieldTextByPosition_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("stepping the statement") << "live";
    QTest::newRow("snapshot taken by a write") << "snapshot";
    QTest::newRow("updatable set") << "updatable";
}

void TestDataLayer::fieldTextByPosition() {
    QFETCH(QString, mode);
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    const QString name = QStringLiteral(" 远洋\u3000");
    const QString address = QStringLiteral("\U00020000路");
    InsertCompany(connection, {{QStringLiteral("id"), qint64(40000)},
                               {QStringLiteral("公司名称"), name},
                               {QStringLiteral("adrress"), address},
                               {QStringLiteral("Tank_No"), qint64(25)}});
    connection.Execute(QStringLiteral("update Orvandel set fax=''"));
    InsertCompany(connection, {{QStringLiteral("id"), qint64(7)},
                               {QStringLiteral("公司名称"), QStringLiteral("second")}});

    Recordset rs;
    rs.Open(QStringLiteral("select id, 公司名称, tel, fax, adrress, Tank_No from Orvandel "
                           "order by id desc"),
            connection, db::adOpenStatic,
            mode == QLatin1String("updatable") ? db::adLockPessimistic : db::adLockReadOnly);
    if (mode == QLatin1String("snapshot"))
        connection.Execute(QStringLiteral("delete from Orvandel where id=7"));
    QCOMPARE(rs.FieldIndex(QStringLiteral("ADRRESS")), 4);
    QVERIFY_THROWS_EXCEPTION(db::Error, rs.FieldIndex(QStringLiteral("nothing")));

    // Every view of the row stays valid while the row is current.
    QList<QByteArrayView> fields;
    for (int column = 0; column < 6; ++column)
        fields << rs.FieldText(column);
    QCOMPARE(fields[0].toByteArray(), QByteArray("40000"));
    QCOMPARE(fields[1].toByteArray(), name.toUtf8()); // as stored: trimming is the caller's
    QVERIFY(fields[2].isNull());
    QVERIFY(!fields[3].isNull() && fields[3].isEmpty());
    QCOMPARE(fields[4].toByteArray(), address.toUtf8());
    QCOMPARE(fields[5].toByteArray(), QByteArray("25"));
    QVERIFY_THROWS_EXCEPTION(db::Error, rs.FieldText(6));
    QVERIFY_THROWS_EXCEPTION(db::Error, rs.FieldText(-1));

    rs.MoveNext();
    QCOMPARE(rs.FieldText(1).toByteArray(), QByteArray("second"));
    QVERIFY(rs.FieldText(4).isNull());
    rs.MoveNext();
    QVERIFY(rs.AtEnd());
    QVERIFY_THROWS_EXCEPTION(db::Error, rs.FieldText(0));
}

void TestDataLayer::rowTextOfAnEngineWithoutItsOwn() {
    // An engine's row stream that gives values only: its text is their UTF-8 form.
    class ValueStream : public db::RowStream {
    public:
        int ColumnCount() const override { return values.size(); }
        QString ColumnName(int) const override { return QString(); }
        bool IsIntegerColumn(int) const override { return false; }
        bool Next() override { return false; }
        QVariant Value(int column) const override { return values[column]; }
        QVariantList values = {QVariant(), QStringLiteral(""), qint64(-40000),
                               QStringLiteral(" 希腊\U00020000")};
    } stream;
    QList<QByteArrayView> texts;
    for (int column = 0; column < stream.ColumnCount(); ++column)
        texts << stream.Text(column);
    QVERIFY(texts[0].isNull());
    QVERIFY(!texts[1].isNull() && texts[1].isEmpty());
    QCOMPARE(texts[2].toByteArray(), QByteArray("-40000"));
    QCOMPARE(texts[3].toByteArray(), QStringLiteral(" 希腊\U00020000").toUtf8());
}

void TestDataLayer::writeConversion_data() {
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("stored"); // invalid: refused
    QTest::newRow("empty into a number column is null") << "Tank_No"
                                                        << "" << QVariant();
    QTest::newRow("digits") << "Tank_No"
                            << "25" << QVariant(qint64(25));
    QTest::newRow("signed") << "Bulk_Dwt"
                            << "-7" << QVariant(qint64(-7));
    QTest::newRow("64-bit number") << "Cont_TEU"
                                   << "5000000000" << QVariant(qint64(5000000000LL));
    QTest::newRow("letters refused") << "Gas_No"
                                     << "abc" << QVariant(QStringLiteral("refused"));
    QTest::newRow("fraction refused") << "Chem_Dwt"
                                      << "2.5" << QVariant(QStringLiteral("refused"));
    QTest::newRow("inner blank refused") << "Other_No"
                                         << "1 2" << QVariant(QStringLiteral("refused"));
    QTest::newRow("too large refused")
        << "Other_Dwt"
        << "99999999999999999999" << QVariant(QStringLiteral("refused"));
    QTest::newRow("text column takes text as it is") << "tel"
                                                     << "abc" << QVariant(QStringLiteral("abc"));
    QTest::newRow("text column keeps the empty text") << "fax"
                                                      << "" << QVariant(QStringLiteral(""));
}

void TestDataLayer::writeConversion() {
    QFETCH(QString, column);
    QFETCH(QString, text);
    QFETCH(QVariant, stored);
    const bool refused = stored.toString() == QLatin1String("refused");
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    const qint64 id = InsertCompany(connection, {{column, QVariant(qint64(9))}});

    Recordset rs;
    rs.Open(shipowner::RecordQuery(id), connection, db::adOpenKeyset, db::adLockPessimistic);
    if (refused) {
        try {
            rs.SetField(column, text);
            QFAIL("the value was taken");
        } catch (const db::ConversionError& error) {
            QCOMPARE(error.column(), column);
            QVERIFY(error.message().contains(column));
        }
        rs.Close();
        QCOMPARE(StoredValue(connection, id, column), QVariant(qint64(9)));
        return;
    }
    rs.SetField(column, text);
    rs.Update();
    rs.Close();
    const QVariant value = StoredValue(connection, id, column);
    QCOMPARE(value.isNull(), stored.isNull());
    if (!stored.isNull())
        QCOMPARE(value, stored);
}

void TestDataLayer::addNewReadsBackTheNewKey() {
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    const qint64 first =
        InsertCompany(connection, {{QStringLiteral("公司名称"), QStringLiteral("甲")}});
    const qint64 last =
        InsertCompany(connection, {{QStringLiteral("公司名称"), QStringLiteral("乙")}});
    connection.Delete(shipowner::RecordQuery(last));

    Recordset rs;
    rs.Open(shipowner::RecordQuery(-1), connection, db::adOpenKeyset, db::adLockPessimistic);
    QVERIFY(rs.AtEnd());
    rs.AddNew();
    rs.SetField(QStringLiteral("公司名称"), QStringLiteral("丙"));
    rs.SetField(QStringLiteral("Tank_No"), QStringLiteral("3"));
    rs.Update();
    const qint64 id = rs.Field(QStringLiteral("id")).toLongLong();
    QVERIFY2(id > last, "a deleted key is never given again");
    QCOMPARE(rs.Field(QStringLiteral("Tank_No")), QVariant(qint64(3)));
    rs.Close();
    QCOMPARE(StoredValue(connection, id, QStringLiteral("公司名称")).toString(),
             QStringLiteral("丙"));
    QCOMPARE(RowCount(connection), 2);
    QVERIFY(first < id);
}

void TestDataLayer::writeLockMakesAnotherWriterWaitThenFail() {
    SystemDirFixture dir;
    Connection owner;
    dir.CreateDatabase(owner);
    const qint64 id = InsertCompany(owner, {{QStringLiteral("tel"), QStringLiteral("1")}});
    Connection other;
    dir.OpenAnother(other);
    other.SetBusyTimeout(300);

    Recordset rs;
    rs.Open(shipowner::RecordQuery(id), owner, db::adOpenKeyset, db::adLockPessimistic);
    rs.SetField(QStringLiteral("tel"), QStringLiteral("2")); // the lock is taken here
    QElapsedTimer waited;
    waited.start();
    try {
        other.Execute(QStringLiteral("update Orvandel set tel='3' where id=") +
                      QString::number(id));
        QFAIL("the second writer was let in");
    } catch (const db::Error& error) {
        QVERIFY2(error.kind() == ErrorKind::Busy, qPrintable(error.message()));
    }
    QVERIFY2(waited.elapsed() >= 250, "the second writer did not wait for the lock");
    rs.Update();
    rs.Close();
    QCOMPARE(StoredValue(other, id, QStringLiteral("tel")).toString(), QStringLiteral("2"));
    other.Execute(QStringLiteral("update Orvandel set tel='3' where id=") + QString::number(id));
    QCOMPARE(StoredValue(owner, id, QStringLiteral("tel")).toString(), QStringLiteral("3"));
}

void TestDataLayer::heldLockRefusesTheSaveAndLosesNothing() {
    SystemDirFixture dir;
    Connection owner;
    dir.CreateDatabase(owner);
    owner.SetBusyTimeout(200);
    const qint64 id = InsertCompany(owner, {{QStringLiteral("tel"), QStringLiteral("1")}});
    Connection other;
    dir.OpenAnother(other);
    auto held = std::make_unique<db::Transaction>(other, db::Transaction::Begin::Immediate);
    other.engine().LockRow(shipowner::kTable, QStringLiteral("id"), id);

    {
        Recordset rs;
        rs.Open(shipowner::RecordQuery(id), owner, db::adOpenKeyset, db::adLockPessimistic);
        try {
            rs.SetField(QStringLiteral("tel"), QStringLiteral("2"));
            QFAIL("the write went through a held lock");
        } catch (const db::Error& error) {
            QVERIFY2(error.kind() == ErrorKind::Busy, qPrintable(error.message()));
        }
    }
    held->commit();
    held.reset();
    QCOMPARE(StoredValue(owner, id, QStringLiteral("tel")).toString(), QStringLiteral("1"));

    Recordset rs;
    rs.Open(shipowner::RecordQuery(id), owner, db::adOpenKeyset, db::adLockPessimistic);
    rs.SetField(QStringLiteral("tel"), QStringLiteral("2"));
    rs.Update();
    QCOMPARE(StoredValue(other, id, QStringLiteral("tel")).toString(), QStringLiteral("2"));
}

void TestDataLayer::multiStatementTextIsRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("asResultSet");
    QTest::newRow("two deletes") << "delete from Orvandel where id=1; delete from Orvandel"
                                 << false;
    QTest::newRow("select then delete") << "select * from Orvandel; delete from Orvandel" << true;
    QTest::newRow("trailing garbage") << "delete from Orvandel where id=1; nonsense" << false;
}

void TestDataLayer::multiStatementTextIsRefused() {
    QFETCH(QString, text);
    QFETCH(bool, asResultSet);
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    InsertCompany(connection, {{QStringLiteral("id"), qint64(1)}});
    InsertCompany(connection, {{QStringLiteral("id"), qint64(2)}});
    Recordset rs;
    if (asResultSet)
        QVERIFY_THROWS_EXCEPTION(db::Error, rs.Open(text, connection));
    else
        QVERIFY_THROWS_EXCEPTION(db::Error, connection.Execute(text));
    QCOMPARE(RowCount(connection), 2);
    // One statement with a closing semicolon and a comment is fine.
    connection.Execute(QStringLiteral("delete from Orvandel where id=1; -- done"));
    QCOMPARE(RowCount(connection), 1);
}

void TestDataLayer::staticResultSetIsASnapshot() {
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    for (int i = 0; i < 3; ++i)
        InsertCompany(connection, {{QStringLiteral("公司名称"), QString::number(i)}});
    Recordset rs;
    rs.Open(shipowner::ListQuery(QString(), QString()), connection, db::adOpenStatic,
            db::adLockReadOnly);
    QCOMPARE(rs.Field(QStringLiteral("公司名称")).toString(), QStringLiteral("2"));
    connection.Execute(QStringLiteral("delete from Orvandel"));
    QStringList seen;
    for (; !rs.AtEnd(); rs.MoveNext())
        seen << rs.Field(QStringLiteral("公司名称")).toString();
    QCOMPARE(seen, QStringList({"2", "1", "0"}));
    QCOMPARE(RowCount(connection), 0);
}

void TestDataLayer::readLeftBeforeItsEndLeavesNothingOpen() {
    // A stopped fill: what the engine opened for the read must not hold the next save back.
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    // More rows than the server hands out in its first batch, so that the read stops with more
    // to come.
    for (int i = 0; i < 120; ++i)
        InsertCompany(connection, {{QStringLiteral("tel"), QString::number(i)}});
    Recordset fill;
    fill.Open(shipowner::ListQuery(QString(), QString()), connection, db::adOpenStatic,
              db::adLockReadOnly);
    fill.MoveNext();
    fill.Close();
    QVERIFY(!InTransaction(connection));
    const qint64 id = InsertCompany(connection, {{QStringLiteral("tel"), QStringLiteral("new")}});
    Connection other;
    dir.OpenAnother(other);
    QCOMPARE(StoredValue(other, id, QStringLiteral("tel")).toString(), QStringLiteral("new"));
}

void TestDataLayer::unstoredRowRollsBack() {
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    const qint64 id = InsertCompany(connection, {{QStringLiteral("tel"), QStringLiteral("1")}});
    Connection other;
    dir.OpenAnother(other);
    other.SetBusyTimeout(0);
    Recordset rs;
    rs.Open(shipowner::RecordQuery(id), connection, db::adOpenKeyset, db::adLockPessimistic);
    rs.SetField(QStringLiteral("tel"), QStringLiteral("2"));
    QVERIFY_THROWS_EXCEPTION(db::ConversionError,
                             rs.SetField(QStringLiteral("Tank_No"), QStringLiteral("x")));
    QVERIFY(InTransaction(connection));
    rs.Close();
    QVERIFY(!InTransaction(connection));
    // The lock went with the result set: another connection writes at once.
    other.Execute(QStringLiteral("update Orvandel set tel='4'"));
    QCOMPARE(StoredValue(connection, id, QStringLiteral("tel")).toString(), QStringLiteral("4"));
}

void TestDataLayer::failedUpdateRollsBackAtOnce() {
    FILE_ONLY();
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    const qint64 id = InsertCompany(connection, {{QStringLiteral("tel"), QStringLiteral("1")}});
    Recordset rs;
    rs.Open(shipowner::RecordQuery(id), connection, db::adOpenKeyset, db::adLockPessimistic);
    rs.SetField(QStringLiteral("tel"), QStringLiteral("2"));
    connection.Execute(QStringLiteral("PRAGMA query_only=1")); // the store refuses the write
    QVERIFY_THROWS_EXCEPTION(db::Error, rs.Update());
    connection.Execute(QStringLiteral("PRAGMA query_only=0"));
    QVERIFY2(!InTransaction(connection), "the failed store still holds the write lock");
    QCOMPARE(StoredValue(connection, id, QStringLiteral("tel")).toString(), QStringLiteral("1"));
}

void TestDataLayer::transactionEndsAsAsked_data() {
    QTest::addColumn<QString>("ending");
    QTest::addColumn<qint64>("rowsAfter");
    QTest::newRow("committed") << "commit" << qint64(1);
    QTest::newRow("left without commit") << "scope" << qint64(0);
    QTest::newRow("an error unwinds past it") << "error" << qint64(0);
    QTest::newRow("the engine rolled back already") << "engine" << qint64(0);
}

void TestDataLayer::transactionEndsAsAsked() {
    QFETCH(QString, ending);
    QFETCH(qint64, rowsAfter);
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    try {
        db::Transaction transaction(connection);
        QVERIFY(InTransaction(connection));
        InsertCompany(connection, {{QStringLiteral("tel"), QStringLiteral("1")}});
        if (ending == QLatin1String("commit"))
            transaction.commit();
        else if (ending == QLatin1String("error"))
            connection.Execute(QStringLiteral("no such statement"));
        else if (ending == QLatin1String("engine"))
            connection.Execute(QStringLiteral("ROLLBACK"));
    } catch (const db::Error& error) {
        // The first error is the one that arrives, not one from the rollback.
        QCOMPARE(ending, QStringLiteral("error"));
        QVERIFY2(error.message().contains(QStringLiteral("syntax")), qPrintable(error.message()));
    }
    QVERIFY(!InTransaction(connection));
    QCOMPARE(RowCount(connection), rowsAfter);
}

void TestDataLayer::immediateTransactionTakesTheWriteLockAtOnce() {
    FILE_ONLY();
    SystemDirFixture dir;
    Connection owner;
    dir.CreateDatabase(owner);
    Connection other;
    dir.OpenAnother(other);
    other.SetBusyTimeout(0);
    const QString write = QStringLiteral("insert into Orvandel (tel) values ('2')");
    {
        db::Transaction deferred(owner, db::Transaction::Begin::Deferred);
        other.Execute(write); // nothing is locked before the first write
    }
    db::Transaction immediate(owner, db::Transaction::Begin::Immediate);
    try {
        other.Execute(write);
        QFAIL("the write lock was not taken at the start");
    } catch (const db::Error& error) {
        QVERIFY2(error.kind() == ErrorKind::Busy, qPrintable(error.message()));
    }
    immediate.commit();
    other.Execute(write);
    QCOMPARE(RowCount(owner), 2);
}

void TestDataLayer::failedDemoFillAddsNothingAndReportsItsOwnError() {
    FILE_ONLY();
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    InsertCompany(connection, {{QStringLiteral("tel"), QStringLiteral("1")}});
    FillTheDisk(connection);
    try {
        DemoDirectory(1).AddTo(connection, 2000);
        QFAIL("2000 companies fitted on a full disk");
    } catch (const db::Error& error) {
        QVERIFY2(error.kind() == ErrorKind::DiskFull, qPrintable(error.message()));
    }
    QVERIFY(!InTransaction(connection));
    QCOMPARE(RowCount(connection), 1);
}

void TestDataLayer::errorsSayWhatKindTheyAre_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("engineCode");
    QTest::newRow("busy") << "busy" << int(ErrorKind::Busy) << "SQLite 5";
    QTest::newRow("disk full") << "full" << int(ErrorKind::DiskFull) << "SQLite 13";
    QTest::newRow("read-only") << "read-only" << int(ErrorKind::ReadOnly) << "SQLite 8";
    QTest::newRow("cannot open") << "cannot open" << int(ErrorKind::CannotOpen) << "SQLite 14";
    // The extended code names the constraint.
    QTest::newRow("duplicate key")
        << "duplicate key" << int(ErrorKind::ValueRefused) << "SQLite 1555";
    QTest::newRow("no such table") << "no table" << int(ErrorKind::NotADirectory) << "SQLite 1";
}

void TestDataLayer::errorsSayWhatKindTheyAre() {
    FILE_ONLY();
    QFETCH(QString, kind);
    QFETCH(int, expected);
    QFETCH(QString, engineCode);
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    connection.SetBusyTimeout(0);
    const qint64 id = InsertCompany(connection, {{QStringLiteral("tel"), QStringLiteral("1")}});
    Connection other;
    dir.OpenAnother(other);
    const QString write = QStringLiteral("update Orvandel set adrress=printf('%.*c', 5000, 'x')");
    try {
        if (kind == QLatin1String("busy")) {
            db::Transaction held(other, db::Transaction::Begin::Immediate);
            connection.Execute(write);
        } else if (kind == QLatin1String("full")) {
            FillTheDisk(connection);
            connection.Execute(write);
        } else if (kind == QLatin1String("read-only")) {
            connection.Execute(QStringLiteral("PRAGMA query_only=1"));
            connection.Execute(write);
        } else if (kind == QLatin1String("cannot open")) {
            Connection missing;
            missing.OpenFile(dir.path() + QStringLiteral("/missing.bcd"), dbfile::kPassword);
        } else if (kind == QLatin1String("no table")) {
            connection.Execute(QStringLiteral("DROP TABLE Orvandel"));
            Recordset rs;
            rs.Open(shipowner::RecordQuery(id), connection);
        } else {
            InsertCompany(connection, {{QStringLiteral("id"), id}});
        }
        QFAIL("the engine took it");
    } catch (const db::Error& error) {
        QCOMPARE(int(error.kind()), expected);
        QCOMPARE(error.engineCode(), engineCode);
        QVERIFY(error.details().contains(engineCode));
    }
}

// A role for which the server reads a backslash in a string as an escape (an office may have that
// setting): a filter that closes the string there must still find only what it names.
void TestDataLayer::serverFilterNeverBecomesStatementText() {
    if (!OnServer())
        QSKIP("about the server's statements");
    SystemDirFixture dir;
    Connection owner;
    dir.CreateDatabase(owner);
    const QString trap = QStringLiteral("zzz\\' or 1=1 --");
    for (const QString& name : {QStringLiteral("Blue Lines"), trap + QStringLiteral(" Shipping"),
                                QStringLiteral("远洋航运")})
        InsertCompany(owner, {{QStringLiteral("公司名称"), name}});
    owner.Execute(QStringLiteral("DO $$BEGIN CREATE ROLE orvandel_lax LOGIN; EXCEPTION WHEN "
                                 "duplicate_object THEN NULL; END$$"));
    owner.Execute(QStringLiteral("ALTER ROLE orvandel_lax SET standard_conforming_strings = off"));
    owner.Execute(QStringLiteral("GRANT SELECT ON Orvandel TO orvandel_lax"));
    Connection lax;
    lax.Open(
        serverconf::ServerConnectionString(TestServer() + QStringLiteral(" user=orvandel_lax")),
        QString(), QString());
    // First with the session's own setting, then without it: the bound value alone must hold.
    for (const bool sessionSetting : {true, false}) {
        if (!sessionSetting)
            lax.Execute(QStringLiteral("SET standard_conforming_strings = off"));
        Recordset setting;
        setting.Open(QStringLiteral("SHOW standard_conforming_strings"), lax);
        QCOMPARE(QString::fromUtf8(setting.FieldText(0)),
                 sessionSetting ? QStringLiteral("on") : QStringLiteral("off"));
        setting.Close();
        Recordset rs;
        rs.Open(shipowner::ListQuery(trap, QString()), lax, db::adOpenStatic, db::adLockReadOnly);
        QStringList names;
        for (; !rs.AtEnd(); rs.MoveNext())
            names << rs.Field(QStringLiteral("公司名称")).toString();
        QCOMPARE(names, QStringList{trap + QStringLiteral(" Shipping")});
    }
}

void TestDataLayer::olderDirectoryIsBroughtUpToDate() {
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    QCOMPARE(connection.engine().SchemaVersion(), schema::LatestVersion());
    for (int i = 0; i < 3; ++i)
        InsertCompany(connection, {{QStringLiteral("公司名称"), QStringLiteral("公司%1").arg(i)}});
    schema::BringUpToDate(connection, LaterSteps());
    QCOMPARE(connection.engine().SchemaVersion(), kLatest + 2);
    QCOMPARE(RowCount(connection), 3);
    Recordset rs;
    rs.Open(QStringLiteral("SELECT count(*) AS n FROM Orvandel WHERE note = 'checked'"),
            connection);
    QCOMPARE(rs.Field(QStringLiteral("n")).toLongLong(), 3);
    rs.Close();
    // Up to date: a second run changes nothing and copies nothing.
    schema::BringUpToDate(connection, LaterSteps());
    if (OnServer())
        return;
    // The file was copied first, as it was: its layout then, every row, and only one copy.
    const QString copy = dir.databasePath() + QStringLiteral(".before-upgrade-%1").arg(kLatest);
    QVERIFY(QFile::exists(copy));
    QVERIFY(!QFile::exists(copy + QStringLiteral(".2")));
    Connection old;
    old.OpenFile(copy, dbfile::kPassword, db::FileMode::ReadOnly);
    QCOMPARE(old.engine().SchemaVersion(), kLatest);
    QCOMPARE(RowCount(old), 3);
    QVERIFY(!HasColumn(old, QStringLiteral("note")));
}

void TestDataLayer::failedUpgradeChangesNothing_data() {
    QTest::addColumn<QString>("failing");
    QTest::newRow("a step fails") << "step";
    QTest::newRow("no copy can be made") << "copy";
}

void TestDataLayer::failedUpgradeChangesNothing() {
    QFETCH(QString, failing);
    if (failing == QLatin1String("copy"))
        FILE_ONLY();
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    InsertCompany(connection, {{QStringLiteral("公司名称"), QStringLiteral("远洋航运")}});
    QList<schema::Step> steps = LaterSteps();
    if (failing == QLatin1String("step"))
        steps.append({kLatest + 3,
                      [](Connection& c) { c.Execute(QStringLiteral("UPDATE Nowhere SET x=1")); }});
    else // a folder where the copy is to be written
        QVERIFY(QDir().mkpath(dir.databasePath() +
                              QStringLiteral(".before-upgrade-%1.partial").arg(kLatest)));
    try {
        schema::BringUpToDate(connection, steps);
        QFAIL("the upgrade went through");
    } catch (const schema::UpgradeError& error) {
        QVERIFY2(!error.message().isEmpty(), qPrintable(error.details()));
    }
    QVERIFY(!InTransaction(connection));
    QCOMPARE(connection.engine().SchemaVersion(), kLatest);
    QVERIFY(!HasColumn(connection, QStringLiteral("note")));
    QCOMPARE(RowCount(connection), 1);
}

void TestDataLayer::newerDirectoryIsRefused() {
    SystemDirFixture dir;
    Connection connection;
    dir.CreateDatabase(connection);
    {
        db::Transaction transaction(connection);
        connection.engine().SetSchemaVersion(schema::LatestVersion() + 1);
        transaction.commit();
    }
    try {
        schema::BringUpToDate(connection);
        QFAIL("a newer layout was taken");
    } catch (const db::Error& error) {
        QCOMPARE(int(error.kind()), int(ErrorKind::NewerSchema));
    }
    const QList<dbfile::Problem> problems = dbfile::Problems(connection);
    QCOMPARE(problems.size(), 1);
    QCOMPARE(int(problems[0].kind), int(ErrorKind::NewerSchema));
    Connection opened;
    QVERIFY_THROWS_EXCEPTION(db::Error, dbfile::OpenDirectory(opened, dir.connectionString()));
}

// A file made by the first program's init and demo (40 companies), kept as it was made.
void TestDataLayer::directoryOfTheFirstLayoutOpensWithAllItsRows() {
    FILE_ONLY();
    SystemDirFixture dir;
    QVERIFY(
        QFile::copy(QStringLiteral(ORVANDEL_FIXTURES "/shipall-layout0.bcd"), dir.databasePath()));
    QFile::setPermissions(dir.databasePath(), QFile::ReadOwner | QFile::WriteOwner);
    Connection connection;
    dbfile::OpenDirectory(connection, dir.connectionString());
    QCOMPARE(connection.engine().SchemaVersion(), schema::LatestVersion());
    QCOMPARE(RowCount(connection), 40);
    schema::BringUpToDate(connection, LaterSteps());
    QCOMPARE(RowCount(connection), 40);
    Recordset rs;
    rs.Open(shipowner::ListQuery(QString(), QString()), connection, db::adOpenStatic,
            db::adLockReadOnly);
    QCOMPARE(rs.Field(QStringLiteral("id")).toLongLong(), 40);
    QVERIFY(!rs.Field(QStringLiteral("公司名称")).toString().isEmpty());
}

// An office gives some desks an account that may read the directory and nothing more.
void TestDataLayer::readingAccountMayOnlyLook() {
    if (!OnServer())
        QSKIP("the file has no accounts");
    SystemDirFixture dir;
    Connection owner;
    dir.CreateDatabase(owner);
    const qint64 id = InsertCompany(owner, {{QStringLiteral("tel"), QStringLiteral("1")}});
    owner.Execute(QStringLiteral("DO $$BEGIN CREATE ROLE orvandel_reader LOGIN; EXCEPTION WHEN "
                                 "duplicate_object THEN NULL; END$$"));
    owner.Execute(QStringLiteral("GRANT SELECT ON Orvandel, orvandel_schema TO orvandel_reader"));
    Connection reader;
    dbfile::OpenDirectory(reader, serverconf::ServerConnectionString(
                                      TestServer() + QStringLiteral(" user=orvandel_reader")));
    QVERIFY(owner.MayWrite(shipowner::kTable));
    QVERIFY(!reader.MayWrite(shipowner::kTable));
    Recordset rs;
    rs.Open(shipowner::RecordQuery(id), reader, db::adOpenKeyset, db::adLockPessimistic);
    QCOMPARE(rs.Field(QStringLiteral("tel")).toString(), QStringLiteral("1"));
    try {
        rs.SetField(QStringLiteral("tel"), QStringLiteral("2"));
        rs.Update();
        QFAIL("a reading account stored a change");
    } catch (const db::Error& error) {
        QCOMPARE(int(error.kind()), int(ErrorKind::PermissionDenied));
    }
    QCOMPARE(StoredValue(owner, id, QStringLiteral("tel")).toString(), QStringLiteral("1"));
    // An account that may not even read is refused when it opens the directory.
    owner.Execute(QStringLiteral("REVOKE SELECT ON Orvandel FROM orvandel_reader"));
    Connection outsider;
    try {
        dbfile::OpenDirectory(outsider,
                              serverconf::ServerConnectionString(
                                  TestServer() + QStringLiteral(" user=orvandel_reader")));
        QFAIL("an account without the right to read opened the directory");
    } catch (const db::Error& error) {
        QCOMPARE(int(error.kind()), int(ErrorKind::PermissionDenied));
    }
}

QTEST_GUILESS_MAIN(TestDataLayer)
#include "tst_datalayer.moc"
