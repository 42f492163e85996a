#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "data/ServerConfig.h"
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "screens/ResultGrid.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frminfo.h"
#include "screens/frmquery.h"
#include "screens/frmwait.h"
#include "session/modGeneral.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using platform::MsgBoxSeam::Taken;

namespace {

// Many rows of 6,000 bytes each: far more than the sockets and the client library hold, so that
// a fill is still reading from the server when the server stops.
constexpr int kBulkRows = 25000;
constexpr qint64 kHaltAtRow = 100;
const QStringList kMarked = {"回港三号", "回港二号", "回港一号"}; // newest first
const QString kServerWords = QStringLiteral("数据库服务器");

// A trigger that stops the server from inside a save: during the statement that stores the row
// ("store"), or when the commit runs the deferred check ("commit"). The backend then waits to be
// ended, so the save can never complete.
QStringList StopTriggerStatements(const QString& when, const QString& signal) {
    const QString function = QStringLiteral(
        "CREATE OR REPLACE FUNCTION stop_server() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "BEGIN EXECUTE format('COPY (SELECT 1) TO PROGRAM %L', format('kill -%s $(head -n 1 "
        "%s/postmaster.pid)', TG_ARGV[0], current_setting('data_directory'))); "
        // The server's stop ends the program as well, which COPY reports as an error.
        "EXCEPTION WHEN OTHERS THEN END; PERFORM pg_sleep(60); RETURN NEW; END $$");
    const QString trigger =
        when == QLatin1String("store")
            ? QStringLiteral("CREATE TRIGGER stop_server BEFORE INSERT OR UPDATE ON Orvandel FOR "
                             "EACH ROW EXECUTE FUNCTION stop_server('%1')")
            : QStringLiteral("CREATE CONSTRAINT TRIGGER stop_server AFTER INSERT OR UPDATE ON "
                             "Orvandel DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE "
                             "FUNCTION stop_server('%1')");
    return {function, trigger.arg(signal)};
}

// Watches the windows while a statement waits: the longest time the event loop went without a
// turn, and the wait box, whose text it notes and which it cancels when told to.
class WaitWatch : public QObject {
public:
    explicit WaitWatch(bool cancel) {
        ticker_.setInterval(50);
        connect(&ticker_, &QTimer::timeout, this, [this, cancel] {
            longestGap_ = qMax(longestGap_, clock_.elapsed() - lastTick_);
            lastTick_ = clock_.elapsed();
            frmwait& box = frmwait::instance();
            if (!box.isVisible() || !boxText_.isNull())
                return;
            boxText_ = box.findChild<QLabel*>(QStringLiteral("Label1"))->text();
            if (cancel)
                QTest::mouseClick(box.findChild<SmartNetXpButton*>(QStringLiteral("CmdCancel")),
                                  Qt::LeftButton);
        });
    }
    void Start() {
        clock_.start();
        ticker_.start();
    }
    void Stop() {
        ticker_.stop();
        took_ = clock_.elapsed();
    }
    bool Started() const { return clock_.isValid(); }
    qint64 Took() const { return took_; }
    qint64 LongestGap() const { return longestGap_; }
    QString BoxText() const { return boxText_; } // null when the box never showed

private:
    QTimer ticker_;
    QElapsedTimer clock_;
    qint64 lastTick_ = 0;
    qint64 longestGap_ = 0;
    qint64 took_ = 0;
    QString boxText_;
};

} // namespace

class TestServerLoss : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void serverStoppedDuringAFill_data();
    void serverStoppedDuringAFill();
    void serverStoppedDuringASave_data();
    void serverStoppedDuringASave();
    void serverStoppedWhileIdle();
    void serverThatNeverAnswersIsGivenUp_data();
    void serverThatNeverAnswersIsGivenUp();
    void stalledBackendIsGivenUpWhileTheWindowsStayAlive_data();
    void stalledBackendIsGivenUpWhileTheWindowsStayAlive();
    void stopWithTheServerOutOfReachEndsByTheLimit_data();
    void stopWithTheServerOutOfReachEndsByTheLimit();

private:
    db::Connection& connection() { return modGeneral::dbConnection(); }
    void showQuery();
    void runQuery(const QString& company);
    QStringList names() const;
    void openRecord(qint64 id);
    QLineEdit* box(int index) const;
    QStringList boxTexts() const;
    void clickSave();
    void checkServerMessage(const QString& said);
    void halt(const QString& mode);
    void resume();
    qint64 useShortLimit();
    void checkWaitEnded(const WaitWatch& watch, qint64 limitMs, bool cancel);

    PrivateServer server_;
    SystemDirFixture dir_;
    frmquery* query_ = nullptr;
    frminfo* info_ = nullptr;
    ResultGrid* grid_ = nullptr;
    qint64 newestBulkId_ = 0;
    bool shortLimit_ = false;
};

void TestServerLoss::initTestCase() {
    QString conninfo;
    QVERIFY2(server_.Start(&conninfo), qPrintable(conninfo));
    // This suite is about the server only, and about its own server.
    qputenv("ORVANDEL_TEST_ENGINE", "server");
    qputenv("ORVANDEL_TEST_SERVER", conninfo.toUtf8());
    platform::SetUpApplication();
    frmwait::Install();
    dir_.CreateDatabase(connection());
    connection().Execute(QStringLiteral("INSERT INTO Orvandel (公司名称, 国家, tel, adrress) "
                                        "SELECT '远洋' || g, '希腊', g::text, "
                                        "repeat('港', 2000) FROM generate_series(1, %1) g")
                             .arg(kBulkRows));
    newestBulkId_ = RowCount(connection());
    for (auto name = kMarked.crbegin(); name != kMarked.crend(); ++name)
        InsertCompany(connection(), {{QStringLiteral("公司名称"), *name}});
    query_ = &frmquery::instance();
    info_ = &frminfo::instance();
    grid_ = query_->findChild<ResultGrid*>(QStringLiteral("Grid"));
    QVERIFY(grid_);
}

void TestServerLoss::init() {
    platform::MsgBoxSeam::Intercept();
}

void TestServerLoss::cleanup() {
    query_->close();
    info_->close();
    platform::MsgBoxSeam::Release();
    if (shortLimit_) {
        shortLimit_ = false;
        connection().Close();
        dir_.OpenAnother(connection());
    }
    // A test that failed half-way may have left the server stopped or the trigger armed.
    QString error;
    try {
        db::Connection probe;
        dir_.OpenAnother(probe);
    } catch (const db::Error&) {
        QVERIFY2(server_.Halt(QStringLiteral("fast"), &error) && server_.Resume(&error),
                 qPrintable(error));
    }
    db::Connection admin;
    dir_.OpenAnother(admin);
    admin.Execute(QStringLiteral("DROP TRIGGER IF EXISTS stop_server ON Orvandel"));
}

void TestServerLoss::showQuery() {
    query_->Show();
    QVERIFY(QTest::qWaitForWindowExposed(query_));
}

void TestServerLoss::runQuery(const QString& company) {
    if (!query_->isVisible())
        showQuery();
    query_->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(company);
    query_->findChild<QLineEdit*>(QStringLiteral("Text2"))->clear();
    QTest::mouseClick(query_->findChild<SmartNetXpButton*>(QStringLiteral("CmdQuery")),
                      Qt::LeftButton);
}

QStringList TestServerLoss::names() const {
    QStringList found;
    for (int row = 1; row < grid_->Rows(); ++row)
        found << grid_->TextMatrix(row, 1);
    return found;
}

void TestServerLoss::openRecord(qint64 id) {
    info_->shipId = id;
    info_->Show();
    QVERIFY(QTest::qWaitForWindowExposed(info_));
}

QLineEdit* TestServerLoss::box(int index) const {
    return info_->findChild<QLineEdit*>(QStringLiteral("Txt_%1").arg(index));
}

QStringList TestServerLoss::boxTexts() const {
    QStringList texts;
    for (int index = 0; index < frminfo::kBoxes; ++index)
        texts << box(index)->text();
    return texts;
}

void TestServerLoss::clickSave() {
    QTest::mouseClick(info_->findChild<SmartNetXpButton*>(QStringLiteral("CmdQuery")),
                      Qt::LeftButton);
}

// One critical box that names the server and what became of the work, in Chinese only: the
// library's own words go to stderr.
void TestServerLoss::checkServerMessage(const QString& said) {
    const auto shown = Taken();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].style, int(platform::vbCritical));
    QCOMPARE(shown[0].title, QStringLiteral("提示:"));
    const QString server = connection().ServerName();
    QVERIFY2(shown[0].text.contains(kServerWords + QLatin1Char(' ') + server) &&
                 shown[0].text.contains(said),
             qPrintable(shown[0].text));
    QVERIFY2(!QString(shown[0].text)
                  .remove(server)
                  .contains(QRegularExpression(QStringLiteral("[A-Za-z]"))),
             qPrintable(shown[0].text));
}

