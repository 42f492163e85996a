// Measures the query screen's fill against the engine's own read of the same rows, on the
// encrypted file and on a PostgreSQL server.
//
//   query_fill                    runs every size on the file, each in a child process of its own
//   query_fill --server CONNINFO  and again on that server: it REPLACES the ship-owner table there,
//                                 so give it a throw-away server (scripts/test-server.sh start DIR)
//   query_fill ... --scale N      then N companies on both engines, filtered on parts of a name
//   query_fill ... --repeat R     repeats each measurement R times (at least 5, 7 unless told)
//   query_fill ... --sizes A,B    these sizes instead of 1,000 to 100,000 (1000000 for a million)
//   query_fill --size N --engine file|server [--scale-filters] ...   one child's measurement
//
// Each measurement is repeated in one process, the fill and the engine's read taking turns, and
// printed as the median with the spread (lowest-highest) beside it, since the machine may be
// shared. The query, the read, the strings and the sizing are timed twice: on the wall clock and
// as this thread's processor time, which other processes on a busy machine disturb far less (on
// the server, the server's own processor time is in neither: it runs in another process).
// Per size and filter:
//   query       the whole RunQuery: fill and column sizing
//   read        the engine's own read of the same rows, pointing at their five texts with
//               nothing converted: the file's library stepping the statement on the program's
//               own handle; on the server libpq sending the same statement and bound values the
//               server engine sends and taking the rows one by one (single-row mode), as a fill
//               that streams must; like the fill, each comes right after a whole read of the
//               same rows, since the page cache does not hold a large table
//   ratio       query / read, the median of the ratios of each turn
//   over        query - read: what the screen adds to the engine
//   strings     the same read turning every text into a QString, as a list that converts would
//   size        AutoSize over every column alone, on the full result
//   first row   when the engine's own read had its first row, from its start
//   paint       when the grid was first painted with rows, from the query's start
//   fill        when the fill loop ended (the grid hides to size its columns)
//   stop        from the moment a stop click is due, a third of the way through, to the fill
//               loop's end (the click waits for the fill's next yield)
//   memory      the resident peak during the first query over the resident size before it; in
//               brackets the growth of the memory that is the process's own, after the query:
//               the rest is pages of files, mostly of the font, whose glyphs sizing measures
// The parent prints both engines' figures side by side at the end.
#include "EmptyDirectory.h"
#include "ProcessMemory.h"
#include "data/Connection.h"
#include "data/PgEngine.h"
#include "data/Query.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "data/SqliteEngine.h"
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
#include <QMap>
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
constexpr int kMinimumRepetitions = 5;
// Parts of a company name: English and Chinese of three or more characters, which a trigram
// index can serve, one that matches many companies, and two Chinese characters, which it cannot.
const char* const kScaleFilters[] = {"Baltic", "鑫润航", "远洋运输", "华达"};
// A child's line for the parent's side-by-side table; the parent does not echo it.
constexpr char kSummaryMark[] = "@summary";

