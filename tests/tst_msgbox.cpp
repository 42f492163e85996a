// Message boxes as the user sees them: shown for real through the platform call, their buttons
// read and pressed.
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QStyle>
#include <QtTest>

using platform::MsgBox;
namespace seam = platform::MsgBoxSeam;

class TestMsgBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void buttonsSpeakChinese_data();
    void buttonsSpeakChinese();
    void textStartsAtTheMarginWithoutIcon_data();
    void textStartsAtTheMarginWithoutIcon();
    void wideEnoughForItsTitle_data();
    void wideEnoughForItsTitle();
};

void TestMsgBox::initTestCase() {
    platform::SetUpApplication();
}

void TestMsgBox::cleanup() {
    seam::Release();
}

void TestMsgBox::buttonsSpeakChinese_data() {
    // By name, as the screens pass them: a name with another number than the Windows one shows
    // other buttons or another icon.
    QTest::addColumn<int>("style");
    QTest::addColumn<QStringList>("buttons"); // left to right
    QTest::addColumn<int>("icon");            // QMessageBox::Icon
    QTest::addColumn<int>("pressed");         // index into buttons
    QTest::addColumn<int>("answer");
    const QStringList ok{"确定"};
    const QStringList yesNo{"是(&Y)", "否(&N)"};
    QTest::newRow("OK") << int(platform::vbOKOnly) << ok << int(QMessageBox::NoIcon) << 0
                        << int(platform::vbOK);
    QTest::newRow("critical") << int(platform::vbCritical) << ok << int(QMessageBox::Critical) << 0
                              << int(platform::vbOK);
    QTest::newRow("warning") << int(platform::vbExclamation) << ok << int(QMessageBox::Warning) << 0
                             << int(platform::vbOK);
    QTest::newRow("information") << int(platform::vbInformation) << ok
                                 << int(QMessageBox::Information) << 0 << int(platform::vbOK);
    QTest::newRow("yes/no, yes") << int(platform::vbYesNo) << yesNo << int(QMessageBox::NoIcon) << 0
                                 << int(platform::vbYes);
    QTest::newRow("yes/no, no") << int(platform::vbYesNo) << yesNo << int(QMessageBox::NoIcon) << 1
                                << int(platform::vbNo);
    QTest::newRow("question") << (platform::vbYesNo | platform::vbQuestion) << yesNo
                              << int(QMessageBox::Question) << 1 << int(platform::vbNo);
}

void TestMsgBox::buttonsSpeakChinese() {
    QFETCH(int, style);
    QFETCH(QStringList, buttons);
    QFETCH(int, icon);
    QFETCH(int, pressed);
    QFETCH(int, answer);
    // The box is only looked at while it is up; the checks follow once it is answered, so a
    // failing one cannot leave it open.
    bool exposed = false;
    QStringList shownButtons;
    bool buttonPictures = false;
    bool iconShown = false;
    int iconKind = -1;
    seam::WhenShown([&](QMessageBox& box) {
        exposed = QTest::qWaitForWindowExposed(&box);
        QList<QAbstractButton*> inBox = box.buttons();
        std::sort(inBox.begin(), inBox.end(), [](QAbstractButton* a, QAbstractButton* b) {
            return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
        });
        for (QAbstractButton* button : inBox) {
            shownButtons << button->text();
            buttonPictures = buttonPictures || !button->icon().isNull();
        }
        const auto* iconLabel = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"));
        iconShown = iconLabel != nullptr && iconLabel->isVisible() && !iconLabel->pixmap().isNull();
        iconKind = box.icon();
        if (pressed < inBox.size())
            QTest::mouseClick(inBox[pressed], Qt::LeftButton);
        else
            box.reject();
    });
    QCOMPARE(MsgBox(QStringLiteral("是否要删除当前信息？"), style, QStringLiteral("提示:")),
             answer);
    QVERIFY(exposed);
    QCOMPARE(shownButtons, buttons);
    QVERIFY(!buttonPictures);
    QCOMPARE(iconKind, icon);
    QCOMPARE(iconShown, icon != QMessageBox::NoIcon);
}

