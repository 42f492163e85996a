#include "data/CompanySearch.h"
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "support/TestSupport.h"

#include <QtTest>

using shipowner::CompanySearch;
using shipowner::ListOrder;
using shipowner::NumberRange;
using Ids = QList<qint64>;
using Texts = QMap<QString, QString>;
using Numbers = QMap<QString, NumberRange>;

namespace {

// The rows the sort tests list carry this in their fax, which no sort is by.
const QString kSortMark = QStringLiteral("排序");
const QString kFleetCountry = QStringLiteral("船队国");

// Each row holds one value in every column the grid can sort by; a null value is left out.
const QList<QVariant> kSortValues = {
    QStringLiteral("中远"),   QStringLiteral("banana"), QVariant(),
    QStringLiteral("阿波罗"), QStringLiteral("Banana"), QStringLiteral(""),
    QStringLiteral("北方"),   QStringLiteral("apple"),
};

// Written in as many ways as a clerk meets them; their country folds to kFoldCountry.
const QString kFoldCountry = QStringLiteral("折叠国");
const QStringList kFoldNames = {
    QStringLiteral("中國遠洋海運"),         // 0 traditional
    QStringLiteral("长荣海运"),             // 1 simplified
    QStringLiteral("長榮海運股份有限公司"), // 2 traditional, 長 read chang or zhang
    QStringLiteral("ＣＯＳＣＯ Shipping"),  // 3 full width
    QStringLiteral("Blue  STAR Line"),      // 4 mixed case, a run of spaces
    QStringLiteral("重庆轮船"),             // 5 重 read chong or zhong
};

CompanySearch Folded(const Texts& texts) {
    CompanySearch search{texts, {}};
    search.folded = true;
    return search;
}

Ids Found(db::Connection& connection, const db::Query& query) {
    Ids ids;
    db::Recordset rs;
    rs.Open(query, connection, db::adOpenStatic, db::adLockReadOnly);
    for (; !rs.AtEnd(); rs.MoveNext())
        ids.append(rs.Field(shipowner::kId).toLongLong());
    return ids;
}

} // namespace

class TestSearch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void sortsByEachGridColumnBothWays_data();
    void sortsByEachGridColumnBothWays();
    void findsByEachCondition_data();
    void findsByEachCondition();
    void totalsAddUpTheFleetsFound();
    void unknownColumnIsRefused_data();
    void unknownColumnIsRefused();
    void toolFindsWhatTheScreenFinds_data();
    void toolFindsWhatTheScreenFinds();
    void foldedSearchFindsEachTypedForm_data();
    void foldedSearchFindsEachTypedForm();
    void queryScreenListMatchesCharactersOnly();
    void resultSaysHowRowsMatched();
    void keyFollowsEachSave();
    void otherProgramsRowIsStaleUntilReindex();
    void clerkWithTheReadmesGrantsBuildsKeys();

private:
    SystemDirFixture dir_;
    db::Connection connection_;
    Ids sortIds_;  // by kSortValues' positions
    Ids fleetIds_; // alpha, beta, gamma, delta
    Ids foldIds_;  // by kFoldNames' positions
};

void TestSearch::initTestCase() {
    dir_.CreateDatabase(connection_);
    for (const QVariant& value : kSortValues) {
        QMap<QString, QVariant> row = {{QStringLiteral("fax"), kSortMark}};
        if (!value.isNull())
            for (const char* column : {"公司名称", "国家", "tel", "adrress"})
                row.insert(QString::fromUtf8(column), value);
        sortIds_.append(InsertCompany(connection_, row));
    }
    const QList<QMap<QString, QVariant>> fleets = {
        {{"公司名称", "Alpha Tankers"},
         {"tel", "+30 210 555"},
         {"fax", "+30 210 556"},
         {"adrress", "Piraeus 1"},
         {"Tank_No", 5},
         {"Tank_Dwt", 500000}},
        {{"公司名称", "Beta Bulk"},
         {"tel", "+86 21 1234"},
         {"adrress", "上海 外滩 1号"},
         {"Tank_No", 4},
         {"Bulk_NO", 10},
         {"Bulk_Dwt", 600000}},
        {{"公司名称", "Gamma Gas"},
         {"tel", "+47 22"},
         {"adrress", "Oslo"},
         {"Tank_No", 6},
         {"Tank_Dwt", 499999},
         {"Gas_No", 3},
         {"Gas_Cum", 120000}},
        {{"公司名称", "Delta"}},
    };
    for (QMap<QString, QVariant> row : fleets) {
        row.insert(QStringLiteral("国家"), kFleetCountry);
        fleetIds_.append(InsertCompany(connection_, row));
    }
    for (const QString& name : kFoldNames)
        foldIds_.append(InsertCompany(
            connection_, {{QStringLiteral("公司名称"), name}, {QStringLiteral("国家"), "摺疊國"}}));
}

