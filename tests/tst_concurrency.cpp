// Several desks saving into one directory on the server at once, each a process of its own (the
// concurrency_desk helper) that saves through the detail screen as the program does.
#include "data/Connection.h"
#include "data/Recordset.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QSet>
#include <QtTest>

namespace {

const int kDesks = 8;
const int kSavesOfEachKind = 250;
const QString kChangedElsewhere = QStringLiteral("box=这条信息在您打开之后已被其他人修改");
// The desk that holds the record, named as each desk names itself to the server (see Desk).
const QString kBusy =
    QStringLiteral("box=保存失败，信息未保存：数据库服务器 127.0.0.1/orvandel_test "
                   "上的这条信息正被“hold desk”修改");

// One desk process, spoken to and heard line by line.
class Desk {
public:
    explicit Desk(const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // Each desk is known to the server by what it does, so that a busy message can be
        // checked for the name of the desk that holds the record.
        env.insert(QStringLiteral("PGAPPNAME"), arguments.value(0) + QStringLiteral(" desk"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(ORVANDEL_DESK_BIN), arguments);
    }
    ~Desk() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000))
            process_.kill();
        process_.waitForFinished();
    }

    void Tell(const QByteArray& line) {
        process_.write(line + '\n');
        process_.waitForBytesWritten(10000);
    }
    // The next line the desk prints; empty when it ends or says nothing for five minutes (a race
    // on a loaded machine says nothing until it is done).
    QString Hear() {
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(300000))
                return QString();
        return QString::fromUtf8(process_.readLine()).chopped(1);
    }
    // Whether the desk has printed a line not yet heard.
    bool HasSaid() {
        process_.waitForReadyRead(0);
        return process_.canReadLine();
    }
    int Finish() {
        process_.closeWriteChannel();
        process_.waitForFinished(120000);
        return process_.state() == QProcess::NotRunning ? process_.exitCode() : -1;
    }

private:
    QProcess process_;
};

} // namespace

class TestConcurrency : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void eightDesksSaveAtOnce();
    void secondSaveOfOneRecordWaits_data();
    void secondSaveOfOneRecordWaits();

private:
    // Whether some connection to the test database waits for a row lock now.
    bool SomeoneWaitsForALock();
    QString Stored(qint64 id, const QString& column) {
        return StoredValue(*connection_, id, column).toString();
    }

    std::optional<SystemDirFixture> dir_;
    std::optional<db::Connection> connection_;
};

void TestConcurrency::initTestCase() {
    // The suite is about the server's row locks; without the test server it fails.
    qputenv("ORVANDEL_TEST_ENGINE", "server");
    QVERIFY2(HasTestServer(), kNeedsTestServer);
}

void TestConcurrency::init() {
    connection_.reset();
    dir_.emplace();
    dir_->CreateDatabase(connection_.emplace());
}

bool TestConcurrency::SomeoneWaitsForALock() {
    db::Recordset waiting;
    waiting.Open(QStringLiteral("select count(*) as n from pg_stat_activity "
                                "where datname = current_database() and wait_event_type = 'Lock'"),
                 *connection_);
    return waiting.Field(QStringLiteral("n")).toLongLong() > 0;
}

void TestConcurrency::eightDesksSaveAtOnce() {
    // Every desk adds one to the same records' Tank_No, in the same order, so that they meet on
    // one record again and again; a save lost on the way leaves a count short.
    QStringList shared;
    for (int n = 0; n < kSavesOfEachKind; ++n)
        shared << QString::number(InsertCompany(
            *connection_, {{QStringLiteral("公司名称"), QStringLiteral("共用%1").arg(n)},
                           {QStringLiteral("Tank_No"), qint64(0)}}));
    std::vector<std::unique_ptr<Desk>> desks;
    for (int k = 0; k < kDesks; ++k)
        desks.push_back(std::make_unique<Desk>(
            QStringList{"race", QStringLiteral("新%1").arg(k), shared.join(QLatin1Char(','))}));
    for (auto& desk : desks)
        QCOMPARE(desk->Hear(), QStringLiteral("ready"));
    // All desks are connected and waiting: they start together.
    for (auto& desk : desks)
        desk->Tell("go");
    QStringList reports;
    for (auto& desk : desks) {
        const QString report = desk->Hear();
        QVERIFY2(report.startsWith(QLatin1String("done ")), qPrintable(report));
        QCOMPARE(desk->Finish(), 0);
        reports << report;
    }
    qInfo("%s", qPrintable(reports.join(QStringLiteral("; "))));

    QCOMPARE(RowCount(*connection_), qint64(kSavesOfEachKind + kDesks * kSavesOfEachKind));
    db::Recordset rows;
    rows.Open(QStringLiteral("select id, 公司名称, Tank_No from Orvandel"), *connection_);
    QSet<qint64> ids;
    QSet<QString> names;
    for (; !rows.AtEnd(); rows.MoveNext()) {
        ids.insert(rows.Field(QStringLiteral("id")).toLongLong());
        const QString name = rows.Field(QStringLiteral("公司名称")).toString();
        names.insert(name);
        if (name.startsWith(QStringLiteral("共用")))
            QCOMPARE(rows.Field(QStringLiteral("Tank_No")).toLongLong(), qint64(kDesks));
    }
    QCOMPARE(ids.size(), int(RowCount(*connection_)));
    for (int k = 0; k < kDesks; ++k)
        for (int n = 0; n < kSavesOfEachKind; ++n)
            QVERIFY2(names.contains(QStringLiteral("新%1-%2").arg(k).arg(n)),
                     qPrintable(QStringLiteral("新%1-%2").arg(k).arg(n)));
    QCOMPARE(names.size(), kSavesOfEachKind + kDesks * kSavesOfEachKind);
}

