// Start-up runs once per process, so each case runs the entry procedure in a fresh child process
// of this test (offscreen, message boxes answered through the seam) and reads what it reports.
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/PageCheck.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "platform/Programs.h"
#include "session/modGeneral.h"
#include "shell/frmsplash.h"
#include "startup/Main.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>
#include <cstdio>
#include <cstdlib>

namespace {

const char kChildFlag[] = "--run-startup";

// How many copies an upgrade had made when the splash was first painted; -1 while it was not.
qsizetype upgradeCopiesAtSplash = -1;

// What the child saw; printed when it ends, however it ends.
void PrintReport() {
    for (const auto& box : platform::MsgBoxSeam::Taken())
        std::printf("box=%s|%d|%s\n", qPrintable(box.text), box.style, qPrintable(box.title));
    QStringList visible;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible())
            visible << widget->objectName();
    std::printf("visible=%s\n", qPrintable(visible.join(QLatin1Char(','))));
    std::printf("connection=%d\n", modGeneral::dbConnection().IsOpen() ? 1 : 0);
    std::printf("mayChange=%d\n", modGeneral::mayChange ? 1 : 0);
    std::printf("systemDir=%s\n", qPrintable(modGeneral::systemDir));
    std::printf("upgradeCopiesAtSplash=%lld\n", static_cast<long long>(upgradeCopiesAtSplash));
    std::fflush(stdout);
}

// How the child that ran the real start-up ended, and what it printed.
struct StartupRun {
    bool finished = false;
    int exitCode = -1;
    QString report; // PrintReport's lines
    QString errors;
};

// Runs the real start-up in a child (this program, with the child's flag) on the given system
// directory, off screen, with the variables given set as well.
StartupRun RunStartup(const QString& directory, const QList<QPair<QString, QString>>& variables) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANDEL_SYSTEM_DIR"), directory);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const auto& [name, value] : variables)
        env.insert(name, value);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kChildFlag)});
    StartupRun run;
    run.finished = child.waitForFinished(30000);
    run.exitCode = child.exitCode();
    run.report = QString::fromLocal8Bit(child.readAllStandardOutput());
    run.errors = QString::fromLocal8Bit(child.readAllStandardError());
    return run;
}

// Notes, when the splash is first painted, whether an upgrade had already begun: its copy of
// the file is the first thing an upgrade makes.
class SplashWatch : public QObject {
public:
    explicit SplashWatch(const QString& directory) : directory_(directory) {
        // What covers the window is painted in its place.
        frmsplash::instance().installEventFilter(this);
        for (QWidget* part : frmsplash::instance().findChildren<QWidget*>())
            part->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && upgradeCopiesAtSplash < 0)
            upgradeCopiesAtSplash =
                QDir(directory_)
                    .entryList({QStringLiteral("*.before-upgrade-*")}, QDir::Files)
                    .size();
        return false;
    }

private:
    QString directory_;
};

int RunStartupInChild(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::SetUpApplication();
    platform::MsgBoxSeam::Intercept();
    platform::OverrideExecutableDirectory(qEnvironmentVariable("TEST_EXECUTABLE_DIR"));
    // A directory found damaged after start-up ends the program at once.
    std::at_quick_exit(PrintReport);
    const SplashWatch splash(qEnvironmentVariable("ORVANDEL_SYSTEM_DIR"));
    const bool started = modGeneral::Main();
    if (started && qEnvironmentVariableIsSet("TEST_SAVE_AT_ONCE")) {
        // Before the main window, and so before the check of the pages has even begun.
        InsertCompany(modGeneral::dbConnection(), {{shipowner::Columns()[1], "保存的船东"}});
        std::printf("saved\n");
    }
    // The main window shown, the check of the pages runs and gives its verdict.
    if (started)
        modGeneral::StartPageCheck();
    QElapsedTimer checking;
    checking.start();
    while (started && modGeneral::pageCheck && checking.elapsed() < 20000) {
        const bool done = modGeneral::pageCheck->Done();
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        if (done)
            break;
    }
    PrintReport();
    return started ? 0 : 1;
}