void TestSearch::sortsByEachGridColumnBothWays_data() {
    QTest::addColumn<QString>("column");
    QTest::addColumn<bool>("descending");
    for (const char* column : {"公司名称", "国家", "tel", "adrress"})
        for (const bool descending : {false, true})
            QTest::addRow("%s %s", column, descending ? "descending" : "ascending")
                << QString::fromUtf8(column) << descending;
}

// Empty values first, then Chinese in pinyin order (a, bei, zhong) before Latin letters, these
// without regard to case; rows that tie are newest first either way.
void TestSearch::sortsByEachGridColumnBothWays() {
    QFETCH(QString, column);
    QFETCH(bool, descending);
    CompanySearch search;
    search.texts.insert(QStringLiteral("fax"), kSortMark);
    const Ids found = Found(connection_, shipowner::SearchQuery(search, {column, descending}));
    // Positions in kSortValues; the two bananas tie.
    const QList<QList<int>> ascending = {{2}, {5}, {3}, {6}, {0}, {7}, {4, 1}};
    Ids expected;
    for (int i = 0; i < ascending.size(); ++i) {
        const QList<int>& tie = ascending[descending ? ascending.size() - 1 - i : i];
        Ids newestFirst;
        for (const int position : tie)
            newestFirst.append(sortIds_[position]);
        std::sort(newestFirst.begin(), newestFirst.end(), std::greater<>());
        expected += newestFirst;
    }
    QCOMPARE(found, expected);
}

void TestSearch::findsByEachCondition_data() {
    QTest::addColumn<Texts>("texts");
    QTest::addColumn<Numbers>("numbers");
    QTest::addColumn<QList<int>>("expected"); // alpha 0, beta 1, gamma 2, delta 3
    const QString tankers = QStringLiteral("Tank_No");
    QTest::newRow("nothing asked") << Texts() << Numbers() << QList<int>{0, 1, 2, 3};
    QTest::newRow("blank texts ask nothing")
        << Texts{{"tel", " "}, {"fax", ""}} << Numbers() << QList<int>{0, 1, 2, 3};
    QTest::newRow("name, any case") << Texts{{"公司名称", "ALPHA"}} << Numbers() << QList<int>{0};
    QTest::newRow("telephone") << Texts{{"tel", "+30"}} << Numbers() << QList<int>{0};
    QTest::newRow("fax") << Texts{{"fax", "556"}} << Numbers() << QList<int>{0};
    QTest::newRow("address") << Texts{{"adrress", "外滩"}} << Numbers() << QList<int>{1};
    QTest::newRow("at least, bound included")
        << Texts() << Numbers{{tankers, {5, std::nullopt}}} << QList<int>{0, 2};
    QTest::newRow("at most, no figure counts as none")
        << Texts() << Numbers{{tankers, {std::nullopt, 4}}} << QList<int>{1, 3};
    QTest::newRow("both bounds the same") << Texts() << Numbers{{tankers, {5, 5}}} << QList<int>{0};
    QTest::newRow("no row in range") << Texts() << Numbers{{tankers, {7, 9}}} << QList<int>{};
    QTest::newRow("tonnage") << Texts()
                             << Numbers{{QStringLiteral("Tank_Dwt"), {500000, std::nullopt}}}
                             << QList<int>{0};
    QTest::newRow("two ranges") << Texts()
                                << Numbers{{tankers, {5, std::nullopt}},
                                           {"Tank_Dwt", {std::nullopt, 499999}}}
                                << QList<int>{2};
    QTest::newRow("text and range")
        << Texts{{"adrress", "1"}} << Numbers{{"Bulk_Dwt", {500000, std::nullopt}}}
        << QList<int>{1};
    QTest::newRow("gas capacity") << Texts{{"公司名称", "gas"}}
                                  << Numbers{{"Gas_Cum", {120000, 120000}}} << QList<int>{2};
}

