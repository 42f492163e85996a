#include "data/CompanySearch.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"
#include "platform/CommonControls.h"
#include "screens/ResultGrid.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frminfo.h"
#include "screens/frmquery.h"
#include "session/modGeneral.h"
#include "support/TestSupport.h"
#include "tools/DemoDirectory.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QtTest>

namespace {
constexpr int kDemoRows = 33000;
constexpr int kAllRows = kDemoRows + 5;
// Where the tests act in the middle of a fill: at its yield after this many rows.
constexpr qint64 kActAtRow = 100;
const QString kCountry = QStringLiteral("测试国");
} // namespace

class TestQueryScreen : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void freshScreenShowsTheDesignGrid();
    void filters_data();
    void filters();
    void everyRowNewestFirst();
    void secondQueryReplacesTheFirst();
    void enterRunsTheQuery_data();
    void enterRunsTheQuery();
    void stopDuringAFillKeepsTheRowsSoFar();
    void stopWhenIdleDoesNothing();
    void newQueryDuringAFillReplacesIt();
    void manyEntersDuringAFillRunOneFillAtATime();
    void gridModelStaysSoundThroughFills();
    void firstScreenfulIsShownAtOnce();
    void doubleClick_data();
    void doubleClick();
    void closingDuringAFillStopsItAndReopeningIsFresh();
    void keysPressTheFocusedButton_data();
    void keysPressTheFocusedButton();
    void headerSortsTheResult();
    void headerClickDuringAFillRestartsItSorted();
    void enterOpensTheRow_data();
    void enterOpensTheRow();
    void copiesTheSelectedRows();

private:
    void clickHeader(int section);
    // The ids the data layer lists for the grid's search in that order.
    QList<qint64> idsInOrder(const QString& country, const QString& column, bool descending);
    void runQuery(const QString& company, const QString& country);
    QStringList names() const;
    void checkNumbering() const;
    // The rows so far stay; at most the row read as the stop came follows them.
    void checkStoppedWhereTheTestActed() const;
    // Runs `action` once, from inside the next fill that reaches kActAtRow rows, at its yield
    // there: the fill waits for it, however fast the engine delivers the rows.
    void duringNextFill(std::function<void()> action);

    SystemDirFixture dir_;
    frmquery* form_ = nullptr;
    ResultGrid* grid_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QLineEdit* text2_ = nullptr;
    SmartNetXpButton* cmdQuery_ = nullptr;
    SmartNetXpButton* cmdStop_ = nullptr;
};

void TestQueryScreen::initTestCase() {
    platform::SetUpApplication();
    db::Connection& connection = modGeneral::dbConnection();
    dir_.CreateDatabase(connection);
    DemoDirectory(3).AddTo(connection, kDemoRows);
    InsertCompany(connection, {{"公司名称", "远洋航运有限公司"}, {"国家", kCountry}});
    InsertCompany(connection,
                  {{"公司名称", " 东方海运 "}, {"国家", kCountry}, {"tel", "+30 210 1"}});
    InsertCompany(connection, {{"公司名称", "Blue 100% Lines"}, {"国家", kCountry}});
    InsertCompany(connection, {{"公司名称", "O'Brien Shipping Co., Ltd."}, {"国家", "爱尔兰"}});
    InsertCompany(
        connection,
        {{"id", 40000}, {"公司名称", "华通船务"}, {"国家", kCountry}, {"adrress", "港口路1号"}});
    form_ = &frmquery::instance();
    grid_ = form_->findChild<ResultGrid*>(QStringLiteral("Grid"));
    text1_ = form_->findChild<QLineEdit*>(QStringLiteral("Text1"));
    text2_ = form_->findChild<QLineEdit*>(QStringLiteral("Text2"));
    cmdQuery_ = form_->findChild<SmartNetXpButton*>(QStringLiteral("CmdQuery"));
    cmdStop_ = form_->findChild<SmartNetXpButton*>(QStringLiteral("CmdStop"));
    QVERIFY(grid_ && text1_ && text2_ && cmdQuery_ && cmdStop_);
}

void TestQueryScreen::init() {
    form_->Show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
}

