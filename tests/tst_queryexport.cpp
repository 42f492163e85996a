// The query screen's grid menu: saving the rows shown to a CSV or Excel file.
#include "data/Connection.h"
#include "data/ShipOwnerTable.h"
#include "platform/CommonControls.h"
#include "platform/FileDialog.h"
#include "platform/MsgBox.h"
#include "screens/ResultGrid.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frmquery.h"
#include "session/modGeneral.h"
#include "support/TestSupport.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QtTest>

using platform::SaveFileChoice;

namespace {
const QString kCountry = QStringLiteral("希腊");
} // namespace

class TestQueryExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void shiftF10OpensTheMenu_data();
    void shiftF10OpensTheMenu();
    void nothingToExport_data();
    void nothingToExport();
    void exportsTheRowsShown_data();
    void exportsTheRowsShown();
    void cancelWritesNothing();
    void failureIsSaidInChinese();
    void pdfListsTheRowsShown();
    void fileNamedOnlyWithTheExtensionIsAskedAbout();
    void printShowsThePreview();

private:
    void runQuery(const QString& country);
    // Asks for the grid's menu as the window system does for the right button or the menu key.
    void requestMenu(QContextMenuEvent::Reason reason);
    void chooseExport();
    QString filePath(const QString& name) const { return QDir(dir_.path()).filePath(name); }

    SystemDirFixture dir_;
    frmquery* form_ = nullptr;
    ResultGrid* grid_ = nullptr;
    QMenu* menu_ = nullptr;
};

void TestQueryExport::initTestCase() {
    platform::SetUpApplication();
    db::Connection& connection = modGeneral::dbConnection();
    dir_.CreateDatabase(connection);
    InsertCompany(connection, {{"公司名称", "Aegean Star, Ltd."}, {"国家", kCountry}});
    InsertCompany(connection, {{"公司名称", "远洋航运"}, {"国家", "中国"}, {"tel", "+86 21"}});
    InsertCompany(connection,
                  {{"公司名称", "华通船务"}, {"国家", kCountry}, {"tel", "+30 210 556"}});
    InsertCompany(connection, {{"id", 40000},
                               {"公司名称", "东方海运"},
                               {"国家", kCountry},
                               {"Tank_No", 3},
                               {"Tank_Dwt", 450000}});
    form_ = &frmquery::instance();
    grid_ = form_->findChild<ResultGrid*>(QStringLiteral("Grid"));
    menu_ = form_->findChild<QMenu*>(QStringLiteral("GridMenu"));
    QVERIFY(grid_ && menu_);
}

void TestQueryExport::init() {
    form_->Show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
    platform::FileDialogSeam::Intercept();
    platform::MsgBoxSeam::Intercept();
}

void TestQueryExport::cleanup() {
    menu_->hide();
    form_->close();
    platform::FileDialogSeam::Release();
    platform::MsgBoxSeam::Release();
}

void TestQueryExport::runQuery(const QString& country) {
    form_->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(country);
    QTest::mouseClick(form_->findChild<SmartNetXpButton*>(QStringLiteral("CmdQuery")),
                      Qt::LeftButton);
}

void TestQueryExport::requestMenu(QContextMenuEvent::Reason reason) {
    grid_->setFocus();
    const QPoint position(20, 20);
    QContextMenuEvent event(reason, position, grid_->viewport()->mapToGlobal(position));
    QApplication::sendEvent(grid_->viewport(), &event);
}

void TestQueryExport::chooseExport() {
    QTRY_VERIFY(menu_->isVisible());
    QAction* action = menu_->findChild<QAction*>(QStringLiteral("mnuExport"));
    QVERIFY(action && action->isEnabled());
    QCOMPARE(action->text(), QStringLiteral("导出查询结果…"));
    QTest::mouseClick(menu_, Qt::LeftButton, {}, menu_->actionGeometry(action).center());
    QTRY_VERIFY(!menu_->isVisible());
}

void TestQueryExport::shiftF10OpensTheMenu_data() {
    QTest::addColumn<bool>("query");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Shift+F10 on a row") << true << int(Qt::ShiftModifier) << true;
    QTest::newRow("Shift+F10 on the design grid") << false << int(Qt::ShiftModifier) << true;
    QTest::newRow("F10") << true << int(Qt::NoModifier) << false;
    QTest::newRow("Ctrl+Shift+F10")
        << true << int(Qt::ControlModifier | Qt::ShiftModifier) << false;
}