void TestServerLoss::halt(const QString& mode) {
    QString error;
    QVERIFY2(server_.Halt(mode, &error), qPrintable(error));
}

void TestServerLoss::resume() {
    QString error;
    QVERIFY2(server_.Resume(&error), qPrintable(error));
}

// Connects anew with a limit of 2.5 s on the server's side, so that this side waits 3.5 s; the
// usual connection comes back after the test.
qint64 TestServerLoss::useShortLimit() {
    connection().Close();
    connection().Open(serverconf::ServerConnectionString(
                          TestServer() + QStringLiteral(" options='-c statement_timeout=2500'")),
                      QString(), QString());
    shortLimit_ = true;
    return 3500;
}

// The box showed, the windows had their turns throughout, and the wait ended when the user said so
// or at the limit.
void TestServerLoss::checkWaitEnded(const WaitWatch& watch, qint64 limitMs, bool cancel) {
    QCOMPARE(watch.BoxText(), QStringLiteral("正在等待服务器…"));
    QVERIFY(!frmwait::instance().isVisible());
    QVERIFY2(watch.LongestGap() < 200,
             qPrintable(QStringLiteral("%1 ms without events").arg(watch.LongestGap())));
    const qint64 took = watch.Took();
    if (cancel)
        QVERIFY2(took < limitMs, qPrintable(QString::number(took)));
    else
        QVERIFY2(took >= limitMs && took < limitMs + 5000, qPrintable(QString::number(took)));
}

