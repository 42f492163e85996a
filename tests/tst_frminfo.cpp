#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/Engine.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frminfo.h"
#include "screens/frmwait.h"
#include "session/modGeneral.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

using platform::MsgBoxSeam::Taken;

namespace {

// The bound column of each box, by box index.
const QStringList kColumns = {"公司名称", "国家",      "Tank_No", "Tank_Dwt", "Bulk_NO", "Bulk_Dwt",
                              "Gas_No",   "Gas_Cum",   "Chem_No", "Chem_Dwt", "Cont_No", "Cont_TEU",
                              "Other_No", "Other_Dwt", "tel",     "fax",      "adrress"};

QMap<QString, QVariant> FullRecord() {
    QMap<QString, QVariant> values;
    for (int box = 0; box < kColumns.size(); ++box)
        values.insert(kColumns[box], box == 0 || box == 1 || box >= 14
                                         ? QVariant(QStringLiteral("值%1").arg(box))
                                         : QVariant(qint64(100 + box)));
    return values;
}

QString ShownText(int box) {
    return box == 0 || box == 1 || box >= 14 ? QStringLiteral("值%1").arg(box)
                                             : QString::number(100 + box);
}

} // namespace

class TestDetailScreen : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void newRecordModeTouchesNoDatabase();
    void layoutAndCaptions();
    void loading_data();
    void loading();
    void saveInNewModeAddsOneRowThenChangesIt();
    void saveWritesAllColumnsTrimmedAndKeepsTheTyping();
    void newCompanyLikeAStoredOneIsAskedAbout_data();
    void newCompanyLikeAStoredOneIsAskedAbout();
    void changingACompanyLikeAnotherAsksNothing();
    void deleteInNewModeDoesNothing();
    void deleteAnsweredNoKeepsEverything();
    void deleteAnsweredYesReturnsToNewMode();
    void closeButtonDiscardsAndResetsShipId();
    void titleBarCloseKeepsShipId();
    void refusedNumberStoresNothing_data();
    void refusedNumberStoresNothing();
    void boxesAreCappedAndShowWhatIsStored();
    void openingWhileOpenReloads();
    void rowDeletedElsewhereIsSaidThenAddedAsNew();
    void changeElsewhereIsNotOverwritten();
    void refusalByTheStoreIsReportedAndNothingIsLost_data();
    void refusalByTheStoreIsReportedAndNothingIsLost();
    void tabOrderFromTheSaveButton();
    void keysPressTheFocusedButton_data();
    void keysPressTheFocusedButton();
    void deskThatMayOnlyLookCannotSaveOrDelete();
    void longWaitForALockShowsTheWaitBoxWhichStopsIt();

private:
    void open(qint64 id);
    QLineEdit* box(int index) const;
    SmartNetXpButton* button(const char* name) const;
    QStringList boxTexts() const;
    db::Connection& connection() { return modGeneral::dbConnection(); }

    SystemDirFixture dir_;
    frminfo* form_ = nullptr;
};

void TestDetailScreen::initTestCase() {
    platform::SetUpApplication();
    frmwait::Install();
    dir_.CreateDatabase(connection());
    connection().SetBusyTimeout(300);
    form_ = &frminfo::instance();
}

void TestDetailScreen::init() {
    platform::MsgBoxSeam::Intercept();
}

void TestDetailScreen::cleanup() {
    form_->close();
    platform::MsgBoxSeam::Release();
}

void TestDetailScreen::open(qint64 id) {
    form_->shipId = id;
    form_->Show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
}

QLineEdit* TestDetailScreen::box(int index) const {
    return form_->findChild<QLineEdit*>(QStringLiteral("Txt_%1").arg(index));
}

SmartNetXpButton* TestDetailScreen::button(const char* name) const {
    return form_->findChild<SmartNetXpButton*>(QLatin1String(name));
}

QStringList TestDetailScreen::boxTexts() const {
    QStringList texts;
    for (int index = 0; index < frminfo::kBoxes; ++index)
        texts << box(index)->text();
    return texts;
}