void TestMsgBox::textStartsAtTheMarginWithoutIcon_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("indented"); // past an icon
    QTest::newRow("text wider than the button")
        << "此时系统信息不可用" << int(platform::vbOKOnly) << false;
    QTest::newRow("buttons wider than the text") << "删除？" << int(platform::vbYesNo) << false;
    QTest::newRow("icon") << "增加成功" << int(platform::vbInformation) << true;
}

void TestMsgBox::textStartsAtTheMarginWithoutIcon() {
    QFETCH(QString, text);
    QFETCH(int, style);
    QFETCH(bool, indented);
    int textLeft = -1;
    int buttonsLeft = -1;
    seam::WhenShown([&](QMessageBox& box) {
        const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (QTest::qWaitForWindowExposed(&box) && label != nullptr) {
            // Where the text itself starts: the label's left plus its alignment's offset.
            const QRect drawn = QStyle::alignedRect(
                label->layoutDirection(), label->alignment(),
                label->fontMetrics().boundingRect(label->text()).size(), label->contentsRect());
            textLeft = label->mapTo(&box, drawn.topLeft()).x();
            buttonsLeft = box.width();
            for (QAbstractButton* button : box.buttons())
                buttonsLeft = qMin(buttonsLeft, button->mapTo(&box, QPoint()).x());
        }
        box.accept();
    });
    MsgBox(text, style);
    QVERIFY(textLeft >= 0);
    if (indented) {
        QVERIFY2(textLeft > 40, qPrintable(QString::number(textLeft)));
    } else {
        QVERIFY2(textLeft <= 12, qPrintable(QString::number(textLeft)));
        QVERIFY2(textLeft <= buttonsLeft, qPrintable(QString::number(textLeft)));
    }
}

void TestMsgBox::wideEnoughForItsTitle_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("title"); // as passed; empty is the application's
    QTest::addColumn<QString>("shown");
    // The boxes the screens show.
    QTest::newRow("saved") << "修改成功" << int(platform::vbInformation) << "提示:"
                           << "提示:";
    QTest::newRow("tool missing") << "此时系统信息不可用" << int(platform::vbOKOnly) << ""
                                  << "Orvandel";
    QTest::newRow("delete?") << "是否要删除当前信息？" << int(platform::vbYesNo) << "提示:"
                             << "提示:";
    // Short texts under a longer title.
    QTest::newRow("short text") << "好" << int(platform::vbOKOnly) << "数据处理"
                                << "数据处理";
    QTest::newRow("short text, application title") << "好" << int(platform::vbOKOnly) << ""
                                                   << "Orvandel";
}

void TestMsgBox::wideEnoughForItsTitle() {
    QFETCH(QString, text);
    QFETCH(int, style);
    QFETCH(QString, title);
    QFETCH(QString, shown);
    int width = 0;
    QString boxTitle;
    seam::WhenShown([&](QMessageBox& box) {
        if (QTest::qWaitForWindowExposed(&box)) {
            width = box.width();
            boxTitle = box.windowTitle();
        }
        box.reject();
    });
    MsgBox(text, style, title);
    QCOMPARE(boxTitle, shown);
    // A modest title bar: the title in a bold sans of 11 points (15 pixels), the window's icon
    // and three buttons of 24 pixels.
    QFont titleFont(QStringLiteral("Sans"));
    titleFont.setPixelSize(15);
    titleFont.setBold(true);
    const int needed = QFontMetrics(titleFont).horizontalAdvance(shown) + 16 + 3 * 24;
    QVERIFY2(width >= needed, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(needed)));
}

QTEST_MAIN(TestMsgBox)
#include "tst_msgbox.moc"