void TestServerLoss::serverStoppedDuringAFill_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("fast shutdown") << "fast";
    QTest::newRow("immediate shutdown") << "immediate";
}

void TestServerLoss::serverStoppedDuringAFill() {
    QFETCH(QString, mode);
    showQuery();
    // From inside the fill, at a row of its choosing: a fill that is quick enough never ends first.
    QString haltError;
    bool halted = false;
    const auto connection = connect(query_, &frmquery::FillYield, this, [&](qint64 rowsSoFar) {
        if (rowsSoFar == kHaltAtRow)
            halted = server_.Halt(mode, &haltError);
    });
    runQuery(QString());
    disconnect(connection);
    QVERIFY2(halted, qPrintable(haltError));
    checkServerMessage(QStringLiteral("查询"));
    // The rows read before the server went stay, newest first and numbered.
    const int shown = grid_->Rows() - 1;
    QVERIFY2(shown >= kHaltAtRow && shown < kBulkRows, qPrintable(QString::number(shown)));
    QCOMPARE(grid_->TextMatrix(1, 1), kMarked[0]);
    QCOMPARE(grid_->TextMatrix(shown, 0), QString::number(shown));
    QCOMPARE(grid_->TextMatrix(shown, 5), QString::number(newestBulkId_ + 4 - shown));

    resume();
    runQuery(QStringLiteral("回港"));
    QCOMPARE(Taken().size(), 0);
    QCOMPARE(names(), kMarked);
}

void TestServerLoss::serverStoppedDuringASave_data() {
    QTest::addColumn<bool>("newRecord");
    QTest::addColumn<QString>("when");
    QTest::addColumn<QString>("signal"); // to the server: INT a fast, QUIT an immediate shutdown
    QTest::addColumn<QString>("said");
    QTest::newRow("change, stopped while storing") << false << "store"
                                                   << "INT"
                                                   << "信息未保存";
    QTest::newRow("change, stopped at the commit") << false << "commit"
                                                   << "QUIT"
                                                   << "无法确认";
    QTest::newRow("new record, stopped while storing") << true << "store"
                                                       << "QUIT"
                                                       << "信息未保存";
}