void TestDetailScreen::newRecordModeTouchesNoDatabase() {
    // With the table gone for a moment, any statement would fail and say so.
    connection().Execute(QStringLiteral("ALTER TABLE Orvandel RENAME TO Away"));
    open(-1);
    connection().Execute(QStringLiteral("ALTER TABLE Away RENAME TO Orvandel"));
    QCOMPARE(boxTexts(), QStringList(frminfo::kBoxes, QString()));
    QCOMPARE(button("CmdQuery")->Caption(), QStringLiteral("增加"));
    QVERIFY(Taken().isEmpty());
}

void TestDetailScreen::layoutAndCaptions() {
    open(-1);
    QCOMPARE(form_->windowTitle(), QStringLiteral("船东船舶详细信息"));
    QCOMPARE(form_->size(), QSize(540, 398));
    const QStringList captions = {"船东名称", "国家",     "Tank_No",  "Tank_Dwt",  "Bulk_NO",
                                  "Bulk_Dwt", "Gas_No",   "Gas_Cum",  "Chem_No",   "Chem_Dwt",
                                  "Cont_No",  "Cont_TEU", "Other_No", "Other_Dwt", "电话",
                                  "传真",     "地址"};
    for (int index = 0; index < frminfo::kBoxes; ++index)
        QCOMPARE(form_->findChild<QLabel*>(QStringLiteral("lbl_%1").arg(index))->text(),
                 captions[index]);
    QCOMPARE(box(0)->geometry(), QRect(69, 17, 465, 17));
    QCOMPARE(box(15)->geometry(), QRect(331, 74, 203, 17));
    QCOMPARE(button("SmartNetXpButton1")->geometry(), QRect(247, 336, 79, 21));
    QCOMPARE(button("SmartNetXpButton1")->Caption(), QStringLiteral("删除"));
    QCOMPARE(button("CmdStop")->geometry(), QRect(453, 336, 79, 21));
    QCOMPARE(button("CmdStop")->Caption(), QStringLiteral("退出"));
    QVERIFY(!box(0)->hasFrame());
}

void TestDetailScreen::loading_data() {
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QStringList>("shown");
    QStringList full;
    for (int index = 0; index < frminfo::kBoxes; ++index)
        full << ShownText(index);
    QTest::newRow("full record") << FullRecord() << full;
    QMap<QString, QVariant> sparse = {
        {"公司名称", "华通船务"}, {"国家", "中国"}, {"Tank_No", qint64(25)}};
    QStringList sparseShown(frminfo::kBoxes);
    sparseShown[0] = "华通船务";
    sparseShown[1] = "中国";
    sparseShown[2] = "25";
    QTest::newRow("null fax and ship types") << sparse << sparseShown;
    QMap<QString, QVariant> padded = {{"公司名称", "  远洋 航运 "},
                                      {"adrress", QStringLiteral("\u3000港口路\t")}};
    QStringList paddedShown(frminfo::kBoxes);
    paddedShown[0] = "远洋 航运";
    paddedShown[16] = "港口路\t";
    QTest::newRow("stored spaces") << padded << paddedShown;
    QMap<QString, QVariant> large = {{"id", qint64(70000)}, {"公司名称", "大号公司"}};
    QStringList largeShown(frminfo::kBoxes);
    largeShown[0] = "大号公司";
    QTest::newRow("id above 32767") << large << largeShown;
    QTest::newRow("id not in the table")
        << QMap<QString, QVariant>() << QStringList(frminfo::kBoxes);
}

void TestDetailScreen::loading() {
    QFETCH(QVariantMap, stored);
    QFETCH(QStringList, shown);
    const qint64 id = stored.isEmpty() ? 99999 : InsertCompany(connection(), stored);
    open(id);
    QCOMPARE(boxTexts(), shown);
    QCOMPARE(button("CmdQuery")->Caption(), QStringLiteral("修改"));
    QCOMPARE(form_->shipId, id);
    QVERIFY(Taken().isEmpty());
}