// A system directory whose path has exactly `length` characters.
QString DirectoryOfLength(const QTemporaryDir& root, int length) {
    QString path = root.path() + QLatin1Char('/');
    const int missing = length - path.size();
    if (missing < 1)
        return QString();
    path += QString(missing, QLatin1Char('d'));
    QDir().mkpath(path);
    return path;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void startup_data();
    void startup();
    void damagedPagesAreRefusedBeforeASaveLands_data();
    void damagedPagesAreRefusedBeforeASaveLands();
    void startupOnServer_data();
    void startupOnServer();
    void splashShowsBeforeAnUpgrade_data();
    void splashShowsBeforeAnUpgrade();

private:
    // Runs start-up in a child on the system directory and checks that it opened, or that it
    // failed as it must, saying on stderr why (`reason`, when given).
    void ExpectStartup(const QString& directory, const QString& executableDir, bool opens,
                       const QString& reason = QString(), const QString& message = QString());
};

void TestStartup::startup_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("pathLength");
    QTest::addColumn<bool>("opens");
    QTest::newRow("missing file") << "missing" << 0 << false;
    for (const QString& kind : BadFileKinds())
        if (kind != QLatin1String("damaged pages")) // checked beside the windows: below
            QTest::newRow(qPrintable(kind)) << kind << 0 << false;
    QTest::newRow("splash file that is no picture") << "bad splash" << 0 << false;
    QTest::newRow("directory of 19 characters") << "good" << 19 << true;
    QTest::newRow("directory of 20 characters") << "good" << 20 << true;
    QTest::newRow("directory of 60 characters") << "good" << 60 << true;
}

void TestStartup::startup() {
    QFETCH(QString, kind);
    QFETCH(int, pathLength);
    QFETCH(bool, opens);
    QTemporaryDir root(QStringLiteral("/tmp/oXXXXXX"));
    const QString directory = pathLength > 0 ? DirectoryOfLength(root, pathLength) : root.path();
    QVERIFY(!directory.isEmpty());
    const QString path = dbfile::PathIn(directory);
    QTemporaryDir executableDir;
    if (kind == QLatin1String("good") || kind == QLatin1String("bad splash")) {
        db::Connection creator;
        dbfile::Create(creator, path);
    } else if (BadFileKinds().contains(kind)) {
        MakeBadFile(kind, path);
    }
    if (kind == QLatin1String("bad splash")) {
        QDir().mkpath(executableDir.filePath("images"));
        QFile picture(executableDir.filePath("images/splash.gif"));
        QVERIFY(picture.open(QIODevice::WriteOnly));
        picture.write("this is no picture");
    }
    const QByteArray before = FileHash(path);

    // A directory of a newer layout is refused with a message the user can act on.
    const bool newer = kind == QLatin1String("newer layout");
    ExpectStartup(directory, executableDir.path(), opens,
                  newer ? QStringLiteral("made by a newer program") : QString(),
                  newer ? QStringLiteral("数据文件由较新版本的程序建立，请安装新版本。")
                        : QStringLiteral("辞典文件丢失！"));
    // A file that is refused is left exactly as it was.
    if (!opens)
        QCOMPARE(FileHash(path), before);
}

// The pages of the file are checked beside the windows, after start-up: a damaged page far into
// the file ends the program with the start-up message when the check finds it, and a save made
// before that waits for the verdict and never reaches the file.
void TestStartup::damagedPagesAreRefusedBeforeASaveLands_data() {
    QTest::addColumn<bool>("saveAtOnce");
    QTest::newRow("no save") << false;
    QTest::newRow("a save before the check") << true;
}

