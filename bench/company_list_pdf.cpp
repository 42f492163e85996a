// How long a PDF list of 10,000 companies takes to write, in the Song face at 9 points: the
// median of 5 runs, wall time and CPU time (the machine may be shared), with the page count and
// the file's size as pdfinfo reads them.
#include "exchange/CompanyList.h"
#include "exchange/TableFile.h"
#include "platform/Fonts.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kCompanies = 10000;
constexpr int kRuns = 5;

double CpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Half the names Chinese, half Latin; one address in ten long enough to take three lines.
QList<exchange::ListedCompany> Companies() {
    QList<exchange::ListedCompany> rows;
    rows.reserve(kCompanies);
    for (int number = 1; number <= kCompanies; ++number) {
        const bool chinese = number % 2 == 1;
        QString address = chinese ? QStringLiteral("上海市浦东新区世纪大道%1号").arg(number)
                                  : QStringLiteral("%1 Strandveien, Lysaker").arg(number);
        if (number % 10 == 0)
            address += QStringLiteral(" 国际航运大厦东楼二十八层至三十层全层，邻近地铁站与港务局"
                                      "办公楼，另设仓储与船员服务中心 Harbour Office Building, "
                                      "Floors 28 to 30, next to the port authority");
        rows << exchange::ListedCompany{
            QString::number(number),
            chinese ? QStringLiteral("远洋航运第%1有限公司").arg(number)
                    : QStringLiteral("Nordic Tankers %1 AS").arg(number),
            chinese ? QStringLiteral("中国") : QStringLiteral("Norway"),
            QStringLiteral("+86 21 5555 %1").arg(number, 5, 10, QLatin1Char('0')), address};
    }
    return rows;
}

QString PdfInfo(const QString& path, const QString& field) {
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {path});
    pdfinfo.waitForFinished(-1);
    const QRegularExpression line(QStringLiteral("^%1:\\s+(.*)$").arg(field),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(pdfinfo.readAllStandardOutput())).captured(1).trimmed();
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    platform::SetUpFonts();
    QFont font(platform::kSongFamily);
    font.setPointSize(9);
    const QList<exchange::ListedCompany> rows = Companies();
    const QString heading = exchange::CompanyListHeading(QStringLiteral("国家 = 中国"),
                                                         QDateTime::currentDateTime(), rows.size());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.pdf"));
    std::vector<double> wall, cpu;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        const double cpuStart = CpuMs();
        timer.start();
        try {
            exchange::WriteCompanyListPdf(path, font, heading, rows);
        } catch (const exchange::FileError& error) {
            std::fprintf(stderr, "%s\n", error.what());
            return 1;
        }
        wall.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back(CpuMs() - cpuStart);
    }
    std::printf("bench/company_list_pdf: %d companies, median of %d runs\n", kCompanies, kRuns);
    std::printf("  %9.1f ms wall %9.1f ms CPU\n", Median(wall), Median(cpu));
    std::printf("  %s pages, %lld bytes\n", qPrintable(PdfInfo(path, QStringLiteral("Pages"))),
                QFileInfo(path).size());
    return 0;
}