void TestDetailScreen::saveInNewModeAddsOneRowThenChangesIt() {
    open(-1);
    const qint64 before = RowCount(connection());
    for (int index = 0; index < frminfo::kBoxes; ++index)
        box(index)->setText(ShownText(index));
    box(0)->setText(QStringLiteral("新增后修改的公司")); // named as no stored company
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    auto shown = Taken();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("增加成功"));
    QCOMPARE(shown[0].style, int(platform::vbInformation));
    QCOMPARE(shown[0].title, QStringLiteral("提示:"));
    QCOMPARE(RowCount(connection()), before + 1);
    const qint64 id = form_->shipId;
    QVERIFY(id > 0);
    QCOMPARE(StoredValue(connection(), id, "Tank_No"), QVariant(qint64(102)));
    QCOMPARE(button("CmdQuery")->Caption(), QStringLiteral("修改"));

    box(14)->setText(QStringLiteral("+86 21 1234"));
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    shown = Taken();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("修改成功"));
    QCOMPARE(RowCount(connection()), before + 1);
    QCOMPARE(form_->shipId, id);
    QCOMPARE(StoredValue(connection(), id, "tel").toString(), QStringLiteral("+86 21 1234"));
}

void TestDetailScreen::saveWritesAllColumnsTrimmedAndKeepsTheTyping() {
    const qint64 id = InsertCompany(connection(), FullRecord());
    open(id);
    QStringList typed;
    for (int index = 0; index < frminfo::kBoxes; ++index) {
        const bool number = !(index == 0 || index == 1 || index >= 14);
        typed << (number ? QStringLiteral(" %1 ").arg(7 * index)
                         : QStringLiteral("\u3000新值%1 ").arg(index));
        box(index)->setText(typed.last());
    }
    box(15)->setText(QString());            // an emptied text box stores the empty text
    box(12)->setText(QStringLiteral("  ")); // an emptied number box stores null
    typed[15] = QString();
    typed[12] = QStringLiteral("  ");
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    QCOMPARE(Taken().value(0).text, QStringLiteral("修改成功"));
    for (int index = 0; index < frminfo::kBoxes; ++index) {
        const QVariant value = StoredValue(connection(), id, kColumns[index]);
        if (index == 12)
            QVERIFY(value.isNull());
        else if (index == 15)
            QCOMPARE(value.toString(), QString());
        else if (index == 0 || index == 1 || index >= 14)
            QCOMPARE(value.toString(), QStringLiteral("新值%1").arg(index));
        else
            QCOMPARE(value, QVariant(qint64(7 * index)));
    }
    QCOMPARE(boxTexts(), typed);
}

void TestDetailScreen::newCompanyLikeAStoredOneIsAskedAbout_data() {
    QTest::addColumn<QString>("storedName"); // stored in 中国, `like` times
    QTest::addColumn<int>("like");
    QTest::addColumn<QString>("typedName");
    QTest::addColumn<QString>("typedCountry");
    QTest::addColumn<int>("answer"); // when asked
    QTest::newRow("one like it, answered no") << "ＣＯＳＣＯ 航运" << 1 << "cosco航运"
                                              << " 中国" << int(platform::vbNo);
    QTest::newRow("one like it, answered yes") << "Ｂｌｕｅ Ｌｉｎｅ" << 1 << "BLUE\u3000LINE"
                                               << "中国" << int(platform::vbYes);
    QTest::newRow("four like it, three named") << "远洋 运输" << 4 << "远洋运输"
                                               << "中国" << int(platform::vbNo);
    QTest::newRow("another country") << "南方船务" << 1 << "南方船务"
                                     << "新加坡" << -1;
    QTest::newRow("no name") << "" << 1 << " "
                             << "中国" << -1;
}

