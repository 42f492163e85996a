#include "screens/frminfo.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Duplicates.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"
#include "platform/MsgBox.h"
#include "platform/Pictures.h"
#include "platform/Twips.h"
#include "screens/DbMessages.h"
#include "screens/SmartNetXpButton.h"
#include "screens/frmhistory.h"
#include "session/modGeneral.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <cstdio>

using platform::Px;

namespace {

// One row of the layout: a label and the text box bound to a column, in twips.
struct Field {
    const char* caption;
    int labelLeft, labelTop, labelWidth;
    int box;
    int boxLeft, boxTop, boxWidth;
    int lineX1, lineX2, lineY;
};

constexpr int kLabelHeight = 180;
// The boxes of the company's name and country, which a likely duplicate shares.
constexpr int kNameBox = 0;
constexpr int kCountryBox = 1;

// Top to bottom on screen.
const Field kFields[] = {
    {"船东名称", 195, 315, 720, 0, 1035, 255, 6975, 1005, 7965, 570},
    {"国家", 555, 735, 360, 1, 1035, 660, 6975, 1050, 8010, 990},
    {"电话", 555, 1170, 360, 14, 1035, 1110, 2835, 1020, 3825, 1440},
    {"传真", 4440, 1140, 360, 15, 4965, 1110, 3045, 4950, 8010, 1440},
    {"地址", 555, 1590, 360, 16, 1035, 1530, 6975, 1020, 8025, 1860},
    {"Tank_No", 285, 2040, 630, 2, 1035, 1980, 2835, 1020, 3795, 2340},
    {"Tank_Dwt", 4080, 1980, 720, 3, 4980, 1965, 3015, 4965, 8025, 2340},
    {"Bulk_NO", 285, 2430, 630, 4, 1035, 2370, 2835, 1035, 3810, 2700},
    {"Bulk_Dwt", 4080, 2400, 720, 5, 4980, 2385, 3015, 4980, 8040, 2700},
    {"Gas_No", 375, 2805, 540, 6, 1035, 2760, 2835, 1005, 3780, 3075},
    {"Gas_Cum", 4170, 2790, 630, 7, 4980, 2760, 3015, 4950, 8010, 3075},
    {"Chem_No", 285, 3165, 630, 8, 1035, 3135, 2835, 1020, 3795, 3480},
    {"Chem_Dwt", 4080, 3165, 720, 9, 4980, 3150, 3015, 4965, 8025, 3480},
    {"Cont_No", 285, 3555, 630, 10, 1035, 3525, 2835, 1035, 3810, 3885},
    {"Cont_TEU", 4080, 3585, 720, 11, 4980, 3540, 3015, 4980, 8040, 3885},
    {"Other_No", 195, 3990, 720, 12, 1035, 3960, 6990, 1035, 7995, 4275},
    {"Other_Dwt", 105, 4365, 810, 13, 1035, 4380, 6975, 1035, 7995, 4680},
};

const QString kTitle = QStringLiteral("提示:");
const QString kAddCaption = QStringLiteral("增加");
const QString kChangeCaption = QStringLiteral("修改");
const QString kLookOnly = QStringLiteral("这台电脑只能查看船东信息，不能增加、修改或删除。");

// The column each box is bound to; the same for loading and saving.
const QString& Column(int box) {
    return shipowner::ColumnInBox(box).name;
}

// What a box takes as typed or pasted. A longer stored text widens its box while shown, so that
// what is saved is always what was stored.
int Cap(int box) {
    return shipowner::ColumnInBox(box).cap;
}

QString LabelOf(const QString& column) {
    for (const Field& field : kFields)
        if (Column(field.box) == column)
            return QString::fromUtf8(field.caption);
    return column;
}

void ReportFailure(const QString& what, const db::Error& error) {
    std::fprintf(stderr, "orvandel: %s\n", qPrintable(error.details()));
    platform::MsgBox(what + DbFailureReason(error, modGeneral::dbConnection().ServerName()),
                     platform::vbCritical, kTitle);
}

// The texts the boxes show for the current row of a result set.
QStringList RowTexts(const db::Recordset& rs) {
    QStringList texts;
    for (int box = 0; box < frminfo::kBoxes; ++box)
        texts.append(shipowner::ValueText(rs.Field(Column(box))));
    return texts;
}

// The stored companies a new one would duplicate, as the question names them: at most three, by
// name and id, "等" and the count when there are more.
QString NamesOf(const QList<shipowner::NamedCompany>& companies) {
    constexpr int kNamed = 3;
    QStringList names;
    for (const shipowner::NamedCompany& company : companies.mid(0, kNamed))
        names.append(QStringLiteral("“%1” 编号 %2").arg(company.name).arg(company.id));
    QString text = names.join(QStringLiteral("、"));
    if (companies.size() > kNamed)
        text += QStringLiteral(" 等 %1 家").arg(companies.size());
    return text;
}

} // namespace

