// Runs the real program as a user would start it, on the test display.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString Xdotool(const QStringList& arguments) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    xdotool.waitForFinished(10000);
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

QStringList VisibleWindows(const QProcess& program) {
    return Xdotool({"search", "--onlyvisible", "--pid", QString::number(program.processId())})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString WindowSize(const QString& window) {
    const QString geometry = Xdotool({"getwindowgeometry", window});
    return geometry.section(QStringLiteral("Geometry: "), 1).trimmed();
}

void StartProgram(QProcess& program, const QString& systemDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANDEL_SYSTEM_DIR"), systemDir);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ORVANDEL_BIN), QStringList());
}

} // namespace

class TestProcess : public QObject {
    Q_OBJECT
private slots:
    void init();
    void missingDatabaseShowsTheMessageAndEnds();
    void splashThenMainWindowThenExit();
};

void TestProcess::init() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs a display: run through the test command, which provides one");
}

void TestProcess::missingDatabaseShowsTheMessageAndEnds() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs a display: run through the test command, which provides one");
    QTemporaryDir systemDir;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANDEL_SYSTEM_DIR"), systemDir.path());
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ORVANDEL_BIN), QStringList());
    QVERIFY(program.waitForStarted());
    const QString pid = QString::number(program.processId());

    QStringList windows;
    QTRY_VERIFY_WITH_TIMEOUT(!(windows = Xdotool({"search", "--onlyvisible", "--pid", pid})
                                             .split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                                  .isEmpty(),
                             15000);
    QCOMPARE(windows.size(), 1);
    QCOMPARE(Xdotool({"getwindowname", windows.first()}), QStringLiteral("数据处理"));
    QCOMPARE(program.state(), QProcess::Running);

    Xdotool({"windowfocus", "--sync", windows.first()});
    Xdotool({"key", "Return"});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY(program.exitCode() != 0);
}

void TestProcess::splashThenMainWindowThenExit() {
    QTemporaryDir systemDir;
    for (const QStringList& arguments : {QStringList{"init"}, QStringList{"demo", "50"}}) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORVANDEL_SYSTEM_DIR"), systemDir.path());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(ORVANDEL_DB_BIN), arguments);
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitCode(), 0);
    }
    QProcess program;
    StartProgram(program, systemDir.path());
    QVERIFY(program.waitForStarted());

    QStringList windows;
    QTRY_VERIFY_WITH_TIMEOUT(!(windows = VisibleWindows(program)).isEmpty(), 15000);
    QElapsedTimer sinceSplash;
    sinceSplash.start();
    QCOMPARE(windows.size(), 1);
    const QString splash = windows.first();
    QCOMPARE(WindowSize(splash), QStringLiteral("453x341"));

    const auto findMainWindow = [&program] {
        for (const QString& window : VisibleWindows(program))
            if (WindowSize(window) == QLatin1String("787x586"))
                return window;
        return QString();
    };
    QString mainWindow;
    QTRY_VERIFY_WITH_TIMEOUT(!(mainWindow = findMainWindow()).isEmpty(), 8000);
    QVERIFY2(sinceSplash.elapsed() > 1500 && sinceSplash.elapsed() < 4000,
             qPrintable(QString::number(sinceSplash.elapsed())));
    QTRY_COMPARE(VisibleWindows(program), QStringList{mainWindow});
    QCOMPARE(Xdotool({"getwindowname", mainWindow}), QStringLiteral("Orvandel"));

    // "退出系统" sits in the side panel, 2 pixels in from the picture container's edge.
    Xdotool({"mousemove", "--window", mainWindow, "90", "378"});
    Xdotool({"click", "1"});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