void TestQueryScreen::cleanup() {
    disconnect(form_, &frmquery::FillYield, this, nullptr); // an action that never ran
    form_->close();
    frminfo::instance().close();
}

void TestQueryScreen::runQuery(const QString& company, const QString& country) {
    text1_->setText(company);
    text2_->setText(country);
    QTest::mouseClick(cmdQuery_, Qt::LeftButton);
}

QStringList TestQueryScreen::names() const {
    QStringList found;
    for (int row = 1; row < grid_->Rows(); ++row)
        found << grid_->TextMatrix(row, 1);
    return found;
}

void TestQueryScreen::duringNextFill(std::function<void()> action) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(form_, &frmquery::FillYield, this, [=](qint64 rowsSoFar) {
        if (rowsSoFar != kActAtRow)
            return;
        disconnect(*connection);
        action();
    });
}

void TestQueryScreen::checkNumbering() const {
    for (int row = 1; row < grid_->Rows(); ++row)
        QCOMPARE(grid_->TextMatrix(row, 0), QString::number(row));
}

void TestQueryScreen::checkStoppedWhereTheTestActed() const {
    const int rows = grid_->Rows() - 1;
    QVERIFY2(rows == kActAtRow || rows == kActAtRow + 1, qPrintable(QString::number(rows)));
}

void TestQueryScreen::freshScreenShowsTheDesignGrid() {
    QCOMPARE(form_->windowTitle(), QStringLiteral("船东船舶查询"));
    QCOMPARE(form_->size(), QSize(616, 444));
    QCOMPARE(grid_->Rows(), 50);
    QCOMPARE(grid_->Cols(), 7);
    const QStringList headers = {"序号", "船东名称", "国家", "联系电话", "地址", "id", ""};
    const QList<int> widths = {51, 92, 82, 92, 160};
    for (int column = 0; column < 7; ++column)
        QCOMPARE(grid_->TextMatrix(0, column), headers[column]);
    for (int column = 0; column < widths.size(); ++column)
        QCOMPARE(grid_->columnWidth(column), widths[column]);
    QVERIFY(grid_->ColHidden(5));
    QVERIFY(!grid_->ColHidden(6));
    QVERIFY(text1_->text().isEmpty() && text2_->text().isEmpty());
    QTRY_COMPARE(QApplication::focusWidget(), text1_);
    for (QWidget* expected : {static_cast<QWidget*>(text2_), static_cast<QWidget*>(cmdQuery_),
                              static_cast<QWidget*>(cmdStop_), static_cast<QWidget*>(grid_),
                              static_cast<QWidget*>(text1_)}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), expected);
    }
}

void TestQueryScreen::filters_data() {
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("country") << "" << kCountry
                             << QStringList{"华通船务", "Blue 100% Lines", "东方海运",
                                            "远洋航运有限公司"};
    QTest::newRow("company and country") << "航运" << kCountry << QStringList{"远洋航运有限公司"};
    QTest::newRow("spaces only count as empty")
        << "   " << QStringLiteral("\u3000测试国 ")
        << QStringList{"华通船务", "Blue 100% Lines", "东方海运", "远洋航运有限公司"};
    QTest::newRow("apostrophe") << "O'Brien"
                                << "" << QStringList{"O'Brien Shipping Co., Ltd."};
    QTest::newRow("percent matches any run") << "东%运" << kCountry << QStringList{"东方海运"};
    QTest::newRow("no match") << "没有这家公司"
                              << "" << QStringList();
    // Pasted past the boxes' cap: cut there, so the pattern stays within the engine's limit.
    const QString manyWildcards(60000, QLatin1Char('%'));
    QTest::newRow("company filter past its cap")
        << "东%运" + manyWildcards << kCountry << QStringList{"东方海运"};
    QTest::newRow("country filter past its cap")
        << "" << kCountry + manyWildcards
        << QStringList{"华通船务", "Blue 100% Lines", "东方海运", "远洋航运有限公司"};
}

void TestQueryScreen::filters() {
    QFETCH(QString, company);
    QFETCH(QString, country);
    QFETCH(QStringList, expected);
    runQuery(company, country);
    QVERIFY(text1_->text().size() <= 1000 && text2_->text().size() <= 1000);
    QCOMPARE(names(), expected);
    QCOMPARE(grid_->Rows(), expected.size() + 1);
    checkNumbering();
    QVERIFY(grid_->ColHidden(5));
}

