// Spreadsheet exchange at 100,000 companies: the program's CSV export, Excel export, CSV import
// and Excel import, against the sqlcipher shell's own CSV dump (.mode csv) and .import of the same
// table, in the same run. Each figure is the median of several runs, the program and the shell
// taking turns; wall time and CPU time are both printed, since the machine may be shared.
//
//   exchange [COMPANIES [RUNS]]
//   exchange --import-memory COMPANIES   the peak memory of a CSV import of that many companies
#include "ProcessMemory.h"
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "exchange/DirectoryExport.h"
#include "exchange/DirectoryImport.h"
#include "exchange/TableFile.h"
#include "tools/DemoDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/resource.h>

namespace {

struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
};

double ProcessCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double ChildrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

Cost Measure(const std::function<void()>& work) {
    QElapsedTimer wall;
    const double cpu = ProcessCpuMs();
    wall.start();
    work();
    return {wall.nsecsElapsed() / 1e6, ProcessCpuMs() - cpu};
}

// Runs the sqlcipher shell on the file with the commands after the key; its CPU time is that of
// the finished child.
Cost Shell(const QString& path, const QString& commands) {
    QProcess shell;
    const double cpu = ChildrenCpuMs();
    QElapsedTimer wall;
    wall.start();
    shell.start(QStringLiteral("sqlcipher"), {path});
    shell.write((QStringLiteral("PRAGMA key='%1';\n").arg(dbfile::kPassword) + commands).toUtf8());
    shell.closeWriteChannel();
    if (!shell.waitForFinished(600000) || shell.exitCode() != 0) {
        std::fprintf(stderr, "sqlcipher failed: %s\n", shell.readAllStandardError().constData());
        std::exit(1);
    }
    return {wall.nsecsElapsed() / 1e6, ChildrenCpuMs() - cpu};
}

