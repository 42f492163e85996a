#pragma once

// What the benchmarks of the query screen share: their command line, a directory of
// demonstration companies, a clock in milliseconds, a series of turns with its median, and the
// moment of the grid's first paint with rows.
#include "EmptyDirectory.h"
#include "screens/ResultGrid.h"
#include "session/modGeneral.h"
#include "tools/DemoDirectory.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

inline double Ms(const QElapsedTimer& clock) {
    return clock.nsecsElapsed() / 1e6;
}

struct Series {
    std::vector<double> values;
    void Add(double value) { values.push_back(value); }
    double Median() const {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? -1 : sorted[sorted.size() / 2];
    }
    void Print(const char* name) const {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        std::printf("  %-13s %9.1f ms  (%.1f-%.1f)\n", name, Median(), *low, *high);
    }
};

// The moment of the grid's first paint with rows since Arm().
class FirstPaint : public QObject {
public:
    FirstPaint(ResultGrid* grid, QElapsedTimer& clock) : grid_(grid), clock_(clock) {
        grid->viewport()->installEventFilter(this);
    }
    void Arm() { at_ = -1; }
    double At() const { return at_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && at_ < 0 && grid_->Rows() > 1 &&
            !grid_->TextMatrix(1, 0).isEmpty())
            at_ = Ms(clock_);
        return false;
    }

private:
    ResultGrid* grid_;
    QElapsedTimer& clock_;
    double at_ = -1;
};

// --server CONNINFO: a server, whose ship-owner table is REPLACED; --rows N: 100,000 companies on
// the file and 1,000,000 on a server unless told; --repeat R: 7 turns unless told, 3 at least.
struct BenchOptions {
    QString server;
    int rows = 0;
    int repeat = 7;
};

inline BenchOptions ParseOptions(const QStringList& arguments) {
    BenchOptions options;
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QStringLiteral("--server"))
            options.server = arguments[i + 1];
        else if (arguments[i] == QStringLiteral("--rows"))
            options.rows = arguments[i + 1].toInt();
        else if (arguments[i] == QStringLiteral("--repeat"))
            options.repeat = std::max(3, arguments[i + 1].toInt());
    }
    if (options.rows <= 0)
        options.rows = options.server.isEmpty() ? 100000 : 1000000;
    return options;
}

// The screens' connection, on the options' demonstration companies: a file in the folder, or the
// server's table made again. Says what it made.
inline void MakeDirectory(const BenchOptions& options, const QTemporaryDir& folder) {
    db::Connection& connection = modGeneral::dbConnection();
    QElapsedTimer making;
    making.start();
    MakeEmptyDirectory(connection, options.server, folder.path());
    DemoDirectory(42).AddTo(connection, options.rows);
    if (!options.server.isEmpty())
        connection.Execute(QStringLiteral("VACUUM ANALYZE"));
    std::printf("%s: %d companies, made in %.1f s, %d turns\n",
                options.server.isEmpty() ? "file" : "server", options.rows, making.elapsed() / 1e3,
                options.repeat);
}