void TestQueryScreen::everyRowNewestFirst() {
    runQuery(QString(), QString());
    QCOMPARE(grid_->Rows(), kAllRows + 1);
    checkNumbering();
    QCOMPARE(grid_->TextMatrix(1, 5), QStringLiteral("40000"));
    QCOMPARE(grid_->TextMatrix(1, 4), QStringLiteral("港口路1号"));
    QCOMPARE(grid_->TextMatrix(4, 1), QStringLiteral("东方海运"));
    QCOMPARE(grid_->TextMatrix(4, 2), kCountry);
    QCOMPARE(grid_->TextMatrix(4, 3), QStringLiteral("+30 210 1"));
    qint64 previous = std::numeric_limits<qint64>::max();
    for (int row = 1; row < grid_->Rows(); ++row) {
        const qint64 id = grid_->TextMatrix(row, 5).toLongLong();
        QVERIFY(id < previous);
        previous = id;
    }
    QVERIFY(grid_->ColHidden(5));
}

void TestQueryScreen::secondQueryReplacesTheFirst() {
    runQuery(QString(), kCountry);
    runQuery(QStringLiteral("O'Brien"), QString());
    QCOMPARE(names(), QStringList{"O'Brien Shipping Co., Ltd."});
    checkNumbering();
}

void TestQueryScreen::enterRunsTheQuery_data() {
    QTest::addColumn<QString>("field");
    QTest::newRow("Text1") << "Text1";
    QTest::newRow("Text2") << "Text2";
}

void TestQueryScreen::enterRunsTheQuery() {
    QFETCH(QString, field);
    QLineEdit* target = field == QLatin1String("Text1") ? text1_ : text2_;
    text1_->clear();
    text2_->setText(kCountry);
    QTest::keyClicks(text1_, QStringLiteral("Blue"));
    QTest::keyClick(target, Qt::Key_Return);
    QCOMPARE(names(), QStringList{"Blue 100% Lines"});
}

void TestQueryScreen::stopDuringAFillKeepsTheRowsSoFar() {
    duringNextFill([this] { QTest::mouseClick(cmdStop_, Qt::LeftButton); });
    runQuery(QString(), QString());
    checkStoppedWhereTheTestActed();
    checkNumbering();
    QCOMPARE(grid_->TextMatrix(1, 5), QStringLiteral("40000"));
    // Sizing ran: the number column fits its header now, narrower than at design time.
    QVERIFY(grid_->columnWidth(0) < 51);
    QVERIFY(grid_->ColHidden(5));
}

void TestQueryScreen::stopWhenIdleDoesNothing() {
    runQuery(QString(), kCountry);
    QTest::mouseClick(cmdStop_, Qt::LeftButton);
    QCOMPARE(grid_->Rows(), 5);
    runQuery(QString(), kCountry);
    QCOMPARE(grid_->Rows(), 5);
}

void TestQueryScreen::newQueryDuringAFillReplacesIt() {
    duringNextFill([this] { runQuery(QString(), kCountry); });
    runQuery(QString(), QString());
    QCOMPARE(names(), (QStringList{"华通船务", "Blue 100% Lines", "东方海运", "远洋航运有限公司"}));
    checkNumbering();
}

void TestQueryScreen::manyEntersDuringAFillRunOneFillAtATime() {
    // Each Enter comes while a fill adds rows; the last one asks for the test country. A fill
    // that nested would run inside the key press and yield from within this handler.
    constexpr int kEnters = 6;
    int enters = 0;
    int depth = 0;
    int deepest = 0;
    const auto connection = connect(form_, &frmquery::FillYield, this, [&](qint64 rowsSoFar) {
        deepest = qMax(deepest, ++depth);
        if (rowsSoFar == kActAtRow && enters < kEnters) {
            ++enters;
            text2_->setText(enters == kEnters ? kCountry : QString());
            QTest::keyClick(text2_, Qt::Key_Return);
        }
        --depth;
    });
    runQuery(QString(), QString());
    disconnect(connection);
    QCOMPARE(enters, kEnters);
    QCOMPARE(deepest, 1);
    QCOMPARE(names(), (QStringList{"华通船务", "Blue 100% Lines", "东方海运", "远洋航运有限公司"}));
    checkNumbering();
    QVERIFY(grid_->columnWidth(0) < 51); // sized once, at the end
}