QString ShellCount(const QString& path) {
    QProcess shell;
    shell.start(QStringLiteral("sqlcipher"), {path});
    shell.write(QStringLiteral("PRAGMA key='%1';\nselect count(*) from Orvandel;\n")
                    .arg(dbfile::kPassword)
                    .toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(60000);
    return QString::fromUtf8(shell.readAllStandardOutput()).trimmed();
}

Cost Median(QList<Cost> costs) {
    auto middle = [&costs](auto field) {
        std::sort(costs.begin(), costs.end(),
                  [field](const Cost& a, const Cost& b) { return a.*field < b.*field; });
        return costs[costs.size() / 2].*field;
    };
    return {middle(&Cost::wallMs), middle(&Cost::cpuMs)};
}

Cost Minus(Cost a, Cost b) {
    return {a.wallMs - b.wallMs, a.cpuMs - b.cpuMs};
}

void NewEmptyDirectory(const QString& path) {
    QFile::remove(path);
    db::Connection connection;
    dbfile::Create(connection, path);
}

void PrintRow(const char* what, const Cost& cost) {
    std::printf("  %-48s %9.1f ms wall %9.1f ms CPU\n", what, cost.wallMs, cost.cpuMs);
}

void PrintRatio(const char* what, const Cost& ours, const Cost& theirs, double target) {
    std::printf("  %-48s %9.2f wall      %9.2f CPU     (target at most %.1f)\n", what,
                ours.wallMs / theirs.wallMs, ours.cpuMs / theirs.cpuMs, target);
}

// A child's part of --import-memory: imports the CSV file into a new directory and prints how far
// the resident memory rose over what it was before.
int ImportInChild(const QString& csv, const QString& target) {
    db::Connection connection;
    dbfile::Create(connection, target);
    ResetPeakMemory();
    const long before = StatusKb("VmRSS:");
    exchange::ImportOptions options;
    options.allowDuplicates = true; // the generated names repeat
    const exchange::ImportResult result = exchange::ImportCsv(connection, csv, options);
    std::printf("%lld %.1f\n", static_cast<long long>(result.added),
                (StatusKb("VmHWM:") - before) / 1024.0);
    return result.problemCount == 0 ? 0 : 1;
}

// --import-memory N: the peak memory of importing N companies from CSV into an empty directory,
// each import in a child process of its own: the program's export with its ids, and the same
// without the id column, as an office's list comes.
int ImportMemory(int companies) {
    QTemporaryDir work;
    const QString withIds = work.filePath(QStringLiteral("with-ids.csv"));
    const QString withoutIds = work.filePath(QStringLiteral("without-ids.csv"));
    {
        db::Connection connection;
        dbfile::Create(connection, work.filePath(QStringLiteral("source.bcd")));
        DemoDirectory(1).AddTo(connection, companies);
        exchange::ExportDirectory(connection, withIds, exchange::FileFormat::Csv);
    }
    // The generated texts hold no line breaks: each line is a row, its id the first field.
    QFile in(withIds), out(withoutIds);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return 1;
    while (!in.atEnd()) {
        const QByteArray line = in.readLine();
        out.write(line.mid(line.indexOf(',') + 1));
    }
    out.close();
    std::printf("bench/exchange: importing %d companies into an empty directory\n", companies);
    for (const QString& csv : {withIds, withoutIds}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--import-child"), csv,
                     work.filePath(QFileInfo(csv).baseName() + QStringLiteral(".bcd"))});
        child.waitForFinished(-1);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (child.exitCode() != 0 || figures.size() != 2 || figures[0].toInt() != companies) {
            std::fprintf(stderr, "the import of %s failed\n", qPrintable(csv));
            return 1;
        }
        std::printf("  %-48s peak +%s MB\n", qPrintable(QFileInfo(csv).fileName()),
                    figures[1].constData());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments[1] == QLatin1String("--import-child"))
        return ImportInChild(arguments[2], arguments[3]);
    if (arguments.size() == 3 && arguments[1] == QLatin1String("--import-memory"))
        return ImportMemory(arguments[2].toInt());
    const int companies = arguments.size() > 1 ? arguments[1].toInt() : 100000;
    const int runs = arguments.size() > 2 ? arguments[2].toInt() : 5;
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("source.bcd"));
    const QString target = work.filePath(QStringLiteral("target.bcd"));
    const QString excelTarget = work.filePath(QStringLiteral("excel-target.bcd"));
    const QString ourCsv = work.filePath(QStringLiteral("ours.csv"));
    const QString ourXlsx = work.filePath(QStringLiteral("ours.xlsx"));
    const QString shellCsv = work.filePath(QStringLiteral("shell.csv"));

    db::Connection connection;
    dbfile::Create(connection, source);
    DemoDirectory(1).AddTo(connection, companies);
    std::printf("bench/exchange: %d companies, median of %d runs each\n", companies, runs);

    QList<Cost> csvExport, xlsxExport, csvImport, xlsxImport, shellDump, shellImport, shellStart;
    for (int run = 0; run < runs; ++run) {
        // The shell's start and key derivation, to take off its figures.
        shellStart << Shell(source, QStringLiteral("select count(*) from sqlite_master;\n"));
        shellDump << Shell(source,
                           QStringLiteral(".mode csv\n.output %1\nselect * from Orvandel order by "
                                          "id;\n")
                               .arg(shellCsv));
        csvExport << Measure(
            [&] { exchange::ExportDirectory(connection, ourCsv, exchange::FileFormat::Csv); });
        xlsxExport << Measure(
            [&] { exchange::ExportDirectory(connection, ourXlsx, exchange::FileFormat::Xlsx); });

        NewEmptyDirectory(target);
        shellImport << Shell(target,
                             QStringLiteral(".mode csv\n.import %1 Orvandel\n").arg(shellCsv));
        if (ShellCount(target) != QString::number(companies)) {
            std::fprintf(stderr, "the shell's import added %s rows\n",
                         qPrintable(ShellCount(target)));
            return 1;
        }
        NewEmptyDirectory(target);
        db::Connection empty;
        empty.OpenFile(target, dbfile::kPassword);
        exchange::ImportResult result;
        csvImport << Measure([&] { result = exchange::ImportCsv(empty, ourCsv, {}); });
        exchange::ImportResult fromExcel;
        {
            // The same companies again, from the program's own workbook.
            NewEmptyDirectory(excelTarget);
            db::Connection again;
            again.OpenFile(excelTarget, dbfile::kPassword);
            xlsxImport << Measure([&] { fromExcel = exchange::ImportCsv(again, ourXlsx, {}); });
        }
        for (const exchange::ImportResult& done : {result, fromExcel})
            if (done.problemCount != 0 || done.added != companies) {
                std::fprintf(stderr, "the import added %lld rows with %lld problems\n",
                             static_cast<long long>(done.added),
                             static_cast<long long>(done.problemCount));
                return 1;
            }
    }

    const Cost start = Median(shellStart);
    const Cost dump = Minus(Median(shellDump), start);
    const Cost shellImported = Minus(Median(shellImport), start);
    PrintRow("sqlcipher shell: start and key (taken off below)", start);
    PrintRow("sqlcipher shell: .mode csv dump", dump);
    PrintRow("sqlcipher shell: .import into an empty table", shellImported);
    PrintRow("orvandel: CSV export", Median(csvExport));
    PrintRow("orvandel: Excel export", Median(xlsxExport));
    PrintRow("orvandel: CSV import into an empty directory", Median(csvImport));
    PrintRow("orvandel: Excel import into an empty directory", Median(xlsxImport));
    std::printf("  ratios\n");
    PrintRatio("CSV export / shell dump", Median(csvExport), dump, 1.5);
    PrintRatio("CSV import / shell .import", Median(csvImport), shellImported, 1.5);
    PrintRatio("Excel import / CSV import", Median(xlsxImport), Median(csvImport), 3.0);
    std::printf("  Excel export: %.2f s wall (target under 3 s)\n",
                Median(xlsxExport).wallMs / 1000);
    std::printf("  file sizes: CSV %lld bytes (shell %lld), Excel %lld bytes\n",
                static_cast<long long>(QFile(ourCsv).size()),
                static_cast<long long>(QFile(shellCsv).size()),
                static_cast<long long>(QFile(ourXlsx).size()));
    return 0;
}
