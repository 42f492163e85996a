#include "data/Connection.h"
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "platform/Programs.h"
#include "screens/ResultGrid.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frminfo.h"
#include "screens/frmquery.h"
#include "session/modGeneral.h"
#include "shell/frmAbout.h"
#include "shell/frmmain.h"
#include "shell/frmsplash.h"
#include "support/TestSupport.h"

#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using platform::MsgBoxSeam::Taken;

namespace {

// What is open at one of the splash's ticks.
struct AtTick {
    bool splashOpen;
    bool mainOpen;
    bool operator==(const AtTick& other) const {
        return splashOpen == other.splashOpen && mainOpen == other.mainOpen;
    }
};
char* toString(const AtTick& state) {
    return QTest::toString(
        QStringLiteral("splash %1, main %2")
            .arg(state.splashOpen ? "open" : "closed", state.mainOpen ? "open" : "closed"));
}
} // namespace

// Notes when the pointer leaves a widget.
class LeaveWatch : public QObject {
public:
    explicit LeaveWatch(QWidget* widget) : widget_(widget) { widget_->installEventFilter(this); }
    ~LeaveWatch() override { widget_->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        seen = seen || event->type() == QEvent::Leave;
        return false;
    }
    bool seen = false;

private:
    QWidget* widget_;
};

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void hoverHighlightsTheLastLabelPassed();
    void menuOpensTheScreens();
    void exitClosesEveryWindow();
    void mainCloseBoxLeavesTheOthersWorking();
    void splashPicturePath_data();
    void splashPicturePath();
    void splashPicture_data();
    void splashPicture();
    void splashFileThatIsNoPictureFailsTheLoad();
    void splashHandsOverOnTheSecondTick();
    void splashClosedEarlyNeverOpensTheMain();
    void splashShownBeforeStartupEndsWaitsForIt();
    void splashHasNoWindowName();
    void aboutTextsAndKeys();

private:
    QLabel* menuLabel(int index) const;
    QTimer* splashTimer() const;
    void recordTicks(QObject& context, QList<AtTick>& seen);
    void hover(int index);
    void click(int index);

    SystemDirFixture dir_;
    QTemporaryDir exeDir_;
    frmmain* main_ = nullptr;
};

void TestShell::initTestCase() {
    platform::SetUpApplication();
    dir_.CreateDatabase(modGeneral::dbConnection());
    platform::OverrideExecutableDirectory(exeDir_.path());
    main_ = &frmmain::instance();
}

void TestShell::init() {
    // The display's pointer outlives each test program. Hovering moves the real pointer, and a
    // move to where it already is tells nobody: start with it off the centred windows.
    QCursor::setPos(0, 0);
    platform::MsgBoxSeam::Intercept();
    main_->Show();
    QVERIFY(QTest::qWaitForWindowExposed(main_));
}

void TestShell::cleanup() {
    for (platform::Form* form : platform::Form::OpenForms())
        form->close();
    platform::MsgBoxSeam::Release();
    QDir(exeDir_.path()).removeRecursively();
    QDir().mkpath(exeDir_.path());
}

QLabel* TestShell::menuLabel(int index) const {
    return main_->findChild<QLabel*>(QStringLiteral("Label1_%1").arg(index));
}

void TestShell::hover(int index) {
    QTest::mouseMove(menuLabel(index), QPoint(5, 5));
    QTRY_COMPARE(menuLabel(index)->palette().color(QPalette::WindowText), QColor(0, 0, 255));
}

void TestShell::click(int index) {
    QTest::mouseClick(menuLabel(index), Qt::LeftButton, {}, QPoint(5, 5));
}