void TestStartup::damagedPagesAreRefusedBeforeASaveLands() {
    QFETCH(bool, saveAtOnce);
    QTemporaryDir directory;
    const QString path = dbfile::PathIn(directory.path());
    MakeBadFile(QStringLiteral("damaged pages"), path);
    // Start-up may mark the file as shared (its first page); the pages after it hold the rows.
    const auto pagesAfterTheFirst = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().mid(4096) : QByteArray();
    };
    const QByteArray before = pagesAfterTheFirst();
    QVERIFY(before.size() > 20000);

    QList<QPair<QString, QString>> variables;
    if (saveAtOnce)
        variables.append({QStringLiteral("TEST_SAVE_AT_ONCE"), QStringLiteral("1")});
    const StartupRun run = RunStartup(directory.path(), variables);
    QVERIFY(run.finished);
    const QString& report = run.report;
    const QString& errors = run.errors;

    QCOMPARE(run.exitCode, 1);
    QVERIFY2(report.startsWith(
                 QStringLiteral("box=辞典文件丢失！|%1|数据处理\n").arg(platform::vbCritical)),
             qPrintable(report));
    QCOMPARE(report.count(QLatin1String("box=")), 1);
    QVERIFY2(!report.contains(QLatin1String("saved")), qPrintable(report));
    QVERIFY2(errors.contains(QLatin1String("orvandel: cannot start: the file is damaged")),
             qPrintable(errors));
    QCOMPARE(pagesAfterTheFirst(), before);
    // Nor was anything committed to the log beside the file, to be carried into it later.
    QCOMPARE(QFileInfo(path + QStringLiteral("-wal")).size(), 0);
}

// An older layout is brought up to date before the first read, which takes long for a large
// directory: the splash is painted before the upgrade begins. The program then starts, or, when
// the upgrade fails, the splash goes and the message says so.
void TestStartup::splashShowsBeforeAnUpgrade_data() {
    QTest::addColumn<bool>("upgrades");
    QTest::newRow("upgrade made") << true;
    QTest::newRow("upgrade failed") << false;
}