void TestConcurrency::secondSaveOfOneRecordWaits_data() {
    // What the first desk's save does while the second desk's save of the same record waits;
    // what the second desk shows; what is stored in the end.
    QTest::addColumn<QString>("firstWrites");
    QTest::addColumn<QByteArray>("firstEnds");
    QTest::addColumn<QString>("secondShows");
    QTest::addColumn<QString>("stored");
    QTest::newRow("first stores a change")
        << "第一台的电话" << QByteArray("commit") << kChangedElsewhere << "第一台的电话";
    QTest::newRow("first stores the same text")
        << "原来的电话" << QByteArray("commit") << "box=修改成功"
        << "第二台的电话";
    QTest::newRow("first rolls back") << "第一台的电话" << QByteArray("rollback") << "box=修改成功"
                                      << "第二台的电话";
    QTest::newRow("first keeps the lock past the wait")
        << "第一台的电话" << QByteArray() << kBusy << "第一台的电话";
}

void TestConcurrency::secondSaveOfOneRecordWaits() {
    QFETCH(QString, firstWrites);
    QFETCH(QByteArray, firstEnds);
    QFETCH(QString, secondShows);
    QFETCH(QString, stored);
    const qint64 id =
        InsertCompany(*connection_, {{QStringLiteral("公司名称"), QStringLiteral("同一家")},
                                     {QStringLiteral("tel"), QStringLiteral("原来的电话")}});
    const QString telBox = QStringLiteral("14");
    Desk second({"save", QString::number(id), telBox, QStringLiteral("第二台的电话")});
    QCOMPARE(second.Hear(), QStringLiteral("loaded"));
    Desk first({"hold", QString::number(id), QStringLiteral("tel"), firstWrites});
    QCOMPARE(first.Hear(), QStringLiteral("locked"));

    second.Tell("save");
    QTRY_VERIFY_WITH_TIMEOUT(SomeoneWaitsForALock() || second.HasSaid(), 60000);
    QVERIFY2(!second.HasSaid(), "the second save ended while the first held the lock");
    if (!firstEnds.isEmpty()) {
        first.Tell(firstEnds);
        if (firstEnds == "commit")
            QCOMPARE(first.Hear(), QStringLiteral("committed"));
    }
    const QString shown = second.Hear();
    QVERIFY2(shown.startsWith(secondShows), qPrintable(shown));
    QCOMPARE(second.Hear(), QStringLiteral("kept=第二台的电话"));
    if (firstEnds.isEmpty()) {
        // The busy message left the typing in place; the first desk stores its change now, and
        // the second desk's next try does not overwrite it.
        QCOMPARE(Stored(id, "tel"), QStringLiteral("原来的电话"));
        first.Tell("commit");
        QCOMPARE(first.Hear(), QStringLiteral("committed"));
        second.Tell("save");
        const QString again = second.Hear();
        QVERIFY2(again.startsWith(kChangedElsewhere), qPrintable(again));
        QCOMPARE(second.Hear(), QStringLiteral("kept=第二台的电话"));
    }
    QCOMPARE(first.Finish(), 0);
    QCOMPARE(second.Finish(), 0);
    QCOMPARE(Stored(id, "tel"), stored);
}

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