void TestQueryScreen::gridModelStaysSoundThroughFills() {
    QAbstractItemModelTester tester(grid_->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    duringNextFill([this] { runQuery(QString(), kCountry); });
    runQuery(QString(), QString());
    QCOMPARE(grid_->Rows(), 5);
    duringNextFill([this] { QTest::mouseClick(cmdStop_, Qt::LeftButton); });
    runQuery(QString(), QString());
    runQuery(QString(), QString());
    QTRY_COMPARE(grid_->model()->rowCount(), kAllRows);
}

// As soon as the rows the grid has room for are there, the fill lets the grid show them: the
// view knows them before the next row is read, not only at the fill's next timed yield.
void TestQueryScreen::firstScreenfulIsShownAtOnce() {
    qint64 screenful = 0;
    int shownThen = -1;
    const auto connection = connect(form_, &frmquery::FillYield, this, [&](qint64 rowsSoFar) {
        if (screenful == 0)
            screenful = grid_->RowsInView();
        if (rowsSoFar == screenful && shownThen < 0)
            shownThen = grid_->model()->rowCount();
    });
    runQuery(QString(), QString());
    disconnect(connection);
    QVERIFY(screenful > 1 && screenful < kAllRows);
    QCOMPARE(shownThen, int(screenful));
}

void TestQueryScreen::doubleClick_data() {
    QTest::addColumn<QString>("country");
    QTest::addColumn<int>("row");
    QTest::addColumn<qint64>("expectedId"); // -2: nothing opens
    QTest::newRow("fresh grid") << "<fresh>" << 1 << qint64(-2);
    QTest::newRow("after an empty result") << "没有这个国家" << 1 << qint64(-2);
    QTest::newRow("id above 32767") << kCountry << 1 << qint64(40000);
    QTest::newRow("another row") << kCountry << 2 << qint64(-3);
}

void TestQueryScreen::doubleClick() {
    QFETCH(QString, country);
    QFETCH(int, row);
    QFETCH(qint64, expectedId);
    if (country != QLatin1String("<fresh>"))
        runQuery(QString(), country);
    QCoreApplication::processEvents();
    if (expectedId == -3)
        expectedId = grid_->TextMatrix(row, 5).toLongLong();
    frminfo& info = frminfo::instance();
    info.shipId = -7;
    const QRect cell = grid_->visualRect(grid_->model()->index(row - 1, 1));
    QTest::mouseDClick(grid_->viewport(), Qt::LeftButton, {}, cell.center());
    if (expectedId == -2) {
        QCOMPARE(info.shipId, qint64(-7));
        QVERIFY(!info.IsOpen());
    } else {
        QCOMPARE(info.shipId, expectedId);
        QVERIFY(info.IsOpen());
        QVERIFY(form_->IsOpen());
    }
}

void TestQueryScreen::closingDuringAFillStopsItAndReopeningIsFresh() {
    duringNextFill([this] {
        // Typed during the fill; the reopened screen starts empty all the same.
        text1_->setText(QStringLiteral("远洋"));
        text2_->setText(kCountry);
        form_->close();
    });
    runQuery(QString(), QString());
    QVERIFY(!form_->IsOpen());
    QVERIFY2(grid_->Rows() - 1 <= kActAtRow + 1, qPrintable(QString::number(grid_->Rows())));
    form_->Show();
    QCOMPARE(grid_->Rows(), 50);
    QVERIFY(text1_->text().isEmpty() && text2_->text().isEmpty());
    QCOMPARE(grid_->columnWidth(1), 92);
    QVERIFY(grid_->TextMatrix(1, 1).isEmpty());
}

void TestQueryScreen::keysPressTheFocusedButton_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void TestQueryScreen::keysPressTheFocusedButton() {
    QFETCH(int, key);
    const Qt::KeyboardModifiers modifiers =
        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
    const auto pressFocused = [&](QWidget* button) {
        button->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), button);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    };

    text1_->setText(QStringLiteral("Blue"));
    text2_->setText(kCountry);
    pressFocused(cmdQuery_);
    QCOMPARE(names(), QStringList{"Blue 100% Lines"});

    // The stop button, pressed from the keyboard in the middle of a fill, ends it.
    text1_->clear();
    text2_->clear();
    bool stopPressed = false;
    duringNextFill([&] {
        pressFocused(cmdStop_);
        stopPressed = true;
    });
    pressFocused(cmdQuery_);
    QVERIFY(stopPressed);
    checkStoppedWhereTheTestActed();
    checkNumbering();
}