void TestServerLoss::serverStoppedDuringASave() {
    QFETCH(bool, newRecord);
    QFETCH(QString, when);
    QFETCH(QString, signal);
    QFETCH(QString, said);
    const qint64 id = newRecord
                          ? -1
                          : InsertCompany(connection(), {{QStringLiteral("公司名称"), "停机前公司"},
                                                         {QStringLiteral("tel"), "111"}});
    const qint64 rowsBefore = RowCount(connection());
    openRecord(id);
    // A name of its own, so that no earlier row's company makes it a likely duplicate.
    box(0)->setText(
        QStringLiteral("停机时输入的公司 %1").arg(QLatin1String(QTest::currentDataTag())));
    box(14)->setText(QStringLiteral("222"));
    box(16)->setText(QStringLiteral("新港路 9 号"));
    const QStringList typed = boxTexts();
    {
        db::Connection admin;
        dir_.OpenAnother(admin);
        for (const QString& statement : StopTriggerStatements(when, signal))
            admin.Execute(statement);
    }

    clickSave();
    checkServerMessage(said);
    QCOMPARE(boxTexts(), typed);
    halt(QStringLiteral("fast")); // waits until the stop the trigger began is over

    // While the server is away, a save says so and keeps the typing too.
    clickSave();
    checkServerMessage(QStringLiteral("信息未保存"));
    QCOMPARE(boxTexts(), typed);

    resume();
    db::Connection check;
    dir_.OpenAnother(check);
    // Nothing half-written: the row as it was, and no row added.
    QCOMPARE(RowCount(check), rowsBefore);
    if (!newRecord)
        QCOMPARE(StoredValue(check, id, QStringLiteral("tel")).toString(), QStringLiteral("111"));
    check.Execute(QStringLiteral("DROP TRIGGER stop_server ON Orvandel"));

    // The same screen, in the same session, saves once the server is back.
    clickSave();
    QCOMPARE(Taken().value(0).text,
             newRecord ? QStringLiteral("增加成功") : QStringLiteral("修改成功"));
    QCOMPARE(RowCount(check), rowsBefore + (newRecord ? 1 : 0));
    QVERIFY(info_->shipId > 0);
    QCOMPARE(StoredValue(check, info_->shipId, QStringLiteral("adrress")).toString(),
             QStringLiteral("新港路 9 号"));
}

void TestServerLoss::serverStoppedWhileIdle() {
    runQuery(QStringLiteral("回港"));
    QCOMPARE(names(), kMarked);
    // Restarted while nobody was using it: the next query works at once.
    halt(QStringLiteral("fast"));
    resume();
    runQuery(QStringLiteral("回港"));
    QCOMPARE(Taken().size(), 0);
    QCOMPARE(names(), kMarked);

    // Away when the query starts: it says so, and works again once the server is back.
    halt(QStringLiteral("immediate"));
    runQuery(QStringLiteral("回港"));
    checkServerMessage(QStringLiteral("查询"));
    QCOMPARE(grid_->Rows(), 1);
    resume();
    runQuery(QStringLiteral("回港"));
    QCOMPARE(Taken().size(), 0);
    QCOMPARE(names(), kMarked);

    // And the detail screen opens and saves a record through the same connection.
    const qint64 id = grid_->TextMatrix(1, 5).toLongLong();
    halt(QStringLiteral("fast"));
    resume();
    openRecord(id);
    QCOMPARE(box(0)->text(), kMarked[0]);
    box(14)->setText(QStringLiteral("333"));
    clickSave();
    QCOMPARE(Taken().value(0).text, QStringLiteral("修改成功"));
}

void TestServerLoss::serverThatNeverAnswersIsGivenUp_data() {
    QTest::addColumn<QString>("options");
    QTest::newRow("the program's own time limit") << "";
    QTest::newRow("the connection string's") << " connect_timeout=2";
}

