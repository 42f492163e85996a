// Measures the query screen's fill against the engine's own read of the same rows.
//
//   query_fill                 runs every size, each in a child process of its own
//   query_fill --size N        measures one size and prints its lines
//   query_fill ... --repeat R  repeats each measurement R times (at least 5, 7 unless told)
//   query_fill --server CONNINFO   also runs every size on that PostgreSQL server, and 1,000,000
//                              companies there, after the file's run of the same size; the
//                              server's own read is libpq reading the same statement row by row
//
// Each measurement is repeated in one process, the fill and the engine's read taking turns, and
// printed as the median with the spread (lowest-highest) beside it, since the machine may be
// shared. The query, the read, the floor and the sizing are timed twice: on the wall clock and
// as this thread's processor time, which other processes on a busy machine disturb far less.
// Per size and filter:
//   query       the whole RunQuery: fill and column sizing
//   read        the engine stepping the same rows and turning their five texts into QString
//   ratio       query / read, the median of the ratios of each turn
//   over        query - read: what the screen adds to the engine
//   floor       the engine stepping the rows and pointing at their texts, nothing converted
//   paint       when the grid was first painted with rows, from the query's start
//   fill        when the fill loop ended (the grid hides to size its columns)
//   size        AutoSize over every column alone, on the full result
//   stop        from the moment a stop click is due, a third of the way through, to the fill
//               loop's end (the click waits for the fill's next yield)
//   memory      the resident peak during the first query over the resident size before it
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/PgEngine.h"
#include "data/ServerConfig.h"
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
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <libpq-fe.h>
#include <optional>
#include <sqlite3.h>
#include <vector>

namespace {

const int kSizes[] = {1000, 10000, 32767, 100000};
constexpr int kServerOnlySize = 1000000;
constexpr int kMinimumRepetitions = 5;

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

double Ms(const QElapsedTimer& clock) {
    return clock.nsecsElapsed() / 1e6;
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Wall and processor time of one stretch of work.
class Stopwatch {
public:
    Stopwatch() : cpuStart_(ThreadCpuMs()) { wall_.start(); }
    double WallMs() const { return Ms(wall_); }
    double CpuMs() const { return ThreadCpuMs() - cpuStart_; }

private:
    QElapsedTimer wall_;
    double cpuStart_;
};

// Repeated figures of one measurement.
class Samples {
public:
    void Add(double value) { values_.push_back(value); }
    double Median() const {
        std::vector<double> sorted = values_;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return n == 0 ? -1 : n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    QString Text(int decimals = 1) const {
        if (values_.empty())
            return QStringLiteral("n/a");
        const auto [low, high] = std::minmax_element(values_.begin(), values_.end());
        return QStringLiteral("%1 (%2-%3)")
            .arg(Median(), 0, 'f', decimals)
            .arg(*low, 0, 'f', decimals)
            .arg(*high, 0, 'f', decimals);
    }

private:
    std::vector<double> values_;
};

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
        if (watched == grid_->viewport() && event->type() == QEvent::Paint && firstPaint_ < 0 &&
            grid_->model()->rowCount() > 0 && !grid_->TextMatrix(1, 0).isEmpty())
            firstPaint_ = Ms(clock_);
        if (watched == grid_ && event->type() == QEvent::Hide && fillEnd_ < 0)
            fillEnd_ = Ms(clock_);
        return false;
    }

private:
    ResultGrid* grid_;
    QElapsedTimer& clock_;
    double firstPaint_ = -1;
    double fillEnd_ = -1;
};

// The server's own read, on a connection of its own, when the bench runs on a server.
PGconn* serverRead = nullptr;

template <typename Use> long long ReadServerRows(const QString& statement, Use use) {
    const QByteArray sql = db::PgEngine::Translate(statement).toUtf8();
    PQsendQuery(serverRead, sql.constData());
    PQsetSingleRowMode(serverRead);
    long long rows = 0;
    while (PGresult* result = PQgetResult(serverRead)) {
        if (PQresultStatus(result) == PGRES_SINGLE_TUPLE) {
            for (int column = 0; column < 5; ++column)
                use(PQgetvalue(result, 0, column), PQgetlength(result, 0, column));
            ++rows;
        }
        PQclear(result);
    }
    return rows;
}

// Steps the statement and hands each of the five texts to `use`; returns the rows read.
template <typename Use> long long ReadRows(const QString& statement, Use use) {
    if (serverRead != nullptr)
        return ReadServerRows(statement, use);
    sqlite3_stmt* stmt = nullptr;
    const QByteArray sql = statement.toUtf8();
    sqlite3_prepare_v2(modGeneral::dbConnection().Handle(), sql.constData(), sql.size(), &stmt,
                       nullptr);
    long long rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int column = 0; column < 5; ++column)
            use(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                sqlite3_column_bytes(stmt, column));
        ++rows;
    }
    sqlite3_finalize(stmt);
    return rows;
}

