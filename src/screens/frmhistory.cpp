#include "screens/frmhistory.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/ShipOwnerTable.h"
#include "platform/MsgBox.h"
#include "platform/Twips.h"
#include "screens/DbMessages.h"
#include "screens/SmartNetXpButton.h"
#include "session/modGeneral.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <cstdio>

using platform::Px;
using platform::TwipsRect;

namespace {

const QString kTitle = QStringLiteral("提示:");

QString ChangeName(const QString& change) {
    return change == QLatin1String("insert")   ? QStringLiteral("增加")
           : change == QLatin1String("delete") ? QStringLiteral("删除")
                                               : QStringLiteral("修改");
}

QString Who(const history::Version& version) {
    return version.who.isEmpty() ? QStringLiteral("未知") : version.who;
}

} // namespace

frmhistory::frmhistory() {
    setObjectName(QStringLiteral("frmhistory"));
    setWindowTitle(QStringLiteral("历史记录"));
    SetFixedClientTwips(10500, 6300);
    PaintWhite();
    SetClosesOnEscape(true);

    lblHeader = new QLabel(this);
    lblHeader->setObjectName(QStringLiteral("lblHeader"));
    lblHeader->setGeometry(TwipsRect(240, 180, 10020, 300));
    lstVersions = new QTreeWidget(this);
    lstVersions->setObjectName(QStringLiteral("lstVersions"));
    lstVersions->setAccessibleName(QStringLiteral("版本列表"));
    lstVersions->setGeometry(TwipsRect(240, 600, 10020, 4920));
    lstVersions->setRootIsDecorated(false);
    lstVersions->setAllColumnsShowFocus(true);
    lstVersions->setWordWrap(true);
    lstVersions->setHeaderLabels({QStringLiteral("版本"), QStringLiteral("时间"),
                                  QStringLiteral("修改人"), QStringLiteral("操作"),
                                  QStringLiteral("修改内容")});
    for (const auto& [column, twips] : {std::pair{0, 700}, {1, 2000}, {2, 1900}, {3, 700}})
        lstVersions->setColumnWidth(column, Px(twips));
    CmdRestore = new SmartNetXpButton(QStringLiteral("恢复此版本"),
                                      QIcon(QStringLiteral(":/art/icon-save.png")), this);
    CmdRestore->setObjectName(QStringLiteral("CmdRestore"));
    CmdRestore->setFixedSize(platform::TwipsSize(1500, 315)); // room for its longer caption
    CmdRestore->move(Px(7365), Px(5760));
    CmdClose = new SmartNetXpButton(QStringLiteral("关闭"),
                                    QIcon(QStringLiteral(":/art/icon-exit.png")), this);
    CmdClose->setObjectName(QStringLiteral("CmdClose"));
    CmdClose->move(Px(9075), Px(5760));
    setTabOrder(lstVersions, CmdRestore);
    setTabOrder(CmdRestore, CmdClose);
    connect(CmdRestore, &QAbstractButton::clicked, this, &frmhistory::CmdRestore_Click);
    connect(CmdClose, &QAbstractButton::clicked, this, &QWidget::close);
}

void frmhistory::ShowCompany(qint64 companyId) {
    companyId_ = companyId;
    Show();
    LoadVersions();
    lstVersions->setFocus();
}

void frmhistory::LoadVersions() {
    lstVersions->clear();
    try {
        versions_ = history::VersionsOf(modGeneral::dbConnection(), companyId_);
    } catch (const db::Error& error) {
        std::fprintf(stderr, "orvandel: history: %s\n", qPrintable(error.details()));
        versions_.clear();
        lblHeader->setText(QStringLiteral("无法读取历史记录：") +
                           DbFailureReason(error, modGeneral::dbConnection().ServerName()));
        CmdRestore->setEnabled(false);
        return;
    }
    for (int i = 0; i < versions_.size(); ++i) {
        const history::Version& version = versions_[i];
        const QStringList changes = history::Differences(
            i + 1 < versions_.size() ? versions_[i + 1].values : QVariantList(), version.values);
        auto* item = new QTreeWidgetItem(lstVersions, {QString::number(version.version),
                                                       history::LocalTimeText(version.at),
                                                       Who(version), ChangeName(version.change),
                                                       version.change == QLatin1String("delete")
                                                           ? QStringLiteral("（已删除）")
                                                           : changes.join(QStringLiteral("；"))});
        item->setToolTip(4, changes.join(QLatin1Char('\n')));
    }
    lblHeader->setText(
        versions_.isEmpty()
            ? QStringLiteral("编号 %1：没有历史记录。").arg(companyId_)
            : QStringLiteral("%1（编号 %2）    最后修改：%3，%4")
                  .arg(versions_.first().Text(QStringLiteral("公司名称")))
                  .arg(companyId_)
                  .arg(history::LocalTimeText(versions_.first().at), Who(versions_.first())));
    if (lstVersions->topLevelItemCount() > 0)
        lstVersions->setCurrentItem(lstVersions->topLevelItem(0));
    CmdRestore->setEnabled(!versions_.isEmpty() && modGeneral::mayChange);
    if (!modGeneral::mayChange)
        CmdRestore->setToolTip(QStringLiteral("此工作站只能查看，不能修改"));
}

void frmhistory::CmdRestore_Click() {
    const int row = lstVersions->indexOfTopLevelItem(lstVersions->currentItem());
    if (row < 0 || row >= versions_.size())
        return;
    const history::Version chosen = versions_[row];
    if (chosen.change == QLatin1String("delete")) {
        platform::MsgBox(QStringLiteral("这个版本是删除记录，请选择删除之前的版本。"),
                         platform::vbExclamation, kTitle);
        return;
    }
    if (platform::MsgBox(
            QStringLiteral("确实要将这条船东信息恢复为版本 %1 吗？").arg(chosen.version),
            platform::vbYesNo | platform::vbQuestion, kTitle) != platform::vbYes)
        return;
    try {
        db::Connection& connection = modGeneral::dbConnection();
        if (versions_.first().change == QLatin1String("delete"))
            history::Undelete(connection, chosen);
        else
            history::RestoreVersion(connection, chosen, versions_.first().version);
        platform::MsgBox(QStringLiteral("恢复成功"), platform::vbInformation, kTitle);
    } catch (const db::RowChangedError&) {
        platform::MsgBox(QStringLiteral("这条信息在您打开历史记录之后已被其他人修改或删除，"
                                        "未恢复。请查看刷新后的历史记录。"),
                         platform::vbCritical, kTitle);
    } catch (const db::Error& error) {
        std::fprintf(stderr, "orvandel: restore: %s\n", qPrintable(error.details()));
        platform::MsgBox(QStringLiteral("恢复失败：") +
                             DbFailureReason(error, modGeneral::dbConnection().ServerName()),
                         platform::vbCritical, kTitle);
    }
    LoadVersions();
}