void TestDetailScreen::newCompanyLikeAStoredOneIsAskedAbout() {
    QFETCH(QString, storedName);
    QFETCH(int, like);
    QFETCH(QString, typedName);
    QFETCH(QString, typedCountry);
    QFETCH(int, answer);
    QStringList named;
    for (int i = 0; i < like; ++i) {
        const qint64 id = InsertCompany(connection(), {{"公司名称", storedName}, {"国家", "中国"}});
        if (named.size() < 3)
            named << QStringLiteral("“%1” 编号 %2").arg(storedName).arg(id);
    }
    open(-1);
    box(0)->setText(typedName);
    box(1)->setText(typedCountry);
    box(14)->setText(QStringLiteral("+86 10 5555"));
    const QStringList typed = boxTexts();
    const qint64 before = RowCount(connection());
    platform::MsgBoxSeam::QueueAnswers({answer});
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    auto shown = Taken();

    if (answer != -1) {
        QVERIFY(!shown.isEmpty());
        const auto question = shown.takeFirst();
        const QString more = like > 3 ? QStringLiteral(" 等 %1 家").arg(like) : QString();
        QCOMPARE(question.text, QStringLiteral("已有同名船东（%1%2），是否仍要增加？")
                                    .arg(named.join(QStringLiteral("、")), more));
        QCOMPARE(question.style, int(platform::vbYesNo | platform::vbQuestion));
        QCOMPARE(question.title, QStringLiteral("提示:"));
    }
    if (answer == platform::vbNo) {
        QVERIFY(shown.isEmpty());
        QCOMPARE(RowCount(connection()), before);
        QCOMPARE(boxTexts(), typed);
        QCOMPARE(form_->shipId, qint64(-1));
        QCOMPARE(button("CmdQuery")->Caption(), QStringLiteral("增加"));
        return;
    }
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("增加成功"));
    QCOMPARE(RowCount(connection()), before + 1);
    QCOMPARE(StoredValue(connection(), form_->shipId, "公司名称").toString(),
             shipowner::TrimSpaces(typedName));
    QCOMPARE(StoredValue(connection(), form_->shipId, "tel").toString(),
             QStringLiteral("+86 10 5555"));
}

void TestDetailScreen::changingACompanyLikeAnotherAsksNothing() {
    InsertCompany(connection(), {{"公司名称", "同名公司"}, {"国家", "中国"}});
    const qint64 id = InsertCompany(connection(), {{"公司名称", "同名公司"}, {"国家", "中国"}});
    open(id);
    box(14)->setText(QStringLiteral("改过的电话"));
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    const auto shown = Taken();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("修改成功"));
    QCOMPARE(StoredValue(connection(), id, "tel").toString(), QStringLiteral("改过的电话"));
}

void TestDetailScreen::deleteInNewModeDoesNothing() {
    open(-1);
    box(0)->setText(QStringLiteral("草稿"));
    const qint64 before = RowCount(connection());
    QTest::mouseClick(button("SmartNetXpButton1"), Qt::LeftButton);
    QVERIFY(Taken().isEmpty());
    QCOMPARE(box(0)->text(), QStringLiteral("草稿"));
    QCOMPARE(RowCount(connection()), before);
}

void TestDetailScreen::deleteAnsweredNoKeepsEverything() {
    const qint64 id = InsertCompany(connection(), FullRecord());
    open(id);
    const QStringList texts = boxTexts();
    platform::MsgBoxSeam::QueueAnswers({platform::vbNo});
    QTest::mouseClick(button("SmartNetXpButton1"), Qt::LeftButton);
    const auto shown = Taken();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("是否要删除当前信息？"));
    QCOMPARE(shown[0].style, int(platform::vbYesNo));
    QCOMPARE(shown[0].title, QStringLiteral("提示:"));
    QCOMPARE(boxTexts(), texts);
    QCOMPARE(form_->shipId, id);
    QCOMPARE(button("CmdQuery")->Caption(), QStringLiteral("修改"));
    QCOMPARE(StoredValue(connection(), id, "公司名称").toString(), ShownText(0));
}

void TestDetailScreen::deleteAnsweredYesReturnsToNewMode() {
    const qint64 id = InsertCompany(connection(), FullRecord());
    open(id);
    platform::MsgBoxSeam::QueueAnswers({platform::vbYes});
    QTest::mouseClick(button("SmartNetXpButton1"), Qt::LeftButton);
    QCOMPARE(Taken().size(), 1); // the question only: no message follows a deletion
    QCOMPARE(StoredValue(connection(), id, "id").toString(), QStringLiteral("<no row>"));
    QCOMPARE(boxTexts(), QStringList(frminfo::kBoxes, QString()));
    QCOMPARE(form_->shipId, qint64(-1));
    QCOMPARE(button("CmdQuery")->Caption(), QStringLiteral("增加"));

    const qint64 before = RowCount(connection());
    box(0)->setText(QStringLiteral("新公司"));
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    QCOMPARE(Taken().value(0).text, QStringLiteral("增加成功"));
    QCOMPARE(RowCount(connection()), before + 1);
    QVERIFY(form_->shipId > id);
}

