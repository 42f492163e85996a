// A user's first start: the set-up beside the database tool, and the installed launcher that
// runs it before the program, as a user starts it from the desktop.
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kBuildDir = QStringLiteral(ORVANDEL_BUILD_DIR);

// A folder of programs for PATH: the few the set-up uses, and a stand-in system information tool
// when asked for.
class ProgramFolder {
public:
    explicit ProgramFolder(bool withTool) {
        for (const char* program : {"dirname", "readlink"})
            QFile::link(QStandardPaths::findExecutable(QLatin1String(program)),
                        dir_.filePath(QLatin1String(program)));
        if (withTool) {
            QFile tool(toolPath());
            tool.open(QIODevice::WriteOnly);
            tool.write("#!/bin/sh\n");
            tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
    QString path() const { return dir_.path(); }
    QString toolPath() const { return dir_.filePath(QStringLiteral("hardinfo")); }

private:
    QTemporaryDir dir_;
};

QByteArray Fingerprint(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256) +
           QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
}

// The tool that system.reg in `systemDir` names, or a null string when it names none.
QString RegisteredTool(const QString& systemDir) {
    const QByteArray previous = qgetenv("ORVANDEL_SYSTEM_DIR");
    qputenv("ORVANDEL_SYSTEM_DIR", systemDir.toLocal8Bit());
    QString tool;
    platform::HKEY key = 0;
    if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE,
                                "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", 0, 0x2003F,
                                &key) == platform::ERROR_SUCCESS) {
        char data[1024] = {};
        unsigned size = sizeof data;
        unsigned type = 0;
        if (platform::RegQueryValueExA(key, "PATH", nullptr, &type,
                                       reinterpret_cast<unsigned char*>(data),
                                       &size) == platform::ERROR_SUCCESS)
            tool = QString::fromUtf8(data);
        platform::RegCloseKey(key);
    }
    qputenv("ORVANDEL_SYSTEM_DIR", previous);
    return tool;
}

// Rows in the directory file, or -1 when it cannot be opened as one.
qint64 Companies(const QString& systemDir) {
    try {
        db::Connection connection;
        connection.OpenFile(dbfile::PathIn(systemDir), dbfile::kPassword);
        return RowCount(connection);
    } catch (const std::exception&) {
        return -1;
    }
}

// The titles of the program's visible windows, each with its size: "Orvandel 787x586".
QStringList Windows(const QProcess& program) {
    QStringList found;
    for (const QString& window : VisibleWindows(program))
        found << Xdotool({"getwindowname", window}) + QLatin1Char(' ') + WindowSize(window);
    return found;
}

} // namespace

class TestFirstStart : public QObject {
    Q_OBJECT
private slots:
    void setUp_data();
    void setUp();
    void installedLauncherStartsOnAFreshHome();

private:
    // Starts the launcher as the desktop entry does, for a user whose home is `home`, and waits
    // for the main window.
    void startUntilMainWindow(const QString& launcher, const QString& home, const QString& path);
};

void TestFirstStart::setUp_data() {
    QTest::addColumn<bool>("hasDirectoryFile");
    QTest::addColumn<bool>("hasRegistry");
    QTest::addColumn<bool>("toolInstalled");
    QTest::newRow("fresh, tool installed") << false << false << true;
    QTest::newRow("fresh, no tool") << false << false << false;
    QTest::newRow("directory file exists") << true << false << true;
    QTest::newRow("only system.reg exists") << false << true << true;
}

