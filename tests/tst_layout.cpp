// Sizes and looks the layouts fix, on the real windows: label and panel geometry, the About box's
// default button, and the grid's current cell.
#include "platform/CommonControls.h"
#include "screens/ResultGrid.h"
#include "screens/frminfo.h"
#include "shell/frmAbout.h"
#include "shell/frmmain.h"

#include <QCursor>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleOptionFocusRect>
#include <QtTest>
#include <algorithm>

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void detailLabels_data();
    void detailLabels();
    void menuLabelsWidenWithTheirFont();
    void statusPanelsAreEvenlySpaced();
    void aboutShowsItsDefaultButtonFromTheStart();
    void rowSelectionDrawsNoCellFrame_data();
    void rowSelectionDrawsNoCellFrame();
};

void TestLayout::initTestCase() {
    platform::SetUpApplication();
}

// The display's pointer outlives each test program. Hovering moves the real pointer, and a move to
// where it already is tells nobody: start each test with it off the centred windows.
void TestLayout::init() {
    QCursor::setPos(0, 0);
}

void TestLayout::cleanup() {
    for (platform::Form* form : platform::Form::OpenForms())
        form->close();
}

void TestLayout::detailLabels_data() {
    QTest::addColumn<int>("box");
    QTest::addColumn<QRect>("twips"); // left, top, width, height as the layout gives them
    const auto row = [](const char* caption, int box, int left, int top, int width) {
        QTest::newRow(caption) << box << QRect(left, top, width, 180);
    };
    row("船东名称", 0, 195, 315, 720);
    row("国家", 1, 555, 735, 360);
    row("电话", 14, 555, 1170, 360);
    row("传真", 15, 4440, 1140, 360);
    row("地址", 16, 555, 1590, 360);
    row("Tank_No", 2, 285, 2040, 630);
    row("Tank_Dwt", 3, 4080, 1980, 720);
    row("Bulk_NO", 4, 285, 2430, 630);
    row("Gas_No", 6, 375, 2805, 540);
    row("Gas_Cum", 7, 4170, 2790, 630);
    row("Other_No", 12, 195, 3990, 720);
    row("Other_Dwt", 13, 105, 4365, 810);
}

void TestLayout::detailLabels() {
    QFETCH(int, box);
    QFETCH(QRect, twips);
    const QLabel* label = frminfo::instance().findChild<QLabel*>(QStringLiteral("lbl_%1").arg(box));
    QVERIFY(label != nullptr);
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(label->y(), pixels.y());
    QCOMPARE(label->height(), 12);
    // Right edges line up on the column's edge, whatever face draws the caption.
    QCOMPARE(label->x() + label->width(), (twips.x() + twips.width()) / 15);
    QVERIFY(label->width() >= label->sizeHint().width());
    if (label->text().at(0).unicode() > 0x7f) // Chinese captions: exactly the layout's box
        QCOMPARE(label->geometry(), pixels);
}

void TestLayout::menuLabelsWidenWithTheirFont() {
    frmmain& main = frmmain::instance();
    main.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const auto label = [&main](int index) {
        return main.findChild<QLabel*>(QStringLiteral("Label1_%1").arg(index));
    };
    for (int index = 0; index < 4; ++index)
        QCOMPARE(label(index)->width(), 68); // 1020 twips at 12 points
    QTest::mouseMove(label(1), QPoint(5, 5));
    QTRY_COMPARE(label(1)->width(), 72); // 13 points: one pixel wider for each character
    QCOMPARE(label(0)->width(), 68);
}

void TestLayout::statusPanelsAreEvenlySpaced() {
    frmmain& main = frmmain::instance();
    main.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const auto* bar = main.findChild<QStatusBar*>(QStringLiteral("StatusBar1"));
    QVERIFY(bar != nullptr);
    QList<QLabel*> panels = bar->findChildren<QLabel*>();
    QCOMPARE(panels.size(), 4);
    std::sort(panels.begin(), panels.end(), [bar](QLabel* a, QLabel* b) {
        return a->mapTo(bar, QPoint()).x() < b->mapTo(bar, QPoint()).x();
    });
    QList<int> widths;
    QList<int> gaps;
    for (int i = 0; i < panels.size(); ++i) {
        widths << panels[i]->width();
        if (i > 0)
            gaps << panels[i]->mapTo(bar, QPoint()).x() -
                        (panels[i - 1]->mapTo(bar, QPoint()).x() + panels[i - 1]->width());
    }
    QCOMPARE(widths, (QList<int>{373, 96, 96, 206}));
    QCOMPARE(gaps, (QList<int>{2, 2, 2}));
    QVERIFY(panels.last()->mapTo(bar, QPoint()).x() + panels.last()->width() <= bar->width());
}

void TestLayout::aboutShowsItsDefaultButtonFromTheStart() {
    frmAbout& about = frmAbout::instance();
    auto* ok = about.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    auto* sysInfo = about.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"));
    about.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QVERIFY(ok->isDefault());
    QVERIFY(!sysInfo->isDefault());
    // The default moves with the focus, as Enter does; the focus comes with the window's
    // activation.
    QVERIFY(QTest::qWaitForWindowActive(&about));
    QTest::keyClick(&about, Qt::Key_Tab);
    QTRY_VERIFY(sysInfo->hasFocus());
    QVERIFY(sysInfo->isDefault());
    QVERIFY(!ok->isDefault());
    about.close();
    about.Show();
    QVERIFY(ok->isDefault());
    QVERIFY(!sysInfo->isDefault());
}

void TestLayout::rowSelectionDrawsNoCellFrame_data() {
    QTest::addColumn<int>("behavior");
    QTest::addColumn<bool>("framed");
    QTest::newRow("whole rows") << int(QAbstractItemView::SelectRows) << false;
    QTest::newRow("single cells") << int(QAbstractItemView::SelectItems) << true;
}

void TestLayout::rowSelectionDrawsNoCellFrame() {
    QFETCH(int, behavior);
    QFETCH(bool, framed);
    platform::InitCommonControls();
    ResultGrid grid;
    grid.setSelectionBehavior(QAbstractItemView::SelectionBehavior(behavior));
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    QStyleOptionFocusRect focus;
    focus.initFrom(&grid);
    focus.rect = image.rect();
    focus.state |= QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange; // as a view asks
    grid.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, &grid);
    painter.end();
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y)
        for (int x = 0; x < image.width() && !drawn; ++x)
            drawn = qAlpha(image.pixel(x, y)) != 0;
    QCOMPARE(drawn, framed);
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