void TestServerLoss::serverThatNeverAnswersIsGivenUp() {
    QFETCH(QString, options);
    // Listening but never accepting: the system completes the connection, nobody answers it.
    const int silent = socket(AF_INET, SOCK_STREAM, 0);
    const auto closeSilent = qScopeGuard([silent] { close(silent); });
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(bind(silent, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            listen(silent, 4) == 0 &&
            getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    db::Connection connection;
    const QString conninfo = QStringLiteral("host=127.0.0.1 port=%1 user=orvandel dbname=x")
                                 .arg(ntohs(address.sin_port)) +
                             options;
    QVERIFY_THROWS_EXCEPTION(
        db::ServerLostError,
        connection.Open(serverconf::ServerConnectionString(conninfo), QString(), QString()));
}

void TestServerLoss::stalledBackendIsGivenUpWhileTheWindowsStayAlive_data() {
    // What waits for the stalled server, and whether the user stops waiting or the limit passes.
    QTest::addColumn<QString>("during");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("save, limit") << "save" << false;
    QTest::newRow("save, cancelled") << "save" << true;
    QTest::newRow("fill, limit") << "fill" << false;
}

// The server process of this desk's session stops (as a hung server, or a cable pulled, leaves a
// statement without an answer): the window is drawn and takes posted events throughout, a box
// shows the wait, and the statement is given up at the limit or when the user says so.
void TestServerLoss::stalledBackendIsGivenUpWhileTheWindowsStayAlive() {
    QFETCH(QString, during);
    QFETCH(bool, cancel);
    const bool save = during == QLatin1String("save");
    const qint64 id = InsertCompany(
        connection(), {{QStringLiteral("公司名称"), "冻结前公司"}, {QStringLiteral("tel"), "111"}});
    const qint64 kLimitMs = useShortLimit();
    QStringList typed;
    if (save) {
        openRecord(id);
        box(14)->setText(QStringLiteral("222"));
        typed = boxTexts();
    } else {
        showQuery();
    }
    db::Recordset backend;
    backend.Open(QStringLiteral("SELECT pg_backend_pid() AS pid"), connection());
    const pid_t pid = static_cast<pid_t>(backend.Field(QStringLiteral("pid")).toLongLong());
    backend.Close();
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    auto resumeBackend = qScopeGuard([pid] { ::kill(pid, SIGCONT); });

    WaitWatch watch(cancel);
    watch.Start();
    if (save)
        clickSave();
    else
        runQuery(QString());
    watch.Stop();

    checkWaitEnded(watch, kLimitMs, cancel);
    checkServerMessage(cancel ? QStringLiteral("已停止等待") : QStringLiteral("没有回应"));
    if (save)
        QCOMPARE(boxTexts(), typed);
    else
        QCOMPARE(grid_->Rows(), 1);

    ::kill(pid, SIGCONT);
    resumeBackend.dismiss();
    // Nothing half-written, and the next statement connects anew and works.
    db::Connection check;
    dir_.OpenAnother(check);
    QCOMPARE(StoredValue(check, id, QStringLiteral("tel")).toString(), QStringLiteral("111"));
    if (save) {
        clickSave();
        const auto shown = Taken();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("修改成功"));
        QCOMPARE(StoredValue(check, id, QStringLiteral("tel")).toString(), QStringLiteral("222"));
    } else {
        runQuery(QStringLiteral("冻结前公司"));
        QCOMPARE(Taken().size(), 0);
        QVERIFY(names().contains(QStringLiteral("冻结前公司")));
    }
}

void TestServerLoss::stopWithTheServerOutOfReachEndsByTheLimit_data() {
    QTest::addColumn<bool>("cancel");
    QTest::newRow("limit") << false;
    QTest::newRow("cancelled") << true;
}

// A fill stopped while the server is still sending asks it to cancel the rest, which takes a
// connection to the server's main process. With that process stopped (a server that hangs), the
// stop waits as any statement does: the windows alive, the box, the limit; then the connection is
// given up and the next query connects anew.
void TestServerLoss::stopWithTheServerOutOfReachEndsByTheLimit() {
    QFETCH(bool, cancel);
    const qint64 kLimitMs = useShortLimit();
    QFile pidFile(server_.path() + QStringLiteral("/data/postmaster.pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t postmaster = static_cast<pid_t>(pidFile.readLine().trimmed().toLongLong());
    QVERIFY(postmaster > 0);
    auto resumeServer = qScopeGuard([postmaster] { ::kill(postmaster, SIGCONT); });
    showQuery();

    WaitWatch watch(cancel);
    const auto halting = connect(query_, &frmquery::FillYield, this, [&](qint64 rowsSoFar) {
        if (rowsSoFar != kHaltAtRow)
            return;
        QCOMPARE(::kill(postmaster, SIGSTOP), 0);
        watch.Start();
        QTest::mouseClick(query_->findChild<SmartNetXpButton*>(QStringLiteral("CmdStop")),
                          Qt::LeftButton);
    });
    runQuery(QString());
    disconnect(halting);
    watch.Stop();

    QVERIFY(watch.Started());
    checkWaitEnded(watch, kLimitMs, cancel);
    // The user stopped the fill: the rows read so far stay, and nothing is reported.
    QCOMPARE(Taken().size(), 0);
    QVERIFY2(grid_->Rows() - 1 >= kHaltAtRow && grid_->Rows() - 1 < kBulkRows,
             qPrintable(QString::number(grid_->Rows())));

    ::kill(postmaster, SIGCONT);
    resumeServer.dismiss();
    runQuery(QStringLiteral("回港"));
    QCOMPARE(Taken().size(), 0);
    QCOMPARE(names(), kMarked);
}

QTEST_MAIN(TestServerLoss)
#include "tst_serverloss.moc"