void TestDetailScreen::closeButtonDiscardsAndResetsShipId() {
    const qint64 id = InsertCompany(connection(), FullRecord());
    open(id);
    box(0)->setText(QStringLiteral("未保存"));
    QTest::mouseClick(button("CmdStop"), Qt::LeftButton);
    QVERIFY(!form_->IsOpen());
    QVERIFY(!form_->isVisible());
    QCOMPARE(form_->shipId, qint64(-1));
    QVERIFY(Taken().isEmpty());
    QCOMPARE(StoredValue(connection(), id, "公司名称").toString(), ShownText(0));
}

void TestDetailScreen::titleBarCloseKeepsShipId() {
    const qint64 id = InsertCompany(connection(), FullRecord());
    open(id);
    form_->close();
    QVERIFY(!form_->IsOpen());
    QCOMPARE(form_->shipId, id);
}

void TestDetailScreen::refusedNumberStoresNothing_data() {
    QTest::addColumn<bool>("newRecord");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("said");
    QTest::newRow("letters, existing record") << false << 2 << "abc"
                                              << "只能填写整数";
    QTest::newRow("fraction, existing record") << false << 7 << "2.5"
                                               << "只能填写整数";
    QTest::newRow("letters, new record") << true << 11 << "十二"
                                         << "只能填写整数";
    QTest::newRow("2^63, a whole number too large")
        << false << 4 << "9223372036854775808"
        << "只能填写-9223372036854775808 到 9223372036854775807 之间的整数";
}

void TestDetailScreen::refusedNumberStoresNothing() {
    QFETCH(bool, newRecord);
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(QString, said);
    const qint64 id = newRecord ? -1 : InsertCompany(connection(), FullRecord());
    open(id);
    box(0)->setText(QStringLiteral("改过的名字"));
    box(index)->setText(text);
    const QStringList texts = boxTexts();
    const qint64 before = RowCount(connection());
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    const auto shown = Taken();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].style, int(platform::vbCritical));
    QCOMPARE(shown[0].title, QStringLiteral("提示:"));
    QVERIFY2(shown[0].text.contains(kColumns[index]) && shown[0].text.contains(said),
             qPrintable(shown[0].text));
    QCOMPARE(RowCount(connection()), before);
    if (!newRecord)
        QCOMPARE(StoredValue(connection(), id, "公司名称").toString(), ShownText(0));
    QCOMPARE(boxTexts(), texts);
    QCOMPARE(form_->shipId, id);
    QCOMPARE(button("CmdQuery")->Caption(),
             newRecord ? QStringLiteral("增加") : QStringLiteral("修改"));
}

void TestDetailScreen::boxesAreCappedAndShowWhatIsStored() {
    const QString longAddress(400, QChar(0x8DEF)); // longer than a box takes, stored by a tool
    const qint64 id =
        InsertCompany(connection(), {{"公司名称", "长地址"}, {"adrress", longAddress}});
    open(id);
    QCOMPARE(box(16)->text(), longAddress);
    box(0)->setText(QString(300, QLatin1Char('x'))); // pasted past the cap
    QCOMPARE(box(0)->text(), QString(255, QLatin1Char('x')));
    box(2)->setText(QString(30, QLatin1Char('9')));
    QCOMPARE(box(2)->text().size(), 20);
    box(2)->setText(QStringLiteral("12"));
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    QCOMPARE(Taken().value(0).text, QStringLiteral("修改成功"));
    QCOMPARE(StoredValue(connection(), id, "adrress").toString(), longAddress);
    QCOMPARE(StoredValue(connection(), id, "公司名称").toString(), box(0)->text());
    open(-1); // the next record has the usual cap again
    box(16)->setText(longAddress);
    QCOMPARE(box(16)->text().size(), 255);
}

void TestDetailScreen::openingWhileOpenReloads() {
    const qint64 first = InsertCompany(connection(), {{"公司名称", "第一家"}});
    const qint64 second = InsertCompany(connection(), {{"公司名称", "第二家"}});
    open(first);
    box(0)->setText(QStringLiteral("编辑中"));
    open(second);
    QCOMPARE(box(0)->text(), QStringLiteral("第二家"));
    QCOMPARE(form_->shipId, second);
    open(-1);
    QCOMPARE(box(0)->text(), QString());
    QCOMPARE(button("CmdQuery")->Caption(), QStringLiteral("增加"));
}

