// What a screen reader learns about each window, read through Qt's accessibility interfaces as the
// desktop's accessibility bridge reads them, without a bus.
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "screens/ResultGrid.h"
#include "screens/ResultGridAccessible.h"
#include "screens/frminfo.h"
#include "screens/frmquery.h"
#include "shell/frmAbout.h"
#include "shell/frmmain.h"
#include "shell/frmsplash.h"
#include "support/TestSupport.h"

#include <QAccessible>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QtTest>

namespace {

platform::Form& Window(const QString& name) {
    if (name == QLatin1String("frmquery"))
        return frmquery::instance();
    if (name == QLatin1String("frminfo"))
        return frminfo::instance();
    if (name == QLatin1String("frmmain"))
        return frmmain::instance();
    if (name == QLatin1String("frmAbout"))
        return frmAbout::instance();
    return frmsplash::instance();
}

QAccessibleInterface* Accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

// Every node of a window's tree, depth first. A table's cells are left out: they hold data, and
// an empty cell is a value, not a missing name; the grid's own test reads them.
void Walk(QAccessibleInterface* node, QList<QAccessibleInterface*>& found) {
    found << node;
    if (node->tableInterface())
        return;
    for (int i = 0; i < node->childCount(); ++i)
        if (QAccessibleInterface* child = node->child(i))
            Walk(child, found);
}

QString Describe(QAccessibleInterface* node) {
    return QStringLiteral("%1 (role %2)")
        .arg(node->object() ? node->object()->objectName() : QStringLiteral("?"))
        .arg(node->role());
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void everyFocusableControlHasAName_data();
    void everyFocusableControlHasAName();
    void controlsAreNamedByWhatTheUserSees_data();
    void controlsAreNamedByWhatTheUserSees();
    void detailBoxesAreNamedByTheirLabels();
    void gridCellsNameTheirColumns();
    void gridTellsOnlyTheColumnsShown();
    void gridFocusIsTheCellClicked_data();
    void gridFocusIsTheCellClicked();
    void menuLabelsArePressable();
    void statusPanelsSayWhatTheyShow();

private:
    SystemDirFixture dir_;
};

void TestAccessibility::initTestCase() {
    platform::SetUpApplication();
    platform::MsgBoxSeam::Intercept();
}

void TestAccessibility::cleanup() {
    for (platform::Form* form : platform::Form::OpenForms())
        form->close();
}

void TestAccessibility::everyFocusableControlHasAName_data() {
    QTest::addColumn<QString>("window");
    for (const char* window : {"frmquery", "frminfo", "frmmain", "frmAbout", "frmsplash"})
        QTest::newRow(window) << QString::fromLatin1(window);
}

void TestAccessibility::everyFocusableControlHasAName() {
    QFETCH(QString, window);
    platform::Form& form = Window(window);
    form.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QList<QAccessibleInterface*> nodes;
    Walk(Accessible(&form), nodes);
    QStringList nameless;
    QList<QObject*> reached;
    for (QAccessibleInterface* node : nodes) {
        if (!node->state().focusable)
            continue;
        reached << node->object();
        if (node->text(QAccessible::Name).trimmed().isEmpty())
            nameless << Describe(node);
    }
    QVERIFY2(nameless.isEmpty(), qPrintable(QStringLiteral("nameless: ") + nameless.join(", ")));

    // The walk must reach every control the user can tab to, or the check above proves nothing.
    for (QWidget* widget : form.findChildren<QWidget*>()) {
        if (widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus))
            QVERIFY2(reached.contains(widget), qPrintable(widget->objectName()));
    }
}