void TestQueryExport::shiftF10OpensTheMenu() {
    QFETCH(bool, query);
    QFETCH(int, modifiers);
    QFETCH(bool, opens);
    QPoint at = grid_->viewport()->rect().center(); // where the menu key would open it
    if (query) {
        runQuery(kCountry);
        QTRY_COMPARE(grid_->model()->rowCount(), 3); // the view has the rows
        const QRect cell = grid_->visualRect(grid_->model()->index(1, 1));
        QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(grid_->Row(), 2);
        at = cell.center();
    }
    grid_->setFocus();
    QTest::keyClick(grid_, Qt::Key_F10, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(menu_->isVisible(), opens);
    if (opens)
        QCOMPARE(menu_->pos(), grid_->viewport()->mapToGlobal(at));
}

void TestQueryExport::nothingToExport_data() {
    QTest::addColumn<bool>("query");
    QTest::newRow("design grid") << false;
    QTest::newRow("empty result") << true;
}

void TestQueryExport::nothingToExport() {
    QFETCH(bool, query);
    if (query)
        runQuery(QStringLiteral("没有这个国家"));
    QCOMPARE(grid_->Rows(), query ? 1 : 50);
    QVERIFY(form_->ShownIds().isEmpty());
    // The menu still offers the search window, but nothing to save.
    requestMenu(QContextMenuEvent::Keyboard);
    QTRY_VERIFY(menu_->isVisible());
    QAction* exportAction = menu_->findChild<QAction*>(QStringLiteral("mnuExport"));
    QVERIFY(!exportAction->isEnabled());
    exportAction->trigger();
    QVERIFY(platform::FileDialogSeam::Taken().isEmpty());
}

void TestQueryExport::exportsTheRowsShown_data() {
    QTest::addColumn<int>("reason");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("right button, CSV") << int(QContextMenuEvent::Mouse) << 0 << "result.csv"
                                       << "result.csv";
    QTest::newRow("menu key, CSV without extension")
        << int(QContextMenuEvent::Keyboard) << 0 << "result"
        << "result.csv";
    QTest::newRow("right button, Excel") << int(QContextMenuEvent::Mouse) << 1 << "result"
                                         << "result.xlsx";
}

void TestQueryExport::exportsTheRowsShown() {
    QFETCH(int, reason);
    QFETCH(int, filter);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFile::remove(filePath(written));
    runQuery(kCountry);
    QCOMPARE(form_->ShownIds(), (QList<qint64>{40000, 3, 1}));

    platform::FileDialogSeam::Intercept({SaveFileChoice{filePath(typed), filter}});
    requestMenu(static_cast<QContextMenuEvent::Reason>(reason));
    chooseExport();
    const QList<platform::FileDialogSeam::Asked> asked = platform::FileDialogSeam::Taken();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().title, QStringLiteral("导出查询结果"));
    QCOMPARE(asked.first().filters, (QStringList{"CSV 文件 (*.csv)", "Excel 工作簿 (*.xlsx)"}));
    // A success is quiet.
    QVERIFY(platform::MsgBoxSeam::Taken().isEmpty());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    QFile file(filePath(written));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    if (filter == 1) {
        QVERIFY(bytes.startsWith("PK")); // a zip container: the workbook
        return;
    }
    // All 18 columns of each row shown, in the grid's order.
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 5); // header, three rows, the empty rest after the last line end
    QCOMPARE(lines[0], shipowner::Columns().join(QLatin1Char(',')));
    QCOMPARE(lines[1], QStringLiteral("40000,东方海运,希腊,,,,3,450000,,,,,,,,,,"));
    QCOMPARE(lines[2], QStringLiteral("3,华通船务,希腊,,'+30 210 556,,,,,,,,,,,,,"));
    QCOMPARE(lines[3], QStringLiteral("1,\"Aegean Star, Ltd.\",希腊,,,,,,,,,,,,,,,"));
}

void TestQueryExport::cancelWritesNothing() {
    runQuery(kCountry);
    const QStringList before = QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden);
    requestMenu(QContextMenuEvent::Mouse);
    chooseExport();
    QCOMPARE(platform::FileDialogSeam::Taken().size(), 1);
    QVERIFY(platform::MsgBoxSeam::Taken().isEmpty());
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), before);
}