void TestFirstStart::setUp() {
    QFETCH(bool, hasDirectoryFile);
    QFETCH(bool, hasRegistry);
    QFETCH(bool, toolInstalled);
    QTemporaryDir root;
    const QString systemDir = root.filePath(QStringLiteral("orvandel"));
    const QString database = dbfile::PathIn(systemDir);
    const QString registry = systemDir + QStringLiteral("/system.reg");
    if (hasDirectoryFile) {
        db::Connection connection;
        QDir().mkpath(systemDir);
        dbfile::Create(connection, database);
        InsertCompany(connection, {{"公司名称", "已有公司"}});
    }
    if (hasRegistry) {
        QDir().mkpath(systemDir);
        QFile file(registry);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("REGEDIT4\n; the user's own\n");
    }
    const QByteArray databaseBefore = Fingerprint(database);
    const QByteArray registryBefore = Fingerprint(registry);

    ProgramFolder programs(toolInstalled);
    QProcess setUp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANDEL_SYSTEM_DIR"), systemDir);
    env.insert(QStringLiteral("PATH"), programs.path());
    setUp.setProcessEnvironment(env);
    setUp.start(kBuildDir + QStringLiteral("/first-start"), QStringList());
    QVERIFY(setUp.waitForFinished(60000));
    QVERIFY2(setUp.exitCode() == 0, setUp.readAllStandardError().constData());

    if (hasDirectoryFile) {
        QCOMPARE(Fingerprint(database), databaseBefore);
        QCOMPARE(Companies(systemDir), 1);
    } else {
        QCOMPARE(Companies(systemDir), 0); // an empty directory the program opens
        const QFile::Permissions others =
            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        QCOMPARE(QFileInfo(database).permissions() & others, QFile::Permissions());
        if (!hasRegistry) // a folder made here; one that was there keeps its own permissions
            QCOMPARE(QFileInfo(systemDir).permissions() & others, QFile::Permissions());
    }
    if (hasRegistry)
        QCOMPARE(Fingerprint(registry), registryBefore);
    else if (hasDirectoryFile || !toolInstalled)
        QVERIFY(!QFileInfo::exists(registry));
    else
        QCOMPARE(RegisteredTool(systemDir), programs.toolPath());
}

void TestFirstStart::startUntilMainWindow(const QString& launcher, const QString& home,
                                          const QString& path) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"ORVANDEL_SYSTEM_DIR", "XDG_DATA_HOME", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("PATH"), path);
    program.setProcessEnvironment(env);
    program.start(launcher, QStringList());
    QVERIFY(program.waitForStarted());
    // The launcher hands its process over to the program, so the windows are under its id.
    const QString mainWindow = QStringLiteral("Orvandel 787x586");
    QStringList windows;
    const bool opened =
        QTest::qWaitFor(
            [&] {
                windows = Windows(program);
                return windows.contains(mainWindow) || program.state() == QProcess::NotRunning;
            },
            60000) &&
        windows.contains(mainWindow);
    QVERIFY2(opened,
             qPrintable(QStringLiteral("windows: %1; program: %2")
                            .arg(windows.join(QStringLiteral(", ")), ProgramState(program))));
    program.terminate();
    QVERIFY(program.waitForFinished(60000));
}

void TestFirstStart::installedLauncherStartsOnAFreshHome() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs a display: run through the test command, which provides one");
    QTemporaryDir root;
    const QString prefix = root.filePath(QStringLiteral("usr"));
    QProcess install;
    install.start(QStringLiteral("cmake"), {"--install", kBuildDir, "--prefix", prefix});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    const QString launcher = prefix + QStringLiteral("/bin/orvandel");

    ProgramFolder programs(true);
    const QString path = programs.path() + QStringLiteral(":/usr/bin:/bin");
    const QString home = root.filePath(QStringLiteral("home/first"));
    QDir().mkpath(home);
    const QString systemDir = home + QStringLiteral("/.local/share/orvandel");

    startUntilMainWindow(launcher, home, path);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(Companies(systemDir), 0);
    QCOMPARE(RegisteredTool(systemDir), programs.toolPath());

    // The next start uses the same file: a company added to it is still there.
    {
        db::Connection connection;
        connection.OpenFile(dbfile::PathIn(systemDir), dbfile::kPassword);
        InsertCompany(connection, {{"公司名称", "第一位用户的公司"}});
    }
    startUntilMainWindow(launcher, home, path);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(Companies(systemDir), 1);

    // A second user gets a directory of their own.
    const QString secondHome = root.filePath(QStringLiteral("home/second"));
    QDir().mkpath(secondHome);
    startUntilMainWindow(launcher, secondHome, path);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(Companies(secondHome + QStringLiteral("/.local/share/orvandel")), 0);
    QCOMPARE(Companies(systemDir), 1);
}

QTEST_GUILESS_MAIN(TestFirstStart)
#include "tst_firststart.moc"
