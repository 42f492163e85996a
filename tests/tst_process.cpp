// Runs the real program as a user would start it, on the test display.
#include "support/TestSupport.h"

#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Follows the display's top-level windows being shown and hidden, in the order the display saw
// it, whatever the speed of the machine: "shown 453x341", "hidden 453x341", ...
class WindowEvents {
public:
    // Empty when it listens; else what went wrong.
    QString Start() {
        watcher_.start(QStringLiteral("xev"),
                       {"-root", "-event", "substructure", "-event", "property"});
        if (!watcher_.waitForStarted())
            return QStringLiteral("xev did not start");
        // Listening once it reports a change made after it started: make one until it does.
        QElapsedTimer waited;
        waited.start();
        while (!output_.contains("_ORVANDEL_TEST") && waited.elapsed() < 60000) {
            QProcess::execute(QStringLiteral("xprop"), {"-root", "-f", "_ORVANDEL_TEST", "8s",
                                                        "-set", "_ORVANDEL_TEST", "1"});
            watcher_.waitForReadyRead(500);
            output_ += watcher_.readAllStandardOutput();
        }
        if (output_.contains("_ORVANDEL_TEST"))
            return QString();
        return QStringLiteral("xev reports no change: ") +
               QString::fromLocal8Bit(output_ + watcher_.readAllStandardError());
    }
    ~WindowEvents() {
        watcher_.kill();
        watcher_.waitForFinished();
    }

    QStringList Seen() {
        output_ += watcher_.readAllStandardOutput();
        static const QRegularExpression event(
            QStringLiteral(
                "^(CreateNotify|ConfigureNotify|MapNotify|UnmapNotify) event, serial "
                "\\d+, synthetic NO, .*\\n.* window (0x[0-9a-f]+)(?:, \\(-?\\d+,-?\\d+\\), "
                "width (\\d+), height (\\d+))?"),
            QRegularExpression::MultilineOption);
        QHash<QString, QString> sizes;
        QStringList seen;
        for (auto it = event.globalMatch(QString::fromUtf8(output_)); it.hasNext();) {
            const auto match = it.next();
            const QString window = match.captured(2);
            if (match.captured(1) == QLatin1String("MapNotify"))
                seen << QStringLiteral("shown ") + sizes.value(window);
            else if (match.captured(1) == QLatin1String("UnmapNotify"))
                seen << QStringLiteral("hidden ") + sizes.value(window);
            else if (match.hasCaptured(3))
                sizes.insert(window, match.captured(3) + QLatin1Char('x') + match.captured(4));
        }
        return seen;
    }

private:
    QProcess watcher_;
    QByteArray output_;
};

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

    QStringList windows;
    const bool shown = QTest::qWaitFor(
                           [&] {
                               return !(windows = VisibleWindows(program)).isEmpty() ||
                                      program.state() == QProcess::NotRunning;
                           },
                           60000) &&
                       !windows.isEmpty();
    QVERIFY2(shown, qPrintable(ProgramState(program)));
    QCOMPARE(windows.size(), 1);
    QCOMPARE(Xdotool({"getwindowname", windows.first()}), QStringLiteral("数据处理"));
    QCOMPARE(program.state(), QProcess::Running);

    Xdotool({"windowfocus", "--sync", windows.first()});
    Xdotool({"key", "Return"});
    QVERIFY(program.waitForFinished(60000));
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
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
    }
    WindowEvents windows;
    const QString notListening = windows.Start();
    QVERIFY2(notListening.isEmpty(), qPrintable(notListening));
    QProcess program;
    StartProgram(program, systemDir.path());
    QVERIFY(program.waitForStarted());

    // The splash first, alone, then the main window in its place.
    const QStringList expected = {"shown 453x341", "hidden 453x341", "shown 787x586"};
    QTRY_VERIFY2_WITH_TIMEOUT(windows.Seen().size() >= expected.size(),
                              qPrintable(ProgramState(program)), 60000);
    QCOMPARE(windows.Seen().mid(0, expected.size()), expected);
    QString mainWindow;
    QTRY_VERIFY_WITH_TIMEOUT(!(mainWindow = VisibleWindows(program).value(0)).isEmpty(), 30000);
    QCOMPARE(VisibleWindows(program), QStringList{mainWindow});
    QCOMPARE(WindowSize(mainWindow), QStringLiteral("787x586"));
    QCOMPARE(Xdotool({"getwindowname", mainWindow}), QStringLiteral("Orvandel"));

    // "退出系统" sits in the side panel, 2 pixels in from the picture container's edge.
    Xdotool({"mousemove", "--window", mainWindow, "90", "378"});
    Xdotool({"click", "1"});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