frminfo::frminfo() : background_(platform::Picture(QStringLiteral(":/art/globe.gif"))) {
    setObjectName(QStringLiteral("frminfo"));
    setWindowTitle(QStringLiteral("船东船舶详细信息"));
    SetFixedClientTwips(8100, 5970);
    for (const Field& field : kFields) {
        auto* label = new QLabel(QString::fromUtf8(field.caption), this);
        label->setObjectName(QStringLiteral("lbl_%1").arg(field.box));
        label->setAttribute(Qt::WA_TranslucentBackground);
        // Sized to its caption and 12 pixels high, its right edge on the column's edge: Latin
        // captions come from a face of other widths than the layout's, and still line up.
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        const int width = label->sizeHint().width();
        label->setGeometry(Px(field.labelLeft + field.labelWidth) - width, Px(field.labelTop),
                           width, Px(kLabelHeight));
        lbl[field.box] = label;
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Txt_%1").arg(field.box));
        box->setFrame(false);
        box->setGeometry(Px(field.boxLeft), Px(field.boxTop), Px(field.boxWidth), Px(255));
        box->setMaxLength(Cap(field.box));
        Txt[field.box] = box;
        label->setBuddy(box); // screen readers name the box by its label
        box->setAccessibleDescription(shipowner::ColumnInBox(field.box).meaning);
    }
    const auto makeButton = [this](const char* name, const QString& caption, const char* icon,
                                   int left) {
        auto* button = new SmartNetXpButton(caption, QIcon(QLatin1String(icon)), this);
        button->setObjectName(QLatin1String(name));
        button->move(Px(left), Px(5040));
        return button;
    };
    SmartNetXpButton1 =
        makeButton("SmartNetXpButton1", QStringLiteral("删除"), ":/art/icon-delete.png", 3705);
    CmdQuery = makeButton("CmdQuery", QStringLiteral("确定"), ":/art/icon-save.png", 5250);
    CmdStop = makeButton("CmdStop", QStringLiteral("退出"), ":/art/icon-exit.png", 6795);

    QWidget* previous = CmdQuery;
    for (QWidget* next :
         {static_cast<QWidget*>(CmdStop), static_cast<QWidget*>(SmartNetXpButton1)}) {
        setTabOrder(previous, next);
        previous = next;
    }
    for (int box = kBoxes - 1; box >= 0; --box) {
        setTabOrder(previous, Txt[box]);
        previous = Txt[box];
    }

    connect(CmdQuery, &QAbstractButton::clicked, this, &frminfo::CmdQuery_Click);
    connect(SmartNetXpButton1, &QAbstractButton::clicked, this, &frminfo::SmartNetXpButton1_Click);
    connect(CmdStop, &QAbstractButton::clicked, this, &frminfo::CmdStop_Click);
    // Ctrl+H: the history of the company shown.
    auto* historyAction = new QAction(QStringLiteral("历史记录"), this);
    historyAction->setObjectName(QStringLiteral("mnuHistory"));
    historyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    addAction(historyAction);
    connect(historyAction, &QAction::triggered, this, [this] {
        if (shipId >= 0)
            frmhistory::instance().ShowCompany(shipId);
    });
}

void frminfo::Form_Load() {
    LoadRecord();
    // A desk whose account may only read shows the record with its saving buttons off.
    const bool mayChange = modGeneral::mayChange;
    for (SmartNetXpButton* button : {CmdQuery, SmartNetXpButton1}) {
        button->setEnabled(mayChange);
        button->setToolTip(mayChange ? QString() : kLookOnly);
    }
    (mayChange ? CmdQuery : CmdStop)->setFocus();
}

void frminfo::ClearBoxes() {
    for (int box = 0; box < kBoxes; ++box) {
        Txt[box]->clear();
        Txt[box]->setMaxLength(Cap(box));
    }
}

void frminfo::LoadRecord() {
    ClearBoxes();
    loaded_.reset();
    if (shipId == -1) {
        CmdQuery->SetCaption(kAddCaption);
        return;
    }
    CmdQuery->SetCaption(kChangeCaption);
    try {
        db::Recordset rs;
        rs.Open(shipowner::RecordQuery(shipId), modGeneral::dbConnection(), db::adOpenUnspecified,
                db::adLockUnspecified);
        if (!rs.AtEnd()) {
            loaded_ = RowTexts(rs);
            for (int box = 0; box < kBoxes; ++box) {
                const QString& text = loaded_->at(box);
                Txt[box]->setMaxLength(qMax(Cap(box), static_cast<int>(text.size())));
                Txt[box]->setText(text);
            }
        }
        rs.Close();
    } catch (const db::Error& error) {
        ClearBoxes();
        ReportFailure(QStringLiteral("读取失败："), error);
    }
}

