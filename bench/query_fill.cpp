// Measures the query screen's fill against the engine's own read of the same rows.
//
//   query_fill            runs every size, each in a child process of its own
//   query_fill --size N   measures one size and prints its line
//
// Figures per size and filter: the whole RunQuery (fill and column sizing), the time until the
// first rows are painted, the engine reading the same rows as text, their ratio, how long a stop
// takes to end the fill, and how much the resident memory grew.
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/ShipOwnerTable.h"
#include "platform/CommonControls.h"
#include "screens/ResultGrid.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frmquery.h"
#include "session/modGeneral.h"
#include "tools/DemoDirectory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sqlite3.h>

namespace {

const int kSizes[] = {1000, 10000, 32767, 100000};

long StatusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<int>(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

// Lets VmHWM measure this query alone: writing 5 to clear_refs resets the peak to the current size.
void ResetPeakMemory() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

// Notes the moment of the grid's first paint that shows rows, and of the fill loop's end, which
// is when the grid is hidden for sizing its columns.
class GridWatch : public QObject {
public:
    GridWatch(ResultGrid* grid, QElapsedTimer& clock) : grid_(grid), clock_(clock) {
        grid->viewport()->installEventFilter(this);
        grid->installEventFilter(this);
    }
    void Arm() { firstPaint_ = fillEnd_ = -1; }
    double FirstPaint() const { return firstPaint_; }
    double FillEnd() const { return fillEnd_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const double now = clock_.nsecsElapsed() / 1e6;
        if (watched == grid_->viewport() && event->type() == QEvent::Paint && firstPaint_ < 0 &&
            grid_->model()->rowCount() > 0 && !grid_->TextMatrix(1, 0).isEmpty())
            firstPaint_ = now;
        if (watched == grid_ && event->type() == QEvent::Hide && fillEnd_ < 0)
            fillEnd_ = now;
        return false;
    }

private:
    ResultGrid* grid_;
    QElapsedTimer& clock_;
    double firstPaint_ = -1;
    double fillEnd_ = -1;
};

double EngineReadMs(const QString& statement, long long& rows) {
    QElapsedTimer clock;
    clock.start();
    sqlite3_stmt* stmt = nullptr;
    const QByteArray sql = statement.toUtf8();
    sqlite3_prepare_v2(modGeneral::dbConnection().Handle(), sql.constData(), sql.size(), &stmt,
                       nullptr);
    rows = 0;
    QString sink;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int column = 0; column < 5; ++column)
            sink =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                                  sqlite3_column_bytes(stmt, column));
        ++rows;
    }
    sqlite3_finalize(stmt);
    return clock.nsecsElapsed() / 1e6;
}

int MeasureOneSize(int argc, char** argv, int size) {
    QApplication app(argc, argv);
    platform::SetUpApplication();
    QTemporaryDir dir;
    db::Connection& connection = modGeneral::dbConnection();
    dbfile::Create(connection, dbfile::PathIn(dir.path()));
    DemoDirectory(42).AddTo(connection, size);

    frmquery& form = frmquery::instance();
    form.Show();
    auto* grid = form.findChild<ResultGrid*>(QStringLiteral("Grid"));
    auto* text2 = form.findChild<QLineEdit*>(QStringLiteral("Text2"));
    auto* stop = form.findChild<SmartNetXpButton*>(QStringLiteral("CmdStop"));
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();

    QElapsedTimer clock;
    GridWatch watch(grid, clock);
    for (const QString& country : {QString(), QStringLiteral("希腊")}) {
        text2->setText(country);
        const QString statement = shipowner::ListStatement(QString(), country);
        long long rows = 0;
        EngineReadMs(statement, rows); // warm the page cache alike for both
        const double engineMs = EngineReadMs(statement, rows);

        ResetPeakMemory();
        const long rssBeforeKb = StatusKb("VmRSS:");
        watch.Arm();
        clock.start();
        form.RunQuery();
        const double runMs = clock.nsecsElapsed() / 1e6;
        const long peakKb = StatusKb("VmHWM:");
        QApplication::processEvents();

        const double firstPaintMs = watch.FirstPaint();
        const double fillMs = watch.FillEnd();

        // A stop clicked a third of the way through: from the click's moment to the loop's end.
        const int stopAfterMs = qMax(1, static_cast<int>(fillMs / 3));
        QTimer::singleShot(stopAfterMs, stop, [stop] { stop->click(); });
        watch.Arm();
        clock.start();
        form.RunQuery();
        const double stopMs = watch.FillEnd() - stopAfterMs;

        std::printf(
            "%7d rows  filter %-6s  matches %7lld  RunQuery %8.1f ms  first paint %6.1f ms  "
            "(fill %8.1f ms)  engine read %7.1f ms  ratio %5.2f  stop latency %5.1f ms  "
            "memory +%5.1f MB\n",
            size, country.isEmpty() ? "none" : "希腊", rows, runMs, firstPaintMs, fillMs, engineMs,
            runMs / engineMs, stopMs, (peakKb - rssBeforeKb) / 1024.0);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && qstrcmp(argv[1], "--size") == 0)
        return MeasureOneSize(argc, argv, QByteArray(argv[2]).toInt());
    int failures = 0;
    for (int size : kSizes) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains(QStringLiteral("DISPLAY")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QString::fromLocal8Bit(argv[0]),
                    {QStringLiteral("--size"), QString::number(size)});
        child.waitForFinished(-1);
        failures += child.exitCode() != 0;
    }
    return failures == 0 ? 0 : 1;
}
