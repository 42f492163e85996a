#include "screens/frmdeleted.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/ShipOwnerTable.h"
#include "platform/MsgBox.h"
#include "platform/Twips.h"
#include "screens/DbMessages.h"
#include "screens/SmartNetXpButton.h"
#include "session/modGeneral.h"

#include <QTreeWidget>
#include <cstdio>

using platform::Px;
using platform::TwipsRect;

namespace {

const QString kTitle = QStringLiteral("提示:");

} // namespace

frmdeleted::frmdeleted() {
    setObjectName(QStringLiteral("frmdeleted"));
    setWindowTitle(QStringLiteral("已删除的船东"));
    SetFixedClientTwips(9000, 5400);
    PaintWhite();
    SetClosesOnEscape(true);

    lstDeleted = new QTreeWidget(this);
    lstDeleted->setObjectName(QStringLiteral("lstDeleted"));
    lstDeleted->setAccessibleName(QStringLiteral("已删除的船东"));
    lstDeleted->setGeometry(TwipsRect(240, 240, 8520, 4380));
    lstDeleted->setRootIsDecorated(false);
    lstDeleted->setAllColumnsShowFocus(true);
    lstDeleted->setHeaderLabels({QStringLiteral("编号"), QStringLiteral("船东名称"),
                                 QStringLiteral("国家"), QStringLiteral("删除时间"),
                                 QStringLiteral("删除人")});
    for (const auto& [column, twips] : {std::pair{0, 800}, {1, 2600}, {2, 1200}, {3, 2000}})
        lstDeleted->setColumnWidth(column, Px(twips));
    CmdRestore = new SmartNetXpButton(QStringLiteral("恢复"),
                                      QIcon(QStringLiteral(":/art/icon-save.png")), this);
    CmdRestore->setObjectName(QStringLiteral("CmdRestore"));
    CmdRestore->move(Px(6180), Px(4860));
    CmdClose = new SmartNetXpButton(QStringLiteral("关闭"),
                                    QIcon(QStringLiteral(":/art/icon-exit.png")), this);
    CmdClose->setObjectName(QStringLiteral("CmdClose"));
    CmdClose->move(Px(7575), Px(4860));
    setTabOrder(lstDeleted, CmdRestore);
    setTabOrder(CmdRestore, CmdClose);
    connect(CmdRestore, &QAbstractButton::clicked, this, &frmdeleted::CmdRestore_Click);
    connect(CmdClose, &QAbstractButton::clicked, this, &QWidget::close);
}

void frmdeleted::Form_Load() {
    lstDeleted->clear();
    try {
        deleted_ = history::Deleted(modGeneral::dbConnection());
    } catch (const db::Error& error) {
        std::fprintf(stderr, "orvandel: deleted: %s\n", qPrintable(error.details()));
        deleted_.clear();
        platform::MsgBox(QStringLiteral("无法读取已删除的船东：") +
                             DbFailureReason(error, modGeneral::dbConnection().ServerName()),
                         platform::vbCritical, kTitle);
    }
    for (const history::Version& version : deleted_)
        new QTreeWidgetItem(
            lstDeleted,
            {QString::number(version.companyId), version.Text(QStringLiteral("公司名称")),
             version.Text(QStringLiteral("国家")), history::LocalTimeText(version.at),
             version.who.isEmpty() ? QStringLiteral("未知") : version.who});
    if (lstDeleted->topLevelItemCount() > 0)
        lstDeleted->setCurrentItem(lstDeleted->topLevelItem(0));
    CmdRestore->setEnabled(!deleted_.isEmpty() && modGeneral::mayChange);
    if (!modGeneral::mayChange)
        CmdRestore->setToolTip(QStringLiteral("此工作站只能查看，不能修改"));
    lstDeleted->setFocus();
}

void frmdeleted::CmdRestore_Click() {
    const int row = lstDeleted->indexOfTopLevelItem(lstDeleted->currentItem());
    if (row < 0 || row >= deleted_.size())
        return;
    try {
        history::Undelete(modGeneral::dbConnection(), deleted_[row]);
        platform::MsgBox(QStringLiteral("恢复成功"), platform::vbInformation, kTitle);
    } catch (const db::Error& error) {
        std::fprintf(stderr, "orvandel: undelete: %s\n", qPrintable(error.details()));
        platform::MsgBox(error.kind() == db::ErrorKind::Misuse
                             ? QStringLiteral("这条船东信息已被恢复。")
                             : QStringLiteral("恢复失败：") +
                                   DbFailureReason(error, modGeneral::dbConnection().ServerName()),
                         platform::vbCritical, kTitle);
    }
    Form_Load();
}