void TestQueryExport::failureIsSaidInChinese() {
    runQuery(kCountry);
    const QString path = filePath(QStringLiteral("no/such/folder/result.csv"));
    platform::FileDialogSeam::Intercept({SaveFileChoice{path, 0}});
    requestMenu(QContextMenuEvent::Mouse);
    chooseExport();
    const QList<platform::MsgBoxSeam::Shown> shown = platform::MsgBoxSeam::Taken();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().text.startsWith(QStringLiteral("导出失败：无法写入文件")));
    QVERIFY(shown.first().text.contains(path));
    QCOMPARE(shown.first().style, int(platform::vbCritical));
    QCOMPARE(shown.first().title, QStringLiteral("提示:"));
    // The wait cursor went with the failure.
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

// The rows in the grid's order, the conditions in the heading, the page footer; read back as a
// reader of the file would.
void TestQueryExport::pdfListsTheRowsShown() {
    runQuery(kCountry);
    const QString path = filePath(QStringLiteral("list"));
    QFile::remove(path + QStringLiteral(".pdf"));
    platform::FileDialogSeam::Intercept({SaveFileChoice{path, 0}});
    form_->findChild<QAction*>(QStringLiteral("mnuPdf"))->trigger();
    QCOMPARE(platform::FileDialogSeam::Taken().first().filters,
             QStringList{QStringLiteral("PDF 文件 (*.pdf)")});
    QVERIFY(platform::MsgBoxSeam::Taken().isEmpty());
    QProcess pdftotext;
    pdftotext.start(
        QStringLiteral("pdftotext"),
        {QStringLiteral("-layout"), path + QStringLiteral(".pdf"), QStringLiteral("-")});
    QVERIFY(pdftotext.waitForFinished(60000));
    QCOMPARE(pdftotext.exitCode(), 0);
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    QVERIFY2(text.contains(QStringLiteral("国家含“希腊”")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("共 3 家船东")));
    QVERIFY(text.contains(QStringLiteral("第 1 页，共 1 页")));
    const qsizetype first = text.indexOf(QStringLiteral("东方海运"));
    const qsizetype second = text.indexOf(QStringLiteral("华通船务"));
    const qsizetype third = text.indexOf(QStringLiteral("Aegean Star, Ltd."));
    QVERIFY2(first > 0 && first < second && second < third, qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("+30 210 556")));
    QVERIFY(!text.contains(QStringLiteral("远洋航运")));
}

// The dialog asks before replacing "result"; "result.csv", which the extension makes of it, is
// asked about by the screen.
void TestQueryExport::fileNamedOnlyWithTheExtensionIsAskedAbout() {
    runQuery(kCountry);
    const QString typed = filePath(QStringLiteral("kept"));
    QFile old(typed + QStringLiteral(".csv"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the user's old file");
    old.close();
    const auto bytes = [&old] {
        QFile file(old.fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QAction* exportAction = form_->findChild<QAction*>(QStringLiteral("mnuExport"));
    platform::FileDialogSeam::Intercept({SaveFileChoice{typed, 0}});
    platform::MsgBoxSeam::QueueAnswers({platform::vbNo});
    exportAction->trigger();
    QList<platform::MsgBoxSeam::Shown> shown = platform::MsgBoxSeam::Taken();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().text,
             QStringLiteral("文件“%1”已经存在。要替换它吗？").arg(typed + QStringLiteral(".csv")));
    QCOMPARE(bytes(), QByteArray("the user's old file"));
    platform::FileDialogSeam::Intercept({SaveFileChoice{typed, 0}});
    platform::MsgBoxSeam::QueueAnswers({platform::vbYes});
    exportAction->trigger();
    QCOMPARE(platform::MsgBoxSeam::Taken().size(), 1);
    QVERIFY(bytes().startsWith("\xEF\xBB\xBFid,"));
}

void TestQueryExport::printShowsThePreview() {
    runQuery(kCountry);
    QString title;
    QTimer::singleShot(0, this, [&title] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        if (preview == nullptr)
            return;
        title = preview->windowTitle();
        preview->reject();
    });
    form_->findChild<QAction*>(QStringLiteral("mnuPrint"))->trigger();
    QCOMPARE(title, QStringLiteral("打印预览"));
    QVERIFY(platform::MsgBoxSeam::Taken().isEmpty());
}

QTEST_MAIN(TestQueryExport)
#include "tst_queryexport.moc"