void TestShell::hoverHighlightsTheLastLabelPassed() {
    const int normal = 16;    // 12 pt
    const int highlight = 17; // 13 pt
    for (int index = 0; index < 4; ++index) {
        QCOMPARE(menuLabel(index)->font().pixelSize(), normal);
        QVERIFY(menuLabel(index)->font().bold());
        QCOMPARE(menuLabel(index)->palette().color(QPalette::WindowText), QColor(Qt::black));
    }
    const QSize plainSize = menuLabel(2)->size();
    hover(3);
    QCOMPARE(menuLabel(3)->font().pixelSize(), highlight);
    hover(2);
    QCOMPARE(menuLabel(3)->palette().color(QPalette::WindowText), QColor(Qt::black));
    QCOMPARE(menuLabel(3)->font().pixelSize(), normal);
    QCOMPARE(menuLabel(2)->font().pixelSize(), highlight);
    QVERIFY(menuLabel(2)->width() > plainSize.width());
    QCOMPARE(menuLabel(2)->pos(), QPoint(69, 250)); // grows right and down only
    // Off the menu onto the pictures: once the label has been left, it stays highlighted.
    LeaveWatch left(menuLabel(2));
    QTest::mouseMove(main_, QPoint(500, 300));
    QTRY_VERIFY(left.seen);
    QCOMPARE(menuLabel(2)->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(menuLabel(2)->font().pixelSize(), highlight);
    QCOMPARE(menuLabel(2)->focusPolicy(), Qt::NoFocus);
}

void TestShell::menuOpensTheScreens() {
    click(3);
    QVERIFY(frmquery::instance().IsOpen());
    const qsizetype open = platform::Form::OpenForms().size();
    click(3);
    QCOMPARE(platform::Form::OpenForms().size(), open);

    frminfo::instance().shipId = 17;
    click(2);
    QVERIFY(frminfo::instance().IsOpen());
    QCOMPARE(frminfo::instance().shipId, qint64(-1));
    QCOMPARE(frminfo::instance().findChild<SmartNetXpButton*>("CmdQuery")->Caption(),
             QStringLiteral("增加"));

    click(1);
    QVERIFY(frmAbout::instance().IsOpen());
    QVERIFY(main_->IsOpen());
    click(1);
    QCOMPARE(platform::Form::OpenForms().count(&frmAbout::instance()), 1);
}

void TestShell::exitClosesEveryWindow() {
    click(3);
    click(2);
    QCOMPARE(platform::Form::OpenForms().size(), 3);
    QCOMPARE(platform::Form::OpenForms().first(), main_);
    click(0);
    QVERIFY(platform::Form::OpenForms().isEmpty());
    QVERIFY(!main_->isVisible() && !frmquery::instance().isVisible() &&
            !frminfo::instance().isVisible());
}

void TestShell::mainCloseBoxLeavesTheOthersWorking() {
    click(3);
    main_->close();
    QVERIFY(!main_->IsOpen());
    frmquery& query = frmquery::instance();
    QVERIFY(query.IsOpen());
    const qint64 id = InsertCompany(modGeneral::dbConnection(),
                                    {{QStringLiteral("公司名称"), QStringLiteral("爱琴海运")},
                                     {QStringLiteral("国家"), QStringLiteral("希腊")}});
    InsertCompany(modGeneral::dbConnection(), {{QStringLiteral("国家"), QStringLiteral("挪威")}});
    query.findChild<QLineEdit*>("Text2")->setText(QStringLiteral("希腊"));
    QTest::mouseClick(query.findChild<SmartNetXpButton*>("CmdQuery"), Qt::LeftButton);
    QVERIFY(query.IsOpen());
    // The query ran: the one matching company, and only it, is listed.
    const auto* grid = query.findChild<ResultGrid*>("Grid");
    QCOMPARE(grid->Rows(), 2);
    QCOMPARE(grid->TextMatrix(1, 1), QStringLiteral("爱琴海运"));
    QCOMPARE(grid->TextMatrix(1, 5), QString::number(id));
}

void TestShell::splashPicturePath_data() {
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("expected");
    QTest::newRow("root") << "/"
                          << "/images/splash.gif";
    QTest::newRow("without separator") << "/opt/orvandel"
                                       << "/opt/orvandel/images/splash.gif";
    QTest::newRow("with separator") << "/opt/orvandel/"
                                    << "/opt/orvandel/images/splash.gif";
}

void TestShell::splashPicturePath() {
    QFETCH(QString, directory);
    QFETCH(QString, expected);
    QCOMPARE(frmsplash::SplashPicturePath(directory), expected);
}

void TestShell::splashPicture_data() {
    QTest::addColumn<QSize>("pictureSize"); // empty: no picture file
    QTest::newRow("no picture") << QSize();
    QTest::newRow("larger than the window") << QSize(600, 400);
    QTest::newRow("smaller than the window") << QSize(100, 100);
}

void TestShell::splashPicture() {
    QFETCH(QSize, pictureSize);
    main_->close();
    if (pictureSize.isValid()) {
        QDir().mkpath(exeDir_.filePath("images"));
        QImage image(pictureSize, QImage::Format_RGB32);
        image.fill(Qt::red);
        image.setPixel(0, 0, qRgb(0, 0, 255));
        // Any format the loader reads is shown, whatever the file is called.
        QVERIFY(image.save(exeDir_.filePath("images/splash.gif"), "PNG"));
    }
    frmsplash& splash = frmsplash::instance();
    splash.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    QCOMPARE(splash.size(), QSize(453, 341));
    const QImage shown = splash.grab().toImage();
    const QRgb buttonFace = splash.palette().color(QPalette::Button).rgb();
    QCOMPARE(shown.pixel(0, 0), pictureSize.isValid() ? qRgb(0, 0, 255) : buttonFace);
    QCOMPARE(shown.pixel(452, 340), pictureSize.width() > 453 ? qRgb(255, 0, 0) : buttonFace);
    if (pictureSize == QSize(100, 100)) {
        QCOMPARE(shown.pixel(99, 99), qRgb(255, 0, 0));
        QCOMPARE(shown.pixel(100, 50), buttonFace);
    }
    splash.close();
}

void TestShell::splashFileThatIsNoPictureFailsTheLoad() {
    main_->close();
    QDir().mkpath(exeDir_.filePath("images"));
    QFile file(exeDir_.filePath("images/splash.gif"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("GIF89a but not really a picture");
    file.close();
    frmsplash& splash = frmsplash::instance();
    QVERIFY_THROWS_EXCEPTION(std::exception, splash.Show());
    QVERIFY(!splash.IsOpen());
    QVERIFY(!splash.isVisible());
    QVERIFY2(!splashTimer()->isActive(), "nothing may hand over to the main window");
    QVERIFY(!main_->IsOpen());
}

// The splash ticks once a second and hands over on its second tick. The tests record what is
// open at each of its ticks, after the splash has handled it, and compare the order of events, not
// the clock, so a slow machine changes nothing.
QTimer* TestShell::splashTimer() const {
    return frmsplash::instance().findChild<QTimer*>("Timer1");
}

void TestShell::recordTicks(QObject& context, QList<AtTick>& seen) {
    connect(splashTimer(), &QTimer::timeout, &context, [this, &seen] {
        seen.append({frmsplash::instance().IsOpen(), main_->IsOpen()});
    });
}

void TestShell::splashHandsOverOnTheSecondTick() {
    main_->close();
    frmsplash& splash = frmsplash::instance();
    QObject context;
    QList<AtTick> seen;
    recordTicks(context, seen);
    splash.Show();
    QCOMPARE(splashTimer()->interval(), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 2, 30000);
    QCOMPARE(seen, QList<AtTick>({{true, false}, {false, true}}));
    QVERIFY(!splashTimer()->isActive());
}

void TestShell::splashClosedEarlyNeverOpensTheMain() {
    main_->close();
    frmsplash& splash = frmsplash::instance();
    QObject context;
    QList<AtTick> seen;
    recordTicks(context, seen);
    splash.Show();
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 1, 30000);
    splash.close();
    QVERIFY(!splashTimer()->isActive());
    QVERIFY(!main_->IsOpen());
    // Shown again, it counts its two ticks afresh.
    splash.Show();
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 3, 30000);
    QCOMPARE(seen, QList<AtTick>({{true, false}, {true, false}, {false, true}}));
}

// Shown before start-up has brought the directory up to date, the splash never opens the main
// window by itself, though a wait for the store lets its timer run: its two ticks are counted
// once start-up shows it again, done.
void TestShell::splashShownBeforeStartupEndsWaitsForIt() {
    main_->close();
    frmsplash& splash = frmsplash::instance();
    QObject context;
    QList<AtTick> seen;
    recordTicks(context, seen);
    splash.ShowBeforeStartupEnds();
    QVERIFY(splash.isVisible());
    QTest::qWait(2 * splashTimer()->interval() + 500);
    QVERIFY(seen.isEmpty());
    QVERIFY(!main_->IsOpen());
    splash.Show();
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 2, 30000);
    QCOMPARE(seen, QList<AtTick>({{true, false}, {false, true}}));
}

