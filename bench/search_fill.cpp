// Measures sorting by a column and the search window's fill, on the encrypted file or on a
// PostgreSQL server.
//
//   search_fill [--rows N] [--repeat R]      the file, N companies (100,000 unless told)
//   search_fill --server CONNINFO [...]      a server: it REPLACES the ship-owner table there,
//                                            so give it a throw-away one; 1,000,000 unless told
//
// Each figure is the median of R turns (7 unless told), taken in turns in one process, with the
// spread beside it:
//   newest first  the query screen's whole query, the specified order
//   by name       a click on the name's header to the fill's end (columns sized)
//   first rows    that click to the grid's first paint with rows in it
//   search        the search window's fill of a fleet condition that every company meets
//   read          the engine's own read of the same statement: each row stepped and its texts
//                 pointed at, nothing converted
//   ratios        by name / newest first, and search / read
#include "ScreenBench.h"
#include "data/CompanySearch.h"
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/Engine.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "platform/CommonControls.h"
#include "screens/ResultGrid.h"
#include "screens/frmquery.h"
#include "session/modGeneral.h"
#include "tools/DemoDirectory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The engine's read: every row stepped, the grid's texts pointed at.
qint64 Read(const db::Query& query) {
    db::Connection& connection = modGeneral::dbConnection();
    connection.PrepareForQuery();
    const std::unique_ptr<db::RowStream> rows = connection.engine().Query(query);
    qint64 count = 0;
    qint64 bytes = 0;
    while (rows->Next()) {
        for (int column = 0; column < rows->ColumnCount(); ++column)
            bytes += rows->Text(column).size();
        ++count;
    }
    return count + (bytes < 0 ? 1 : 0); // the bytes are used, so the reads are not left out
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::SetUpApplication();
    const BenchOptions options = ParseOptions(app.arguments());
    const int rows = options.rows;
    const int repeat = options.repeat;
    QTemporaryDir dir;
    MakeDirectory(options, dir);

    frmquery& form = frmquery::instance();
    form.Show();
    auto* grid = form.findChild<ResultGrid*>(QStringLiteral("Grid"));
    QHeaderView* header = grid->horizontalHeader();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    QElapsedTimer clock;
    FirstPaint paint(grid, clock);

    shipowner::CompanySearch everyFleet;
    everyFleet.numbers.insert(QStringLiteral("Tank_No"), {0, std::nullopt});
    const db::Query searchStatement = shipowner::SearchQuery(everyFleet);
    Read(searchStatement); // warms the caches alike for all

    Series newest, byName, firstRows, search, read, sortRatio, searchRatio;
    for (int turn = 0; turn < repeat; ++turn) {
        form.close(); // forgets the order
        form.Show();
        clock.start();
        form.RunQuery();
        newest.Add(Ms(clock));
        QApplication::processEvents();

        const QPoint name(header->sectionViewportPosition(1) + header->sectionSize(1) / 2,
                          header->height() / 2);
        paint.Arm();
        clock.start();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, name);
        byName.Add(Ms(clock));
        QApplication::processEvents();
        firstRows.Add(paint.At());
        sortRatio.Add(byName.values.back() / newest.values.back());
        if (grid->Rows() - 1 != rows)
            std::printf("  the sorted fill listed %d rows, not %d\n", grid->Rows() - 1, rows);

        form.close();
        form.Show();
        clock.start();
        form.RunSearch(everyFleet);
        search.Add(Ms(clock));
        QApplication::processEvents();
        clock.start();
        const qint64 readRows = Read(searchStatement);
        read.Add(Ms(clock));
        searchRatio.Add(search.values.back() / read.values.back());
        if (readRows != grid->Rows() - 1)
            std::printf("  the search listed %d rows, the read %lld\n", grid->Rows() - 1,
                        static_cast<long long>(readRows));
    }
    newest.Print("newest first");
    byName.Print("by name");
    firstRows.Print("first rows");
    search.Print("search");
    read.Print("read");
    std::printf("  %-13s %9.2f ×  (by name / newest first)\n", "ratio", sortRatio.Median());
    std::printf("  %-13s %9.2f ×  (search / read)\n", "ratio", searchRatio.Median());
    form.close();
    return 0;
}