void TestStartup::splashShowsBeforeAnUpgrade() {
    QFETCH(bool, upgrades);
    QTemporaryDir directory;
    const QString path = dbfile::PathIn(directory.path());
    QVERIFY(QFile::copy(QStringLiteral(ORVANDEL_FIXTURES "/shipall-layout0.bcd"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    if (!upgrades) // a folder where the copy made before the upgrade is to be written
        QVERIFY(QDir().mkpath(path + QStringLiteral(".before-upgrade-0.partial")));
    const StartupRun run = RunStartup(directory.path(), {});
    QVERIFY(run.finished);
    const QString& report = run.report;
    QVERIFY2(report.contains(QLatin1String("upgradeCopiesAtSplash=0\n")), qPrintable(report));
    if (upgrades) {
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(report.contains(QLatin1String("visible=frmsplash\n")), qPrintable(report));
        QCOMPARE(QDir(directory.path()).entryList({QStringLiteral("*.before-upgrade-0")}).size(),
                 1);
    } else {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(
            report.startsWith(QStringLiteral("box=船东目录需要升级到本程序的版本，但升级未能完成"
                                             "，目录没有改动：")),
            qPrintable(report));
        QVERIFY2(report.contains(QLatin1String("\nvisible=\n")), qPrintable(report));
    }
}

void TestStartup::startupOnServer_data() {
    // The one line of server.conf, what the server holds, whether start-up opens the directory
    // with it, the reason it gives on stderr when it does not, and the message it shows, which
    // names the server.
    QTest::addColumn<QString>("conf");
    QTest::addColumn<QString>("holds");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("message");
    const QString server = qEnvironmentVariable("ORVANDEL_TEST_SERVER");
    const QString named = QStringLiteral("127.0.0.1/orvandel_test");
    const QString password = QStringLiteral("holds a password");
    const QString passwordMessage =
        QStringLiteral("server.conf 中写有密码，程序不使用这样的设置。"
                       "请把密码放在 ~/.pgpass 中，并从 server.conf 中删去。");
    QTest::newRow("connection string") << server << "directory" << true << QString() << QString();
    QTest::newRow("URI") << TestServerUri() << "directory" << true << QString() << QString();
    QTest::newRow("password keyword") << server + QStringLiteral(" password=secret") << "directory"
                                      << false << password << passwordMessage;
    QTest::newRow("password in the URI") << TestServerUri(QStringLiteral("secret")) << "directory"
                                         << false << password << passwordMessage;
    QTest::newRow("no server at the port")
        << QStringLiteral("host=127.0.0.1 port=1 dbname=orvandel_test connect_timeout=20")
        << "directory" << false << QStringLiteral("port 1 failed: Connection refused")
        << QStringLiteral("无法连接数据库服务器 %1，或者连接已中断。"
                          "请检查网络和服务器是否正常，稍后再试。")
               .arg(named);
    QTest::newRow("unknown user")
        << server + QStringLiteral(" user=nobody_here") << "directory" << false
        << QStringLiteral("role \"nobody_here\" does not exist")
        << QStringLiteral("数据库服务器 %1 拒绝了登录，请与管理员核对用户名和密码。").arg(named);
    QTest::newRow("no directory yet")
        << server << "nothing" << false << QStringLiteral("has no table Orvandel")
        << QStringLiteral("数据库服务器 %1 上还没有船东目录，或者船东信息表不完整。"
                          "请让管理员先在服务器上建立船东目录。")
               .arg(named);
    QTest::newRow("no right to read")
        << server + QStringLiteral(" user=orvandel_outsider") << "directory" << false
        << QStringLiteral("permission denied")
        << QStringLiteral("您在数据库服务器 %1 上没有这项权限（读取或修改船东目录），"
                          "请与管理员联系。")
               .arg(named);
    QTest::newRow("reading only") << server + QStringLiteral(" user=orvandel_reader") << "directory"
                                  << true << QString() << QString();
}

void TestStartup::startupOnServer() {
    QFETCH(QString, conf);
    QFETCH(QString, holds);
    QFETCH(bool, opens);
    QFETCH(QString, reason);
    QFETCH(QString, message);
    QVERIFY2(HasTestServer(), kNeedsTestServer);
    db::Connection creator;
    creator.Open(serverconf::ServerConnectionString(TestServer()), QString(), dbfile::kPassword);
    dbfile::DropOnServer(creator);
    if (holds == QLatin1String("directory"))
        dbfile::CreateOnServer(creator);
    // An account that may log in and read nothing, and one that may read only.
    for (const char* role : {"orvandel_outsider", "orvandel_reader"})
        creator.Execute(QStringLiteral("DO $$BEGIN CREATE ROLE %1 LOGIN; EXCEPTION WHEN "
                                       "duplicate_object THEN NULL; END$$")
                            .arg(QLatin1String(role)));
    if (holds == QLatin1String("directory"))
        creator.Execute(QStringLiteral("GRANT SELECT ON Orvandel, orvandel_schema TO "
                                       "orvandel_reader"));
    QTemporaryDir directory;
    QFile file(serverconf::PathIn(directory.path()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(conf.toUtf8() + '\n');
    file.close();
    QTemporaryDir executableDir;
    ExpectStartup(directory.path(), executableDir.path(), opens, reason, message);
}

void TestStartup::ExpectStartup(const QString& directory, const QString& executableDir, bool opens,
                                const QString& reason, const QString& message) {
    const StartupRun run =
        RunStartup(directory, {{QStringLiteral("TEST_EXECUTABLE_DIR"), executableDir}});
    QVERIFY(run.finished);
    const QString& report = run.report;
    const QString& errors = run.errors;

    if (opens) {
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(!report.contains(QLatin1String("box=")), qPrintable(report));
        QVERIFY2(report.contains(QLatin1String("visible=frmsplash\n")), qPrintable(report));
        QVERIFY(report.contains(QLatin1String("connection=1\n")));
        QVERIFY(report.contains(QStringLiteral("systemDir=%1\n").arg(directory)));
        // Only an account that may read and nothing more makes a desk that may only look.
        const bool reader = QTest::currentDataTag() == QLatin1String("reading only");
        QVERIFY2(report.contains(QStringLiteral("mayChange=%1\n").arg(reader ? 0 : 1)),
                 qPrintable(report));
    } else {
        QCOMPARE(run.exitCode, 1);
        const QString box = message.isEmpty() ? QStringLiteral("辞典文件丢失！") : message;
        QVERIFY2(report.startsWith(QStringLiteral("box=%1|%2|数据处理\nvisible=\n")
                                       .arg(box, QString::number(platform::vbCritical))),
                 qPrintable(report));
        QCOMPARE(report.count(QLatin1String("box=")), 1);
        // The cause is for whoever helps the user: on stderr, never in the message.
        QVERIFY2(errors.contains(QLatin1String("orvandel: cannot start: ")), qPrintable(errors));
        QVERIFY2(errors.contains(reason), qPrintable(errors));
    }
}

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], kChildFlag) == 0)
        return RunStartupInChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