void TestDetailScreen::rowDeletedElsewhereIsSaidThenAddedAsNew() {
    const qint64 id = InsertCompany(connection(), FullRecord());
    open(id);
    box(14)->setText(QStringLiteral("新电话"));
    // Renamed, so that the other stored copies of the record do not make it a likely duplicate.
    box(0)->setText(QStringLiteral("被删除后重新增加的公司"));
    db::Connection other; // another copy of the program
    dir_.OpenAnother(other);
    other.Execute(QStringLiteral("delete from Orvandel where id=%1").arg(id));
    const qint64 before = RowCount(connection());
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    auto shown = Taken();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].style, int(platform::vbCritical));
    QCOMPARE(shown[0].title, QStringLiteral("提示:"));
    QVERIFY2(shown[0].text.contains(QStringLiteral("已被其他人删除")), qPrintable(shown[0].text));
    QCOMPARE(RowCount(connection()), before);
    QCOMPARE(box(14)->text(), QStringLiteral("新电话"));
    QCOMPARE(form_->shipId, -1);
    QCOMPARE(button("CmdQuery")->Caption(), QStringLiteral("增加"));

    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    QCOMPARE(Taken().value(0).text, QStringLiteral("增加成功"));
    QCOMPARE(RowCount(connection()), before + 1);
    QVERIFY(form_->shipId > id);
    QCOMPARE(StoredValue(connection(), form_->shipId, "tel").toString(), QStringLiteral("新电话"));
}

void TestDetailScreen::changeElsewhereIsNotOverwritten() {
    const qint64 id = InsertCompany(connection(), FullRecord());
    open(id);
    box(15)->setText(QStringLiteral("新传真"));
    db::Connection other; // another copy of the program saved a new telephone meanwhile
    dir_.OpenAnother(other);
    other.Execute(QStringLiteral("update Orvandel set tel='他人的电话' where id=%1").arg(id));
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
        const auto shown = Taken();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].style, int(platform::vbCritical));
        QCOMPARE(shown[0].title, QStringLiteral("提示:"));
        QVERIFY2(shown[0].text.contains(QStringLiteral("已被其他人修改")),
                 qPrintable(shown[0].text));
        QCOMPARE(StoredValue(connection(), id, "tel").toString(), QStringLiteral("他人的电话"));
        QCOMPARE(StoredValue(connection(), id, "fax").toString(), ShownText(15));
        QCOMPARE(box(15)->text(), QStringLiteral("新传真"));
        QCOMPARE(form_->shipId, id);
    }
    // Loaded again, the screen shows the other change and saves on top of it.
    open(id);
    QCOMPARE(box(14)->text(), QStringLiteral("他人的电话"));
    box(15)->setText(QStringLiteral("新传真"));
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    QCOMPARE(Taken().value(0).text, QStringLiteral("修改成功"));
    QCOMPARE(StoredValue(connection(), id, "tel").toString(), QStringLiteral("他人的电话"));
    QCOMPARE(StoredValue(connection(), id, "fax").toString(), QStringLiteral("新传真"));
}

void TestDetailScreen::refusalByTheStoreIsReportedAndNothingIsLost_data() {
    // What the message says on the file, and on a server, which it names instead of a file.
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("saidOfFile");
    QTest::addColumn<QString>("saidOfServer");
    QTest::newRow("lock held elsewhere") << "lock"
                                         << "数据文件正被其他程序使用"
                                         << "上的这条信息正被“"; // and the holding desk
    QTest::newRow("disk full") << "full"
                               << "磁盘已满" << QString();
    QTest::newRow("read-only") << "read-only"
                               << "数据文件是只读的"
                               << "当前只允许读取";
    QTest::newRow("table gone") << "table gone"
                                << "数据文件中的船东信息表不存在"
                                << "上还没有船东目录，或者船东信息表不完整";
}

