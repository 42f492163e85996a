#include "data/Connection.h"
#include "data/History.h"
#include "data/ShipOwnerTable.h"
#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frmdeleted.h"
#include "screens/frmhistory.h"
#include "screens/frminfo.h"
#include "session/modGeneral.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QTreeWidget>
#include <QtTest>

class TestHistoryWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void listsTheVersionsNewestFirst();
    void restoresTheChosenVersion();
    void refusesWhenChangedElsewhere();
    void deletedCompanyComesBack();
    void controlHInTheDetailScreenOpensIt();
    void escapeClosesTheWindow_data();
    void escapeClosesTheWindow();

private:
    void click(QWidget* window, const char* button);
    void updateTel(qint64 id, const QString& tel);

    SystemDirFixture dir_;
    db::Connection other_; // another desk
    frmhistory* history_ = nullptr;
    QTreeWidget* versions_ = nullptr;
};

void TestHistoryWindows::initTestCase() {
    platform::SetUpApplication();
    dir_.CreateDatabase(modGeneral::dbConnection());
    dir_.OpenAnother(other_);
    history_ = &frmhistory::instance();
    versions_ = history_->findChild<QTreeWidget*>(QStringLiteral("lstVersions"));
    QVERIFY(versions_);
}

void TestHistoryWindows::init() {
    platform::MsgBoxSeam::Intercept();
}

void TestHistoryWindows::cleanup() {
    history_->close();
    frmdeleted::instance().close();
    frminfo::instance().close();
    platform::MsgBoxSeam::Release();
}

void TestHistoryWindows::click(QWidget* window, const char* button) {
    QTest::mouseClick(window->findChild<SmartNetXpButton*>(QString::fromUtf8(button)),
                      Qt::LeftButton);
}

void TestHistoryWindows::updateTel(qint64 id, const QString& tel) {
    other_.Execute(QStringLiteral("UPDATE Orvandel SET tel = '%1' WHERE id = %2").arg(tel).arg(id));
}

void TestHistoryWindows::listsTheVersionsNewestFirst() {
    const qint64 id = InsertCompany(other_, {{"公司名称", "远洋航运"}, {"tel", "1"}});
    updateTel(id, QStringLiteral("2"));
    history_->ShowCompany(id);
    QVERIFY(QTest::qWaitForWindowExposed(history_));
    QCOMPARE(versions_->topLevelItemCount(), 2);
    QCOMPARE(versions_->topLevelItem(0)->text(3), QStringLiteral("修改"));
    QCOMPARE(versions_->topLevelItem(0)->text(4), QStringLiteral("电话：1 → 2"));
    QCOMPARE(versions_->topLevelItem(1)->text(3), QStringLiteral("增加"));
    const QString header = history_->findChild<QLabel*>(QStringLiteral("lblHeader"))->text();
    QVERIFY2(header.startsWith(QStringLiteral("远洋航运（编号 %1）    最后修改：").arg(id)),
             qPrintable(header));
    QVERIFY(header.endsWith(versions_->topLevelItem(0)->text(2)));
    QCOMPARE(versions_->topLevelItem(0)->text(1),
             history::VersionsOf(other_, id)
                 .first()
                 .at.toLocalTime()
                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

void TestHistoryWindows::restoresTheChosenVersion() {
    const qint64 id = InsertCompany(other_, {{"公司名称", "东方海运"}, {"tel", "1"}});
    updateTel(id, QStringLiteral("2"));
    history_->ShowCompany(id);
    versions_->setCurrentItem(versions_->topLevelItem(1));
    platform::MsgBoxSeam::QueueAnswers({platform::vbYes});
    click(history_, "CmdRestore");
    const QList<platform::MsgBoxSeam::Shown> shown = platform::MsgBoxSeam::Taken();
    QCOMPARE(shown.size(), 2);
    QVERIFY(shown[0].text.startsWith(QStringLiteral("确实要将这条船东信息恢复为版本")));
    QCOMPARE(shown[1].text, QStringLiteral("恢复成功"));
    QCOMPARE(StoredValue(other_, id, QStringLiteral("tel")).toString(), QStringLiteral("1"));
    QCOMPARE(versions_->topLevelItemCount(), 3);
    QCOMPARE(versions_->topLevelItem(0)->text(4), QStringLiteral("电话：2 → 1"));
}

void TestHistoryWindows::refusesWhenChangedElsewhere() {
    const qint64 id = InsertCompany(other_, {{"公司名称", "华通船务"}, {"tel", "1"}});
    history_->ShowCompany(id);
    updateTel(id, QStringLiteral("3")); // another desk, after this one looked
    versions_->setCurrentItem(versions_->topLevelItem(0));
    platform::MsgBoxSeam::QueueAnswers({platform::vbYes});
    click(history_, "CmdRestore");
    const QList<platform::MsgBoxSeam::Shown> shown = platform::MsgBoxSeam::Taken();
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[1].text.contains(QStringLiteral("已被其他人修改或删除")),
             qPrintable(shown[1].text));
    QCOMPARE(StoredValue(other_, id, QStringLiteral("tel")).toString(), QStringLiteral("3"));
    QCOMPARE(versions_->topLevelItemCount(), 2); // shown afresh
}

void TestHistoryWindows::deletedCompanyComesBack() {
    const qint64 id = InsertCompany(other_, {{"公司名称", "删掉的船东"}, {"国家", "希腊"}});
    other_.Delete(shipowner::RecordQuery(id));
    frmdeleted& deleted = frmdeleted::instance();
    deleted.Show();
    auto* list = deleted.findChild<QTreeWidget*>(QStringLiteral("lstDeleted"));
    QList<QTreeWidgetItem*> found = list->findItems(QString::number(id), Qt::MatchExactly, 0);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first()->text(1), QStringLiteral("删掉的船东"));
    QCOMPARE(found.first()->text(2), QStringLiteral("希腊"));
    list->setCurrentItem(found.first());
    click(&deleted, "CmdRestore");
    QCOMPARE(platform::MsgBoxSeam::Taken().value(0).text, QStringLiteral("恢复成功"));
    QCOMPARE(StoredValue(other_, id, QStringLiteral("公司名称")).toString(),
             QStringLiteral("删掉的船东"));
    QVERIFY(list->findItems(QString::number(id), Qt::MatchExactly, 0).isEmpty());
}

void TestHistoryWindows::controlHInTheDetailScreenOpensIt() {
    const qint64 id = InsertCompany(other_, {{"公司名称", "按键船东"}});
    frminfo& info = frminfo::instance();
    info.shipId = id;
    info.Show();
    QVERIFY(QTest::qWaitForWindowActive(&info));
    QTest::keyClick(&info, Qt::Key_H, Qt::ControlModifier);
    QTRY_VERIFY(history_->isVisible());
    QVERIFY(history_->findChild<QLabel*>(QStringLiteral("lblHeader"))
                ->text()
                .startsWith(QStringLiteral("按键船东")));
}

void TestHistoryWindows::escapeClosesTheWindow_data() {
    QTest::addColumn<bool>("deletedList");
    QTest::newRow("history") << false;
    QTest::newRow("deleted companies") << true;
}

void TestHistoryWindows::escapeClosesTheWindow() {
    QFETCH(bool, deletedList);
    platform::Form* window = history_;
    if (deletedList) {
        window = &frmdeleted::instance();
        window->Show();
    } else {
        history_->ShowCompany(InsertCompany(other_, {{"公司名称", "关窗船东"}}));
    }
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!window->isVisible());
}

QTEST_MAIN(TestHistoryWindows)
#include "tst_frmhistory.moc"