// The text padded to `width` columns of a terminal, where a Chinese character takes two.
QByteArray Padded(const QString& text, int width) {
    int columns = 0;
    for (const QChar c : text)
        columns += c.unicode() >= 0x1100 ? 2 : 1;
    return (text + QString(qMax(0, width - columns), QLatin1Char(' '))).toUtf8();
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

// What one own read saw.
struct ReadResult {
    long long rows = 0;
    double firstRowMs = -1; // from the read's start
};

// The engine's own read of a statement, straight through the engine's library: the file's
// open handle, or a libpq connection of its own to the same server.
class OwnRead {
public:
    // The file, through the program's own handle: a second connection would keep a second
    // page cache, which the processor's cache does not hold beside the first.
    explicit OwnRead(sqlite3* file) : file_(file) {}
    explicit OwnRead(const QString& conninfo) {
        const QByteArray info = conninfo.toUtf8();
        const char* keywords[] = {"dbname", "client_encoding", nullptr};
        const char* values[] = {info.constData(), "UTF8", nullptr};
        server_ = PQconnectdbParams(keywords, values, 1);
        if (PQstatus(server_) != CONNECTION_OK)
            qFatal("cannot reach the server: %s", PQerrorMessage(server_));
    }
    ~OwnRead() { PQfinish(server_); }
    OwnRead(const OwnRead&) = delete;
    OwnRead& operator=(const OwnRead&) = delete;

    // Hands each of the five texts of every row to `use`.
    template <typename Use> ReadResult Rows(const db::Query& query, Use use) const {
        return server_ != nullptr ? ServerRows(query, use) : FileRows(query, use);
    }

private:
    template <typename Use> ReadResult FileRows(const db::Query& query, Use use) const {
        const Stopwatch watch;
        sqlite3_stmt* stmt = nullptr;
        const QByteArray sql = db::SqliteEngine::SelectText(query).toUtf8();
        sqlite3_prepare_v2(file_, sql.constData(), sql.size(), &stmt, nullptr);
        ReadResult read;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            if (read.rows++ == 0)
                read.firstRowMs = watch.WallMs();
            for (int column = 0; column < 5; ++column)
                use(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                    sqlite3_column_bytes(stmt, column));
        }
        sqlite3_finalize(stmt);
        return read;
    }

    template <typename Use> ReadResult ServerRows(const db::Query& query, Use use) const {
        const Stopwatch watch;
        const db::PgEngine::Statement statement = db::PgEngine::SelectStatement(query);
        const QByteArray sql = statement.text.toUtf8();
        std::vector<QByteArray> texts;
        std::vector<const char*> values;
        for (const QVariant& value : statement.parameters)
            texts.push_back(value.toString().toUtf8());
        for (const QByteArray& text : texts)
            values.push_back(text.constData());
        if (PQsendQueryParams(server_, sql.constData(), int(values.size()), nullptr, values.data(),
                              nullptr, nullptr, 0) != 1 ||
            PQsetSingleRowMode(server_) != 1)
            qFatal("cannot send the statement: %s", PQerrorMessage(server_));
        ReadResult read;
        while (PGresult* result = PQgetResult(server_)) {
            const ExecStatusType status = PQresultStatus(result);
            if (status == PGRES_SINGLE_TUPLE) {
                if (read.rows++ == 0)
                    read.firstRowMs = watch.WallMs();
                for (int column = 0; column < 5; ++column)
                    use(PQgetvalue(result, 0, column), PQgetlength(result, 0, column));
            } else if (status != PGRES_TUPLES_OK) {
                qFatal("the server refused the statement: %s", PQresultErrorMessage(result));
            }
            PQclear(result);
        }
        return read;
    }

    PGconn* server_ = nullptr;
    sqlite3* file_ = nullptr;
};

// One kind of figure on both clocks.
struct Timed {
    Samples wall, cpu;
    void Add(double wallMs, double cpuMs) {
        wall.Add(wallMs);
        cpu.Add(cpuMs);
    }
};

struct Figures {
    Timed query, read, ratio, over, strings, size;
    Samples firstRow, paint, fill, stop;
    double memoryMb = 0, privateMb = 0;
};

// The query screen's two filters.
struct Filter {
    QString company, country;
    QString Label() const {
        if (!company.isEmpty())
            return QStringLiteral("company:") + company;
        if (!country.isEmpty())
            return QStringLiteral("country:") + country;
        return QStringLiteral("none");
    }
};

class Bench {
public:
    // Makes `size` demonstration companies on the file, or on the server when `server` names
    // one, and shows the query screen.
    Bench(int size, int repetitions, const QString& server)
        : size_(size), repetitions_(repetitions), engine_(server.isEmpty() ? "file" : "server") {
        db::Connection& connection = modGeneral::dbConnection();
        const Stopwatch making;
        MakeEmptyDirectory(connection, server, dir_.path());
        if (!server.isEmpty())
            ownRead_.emplace(server);
        DemoDirectory(42).AddTo(connection, size);
        if (!server.isEmpty()) // as the server's autovacuum would after such a load
            connection.Execute(QStringLiteral("VACUUM ANALYZE ") + shipowner::kTable);
        else
            ownRead_.emplace(dynamic_cast<db::SqliteEngine&>(connection.engine()).Handle());
        if (size >= 1000000)
            std::printf("%s: made %d companies in %.1f s\n", engine_, size, making.WallMs() / 1e3);
        form_.Show();
        grid_ = form_.findChild<ResultGrid*>(QStringLiteral("Grid"));
        text1_ = form_.findChild<QLineEdit*>(QStringLiteral("Text1"));
        text2_ = form_.findChild<QLineEdit*>(QStringLiteral("Text2"));
        stop_ = form_.findChild<SmartNetXpButton*>(QStringLiteral("CmdStop"));
        for (int i = 0; i < 20; ++i)
            QApplication::processEvents();
    }

