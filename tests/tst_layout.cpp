// Sizes and looks the layouts fix, on the real windows: label and panel geometry, the About box's
// default button, and the grid's current cell.
#include "platform/CommonControls.h"
#include "platform/Fonts.h"
#include "screens/ResultGrid.h"
#include "screens/frminfo.h"
#include "screens/frmquery.h"
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
    void latinLettersAreHalfWidthBitmaps_data();
    void latinLettersAreHalfWidthBitmaps();
    void labelsSizedToTheirText_data();
    void labelsSizedToTheirText();
    void menuLabelsGrowWithTheirFont();
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
    row("Bulk_Dwt", 5, 4080, 2400, 720);
    row("Gas_No", 6, 375, 2805, 540);
    row("Gas_Cum", 7, 4170, 2790, 630);
    row("Chem_No", 8, 285, 3165, 630);
    row("Chem_Dwt", 9, 4080, 3165, 720);
    row("Cont_No", 10, 285, 3555, 630);
    row("Cont_TEU", 11, 4080, 3585, 720);
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
    // Latin captions at six pixels a character: where the layout puts them, give or take the
    // pixel that twips lose when divided.
    QVERIFY2(qAbs(label->x() - pixels.x()) <= 1,
             qPrintable(QStringLiteral("left %1, laid out %2").arg(label->x()).arg(pixels.x())));
    QVERIFY2(qAbs(label->width() - pixels.width()) <= 1,
             qPrintable(
                 QStringLiteral("width %1, laid out %2").arg(label->width()).arg(pixels.width())));
}

void TestLayout::latinLettersAreHalfWidthBitmaps_data() {
    QTest::addColumn<int>("pixels");
    QTest::addColumn<int>("width");
    QTest::newRow("9 points") << 12 << 6;
    QTest::newRow("12 points") << 16 << 8;
}

// Beside the Song's bitmaps, Latin letters half a Chinese character wide, black and white, with
// l, 1 and I told apart.
void TestLayout::latinLettersAreHalfWidthBitmaps() {
    QFETCH(int, pixels);
    QFETCH(int, width);
    QFont font(platform::kSongFamily);
    font.setPixelSize(pixels);
    const QFontMetrics metrics(font);
    QCOMPARE(metrics.horizontalAdvance(QStringLiteral("船")), pixels);
    QList<QImage> drawn;
    for (const QString& letter : {QStringLiteral("l"), QStringLiteral("1"), QStringLiteral("I")}) {
        QCOMPARE(metrics.horizontalAdvance(letter), width);
        QImage image(width, pixels, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, letter);
        painter.end();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QVERIFY2(
                    image.pixel(x, y) == qRgb(0, 0, 0) || image.pixel(x, y) == qRgb(255, 255, 255),
                    qPrintable(QStringLiteral("grey in %1 at %2,%3").arg(letter).arg(x).arg(y)));
        drawn << image;
    }
    QVERIFY(drawn[0] != drawn[1]);
    QVERIFY(drawn[1] != drawn[2]);
    QVERIFY(drawn[0] != drawn[2]);
}

namespace {

// Pixels of text drawn by the label at its size, on white: the same count for a label cut to a
// lower height means nothing of its caption was cut off.
int InkOf(QLabel& label) {
    QImage image(label.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ink += image.pixel(x, y) != qRgb(255, 255, 255);
    return ink;
}

int InkAtNaturalSize(const QLabel& label) {
    QLabel free(label.text());
    free.setFont(label.font());
    free.setPalette(label.palette());
    free.adjustSize();
    return InkOf(free);
}

} // namespace

void TestLayout::labelsSizedToTheirText_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QRect>("twips"); // left, top, width, height as the layout gives them
    QTest::newRow("船东船舶") << "frmmain"
                              << "Label1_3" << QRect(990, 2835, 1020, 240);
    QTest::newRow("添加信息") << "frmmain"
                              << "Label1_2" << QRect(1035, 3750, 1020, 240);
    QTest::newRow("关于我们") << "frmmain"
                              << "Label1_1" << QRect(1080, 4575, 1020, 240);
    QTest::newRow("退出系统") << "frmmain"
                              << "Label1_0" << QRect(1020, 5520, 1020, 240);
    QTest::newRow("船东名称") << "frmquery"
                              << "Label1" << QRect(2790, 330, 900, 180);
    QTest::newRow("国家") << "frmquery"
                          << "Label2" << QRect(3150, 795, 540, 180);
    QTest::newRow("双击提示") << "frmquery"
                              << "Label5" << QRect(5775, 75, 2970, 180);
}

void TestLayout::labelsSizedToTheirText() {
    QFETCH(QString, window);
    QFETCH(QString, label);
    QFETCH(QRect, twips);
    platform::Form& form = window == QLatin1String("frmmain")
                               ? static_cast<platform::Form&>(frmmain::instance())
                               : frmquery::instance();
    form.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* shown = form.findChild<QLabel*>(label);
    QVERIFY(shown != nullptr);
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(shown->pos(), pixels.topLeft());
    QCOMPARE(shown->height(), pixels.height());
    const bool chinese = std::all_of(shown->text().cbegin(), shown->text().cend(),
                                     [](QChar c) { return c.unicode() > 0x7f; });
    // A Latin character comes from a face of other widths than the layout's, and whose comma
    // reaches below the Chinese characters.
    if (chinese) {
        QCOMPARE(shown->width(), pixels.width());
        QCOMPARE(InkOf(*shown), InkAtNaturalSize(*shown));
    }
}

void TestLayout::menuLabelsGrowWithTheirFont() {
    frmmain& main = frmmain::instance();
    main.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const auto label = [&main](int index) {
        return main.findChild<QLabel*>(QStringLiteral("Label1_%1").arg(index));
    };
    for (int index = 0; index < 4; ++index)
        QCOMPARE(label(index)->size(), QSize(68, 16)); // 1020 x 240 twips at 12 points
    const QPoint topLeft = label(1)->pos();
    QTest::mouseMove(label(1), QPoint(5, 5));
    // 13 points: one pixel wider for each character, and a pixel taller.
    QTRY_COMPARE(label(1)->size(), QSize(72, 17));
    QCOMPARE(label(1)->pos(), topLeft);
    QCOMPARE(InkOf(*label(1)), InkAtNaturalSize(*label(1)));
    QCOMPARE(label(0)->size(), QSize(68, 16));
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