void TestAccessibility::controlsAreNamedByWhatTheUserSees_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    const int edit = QAccessible::EditableText, button = QAccessible::Button;
    const int window = QAccessible::Window;
    QTest::newRow("query window") << "frmquery"
                                  << ""
                                  << "船东船舶查询" << window;
    QTest::newRow("detail window") << "frminfo"
                                   << ""
                                   << "船东船舶详细信息" << window;
    QTest::newRow("main window") << "frmmain"
                                 << ""
                                 << "Orvandel" << window;
    QTest::newRow("about window") << "frmAbout"
                                  << ""
                                  << "关于 Orvandel" << window;
    QTest::newRow("company box") << "frmquery"
                                 << "Text1"
                                 << "船东名称：" << edit;
    QTest::newRow("country box") << "frmquery"
                                 << "Text2"
                                 << "国家：" << edit;
    QTest::newRow("query button") << "frmquery"
                                  << "CmdQuery"
                                  << "查询" << button;
    QTest::newRow("stop button") << "frmquery"
                                 << "CmdStop"
                                 << "停止" << button;
    QTest::newRow("grid") << "frmquery"
                          << "Grid"
                          << "查询结果" << int(QAccessible::Table);
    QTest::newRow("save button") << "frminfo"
                                 << "CmdQuery"
                                 << "增加" << button;
    QTest::newRow("close button") << "frminfo"
                                  << "CmdStop"
                                  << "退出" << button;
    QTest::newRow("delete button") << "frminfo"
                                   << "SmartNetXpButton1"
                                   << "删除" << button;
    QTest::newRow("menu query") << "frmmain"
                                << "Label1_3"
                                << "船东船舶" << button;
    QTest::newRow("menu add") << "frmmain"
                              << "Label1_2"
                              << "添加信息" << button;
    QTest::newRow("menu about") << "frmmain"
                                << "Label1_1"
                                << "关于我们" << button;
    QTest::newRow("menu exit") << "frmmain"
                               << "Label1_0"
                               << "退出系统" << button;
    QTest::newRow("about ok") << "frmAbout"
                              << "cmdOK"
                              << "确定" << button;
    QTest::newRow("about sysinfo") << "frmAbout"
                                   << "cmdSysInfo"
                                   << "系统信息(S)..." << button;
}

void TestAccessibility::controlsAreNamedByWhatTheUserSees() {
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(int, role);
    platform::Form& form = Window(window);
    form.Show();
    QWidget* widget = control.isEmpty() ? &form : form.findChild<QWidget*>(control);
    QVERIFY(widget);
    QAccessibleInterface* node = Accessible(widget);
    QVERIFY(node);
    QCOMPARE(node->text(QAccessible::Name), name);
    QCOMPARE(int(node->role()), role);
}

void TestAccessibility::detailBoxesAreNamedByTheirLabels() {
    frminfo& form = frminfo::instance();
    form.shipId = -1;
    form.Show();
    for (int box = 0; box < frminfo::kBoxes; ++box) {
        auto* label = form.findChild<QLabel*>(QStringLiteral("lbl_%1").arg(box));
        QWidget* field = form.findChild<QWidget*>(QStringLiteral("Txt_%1").arg(box));
        QVERIFY(label && field);
        QCOMPARE(Accessible(field)->text(QAccessible::Name), label->text());
    }
    // The labels point at their boxes too, so a reader can go either way.
    auto* country = form.findChild<QLabel*>(QStringLiteral("lbl_1"));
    const auto relations = Accessible(country)->relations(QAccessible::Labelled);
    QCOMPARE(relations.size(), 1);
    QCOMPARE(relations.first().first->object()->objectName(), QStringLiteral("Txt_1"));
}

void TestAccessibility::gridCellsNameTheirColumns() {
    frmquery& form = frmquery::instance();
    form.Show();
    QAccessibleTableInterface* table =
        Accessible(form.findChild<QWidget*>(QStringLiteral("Grid")))->tableInterface();
    QVERIFY(table);
    QTRY_VERIFY(table->rowCount() > 0); // the design rows reach the view after the event loop ran
    // What a reader says beside a cell: its column header.
    QStringList headers;
    for (int column = 0; column < table->columnCount(); ++column) {
        QAccessibleInterface* cell = table->cellAt(0, column);
        QVERIFY(cell && cell->tableCellInterface());
        const auto headerCells = cell->tableCellInterface()->columnHeaderCells();
        QCOMPARE(headerCells.size(), 1);
        headers << headerCells.first()->text(QAccessible::Name);
    }
    QCOMPARE(headers, QStringList({"序号", "船东名称", "国家", "联系电话", "地址"}));
}

namespace {

// Two rows of the design grid with text in every column, the hidden id and the empty last one
// included, as a reader would find them after a query.
ResultGrid* GridWithTwoRows() {
    frmquery& form = frmquery::instance();
    form.Show();
    auto* grid = form.findChild<ResultGrid*>(QStringLiteral("Grid"));
    for (int row = 1; row <= 2; ++row)
        for (int column = 0; column < grid->Cols(); ++column)
            grid->SetTextMatrix(row, column, QStringLiteral("r%1c%2").arg(row).arg(column));
    return grid;
}

} // namespace