void frminfo::CmdQuery_Click() {
    try {
        db::Recordset rs;
        rs.Open(shipowner::RecordQuery(shipId), modGeneral::dbConnection(), db::adOpenKeyset,
                db::adLockPessimistic);
        // Someone else's save since this screen loaded the row is not overwritten.
        if (loaded_ && rs.AtEnd())
            throw db::RowChangedError(true);
        if (loaded_ && RowTexts(rs) != *loaded_)
            throw db::RowChangedError(false);
        if (rs.AtEnd()) {
            if (!MayAddDespiteLikelyDuplicates())
                return;
            rs.AddNew();
        }
        for (int box = 0; box < kBoxes; ++box)
            rs.SetField(Column(box), shipowner::TrimSpaces(Txt[box]->text()));
        rs.Update();
        loaded_ = RowTexts(rs);
        // Update has committed: the row is on disk before the user is told so.
        platform::MsgBox(shipId == -1 ? QStringLiteral("增加成功") : QStringLiteral("修改成功"),
                         platform::vbInformation, kTitle);
        shipId = rs.Field(QStringLiteral("id")).toLongLong();
        CmdQuery->SetCaption(kChangeCaption);
        rs.Close();
    } catch (const db::RowChangedError& error) {
        ReportChangedElsewhere(error.deleted());
    } catch (const db::ConversionError& error) {
        const QString range =
            error.outOfRange()
                ? QStringLiteral("-9223372036854775808 到 9223372036854775807 之间的")
                : QString();
        platform::MsgBox(QStringLiteral("“%1”只能填写%2整数，或者留空。信息未保存。")
                             .arg(LabelOf(error.column()), range),
                         platform::vbCritical, kTitle);
    } catch (const db::ServerLostError& error) {
        ReportFailure(error.duringCommit() ? QStringLiteral("无法确认是否保存成功：")
                                           : QStringLiteral("保存失败，信息未保存："),
                      error);
    } catch (const db::Error& error) {
        ReportFailure(QStringLiteral("保存失败，信息未保存："), error);
    }
}

bool frminfo::MayAddDespiteLikelyDuplicates() {
    const QList<shipowner::NamedCompany> found = shipowner::LikelyDuplicatesOf(
        modGeneral::dbConnection(), Txt[kNameBox]->text(), Txt[kCountryBox]->text());
    if (found.isEmpty())
        return true;
    return platform::MsgBox(
               QStringLiteral("已有同名船东（%1），是否仍要增加？").arg(NamesOf(found)),
               platform::vbYesNo | platform::vbQuestion, kTitle) == platform::vbYes;
}

void frminfo::ReportChangedElsewhere(bool deleted) {
    if (!deleted) {
        platform::MsgBox(QStringLiteral("这条信息在您打开之后已被其他人修改，信息未保存。"
                                        "请重新打开这条信息，查看修改后的内容。"),
                         platform::vbCritical, kTitle);
        return;
    }
    platform::MsgBox(QStringLiteral("这条信息在您打开之后已被其他人删除，信息未保存。"
                                    "再按“增加”可将它作为新信息保存。"),
                     platform::vbCritical, kTitle);
    loaded_.reset();
    shipId = -1;
    CmdQuery->SetCaption(kAddCaption);
}

void frminfo::SmartNetXpButton1_Click() {
    if (shipId == -1)
        return;
    if (platform::MsgBox(QStringLiteral("是否要删除当前信息？"), platform::vbYesNo, kTitle) !=
        platform::vbYes)
        return;
    try {
        modGeneral::dbConnection().Delete(shipowner::RecordQuery(shipId));
    } catch (const db::Error& error) {
        ReportFailure(QStringLiteral("删除失败："), error);
        return;
    }
    ClearBoxes();
    loaded_.reset();
    shipId = -1;
    CmdQuery->SetCaption(kAddCaption);
}

void frminfo::CmdStop_Click() {
    close();
    shipId = -1;
}

void frminfo::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.drawPixmap(0, 0, background_);
    painter.setPen(palette().color(QPalette::WindowText));
    for (const Field& field : kFields)
        painter.drawLine(Px(field.lineX1), Px(field.lineY), Px(field.lineX2), Px(field.lineY));
}