// A splash without a caption still gets the program's name from the toolkit unless the name
// properties are taken off; a taskbar or a window list would show it.
void TestShell::splashHasNoWindowName() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("reads the window's X properties: run through the test command, on its display");
    main_->close();
    frmsplash& splash = frmsplash::instance();
    splash.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {"-id", QString::number(splash.winId()), "WM_NAME", "_NET_WM_NAME"});
    QVERIFY(xprop.waitForFinished(60000));
    splash.close();
    QCOMPARE(QString::fromUtf8(xprop.readAllStandardOutput()),
             QStringLiteral("WM_NAME:  not found.\n_NET_WM_NAME:  not found.\n"));
}

void TestShell::aboutTextsAndKeys() {
    frmAbout& about = frmAbout::instance();
    about.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.windowTitle(), QStringLiteral("关于 Orvandel"));
    QCOMPARE(about.findChild<QLabel*>("lblVersion")->text(), QStringLiteral("版本 1.0.0"));
    QCOMPARE(about.findChild<QLabel*>("lblTitle")->text(), QStringLiteral("Orvandel"));
    QCOMPARE(about.findChild<QLabel*>("lblDescription")->text(),
             QStringLiteral(
                 "世界范围内船东所经营船舶数量情况，附带联系方式信息，为您开展海外业务提供方便"));
    QCOMPARE(about.findChild<QPushButton*>("cmdOK")->text(), QStringLiteral("确定"));
    QCOMPARE(about.findChild<QPushButton*>("cmdSysInfo")->text(),
             QStringLiteral("系统信息(&S)..."));
    QCOMPARE(about.size(), QSize(382, 237));

    // Enter on the focused system information button presses it: no tool, so the message.
    about.findChild<QPushButton*>("cmdSysInfo")->setFocus();
    QTest::keyClick(&about, Qt::Key_Return);
    const auto shown = Taken();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("此时系统信息不可用"));
    QCOMPARE(shown[0].style, int(platform::vbOKOnly));
    QCOMPARE(shown[0].title, QStringLiteral("Orvandel"));
    QVERIFY(about.IsOpen());
    // Esc closes from anywhere.
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(!about.IsOpen());
    // Enter closes while the focus is on OK, where it starts.
    about.Show();
    QTRY_COMPARE(QApplication::focusWidget(), about.findChild<QPushButton*>("cmdOK"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!about.IsOpen());
    QVERIFY(main_->IsOpen());
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
