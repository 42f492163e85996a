// What start-up costs as a directory grows: the time from starting the program to its painted
// splash, how long the check of the file's pages then runs beside the windows, and how long a
// save made as it begins waits for it, at 100,000 and 1,000,000 companies.
//
//   startup_check [--sizes A,B] [--repeat R]   R runs of each (7 unless told), medians printed
//
// Each run is a child process of this program that starts as the program does (the system
// directory, the file's layout checked, the splash shown) and reports the splash's first paint;
// the parent times it from just before it started the child. The child then starts the check
// of the pages, as the main window does, saves a company at once (the save waits for the check's
// verdict), and reports how long the save and the check took; then it starts the check again
// and ends it a tenth of a second later, as the program's end does, and reports how long that
// waited.
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/PageCheck.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"
#include "platform/CommonControls.h"
#include "platform/Programs.h"
#include "session/modGeneral.h"
#include "startup/Main.h"
#include "tools/DemoDirectory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr char kChildFlag[] = "--child";

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

QString Spread(const std::vector<double>& values) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return QStringLiteral("%1 ms (%2-%3)")
        .arg(Median(values), 0, 'f', 1)
        .arg(*low, 0, 'f', 1)
        .arg(*high, 0, 'f', 1);
}

// Says so on stdout when the splash is first painted.
class SplashPaint : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!painted && event->type() == QEvent::Paint && widget != nullptr &&
            widget->window()->objectName() == QLatin1String("frmsplash")) {
            painted = true;
            std::printf("painted\n");
            std::fflush(stdout);
        }
        return false;
    }
};

int Child(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::SetUpApplication();
    // The splash picture beside the program, one folder up from the benches.
    platform::OverrideExecutableDirectory(QCoreApplication::applicationDirPath() +
                                          QStringLiteral("/.."));
    SplashPaint watch;
    app.installEventFilter(&watch);
    if (!modGeneral::Main())
        return 1;
    while (!watch.painted)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QElapsedTimer checking;
    checking.start();
    modGeneral::StartPageCheck();
    // A save made at once waits for the check's verdict.
    {
        db::Connection& connection = modGeneral::dbConnection();
        db::Transaction save(connection);
        connection.engine().Insert(shipowner::kTable, {shipowner::Columns()[1]},
                                   {QStringLiteral("启动时保存的船东")}, shipowner::kId);
        save.commit();
    }
    std::printf("save %.1f\n", checking.nsecsElapsed() / 1e6);
    while (modGeneral::pageCheck && !modGeneral::pageCheck->Done())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("check %.1f\n", checking.nsecsElapsed() / 1e6);
    // The program ends while the check runs: how long the end waits for the check's thread.
    std::optional<dbfile::PageCheck> again;
    again.emplace(modGeneral::dbConnection().engine().Location(), dbfile::kPassword);
    again->Start();
    QThread::msleep(100);
    QElapsedTimer ending;
    ending.start();
    again.reset();
    std::printf("quit %.1f\n", ending.nsecsElapsed() / 1e6);
    return 0;
}

void Measure(int size, int repetitions) {
    QTemporaryDir dir;
    {
        db::Connection connection;
        dbfile::Create(connection, dbfile::PathIn(dir.path()));
        DemoDirectory(1).AddTo(connection, size);
    }
    std::vector<double> painted, saves, checks, quits;
    for (int run = 0; run < repetitions; ++run) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORVANDEL_SYSTEM_DIR"), dir.path());
        if (!env.contains(QStringLiteral("DISPLAY")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kChildFlag)});
        while (child.state() != QProcess::NotRunning || child.canReadLine()) {
            if (!child.canReadLine() && !child.waitForReadyRead(100))
                continue;
            const QByteArray line = child.readLine().trimmed();
            if (line == "painted")
                painted.push_back(clock.nsecsElapsed() / 1e6);
            else if (line.startsWith("save "))
                saves.push_back(line.mid(5).toDouble());
            else if (line.startsWith("check "))
                checks.push_back(line.mid(6).toDouble());
            else if (line.startsWith("quit "))
                quits.push_back(line.mid(5).toDouble());
        }
        child.waitForFinished(-1);
        if (child.exitCode() != 0)
            qFatal("the program did not start on %d companies", size);
    }
    std::printf("%8d companies: splash painted %s after the start; the pages checked beside "
                "the windows in %s; a save made as the check began done after %s; an end "
                "while the check runs waits %s\n",
                size, qPrintable(Spread(painted)), qPrintable(Spread(checks)),
                qPrintable(Spread(saves)), qPrintable(Spread(quits)));
    std::fflush(stdout);
}

QString OptionValue(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], name) == 0)
            return QString::fromLocal8Bit(argv[i + 1]);
    return QString();
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], kChildFlag) == 0)
        return Child(argc, argv);
    QCoreApplication app(argc, argv);
    const int repetitions = qMax(1, OptionValue(argc, argv, "--repeat").toInt() > 0
                                        ? OptionValue(argc, argv, "--repeat").toInt()
                                        : 7);
    QList<int> sizes = {100000, 1000000};
    if (const QString chosen = OptionValue(argc, argv, "--sizes"); !chosen.isEmpty()) {
        sizes.clear();
        for (const QString& size : chosen.split(QLatin1Char(',')))
            sizes.append(size.toInt());
    }
    std::printf("medians of %d runs, lowest-highest in brackets; platform %s\n", repetitions,
                qEnvironmentVariableIsSet("DISPLAY") ? "xcb" : "offscreen");
    for (const int size : sizes)
        Measure(size, repetitions);
    return 0;
}