    void Measure(const Filter& filter) {
        text1_->setText(filter.company);
        text2_->setText(filter.country);
        const db::Query statement = shipowner::ListQuery(filter.company, filter.country);
        long long rows = Read(statement).rows; // warms the caches alike for both
        Figures figures;
        GridWatch watch(grid_, clock_);
        for (int turn = 0; turn < repetitions_; ++turn) {
            // Each timed read and the fill come after a whole read of the same rows, as the
            // previous turn's stopped fill would otherwise leave the first pages a large table
            // scans in the page cache for the read alone.
            if (turn > 0)
                Read(statement);
            const Stopwatch read;
            const ReadResult result = Read(statement);
            const double readMs = read.WallMs(), readCpuMs = read.CpuMs();
            rows = result.rows;
            figures.read.Add(readMs, readCpuMs);
            figures.firstRow.Add(result.firstRowMs);
            const Stopwatch strings;
            Strings(statement);
            figures.strings.Add(strings.WallMs(), strings.CpuMs());

            if (turn == 0)
                ResetPeakMemory();
            const long rssBeforeKb = turn == 0 ? StatusKb("VmRSS:") : 0;
            const long anonBeforeKb = turn == 0 ? StatusKb("RssAnon:") : 0;
            // The event loop has run before a user's click: nothing the reads above held up is
            // left for the fill's first yield.
            QApplication::processEvents();
            watch.Arm();
            clock_.start();
            const double cpuStart = ThreadCpuMs();
            form_.RunQuery();
            const double queryMs = Ms(clock_), queryCpuMs = ThreadCpuMs() - cpuStart;
            if (turn == 0) {
                figures.memoryMb = (StatusKb("VmHWM:") - rssBeforeKb) / 1024.0;
                figures.privateMb = (StatusKb("RssAnon:") - anonBeforeKb) / 1024.0;
            }
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
        Print(filter, rows, figures);
    }

private:
    ReadResult Read(const db::Query& statement) const {
        size_t sink = 0;
        const ReadResult read = ownRead_->Rows(
            statement, [&sink](const char* text, int bytes) { sink += bytes + (text != nullptr); });
        static volatile size_t keep;
        keep = sink + keep; // the compiler may not drop the reads
        return read;
    }

    void Strings(const db::Query& statement) const {
        QString sink;
        ownRead_->Rows(statement, [&sink](const char* text, int bytes) {
            sink = QString::fromUtf8(text, bytes);
        });
    }

    void Print(const Filter& filter, long long rows, const Figures& figures) const {
        const QByteArray label = filter.Label().toUtf8();
        std::printf("%-6s %7d rows  filter %s  matches %7lld\n", engine_, size_,
                    Padded(filter.Label(), 16).constData(), rows);
        for (const bool cpu : {false, true}) {
            const auto pick = [cpu](const Timed& timed, int decimals = 1) {
                return (cpu ? timed.cpu : timed.wall).Text(decimals).toUtf8();
            };
            std::printf(
                "    %-4s query %s ms   read %s ms   ratio %s   over %s ms   strings %s ms   "
                "size %s ms\n",
                cpu ? "cpu" : "wall", pick(figures.query).constData(),
                pick(figures.read).constData(), pick(figures.ratio, 2).constData(),
                pick(figures.over).constData(), pick(figures.strings).constData(),
                pick(figures.size).constData());
        }
        std::printf("    first row %s ms   paint %s ms   fill %s ms   stop %s ms   memory +%.1f MB "
                    "(private +%.1f MB)\n",
                    qPrintable(figures.firstRow.Text()), qPrintable(figures.paint.Text()),
                    qPrintable(figures.fill.Text()), qPrintable(figures.stop.Text()),
                    figures.memoryMb, figures.privateMb);
        std::printf("%s\t%s\t%d\t%s\t%lld\t%.2f\t%.2f\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\n",
                    kSummaryMark, engine_, size_, label.constData(), rows,
                    figures.ratio.wall.Median(), figures.ratio.cpu.Median(), figures.paint.Median(),
                    figures.stop.Median(), figures.firstRow.Median(), figures.query.wall.Median(),
                    figures.read.wall.Median(), figures.query.cpu.Median());
        std::fflush(stdout);
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
    std::optional<OwnRead> ownRead_;
    frmquery& form_ = frmquery::instance();
    ResultGrid* grid_;
    QLineEdit* text1_;
    QLineEdit* text2_;
    SmartNetXpButton* stop_;
    QElapsedTimer clock_;
};

QString OptionValue(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], name) == 0)
            return QString::fromLocal8Bit(argv[i + 1]);
    return QString();
}

