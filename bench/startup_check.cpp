// What the start-up file check costs: opening a directory of 100,000 companies with and without
// the check of its table and pages. Prints medians of several runs of each, taken in turn.
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "tools/DemoDirectory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long long rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100000;
    QTemporaryDir dir;
    const QString path = dbfile::PathIn(dir.path());
    {
        db::Connection connection;
        dbfile::Create(connection, path);
        DemoDirectory(1).AddTo(connection, rows);
    }
    std::vector<double> openOnly, openAndCheck;
    for (int run = 0; run < 7; ++run) {
        for (const bool check : {false, true}) {
            QElapsedTimer timer;
            timer.start();
            db::Connection connection;
            connection.OpenFile(path, dbfile::kPassword);
            if (check)
                dbfile::Verify(connection);
            (check ? openAndCheck : openOnly).push_back(timer.nsecsElapsed() / 1e6);
        }
    }
    const double open = Median(openOnly);
    const double checked = Median(openAndCheck);
    std::printf("%lld companies: open %.1f ms, open and check %.1f ms, the check %.1f ms "
                "(medians of %zu)\n",
                rows, open, checked, checked - open, openOnly.size());
    return 0;
}