Stopwatch EngineRead(const QString& statement, long long& rows) {
    Stopwatch watch;
    QString sink;
    rows = ReadRows(
        statement, [&sink](const char* text, int bytes) { sink = QString::fromUtf8(text, bytes); });
    return watch;
}

Stopwatch EngineFloor(const QString& statement) {
    Stopwatch watch;
    size_t sink = 0;
    ReadRows(statement,
             [&sink](const char* text, int bytes) { sink += bytes + (text != nullptr); });
    static volatile size_t keep;
    keep = sink + keep; // the compiler may not drop the reads
    return watch;
}

// One kind of figure on both clocks.
struct Timed {
    Samples wall, cpu;
    void Add(double wallMs, double cpuMs) {
        wall.Add(wallMs);
        cpu.Add(cpuMs);
    }
};

struct Figures {
    Timed query, read, ratio, over, floor, size;
    Samples paint, fill, stop;
    double memoryMb = 0;
};

class Bench {
public:
    Bench(int size, int repetitions, const QString& server)
        : size_(size), repetitions_(repetitions), engine_(server.isEmpty() ? "file" : "server") {
        db::Connection& connection = modGeneral::dbConnection();
        if (server.isEmpty()) {
            dbfile::Create(connection, dbfile::PathIn(dir_.path()));
        } else {
            QFile conf(serverconf::PathIn(dir_.path()));
            conf.open(QIODevice::WriteOnly);
            conf.write(server.toUtf8() + '\n');
            conf.close();
            connection.Open(serverconf::ConnectionStringFor(dir_.path()), QString(), QString());
            dbfile::DropOnServer(connection);
            dbfile::CreateOnServer(connection);
            serverRead = PQconnectdb(server.toUtf8().constData());
        }
        DemoDirectory(42).AddTo(connection, size);
        if (!server.isEmpty())
            connection.Execute(QStringLiteral("ANALYZE Orvandel"));
        form_.Show();
        grid_ = form_.findChild<ResultGrid*>(QStringLiteral("Grid"));
        text1_ = form_.findChild<QLineEdit*>(QStringLiteral("Text1"));
        text2_ = form_.findChild<QLineEdit*>(QStringLiteral("Text2"));
        stop_ = form_.findChild<SmartNetXpButton*>(QStringLiteral("CmdStop"));
        for (int i = 0; i < 20; ++i)
            QApplication::processEvents();
    }

    void Measure(const QString& company, const QString& country) {
        text1_->setText(company);
        text2_->setText(country);
        const QString statement = shipowner::ListStatement(company, country);
        long long rows = 0;
        EngineRead(statement, rows); // warms the page cache alike for both
        Figures figures;
        GridWatch watch(grid_, clock_);
        for (int turn = 0; turn < repetitions_; ++turn) {
            Stopwatch read = EngineRead(statement, rows);
            const double readMs = read.WallMs(), readCpuMs = read.CpuMs();
            figures.read.Add(readMs, readCpuMs);
            const Stopwatch floor = EngineFloor(statement);
            figures.floor.Add(floor.WallMs(), floor.CpuMs());

            if (turn == 0)
                ResetPeakMemory();
            const long rssBeforeKb = turn == 0 ? StatusKb("VmRSS:") : 0;
            watch.Arm();
            clock_.start();
            const double cpuStart = ThreadCpuMs();
            form_.RunQuery();
            const double queryMs = Ms(clock_), queryCpuMs = ThreadCpuMs() - cpuStart;
            if (turn == 0)
                figures.memoryMb = (StatusKb("VmHWM:") - rssBeforeKb) / 1024.0;
            QApplication::processEvents();
            figures.query.Add(queryMs, queryCpuMs);
            figures.ratio.Add(queryMs / readMs, queryCpuMs / readCpuMs);
            figures.over.Add(queryMs - readMs, queryCpuMs - readCpuMs);
            figures.paint.Add(watch.FirstPaint());
            figures.fill.Add(watch.FillEnd());

            const Stopwatch sizing;
            for (int column = 0; column < grid_->Cols(); ++column)
                grid_->AutoSize(column);
            figures.size.Add(sizing.WallMs(), sizing.CpuMs());

            if (const std::optional<double> stopMs = StopLatency(watch.FillEnd() / 3))
                figures.stop.Add(*stopMs);
        }
        std::printf("%-6s %7d rows  filter %-12s  matches %7lld\n", engine_, size_,
                    qPrintable(Label(company, country)), rows);
        for (const bool cpu : {false, true}) {
            const auto pick = [cpu](const Timed& timed, int decimals = 1) {
                return (cpu ? timed.cpu : timed.wall).Text(decimals).toUtf8();
            };
            std::printf("    %-4s query %s ms   read %s ms   ratio %s   over %s ms   floor %s ms   "
                        "size %s ms\n",
                        cpu ? "cpu" : "wall", pick(figures.query).constData(),
                        pick(figures.read).constData(), pick(figures.ratio, 2).constData(),
                        pick(figures.over).constData(), pick(figures.floor).constData(),
                        pick(figures.size).constData());
        }
        std::printf("    paint %s ms   fill %s ms   stop %s ms   memory +%.1f MB\n",
                    qPrintable(figures.paint.Text()), qPrintable(figures.fill.Text()),
                    qPrintable(figures.stop.Text()), figures.memoryMb);
        std::fflush(stdout);
    }

private:
    static QString Label(const QString& company, const QString& country) {
        if (!company.isEmpty())
            return QStringLiteral("name ") + company;
        return country.isEmpty() ? QStringLiteral("none") : country;
    }