void TestSearch::findsByEachCondition() {
    QFETCH(Texts, texts);
    QFETCH(Numbers, numbers);
    QFETCH(QList<int>, expected);
    CompanySearch search{texts, numbers};
    search.texts.insert(QStringLiteral("国家"), kFleetCountry);
    Ids expectedIds;
    for (const int row : expected)
        expectedIds.prepend(fleetIds_[row]); // newest first
    QCOMPARE(Found(connection_, shipowner::SearchQuery(search)), expectedIds);
}

void TestSearch::totalsAddUpTheFleetsFound() {
    CompanySearch search;
    search.texts.insert(QStringLiteral("国家"), kFleetCountry);
    search.numbers.insert(QStringLiteral("Tank_No"), {4, std::nullopt});
    const QList<qint64> totals = connection_.Totals(shipowner::FleetTotalsQuery(search));
    const QStringList fleet = shipowner::FleetColumns();
    QCOMPARE(totals.size(), fleet.size() + 1);
    QCOMPARE(totals[0], 3);
    QCOMPARE(totals[1 + fleet.indexOf(QStringLiteral("Tank_No"))], 15);
    QCOMPARE(totals[1 + fleet.indexOf(QStringLiteral("Tank_Dwt"))], 999999);
    QCOMPARE(totals[1 + fleet.indexOf(QStringLiteral("Bulk_Dwt"))], 600000);
    QCOMPARE(totals[1 + fleet.indexOf(QStringLiteral("Other_No"))], 0);
    search.texts.insert(QStringLiteral("公司名称"), QStringLiteral("nobody"));
    QCOMPARE(connection_.Totals(shipowner::FleetTotalsQuery(search)).value(0, -1), 0);
}

void TestSearch::unknownColumnIsRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("order");
    QTest::newRow("text test on a number") << "Tank_No"
                                           << ""
                                           << "";
    QTest::newRow("range on a text") << ""
                                     << "tel"
                                     << "";
    QTest::newRow("no such column") << "note"
                                    << ""
                                    << "";
    QTest::newRow("order by no column") << ""
                                        << ""
                                        << "id; drop table Orvandel";
}

void TestSearch::unknownColumnIsRefused() {
    QFETCH(QString, text);
    QFETCH(QString, number);
    QFETCH(QString, order);
    CompanySearch search;
    if (!text.isEmpty())
        search.texts.insert(text, QStringLiteral("1"));
    if (!number.isEmpty())
        search.numbers.insert(number, {1, std::nullopt});
    try {
        shipowner::SearchQuery(search, {order, false});
        QFAIL("the search was taken");
    } catch (const db::Error& error) {
        QCOMPARE(int(error.kind()), int(db::ErrorKind::Misuse));
    }
    QCOMPARE(RowCount(connection_), qint64(kSortValues.size() + 4 + kFoldNames.size()));
}

void TestSearch::toolFindsWhatTheScreenFinds_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Texts>("texts");
    QTest::addColumn<Numbers>("numbers");
    QTest::addColumn<QString>("sortColumn");
    QTest::addColumn<bool>("descending");
    QTest::newRow("fleet range, newest first")
        << QStringList{"--country", kFleetCountry, "--min", "tank_no=4", "--max", "Tank_No=5"}
        << Texts{{"国家", kFleetCountry}} << Numbers{{"Tank_No", {4, 5}}} << QString() << false;
    QTest::newRow("text conditions, sorted by name")
        << QStringList{"--address", "1", "--tel", "+", "--sort", "name"}
        << Texts{{"adrress", "1"}, {"tel", "+"}} << Numbers() << QStringLiteral("公司名称")
        << false;
    QTest::newRow("sorted by telephone, descending")
        << QStringList{"--fax", kSortMark, "--sort", "tel:desc"} << Texts{{"fax", kSortMark}}
        << Numbers() << QStringLiteral("tel") << true;
}