void TestQueryScreen::clickHeader(int section) {
    QCoreApplication::processEvents(); // the view learns of the rows a fill added
    QHeaderView* header = grid_->horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
}

QList<qint64> TestQueryScreen::idsInOrder(const QString& country, const QString& column,
                                          bool descending) {
    db::Recordset rs;
    rs.Open(shipowner::SearchQuery(shipowner::ListSearch(QString(), country), {column, descending}),
            modGeneral::dbConnection(), db::adOpenStatic, db::adLockReadOnly);
    QList<qint64> ids;
    for (; !rs.AtEnd(); rs.MoveNext())
        ids.append(rs.Field(shipowner::kId).toLongLong());
    return ids;
}

// A header sorts, a second click on it reverses; the numbers' header sorts nothing; a new query
// keeps the order until the screen closes.
void TestQueryScreen::headerSortsTheResult() {
    QHeaderView* header = grid_->horizontalHeader();
    runQuery(QString(), kCountry);
    const QStringList byName = {"东方海运", "华通船务", "远洋航运有限公司", "Blue 100% Lines"};
    clickHeader(1);
    QCOMPARE(names(), byName);
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    checkNumbering();
    clickHeader(1);
    QStringList reversed = byName;
    std::reverse(reversed.begin(), reversed.end());
    QCOMPARE(names(), reversed);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader(0);
    QCOMPARE(names(), reversed);
    QCOMPARE(header->sortIndicatorSection(), 1);
    QTest::keyClick(text2_, Qt::Key_Return);
    QCOMPARE(names(), reversed);
    clickHeader(2); // every row has the same country: ties newest first
    QCOMPARE(form_->ShownIds(), idsInOrder(kCountry, QString(), false));
    form_->close();
    form_->Show();
    QVERIFY(!header->isSortIndicatorShown());
    runQuery(QString(), kCountry);
    QCOMPARE(names(), QStringList({"华通船务", "Blue 100% Lines", "东方海运", "远洋航运有限公司"}));
}

void TestQueryScreen::headerClickDuringAFillRestartsItSorted() {
    duringNextFill([this] { clickHeader(4); });
    runQuery(QString(), QString());
    QCOMPARE(grid_->Rows() - 1, kAllRows);
    QCOMPARE(form_->ShownIds(), idsInOrder(QString(), QStringLiteral("adrress"), false));
    checkNumbering();
}

void TestQueryScreen::enterOpensTheRow_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
}

void TestQueryScreen::enterOpensTheRow() {
    QFETCH(int, key);
    runQuery(QString(), kCountry);
    QCoreApplication::processEvents();
    frminfo& info = frminfo::instance();
    info.shipId = -7;
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {},
                      grid_->visualRect(grid_->model()->index(1, 1)).center());
    QCOMPARE(grid_->Row(), 2);
    QTest::keyClick(grid_, Qt::Key(key));
    QCOMPARE(info.shipId, grid_->TextMatrix(2, 5).toLongLong());
    QVERIFY(info.IsOpen());
}

void TestQueryScreen::copiesTheSelectedRows() {
    runQuery(QString(), kCountry);
    QCoreApplication::processEvents();
    const auto rowCentre = [this](int row) {
        return grid_->visualRect(grid_->model()->index(row - 1, 1)).center();
    };
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, rowCentre(1));
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(3));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(grid_, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("序号\t船东名称\t国家\t联系电话\t地址\n"
                            "1\t华通船务\t测试国\t\t港口路1号\n"
                            "3\t东方海运\t测试国\t+30 210 1\t\n"));
}

QTEST_MAIN(TestQueryScreen)
#include "tst_frmquery.moc"
