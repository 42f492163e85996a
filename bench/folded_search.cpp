// Measures what the search keys cost and give: the search window's fill of folded and pinyin
// searches, the keys' building, and a save's extra work, on the encrypted file or a server.
//
//   folded_search [--rows N] [--repeat R]      the file, N companies (100,000 unless told)
//   folded_search --server CONNINFO [...]      a server: it REPLACES the ship-owner table there,
//                                              so give it a throw-away one; 1,000,000 unless told
//
// Medians of R turns (7 unless told), taken in turns in one process, the spread beside them:
//   keys          every company's key built again (the tool's reindex), 3 turns at most on
//                 the file, 1 on a server
//   first rows    the search's start to the grid's first paint with rows
//   fill          the search's start to its end, columns sized
//   plain         the same search of characters without folding (the screen before the keys)
//   save          a save of a company's name as the detail screen makes it, with its key built,
//                 and without (the key's triggers dropped), ten of each in turns: the difference
//                 is the key's cost
#include "ScreenBench.h"
#include "data/CompanySearch.h"
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/Engine.h"
#include "data/Recordset.h"
#include "data/SearchKey.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "platform/CommonControls.h"
#include "screens/frmquery.h"
#include "session/modGeneral.h"
#include "tools/DemoDirectory.h"

#include <QApplication>
#include <QTemporaryDir>

namespace {

shipowner::CompanySearch NameSearch(const QString& name, bool folded) {
    shipowner::CompanySearch search;
    search.texts.insert(shipowner::Columns()[1], name);
    search.folded = folded;
    return search;
}

// Saves of one company's name, alternating between two, as the detail screen makes them.
Series Saves(db::Connection& connection, qint64 id, int count) {
    Series saves;
    QElapsedTimer clock;
    for (int i = 0; i < count; ++i) {
        clock.start();
        db::Recordset rs;
        rs.Open(shipowner::RecordQuery(id), connection, db::adOpenKeyset, db::adLockPessimistic);
        rs.SetField(shipowner::Columns()[1],
                    i % 2 ? QStringLiteral("長榮海運股份有限公司") : QStringLiteral("长荣海运"));
        rs.Update();
        saves.Add(Ms(clock));
    }
    return saves;
}

// The key's triggers and its building before each commit, on or off; the table stays.
void KeepKeys(db::Connection& connection, bool on) {
    if (on) {
        for (const QString& statement :
             connection.IsServer() ? searchkey::ServerStatements() : searchkey::FileStatements())
            if (statement.startsWith(QStringLiteral("CREATE TRIGGER")))
                connection.Execute(statement);
        connection.engine().SetBeforeCommit(searchkey::PendingKeyBuilder());
        return;
    }
    const QString on_ =
        connection.IsServer() ? QStringLiteral(" ON ") + shipowner::kTable : QString();
    for (const char* event : {"insert", "update", "delete"})
        connection.Execute(QStringLiteral("DROP TRIGGER orvandel_search_key_%1%2")
                               .arg(QString::fromLatin1(event), on_));
    connection.engine().SetBeforeCommit(nullptr);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::SetUpApplication();
    const BenchOptions options = ParseOptions(app.arguments());
    const int repeat = options.repeat;
    QTemporaryDir dir;
    MakeDirectory(options, dir);
    db::Connection& connection = modGeneral::dbConnection();
    QElapsedTimer clock;

    Series keys;
    for (int turn = 0; turn < (connection.IsServer() ? 1 : std::min(repeat, 3)); ++turn) {
        clock.start();
        searchkey::Reindex(connection);
        keys.Add(Ms(clock));
    }
    if (connection.IsServer())
        connection.Execute(QStringLiteral("VACUUM ANALYZE"));
    keys.Print("keys");

    frmquery& form = frmquery::instance();
    form.Show();
    auto* grid = form.findChild<ResultGrid*>(QStringLiteral("Grid"));
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    FirstPaint paint(grid, clock);
    const auto fill = [&](const shipowner::CompanySearch& search, Series& first, Series& whole) {
        form.close();
        form.Show();
        paint.Arm();
        clock.start();
        form.RunSearch(search);
        whole.Add(Ms(clock));
        QApplication::processEvents();
        first.Add(paint.At());
        return grid->Rows() - 1;
    };

    // Pinyin: initials and whole syllables of 长荣 (a head and a tail of the demonstration's
    // names); characters folded and plain: a few companies (长荣) and about half of them (航运).
    const struct {
        const char* name;
        QString text;
        bool compared; // also timed without folding
    } searches[] = {
        {"cr", QStringLiteral("cr"), false},
        {"changrong", QStringLiteral("changrong"), false},
        {"长荣", QStringLiteral("长荣"), true},
        {"航运", QStringLiteral("航运"), true},
    };
    for (const auto& search : searches) {
        Series first, whole, plainFirst, plainWhole, ratio;
        int found = 0;
        int plainFound = 0;
        for (int turn = 0; turn < repeat; ++turn) {
            found = fill(NameSearch(search.text, true), first, whole);
            if (!search.compared)
                continue;
            plainFound = fill(NameSearch(search.text, false), plainFirst, plainWhole);
            ratio.Add(whole.values.back() / plainWhole.values.back());
        }
        std::printf(" %s: %d companies\n", search.name, found);
        first.Print("first rows");
        whole.Print("fill");
        if (search.compared) {
            std::printf("  plain, %d companies:\n", plainFound);
            plainFirst.Print("first rows");
            plainWhole.Print("fill");
            std::printf("  %-13s %9.2f ×  (fill / plain fill)\n", "ratio", ratio.Median());
        }
    }
    form.close();

    // Ten saves with the key, ten without, in turns.
    Series withKeys, withoutKeys;
    for (int turn = 0; turn < 2 * repeat; ++turn) {
        const bool keys = turn % 2 == 1; // the keys are kept when this begins
        KeepKeys(connection, keys);
        for (const double save : Saves(connection, 1, 10).values)
            (keys ? withKeys : withoutKeys).Add(save);
    }
    std::printf(" a save, %d of each:\n", int(withKeys.values.size()));
    withKeys.Print("with key");
    withoutKeys.Print("without");
    std::printf("  %-13s %9.2f ms (with - without)\n", "key's cost",
                withKeys.Median() - withoutKeys.Median());
    return 0;
}