// The tool prints the companies found as CSV to a pipe, the id in the first column.
void TestSearch::toolFindsWhatTheScreenFinds() {
    QFETCH(QStringList, arguments);
    QFETCH(Texts, texts);
    QFETCH(Numbers, numbers);
    QFETCH(QString, sortColumn);
    QFETCH(bool, descending);
    const ToolRun run = RunTool(dir_.path(), QStringList{"find"} + arguments);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.takeFirst().startsWith(QStringLiteral("id,")), qPrintable(run.out));
    Ids printed;
    for (const QString& line : lines)
        printed.append(line.section(QLatin1Char(','), 0, 0).toLongLong());
    CompanySearch search{texts, numbers};
    search.folded = true;
    const Ids expected =
        Found(connection_, shipowner::SearchQuery(search, {sortColumn, descending}));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(printed, expected);
}

void TestSearch::foldedSearchFindsEachTypedForm_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<int>>("expected"); // positions in kFoldNames
    QTest::newRow("simplified finds traditional") << "中国远洋" << QList<int>{0};
    QTest::newRow("simplified finds both") << "长荣" << QList<int>{1, 2};
    QTest::newRow("traditional finds both") << "長榮" << QList<int>{1, 2};
    QTest::newRow("half width finds full") << "cosco" << QList<int>{3};
    QTest::newRow("full width finds full") << "ＣＯＳＣＯ" << QList<int>{3};
    QTest::newRow("case and spaces") << "blue star" << QList<int>{4};
    QTest::newRow("initials") << "zgyy" << QList<int>{0};
    QTest::newRow("initials of a run") << "hy" << QList<int>{0, 1, 2};
    QTest::newRow("syllables") << "changrong" << QList<int>{1, 2};
    QTest::newRow("other reading") << "zhangrong" << QList<int>{1, 2};
    QTest::newRow("initials, either reading") << "cr" << QList<int>{1, 2};
    QTest::newRow("chongqing") << "chongqing" << QList<int>{5};
    QTest::newRow("zhongqing") << "zhongqing" << QList<int>{5};
    QTest::newRow("typed boundary") << "zhong'qing" << QList<int>{5};
    QTest::newRow("syllables of a run") << "haiyun" << QList<int>{0, 1, 2};
    QTest::newRow("not at a syllable's start") << "aiyun" << QList<int>{};
    QTest::newRow("characters are not read as pinyin") << "中国yy" << QList<int>{};
    QTest::newRow("a wildcard stays one") << "长%运" << QList<int>{1, 2};
}

// Every typed form finds exactly its rows, on both engines; the country is typed simplified and
// stored traditional.
void TestSearch::foldedSearchFindsEachTypedForm() {
    QFETCH(QString, name);
    QFETCH(QList<int>, expected);
    Ids expectedIds;
    for (const int position : expected)
        expectedIds.prepend(foldIds_[position]); // newest first
    const CompanySearch search = Folded({{"公司名称", name}, {"国家", kFoldCountry}});
    QCOMPARE(Found(connection_, shipowner::SearchQuery(search)), expectedIds);
}

// The query screen's list keeps its statement and finds what it always found: characters.
void TestSearch::queryScreenListMatchesCharactersOnly() {
    QCOMPARE(Found(connection_, shipowner::ListQuery(QStringLiteral("长荣"), QString())),
             Ids{foldIds_[1]});
    QCOMPARE(Found(connection_, shipowner::ListQuery(QStringLiteral("changrong"), QString())),
             Ids());
}

void TestSearch::resultSaysHowRowsMatched() {
    const auto kinds = [&](const QString& name) {
        return shipowner::MatchKindsOf(connection_.Totals(
            shipowner::FleetTotalsQuery(Folded({{"公司名称", name}, {"国家", kFoldCountry}}))));
    };
    // The country is stored traditional: every row needs folding for it.
    shipowner::MatchKinds found = kinds(QStringLiteral("长荣"));
    QCOMPARE(found.characters, 0);
    QCOMPARE(found.folding, 2);
    QCOMPARE(found.pinyin, 0);
    found = kinds(QStringLiteral("rong"));
    QCOMPARE(found.folding, 0);
    QCOMPARE(found.pinyin, 2);
    const QList<qint64> totals = connection_.Totals(shipowner::FleetTotalsQuery(
        Folded({{"公司名称", QStringLiteral("長榮")}, {"国家", QStringLiteral("摺疊國")}})));
    found = shipowner::MatchKindsOf(totals);
    QCOMPARE(found.characters, 1);
    QCOMPARE(found.folding, 1);
    QCOMPARE(found.pinyin, 0);
}