bool HasOption(int argc, char** argv, const char* name) {
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], name) == 0)
            return true;
    return false;
}

int MeasureOneSize(int argc, char** argv, int size, int repetitions) {
    QApplication app(argc, argv);
    platform::SetUpApplication();
    const bool onServer = OptionValue(argc, argv, "--engine") == QLatin1String("server");
    Bench bench(size, repetitions, onServer ? OptionValue(argc, argv, "--server") : QString());
    if (HasOption(argc, argv, "--scale-filters")) {
        for (const char* company : kScaleFilters)
            bench.Measure({QString::fromUtf8(company), QString()});
    } else {
        bench.Measure({});
        bench.Measure({QString(), QStringLiteral("希腊")});
        bench.Measure({QStringLiteral("Pacific"), QString()});
    }
    return 0;
}

// One child's summary line, by engine.
struct Summary {
    double ratioWall, ratioCpu, paint, stop, firstRow, queryWall, readWall, queryCpu;
    long long matches;
};
using SummaryKey = QPair<int, QString>; // size, filter

QString Figure(double value, int decimals = 1) {
    return value < 0 ? QStringLiteral("n/a") : QString::number(value, 'f', decimals);
}

// Runs one child, echoes its lines and keeps its summaries.
bool RunChild(const QString& program, const QStringList& arguments,
              QMap<SummaryKey, QMap<QString, Summary>>& summaries) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(program, arguments);
    child.waitForStarted(-1);
    while (child.state() != QProcess::NotRunning || child.canReadLine()) {
        if (!child.canReadLine() && !child.waitForReadyRead(1000))
            continue;
        while (child.canReadLine()) {
            const QByteArray line = child.readLine();
            if (!line.startsWith(kSummaryMark)) {
                std::fputs(line.constData(), stdout);
                std::fflush(stdout);
                continue;
            }
            const QList<QByteArray> f = line.trimmed().split('\t');
            if (f.size() < 13)
                continue;
            summaries[{f[2].toInt(), QString::fromUtf8(f[3])}][QString::fromUtf8(f[1])] =
                Summary{f[5].toDouble(),  f[6].toDouble(),  f[7].toDouble(),
                        f[8].toDouble(),  f[9].toDouble(),  f[10].toDouble(),
                        f[11].toDouble(), f[12].toDouble(), f[4].toLongLong()};
        }
    }
    child.waitForFinished(-1);
    return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

