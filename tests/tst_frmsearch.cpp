#include "data/CompanySearch.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frmquery.h"
#include "screens/frmsearch.h"
#include "session/modGeneral.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using Typed = QMap<QString, QString>; // a field's object name, and what is typed into it
using shipowner::CompanySearch;

namespace {
const QString kCountry = QStringLiteral("船队国");
} // namespace

class TestSearchWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void listsWhatTheDataLayerFinds_data();
    void listsWhatTheDataLayerFinds();
    void badBoundIsRefused_data();
    void badBoundIsRefused();
    void totalsLineAddsUpTheResult();
    void tabFollowsTheLayoutAndEscCloses();
    void controlFOpensItFromTheQueryScreen();

private:
    QLineEdit* field(const QString& name) const;
    void type(const Typed& typed);
    QList<qint64> found(const CompanySearch& search) const;

    SystemDirFixture dir_;
    frmsearch* window_ = nullptr;
    frmquery* query_ = nullptr;
};

void TestSearchWindow::initTestCase() {
    platform::SetUpApplication();
    db::Connection& connection = modGeneral::dbConnection();
    dir_.CreateDatabase(connection);
    const QList<QMap<QString, QVariant>> rows = {
        {{"公司名称", "Alpha Tankers"},
         {"tel", "+30 210 555"},
         {"Tank_No", 5},
         {"Tank_Dwt", 500000}},
        {{"公司名称", "Beta Bulk"},
         {"fax", "+86 21 1234"},
         {"Tank_No", 6},
         {"Tank_Dwt", 499999},
         {"Bulk_NO", 10},
         {"Bulk_Dwt", 600000}},
        {{"公司名称", "远洋航运"}, {"adrress", "上海 外滩 1号"}, {"Gas_No", 2}, {"Gas_Cum", 80000}},
    };
    for (QMap<QString, QVariant> row : rows) {
        row.insert(QStringLiteral("国家"), kCountry);
        InsertCompany(connection, row);
    }
    InsertCompany(connection, {{"公司名称", "Elsewhere"}, {"国家", "别国"}, {"Tank_No", 9}});
    window_ = &frmsearch::instance();
    query_ = &frmquery::instance();
}

void TestSearchWindow::init() {
    window_->Show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
    platform::MsgBoxSeam::Intercept();
}

void TestSearchWindow::cleanup() {
    for (QLineEdit* edit : window_->findChildren<QLineEdit*>())
        edit->clear();
    window_->close();
    query_->close();
    platform::MsgBoxSeam::Release();
}

QLineEdit* TestSearchWindow::field(const QString& name) const {
    auto* edit = window_->findChild<QLineEdit*>(name);
    if (edit == nullptr)
        qFatal("no field %s", qPrintable(name));
    return edit;
}

void TestSearchWindow::type(const Typed& typed) {
    // Keys for what a keyboard types; the rest as an input method would give it.
    for (auto it = typed.begin(); it != typed.end(); ++it) {
        bool ascii = true;
        for (const QChar c : it.value())
            ascii = ascii && c.unicode() < 0x80;
        if (ascii)
            QTest::keyClicks(field(it.key()), it.value());
        else
            field(it.key())->insert(it.value());
    }
}

QList<qint64> TestSearchWindow::found(const CompanySearch& search) const {
    db::Recordset rs;
    rs.Open(shipowner::SearchQuery(search), modGeneral::dbConnection(), db::adOpenStatic,
            db::adLockReadOnly);
    QList<qint64> ids;
    for (; !rs.AtEnd(); rs.MoveNext())
        ids.append(rs.Field(shipowner::kId).toLongLong());
    return ids;
}

void TestSearchWindow::listsWhatTheDataLayerFinds_data() {
    QTest::addColumn<Typed>("typed");
    QTest::addColumn<int>("expected"); // how many companies
    QTest::newRow("telephone") << Typed{{"txt_tel", "+30"}} << 1;
    QTest::newRow("fax") << Typed{{"txt_fax", "1234"}} << 1;
    QTest::newRow("address") << Typed{{"txt_adrress", "外滩"}} << 1;
    QTest::newRow("at least, bound included") << Typed{{"min_Tank_No", "5"}} << 3;
    QTest::newRow("thousands separators")
        << Typed{{"min_Tank_Dwt", "500,000"}, {"txt_国家", kCountry}} << 1;
    QTest::newRow("full-width digits") << Typed{{"max_Tank_No", "５"}, {"txt_国家", kCountry}} << 2;
    QTest::newRow("range and text")
        << Typed{{"min_Bulk_Dwt", "1"}, {"max_Bulk_Dwt", "600000"}, {"txt_公司名称", "bulk"}} << 1;
    QTest::newRow("traditional for simplified") << Typed{{"txt_公司名称", "遠洋"}} << 1;
    QTest::newRow("pinyin initials") << Typed{{"txt_公司名称", "yyhy"}} << 1;
}