void TestAccessibility::gridTellsOnlyTheColumnsShown() {
    // Qt's own table warns of each cell it is asked for beyond its model.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QAccessible")));
    ResultGrid* grid = GridWithTwoRows();
    QAccessibleInterface* node = Accessible(grid);
    QAccessibleTableInterface* table = node->tableInterface();
    QVERIFY(table);
    QTRY_COMPARE(table->rowCount(), 49); // the design rows reach the view after the event loop ran
    QCOMPARE(table->columnCount(), 5);
    QStringList described;
    for (int column = 0; column < table->columnCount(); ++column)
        described << table->columnDescription(column);
    QCOMPARE(described, QStringList({"序号", "船东名称", "国家", "联系电话", "地址"}));

    // A reader walks the children: the header row, then each row's cells, left to right.
    QCOMPARE(node->childCount(), (table->rowCount() + 1) * 5);
    const QList<int> shown{0, 1, 2, 3, 4}; // the grid's columns, by the table's
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        QVERIFY2(child, qPrintable(QString::number(i)));
        QCOMPARE(node->indexOfChild(child), i);
        QCOMPARE(child->parent(), node);
        const int row = i / 5 - 1;
        const int column = i % 5;
        QCOMPARE(child->text(QAccessible::Name), grid->TextMatrix(row + 1, shown[column]));
        // Pointing: the cell under a point of the grid's window.
        const QPoint centre = child->rect().center();
        const QWidget* area = row < 0 ? grid->horizontalHeader()->viewport() : grid->viewport();
        const bool pointable = area->rect().contains(area->mapFromGlobal(centre));
        QCOMPARE(node->childAt(centre.x(), centre.y()) == child, pointable);
        if (row < 0) {
            QCOMPARE(int(child->role()), int(QAccessible::ColumnHeader));
            continue;
        }
        QCOMPARE(int(child->role()), int(QAccessible::Cell));
        QAccessibleTableCellInterface* cell = child->tableCellInterface();
        QVERIFY(cell);
        QCOMPARE(cell->rowIndex(), row);
        QCOMPARE(cell->columnIndex(), column);
        QCOMPARE(table->cellAt(row, column), child);
        QCOMPARE(cell->columnHeaderCells().value(0), node->child(column));
    }
    QVERIFY(!node->child(node->childCount()));
    // Places a reader may ask about that hold no cell.
    for (const QPoint& place : {QPoint(-1, 0), QPoint(0, -1), QPoint(0, 5), QPoint(49, 0)})
        QVERIFY2(!table->cellAt(place.x(), place.y()),
                 qPrintable(QStringLiteral("%1, %2").arg(place.x()).arg(place.y())));
}

void TestAccessibility::gridFocusIsTheCellClicked_data() {
    QTest::addColumn<int>("clicked"); // the grid's column
    QTest::addColumn<int>("column");  // the table's column that has the focus
    QTest::newRow("name") << 1 << 1;
    QTest::newRow("address") << 4 << 4;
    QTest::newRow("the empty last column") << 6 << 4;
}

void TestAccessibility::gridFocusIsTheCellClicked() {
    QFETCH(int, clicked);
    QFETCH(int, column);
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QAccessible")));
    ResultGrid* grid = GridWithTwoRows();
    QTRY_COMPARE(grid->model()->rowCount(), 49);
    QVERIFY(QTest::qWaitForWindowActive(grid->window()));
    const QRect cell = grid->visualRect(grid->model()->index(1, clicked));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(grid->currentIndex().column(), clicked);
    QTRY_VERIFY(grid->hasFocus());
    // What a reader asks of the window, and the child its focus events name.
    QAccessibleInterface* node = Accessible(grid);
    QAccessibleInterface* focus = node->focusChild();
    QVERIFY(focus && focus->tableCellInterface());
    QCOMPARE(node->child(ResultGridAccessibility::ChildIndex(*grid, grid->currentIndex())), focus);
    QCOMPARE(focus->tableCellInterface()->rowIndex(), 1);
    QCOMPARE(focus->tableCellInterface()->columnIndex(), column);
    QCOMPARE(focus->text(QAccessible::Name), QStringLiteral("r2c%1").arg(column));
    QVERIFY(focus->state().focused);
}

void TestAccessibility::menuLabelsArePressable() {
    frmmain& form = frmmain::instance();
    form.Show();
    QAccessibleInterface* about = Accessible(form.findChild<QWidget*>(QStringLiteral("Label1_1")));
    QVERIFY(about->actionInterface());
    QVERIFY(about->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::pressAction()));
    QVERIFY(!about->state().focusable); // the menu stays a mouse menu for the keyboard
    QVERIFY(!frmAbout::instance().IsOpen());
    about->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(frmAbout::instance().IsOpen());
}

void TestAccessibility::statusPanelsSayWhatTheyShow() {
    frmmain& form = frmmain::instance();
    form.Show();
    auto* bar = form.findChild<QStatusBar*>(QStringLiteral("StatusBar1"));
    QVERIFY(bar);
    const QList<QLabel*> panels = bar->findChildren<QLabel*>();
    QCOMPARE(panels.size(), 4);
    for (QLabel* panel : panels) {
        QVERIFY(!panel->text().isEmpty());
        QCOMPARE(Accessible(panel)->text(QAccessible::Name), panel->text());
    }
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