    // Clicks stop after `afterMs` of a new fill; returns the time from when the click was due
    // to the loop's end, or nothing when the fill ended first.
    std::optional<double> StopLatency(double afterMs) {
        const int dueMs = qMax(1, static_cast<int>(afterMs));
        GridWatch watch(grid_, clock_);
        bool clickedDuringFill = false;
        QTimer::singleShot(dueMs, stop_, [this, &watch, &clickedDuringFill] {
            clickedDuringFill = watch.FillEnd() < 0;
            stop_->click();
        });
        clock_.start();
        form_.RunQuery();
        QApplication::processEvents();
        if (!clickedDuringFill)
            return std::nullopt;
        return watch.FillEnd() - dueMs;
    }

    QTemporaryDir dir_;
    int size_;
    int repetitions_;
    const char* engine_;
    frmquery& form_ = frmquery::instance();
    ResultGrid* grid_;
    QLineEdit* text1_;
    QLineEdit* text2_;
    SmartNetXpButton* stop_;
    QElapsedTimer clock_;
};

QString OptionText(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], name) == 0)
            return QString::fromLocal8Bit(argv[i + 1]);
    return QString();
}

int OptionValue(int argc, char** argv, const char* name, int fallback) {
    const QString text = OptionText(argc, argv, name);
    return text.isEmpty() ? fallback : text.toInt();
}

int MeasureOneSize(int argc, char** argv, int size, int repetitions) {
    QApplication app(argc, argv);
    platform::SetUpApplication();
    Bench bench(size, repetitions, OptionText(argc, argv, "--server"));
    bench.Measure(QString(), QString());
    bench.Measure(QString(), QStringLiteral("希腊"));
    bench.Measure(QStringLiteral("Pacific"), QString()); // part of a company name
    return 0;
}

// Measures one size in a child process of its own; false when it failed.
bool RunChild(const char* program, int size, int repetitions, const QString& server) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    QStringList arguments = {QStringLiteral("--size"), QString::number(size),
                             QStringLiteral("--repeat"), QString::number(repetitions)};
    if (!server.isEmpty())
        arguments << QStringLiteral("--server") << server;
    child.start(QString::fromLocal8Bit(program), arguments);
    child.waitForFinished(-1);
    return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = qMax(kMinimumRepetitions, OptionValue(argc, argv, "--repeat", 7));
    if (const int size = OptionValue(argc, argv, "--size", 0); size > 0)
        return MeasureOneSize(argc, argv, size, repetitions);
    std::printf("medians of %d turns, lowest-highest in brackets; platform %s\n", repetitions,
                qEnvironmentVariableIsSet("DISPLAY") ? "xcb" : "offscreen");
    std::fflush(stdout); // before the children's lines
    const QString server = OptionText(argc, argv, "--server");
    int failures = 0;
    for (int size : kSizes) {
        failures += !RunChild(argv[0], size, repetitions, QString());
        if (!server.isEmpty())
            failures += !RunChild(argv[0], size, repetitions, server);
    }
    if (!server.isEmpty())
        failures += !RunChild(argv[0], kServerOnlySize, repetitions, server);
    return failures == 0 ? 0 : 1;
}