// Enter in any field runs the search into the query screen's grid.
void TestSearchWindow::listsWhatTheDataLayerFinds() {
    QFETCH(Typed, typed);
    QFETCH(int, expected);
    type(typed);
    QString problem;
    const std::optional<CompanySearch> search = window_->Conditions(&problem);
    QVERIFY2(search, qPrintable(problem));
    QTest::keyClick(field(typed.firstKey()), Qt::Key_Return);
    QVERIFY(query_->isVisible());
    const QList<qint64> ids = found(*search);
    QCOMPARE(ids.size(), expected);
    QCOMPARE(query_->ShownIds(), ids);
    QVERIFY(platform::MsgBoxSeam::Taken().isEmpty());
}

void TestSearchWindow::badBoundIsRefused_data() {
    QTest::addColumn<Typed>("typed");
    QTest::addColumn<QString>("badField");
    QTest::addColumn<QString>("message");
    QTest::newRow("letters") << Typed{{"min_Tank_No", "5a"}} << "min_Tank_No"
                             << "“油轮艘数”的下限不是整数：请只输入数字。";
    QTest::newRow("negative") << Typed{{"max_Gas_Cum", "-1"}} << "max_Gas_Cum"
                              << "“气体船舱容（立方米）”的上限不是整数：请只输入数字。";
    QTest::newRow("beyond any number")
        << Typed{{"min_Cont_TEU", "99999999999999999999"}} << "min_Cont_TEU"
        << "“集装箱船箱位（TEU）”的下限不是整数：请只输入数字。";
    QTest::newRow("upside down") << Typed{{"min_Bulk_NO", "7"}, {"max_Bulk_NO", "3"}}
                                 << "min_Bulk_NO"
                                 << "“散货船艘数”的下限大于上限。";
}

// Said as it is typed, and refused when asked for: the grid is not touched.
void TestSearchWindow::badBoundIsRefused() {
    QFETCH(Typed, typed);
    QFETCH(QString, badField);
    QFETCH(QString, message);
    type(typed);
    QCOMPARE(window_->findChild<QLabel*>(QStringLiteral("lblProblem"))->text(), message);
    QTest::mouseClick(window_->findChild<SmartNetXpButton*>(QStringLiteral("CmdSearch")),
                      Qt::LeftButton);
    const QList<platform::MsgBoxSeam::Shown> shown = platform::MsgBoxSeam::Taken();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().text, message);
    QCOMPARE(shown.first().style, int(platform::vbExclamation));
    QVERIFY(!query_->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), field(badField)); // once the window is active
    // Mended, it runs.
    field(badField)->clear();
    QVERIFY(window_->findChild<QLabel*>(QStringLiteral("lblProblem"))->text().isEmpty());
}

void TestSearchWindow::totalsLineAddsUpTheResult() {
    type({{"txt_国家", kCountry}, {"min_Tank_No", "1"}});
    QTest::keyClick(field(QStringLiteral("min_Tank_No")), Qt::Key_Return);
    const QString totals = window_->findChild<QLabel*>(QStringLiteral("lblTotals"))->text();
    QVERIFY2(totals.startsWith(QStringLiteral(
                 "共 2 家船东（按字符 2 家，按繁简、全半角或大小写 0 家，按拼音 0 家）。")),
             qPrintable(totals));
    QVERIFY2(totals.contains(QStringLiteral("油轮 11 艘，999,999 载重吨")), qPrintable(totals));
    QVERIFY(totals.contains(QStringLiteral("散货船 10 艘，600,000 载重吨")));
    QVERIFY(totals.contains(QStringLiteral("气体船 0 艘，0 立方米")));
}

void TestSearchWindow::tabFollowsTheLayoutAndEscCloses() {
    QStringList expected = {"txt_公司名称", "txt_国家", "txt_tel", "txt_fax", "txt_adrress"};
    for (const shipowner::ShipType& ship : shipowner::ShipTypes())
        for (const QString& column : {ship.countColumn, ship.sizeColumn})
            expected << QStringLiteral("min_") + column << QStringLiteral("max_") + column;
    expected << "CmdSearch"
             << "CmdClose"
             << "txt_公司名称";
    QCOMPARE(QApplication::focusWidget()->objectName(), expected.first());
    QStringList visited;
    for (qsizetype i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(visited, expected.mid(1));
    // Every field is named for a screen reader, by its label or by its own name.
    const QList<QLabel*> labels = window_->findChildren<QLabel*>();
    for (QLineEdit* edit : window_->findChildren<QLineEdit*>()) {
        const bool labelled = !edit->accessibleName().isEmpty() ||
                              std::any_of(labels.cbegin(), labels.cend(),
                                          [edit](QLabel* l) { return l->buddy() == edit; });
        QVERIFY2(labelled, qPrintable(edit->objectName()));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!window_->isVisible());
}

void TestSearchWindow::controlFOpensItFromTheQueryScreen() {
    window_->close();
    query_->Show();
    QVERIFY(QTest::qWaitForWindowActive(query_));
    QTest::keyClick(query_, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(window_->isVisible());
}

QTEST_MAIN(TestSearchWindow)
#include "tst_frmsearch.moc"