void TestDetailScreen::refusalByTheStoreIsReportedAndNothingIsLost() {
    QFETCH(QString, cause);
    QFETCH(QString, saidOfFile);
    QFETCH(QString, saidOfServer);
    const QString said = OnServer() ? saidOfServer : saidOfFile;
    const qint64 id = InsertCompany(connection(), FullRecord());
    open(id);
    // As long as the boxes take: enough to need pages beyond those the file has.
    const QString longText(255, QChar(0x957F));
    for (int index : {0, 1, 14, 15, 16})
        box(index)->setText(longText);
    if (cause == QLatin1String("full") && OnServer())
        QSKIP("a full disk is made on the file only");
    db::Connection other;
    dir_.OpenAnother(other);
    std::optional<db::Transaction> held;
    if (cause == QLatin1String("lock")) {
        held.emplace(other, db::Transaction::Begin::Immediate);
        other.engine().LockRow(shipowner::kTable, QStringLiteral("id"), id);
    } else if (OnServer() && cause == QLatin1String("read-only")) {
        connection().Execute(QStringLiteral("SET default_transaction_read_only = on"));
    } else if (cause == QLatin1String("full")) {
        FillTheDisk(connection());
    } else if (cause == QLatin1String("table gone")) {
        connection().Execute(QStringLiteral("ALTER TABLE Orvandel RENAME TO Away"));
    } else {
        connection().Execute(QStringLiteral("PRAGMA query_only=1"));
    }
    {
        const auto restore = qScopeGuard([&] {
            if (held)
                held->commit();
            if (cause == QLatin1String("table gone"))
                connection().Execute(QStringLiteral("ALTER TABLE Away RENAME TO Orvandel"));
            if (OnServer()) {
                connection().Execute(QStringLiteral("SET default_transaction_read_only = off"));
                return;
            }
            connection().Execute(QStringLiteral("PRAGMA max_page_count=1073741823"));
            connection().Execute(QStringLiteral("PRAGMA query_only=0"));
        });
        QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
        auto shown = Taken();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].style, int(platform::vbCritical));
        QVERIFY2(shown[0].text.contains(said), qPrintable(shown[0].text));
        QVERIFY(shown[0].text.contains(QStringLiteral("未保存")));
        // The engine's own words are for stderr, not for the user; a server is named.
        QString words = shown[0].text;
        const QString server = connection().ServerName();
        QVERIFY2(words.contains(server), qPrintable(words));
        words.remove(server).remove(QRegularExpression(QStringLiteral("“.*”")));
        QVERIFY2(!words.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))),
                 qPrintable(shown[0].text));
        QCOMPARE(box(14)->text(), longText);
        if (cause != QLatin1String("table gone"))
            QCOMPARE(StoredValue(other, id, "tel").toString(), ShownText(14));
    }
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    QCOMPARE(Taken().value(0).text, QStringLiteral("修改成功"));
    QCOMPARE(StoredValue(other, id, "tel").toString(), box(14)->text());
}

void TestDetailScreen::tabOrderFromTheSaveButton() {
    open(-1);
    QTRY_COMPARE(QApplication::focusWidget(), button("CmdQuery"));
    QList<QWidget*> expected = {button("CmdStop"), button("SmartNetXpButton1")};
    for (int index = frminfo::kBoxes - 1; index >= 0; --index)
        expected << box(index);
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), next);
    }
}

void TestDetailScreen::keysPressTheFocusedButton_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("key");
    for (const char* name : {"CmdQuery", "SmartNetXpButton1", "CmdStop"}) {
        QTest::addRow("%s Return", name) << QByteArray(name) << int(Qt::Key_Return);
        QTest::addRow("%s keypad Enter", name) << QByteArray(name) << int(Qt::Key_Enter);
        QTest::addRow("%s Space", name) << QByteArray(name) << int(Qt::Key_Space);
    }
}

