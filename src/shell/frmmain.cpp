#include "shell/frmmain.h"

#include "platform/CommandLabel.h"
#include "platform/CommonControls.h"
#include "platform/Pictures.h"
#include "platform/StatusBar.h"
#include "platform/Twips.h"
#include "screens/frminfo.h"
#include "screens/frmquery.h"
#include "shell/frmAbout.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>

using platform::Px;
using platform::TwipsRect;

namespace {

QLabel* MakePicture(QWidget* parent, const char* name, const QString& file, const QRect& box,
                    bool stretched) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(QLatin1String(name));
    picture->setPixmap(platform::Picture(file));
    picture->setScaledContents(stretched);
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setGeometry(box);
    return picture;
}

// Menu labels, by index: caption and position in twips.
struct MenuEntry {
    const char* caption;
    int left, top;
};
const MenuEntry kMenu[4] = {{"退出系统", 1020, 5520},
                            {"关于我们", 1080, 4575},
                            {"添加信息", 1035, 3750},
                            {"船东船舶", 990, 2835}};

constexpr int kNormalPoints = 12;
constexpr int kHighlightPoints = 13;

void StyleMenuLabel(QLabel* label, const QColor& colour, int points) {
    label->setFont(platform::UiFont(platform::kKaiFamily, points, true));
    platform::SetTextColour(label, colour);
    platform::FitLabelToText(label);
}

} // namespace

frmmain::frmmain() {
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(QStringLiteral("Orvandel"));
    SetFixedClientTwips(11805, 8790);

    auto* Picture1 = new QFrame(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setLineWidth(2);
    Picture1->setGeometry(TwipsRect(-15, 0, 11820, 8385));
    // Positions inside the container count from the inside of its border.
    auto* inside = new QWidget(Picture1);
    inside->setGeometry(Picture1->contentsRect());

    // Created bottom of the drawing order first: a later sibling is drawn over an earlier one.
    MakePicture(inside, "Image2_0", QStringLiteral(":/art/side-panel.jpg"),
                TwipsRect(0, 1350, 2715, 6975), true);
    MakePicture(inside, "Image1", QStringLiteral(":/art/banner.jpg"), TwipsRect(0, 0, 11850, 1695),
                true);
    MakePicture(inside, "Image3", QStringLiteral(":/art/globe.gif"),
                TwipsRect(2700, 1710, 9045, 6585), true);
    MakePicture(inside, "Image8_0", QStringLiteral(":/art/menu-exit.png"),
                TwipsRect(390, 5370, 480, 480), false);
    const QCursor hand(platform::Picture(QStringLiteral(":/art/hand-cursor.png")), 12, 1);
    const auto makeLabel = [&](int index) {
        auto* label = new platform::CommandLabel(QString::fromUtf8(kMenu[index].caption), inside);
        label->setObjectName(QStringLiteral("Label1_%1").arg(index));
        label->move(Px(kMenu[index].left), Px(kMenu[index].top));
        label->setCursor(hand);
        label->setMouseTracking(true);
        label->installEventFilter(this);
        connect(label, &platform::CommandLabel::Clicked, this,
                [this, index] { Label1_Click(index); });
        StyleMenuLabel(label, Qt::black, kNormalPoints);
        Label1[index] = label;
    };
    makeLabel(0);
    makeLabel(1);
    MakePicture(inside, "Image8_1", QStringLiteral(":/art/menu-add.png"),
                TwipsRect(390, 3645, 480, 480), false);
    makeLabel(2);
    makeLabel(3);
    MakePicture(inside, "Image8_3", QStringLiteral(":/art/menu-query.png"),
                TwipsRect(390, 2730, 480, 480), false);
    auto* Line1 = new QFrame(inside);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setGeometry(Px(2715), Px(1680), 1, Px(8685) - Px(1680) + 1);
    Line1->setAutoFillBackground(true);
    Line1->setBackgroundRole(QPalette::WindowText);
    MakePicture(inside, "Image8_4", QStringLiteral(":/art/menu-about.png"),
                TwipsRect(390, 4470, 480, 480), false);
    MakePicture(inside, "Image4", QStringLiteral(":/art/ship.jpg"),
                TwipsRect(375, 6210, 2250, 1605), true);

    auto* StatusBar1 = new platform::StatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(TwipsRect(0, 8400, 11805, 390));
    StatusBar1->AddTextPanel(Px(5600),
                             QStringLiteral("本名录数据仅供业务参考，欢迎提供更新信息。"));
    StatusBar1->AddDatePanel(Px(1440));
    StatusBar1->AddTimePanel(Px(1440));
    StatusBar1->AddTextPanel(Px(3100), QStringLiteral("世界船东录"));
}

bool frmmain::eventFilter(QObject* watched, QEvent* event) {
    for (int index = 0; index < 4; ++index) {
        if (watched != Label1[index])
            continue;
        if (event->type() == QEvent::MouseMove)
            Label1_MouseMove(index);
    }
    return Form::eventFilter(watched, event);
}

void frmmain::Label1_MouseMove(int index) {
    for (int other = 0; other < 4; ++other)
        if (other != index)
            StyleMenuLabel(Label1[other], Qt::black, kNormalPoints);
    StyleMenuLabel(Label1[index], QColor(0, 0, 255), kHighlightPoints);
}

void frmmain::Label1_Click(int index) {
    switch (index) {
    case 3:
        frmquery::instance().Show();
        break;
    case 2:
        frminfo::instance().shipId = -1;
        frminfo::instance().Show();
        break;
    case 1:
        frmAbout::instance().Show();
        break;
    case 0: {
        const qsizetype open = Form::OpenForms().size();
        for (qsizetype i = 0; i < open && !Form::OpenForms().isEmpty(); ++i)
            Form::OpenForms().first()->close();
        QCoreApplication::exit(0);
        break;
    }
    default:
        break;
    }
}
