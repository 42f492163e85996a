// Runs the real program as a user would start it, on the test display, with no directory file.
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

} // namespace

class TestProcessStartup : public QObject {
    Q_OBJECT
private slots:
    void missingDatabaseShowsTheMessageAndEnds();
};

void TestProcessStartup::missingDatabaseShowsTheMessageAndEnds() {
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

QTEST_GUILESS_MAIN(TestProcessStartup)
#include "tst_process_startup.moc"