void PrintSideBySide(const QMap<SummaryKey, QMap<QString, Summary>>& summaries, int scale) {
    std::printf("\nside by side, medians: ratio = fill / own read, wall (processor); paint and "
                "stop in ms\n%9s  %-16s %8s  %-13s %-13s %7s %7s %7s %7s\n",
                "rows", "filter", "matches", "file ratio", "server ratio", "paint f", "paint s",
                "stop f", "stop s");
    for (auto it = summaries.begin(); it != summaries.end(); ++it) {
        if (it.key().first == scale)
            continue;
        const Summary none{-1, -1, -1, -1, -1, -1, -1, -1, 0};
        const Summary file = it->value(QStringLiteral("file"), none);
        const Summary server = it->value(QStringLiteral("server"), none);
        const auto ratio = [](const Summary& s) {
            return QStringLiteral("%1 (%2)").arg(Figure(s.ratioWall, 2), Figure(s.ratioCpu, 2));
        };
        std::printf("%9d  %s %8lld  %-13s %-13s %7s %7s %7s %7s\n", it.key().first,
                    Padded(it.key().second, 16).constData(), qMax(file.matches, server.matches),
                    qPrintable(ratio(file)), qPrintable(ratio(server)),
                    qPrintable(Figure(file.paint)), qPrintable(Figure(server.paint)),
                    qPrintable(Figure(file.stop)), qPrintable(Figure(server.stop)));
    }
    if (scale <= 0)
        return;
    std::printf("\n%d companies, medians in ms: the own read's first row and whole read, the "
                "screen's first paint and whole query\n%-16s %8s  %9s %9s %9s %9s  %9s %9s "
                "%9s  %s\n",
                scale, "filter", "matches", "row s", "paint s", "read s", "query s", "paint f",
                "read f", "query f", "query s/f");
    for (auto it = summaries.begin(); it != summaries.end(); ++it) {
        if (it.key().first != scale)
            continue;
        const Summary none{-1, -1, -1, -1, -1, -1, -1, -1, 0};
        const Summary file = it->value(QStringLiteral("file"), none);
        const Summary server = it->value(QStringLiteral("server"), none);
        std::printf("%s %8lld  %9s %9s %9s %9s  %9s %9s %9s  %s\n",
                    Padded(it.key().second, 16).constData(), qMax(file.matches, server.matches),
                    qPrintable(Figure(server.firstRow)), qPrintable(Figure(server.paint)),
                    qPrintable(Figure(server.readWall)), qPrintable(Figure(server.queryWall)),
                    qPrintable(Figure(file.paint)), qPrintable(Figure(file.readWall)),
                    qPrintable(Figure(file.queryWall)),
                    qPrintable(file.queryWall > 0 && server.queryWall > 0
                                   ? Figure(server.queryWall / file.queryWall, 2)
                                   : QStringLiteral("n/a")));
    }
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions =
        qMax(kMinimumRepetitions, OptionValue(argc, argv, "--repeat").toInt() > 0
                                      ? OptionValue(argc, argv, "--repeat").toInt()
                                      : 7);
    if (const int size = OptionValue(argc, argv, "--size").toInt(); size > 0)
        return MeasureOneSize(argc, argv, size, repetitions);
    const QString server = OptionValue(argc, argv, "--server");
    const int scale = OptionValue(argc, argv, "--scale").toInt();
    std::printf("medians of %d turns, lowest-highest in brackets; platform %s\n", repetitions,
                qEnvironmentVariableIsSet("DISPLAY") ? "xcb" : "offscreen");
    std::fflush(stdout); // before the children's lines
    const QString program = QString::fromLocal8Bit(argv[0]);
    QStringList engines = {QStringLiteral("file")};
    if (!server.isEmpty())
        engines.append(QStringLiteral("server"));
    QList<QStringList> runs;
    QList<int> sizes(std::begin(kSizes), std::end(kSizes));
    if (const QString chosen = OptionValue(argc, argv, "--sizes"); !chosen.isEmpty()) {
        sizes.clear();
        for (const QString& size : chosen.split(QLatin1Char(',')))
            sizes.append(size.toInt());
    }
    for (int size : sizes)
        for (const QString& engine : engines)
            runs.append({QStringLiteral("--size"), QString::number(size),
                         QStringLiteral("--engine"), engine});
    if (scale > 0)
        for (const QString& engine : engines)
            runs.append({QStringLiteral("--size"), QString::number(scale),
                         QStringLiteral("--engine"), engine, QStringLiteral("--scale-filters")});
    QMap<SummaryKey, QMap<QString, Summary>> summaries;
    int failures = 0;
    for (QStringList arguments : runs) {
        arguments << QStringLiteral("--repeat") << QString::number(repetitions);
        if (!server.isEmpty())
            arguments << QStringLiteral("--server") << server;
        failures += !RunChild(program, arguments, summaries);
    }
    PrintSideBySide(summaries, scale);
    return failures == 0 ? 0 : 1;
}