void TestDetailScreen::keysPressTheFocusedButton() {
    QFETCH(QByteArray, name);
    QFETCH(int, key);
    const qint64 id = InsertCompany(connection(), FullRecord());
    open(id);
    button(name)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), button(name));
    platform::MsgBoxSeam::QueueAnswers({platform::vbYes});
    box(14)->setText(QStringLiteral("键盘电话"));
    const Qt::KeyboardModifiers modifiers =
        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);

    const QList<platform::MsgBoxSeam::Shown> shown = Taken();
    if (name == "CmdQuery") {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("修改成功"));
        QCOMPARE(StoredValue(connection(), id, "tel").toString(), QStringLiteral("键盘电话"));
    } else if (name == "SmartNetXpButton1") {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("是否要删除当前信息？"));
        QCOMPARE(StoredValue(connection(), id, "id").toString(), QStringLiteral("<no row>"));
        QCOMPARE(form_->shipId, qint64(-1));
    } else {
        QVERIFY(shown.isEmpty());
        QVERIFY(!form_->IsOpen());
        QCOMPARE(StoredValue(connection(), id, "tel").toString(), ShownText(14));
    }
}

void TestDetailScreen::deskThatMayOnlyLookCannotSaveOrDelete() {
    const qint64 id = InsertCompany(connection(), FullRecord());
    modGeneral::mayChange = false;
    const auto restore = qScopeGuard([] { modGeneral::mayChange = true; });
    open(id);
    QCOMPARE(box(0)->text(), StoredValue(connection(), id, "公司名称").toString());
    for (const char* name : {"CmdQuery", "SmartNetXpButton1"}) {
        QVERIFY2(!button(name)->isEnabled(), name);
        QVERIFY(button(name)->toolTip().contains(QStringLiteral("只能查看")));
    }
    QVERIFY(button("CmdStop")->isEnabled());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(button("CmdStop")));
    // Neither a click nor a key reaches the disabled buttons.
    box(14)->setText(QStringLiteral("改过的电话"));
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    QTest::mouseClick(button("SmartNetXpButton1"), Qt::LeftButton);
    QVERIFY(Taken().isEmpty());
    QCOMPARE(StoredValue(connection(), id, "tel").toString(), FullRecord().value("tel").toString());
    QVERIFY(!StoredValue(connection(), id, "公司名称").isNull()); // not deleted
    form_->close();
    // The same desk with the right to change has its buttons back.
    modGeneral::mayChange = true;
    open(id);
    QVERIFY(button("CmdQuery")->isEnabled() && button("SmartNetXpButton1")->isEnabled());
    QVERIFY(button("CmdQuery")->toolTip().isEmpty());
}

// A record held elsewhere for long: the wait box shows after a moment, and its button ends the
// wait at once, with the typing kept and nothing stored.
void TestDetailScreen::longWaitForALockShowsTheWaitBoxWhichStopsIt() {
    const qint64 id = InsertCompany(connection(), FullRecord());
    open(id);
    box(14)->setText(QStringLiteral("等待时输入的电话"));
    const QStringList typed = boxTexts();
    db::Connection other;
    dir_.OpenAnother(other);
    db::Transaction held(other, db::Transaction::Begin::Immediate);
    other.engine().LockRow(shipowner::kTable, QStringLiteral("id"), id);
    connection().SetBusyTimeout(20000);
    const auto usual = qScopeGuard([this] { connection().SetBusyTimeout(300); });
    bool boxShown = false;
    QTimer watcher;
    watcher.setInterval(50);
    connect(&watcher, &QTimer::timeout, this, [&] {
        frmwait& wait = frmwait::instance();
        if (wait.isVisible() && !boxShown) {
            boxShown = true;
            QTest::mouseClick(wait.findChild<SmartNetXpButton*>(QStringLiteral("CmdCancel")),
                              Qt::LeftButton);
        }
    });
    QElapsedTimer clock;
    clock.start();
    watcher.start();
    QTest::mouseClick(button("CmdQuery"), Qt::LeftButton);
    watcher.stop();
    QVERIFY(boxShown);
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!frmwait::instance().isVisible());
    const auto shown = Taken();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].text.contains(OnServer() ? QStringLiteral("已停止等待数据库服务器")
                                               : QStringLiteral("数据文件正被其他程序使用")),
             qPrintable(shown[0].text));
    QCOMPARE(boxTexts(), typed);
    held.commit();
    QCOMPARE(StoredValue(connection(), id, "tel").toString(), FullRecord().value("tel").toString());
}

QTEST_MAIN(TestDetailScreen)
#include "tst_frminfo.moc"