// A save through the program builds the new key in its own transaction: the old name's pinyin
// no longer finds the company, the new one does.
void TestSearch::keyFollowsEachSave() {
    const qint64 id = InsertCompany(connection_, {{QStringLiteral("公司名称"), "招商轮船"},
                                                  {QStringLiteral("国家"), kFoldCountry}});
    const auto found = [&](const QString& name) {
        return Found(connection_,
                     shipowner::SearchQuery(Folded({{"公司名称", name}, {"国家", kFoldCountry}})))
            .contains(id);
    };
    QVERIFY(found(QStringLiteral("zslc")));
    db::Recordset rs;
    rs.Open(shipowner::RecordQuery(id), connection_, db::adOpenKeyset, db::adLockPessimistic);
    rs.SetField(QStringLiteral("公司名称"), QStringLiteral("華夏航運"));
    rs.Update();
    QVERIFY(!found(QStringLiteral("zslc")));
    QVERIFY(found(QStringLiteral("huaxia")));
    QVERIFY(found(QStringLiteral("华夏")));
    connection_.Delete(shipowner::RecordQuery(id));
    QVERIFY(!found(QStringLiteral("huaxia")));
}

// Another program's row has a stale key: found by its characters only, reported by check, and
// found by pinyin after reindex.
void TestSearch::otherProgramsRowIsStaleUntilReindex() {
    const QString failed = dir_.RunOtherProgram(
        QStringLiteral("INSERT INTO Orvandel (id, 公司名称, 国家) VALUES (7000, '長江航運', '%1')")
            .arg(kFoldCountry));
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    const auto found = [&](const QString& name) {
        return Found(connection_,
                     shipowner::SearchQuery(Folded({{"公司名称", name}, {"国家", kFoldCountry}})))
            .contains(7000);
    };
    QVERIFY(found(QStringLiteral("長江")));
    QVERIFY(!found(QStringLiteral("changjiang")));
    ToolRun run = RunTool(dir_.path(), {QStringLiteral("check")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("1 company whose search key is stale")) &&
                 run.out.contains(QStringLiteral("(id 7000)")),
             qPrintable(run.out));
    run = RunTool(dir_.path(), {QStringLiteral("reindex")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(found(QStringLiteral("changjiang")));
    QVERIFY(found(QStringLiteral("长江")));
    run = RunTool(dir_.path(), {QStringLiteral("check")});
    QVERIFY2(!run.out.contains(QStringLiteral("stale")), qPrintable(run.out));
    connection_.Delete(shipowner::RecordQuery(7000));
}

// A desk whose role has the rights the README grants a clerk saves a company and builds its key;
// the key's table and triggers belong to the directory's owner.
void TestSearch::clerkWithTheReadmesGrantsBuildsKeys() {
    if (!OnServer())
        QSKIP("the file has no accounts");
    for (const char* statement :
         {"DO $$BEGIN CREATE ROLE orvandel_clerk_keys LOGIN; EXCEPTION WHEN duplicate_object THEN "
          "NULL; END$$",
          "GRANT SELECT, INSERT, UPDATE, DELETE ON orvandel TO orvandel_clerk_keys",
          "GRANT SELECT ON orvandel_schema, orvandel_history, orvandel_writers TO "
          "orvandel_clerk_keys",
          "GRANT SELECT, INSERT, UPDATE, DELETE ON orvandel_search_key TO orvandel_clerk_keys",
          "GRANT USAGE, SELECT, UPDATE ON SEQUENCE orvandel_id_seq TO orvandel_clerk_keys"})
        connection_.Execute(QString::fromUtf8(statement));
    db::Connection clerk;
    dbfile::OpenDirectory(clerk, serverconf::ServerConnectionString(
                                     TestServer() + QStringLiteral(" user=orvandel_clerk_keys")));
    const qint64 id = InsertCompany(
        clerk, {{QStringLiteral("公司名称"), "海丰国际"}, {QStringLiteral("国家"), kFoldCountry}});
    const Ids found =
        Found(connection_,
              shipowner::SearchQuery(Folded({{"公司名称", "hfgj"}, {"国家", kFoldCountry}})));
    QCOMPARE(found, Ids{id});
    connection_.Delete(shipowner::RecordQuery(id));
}

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
