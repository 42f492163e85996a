#include "shell/frmAbout.h"

#include "platform/CommonControls.h"
#include "platform/MsgBox.h"
#include "platform/Pictures.h"
#include "platform/Programs.h"
#include "platform/Twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <stdexcept>

using platform::Px;
using platform::TwipsRect;

namespace {

const char kMsInfoKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const char kMsInfoLocationKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr unsigned kKeyAllAccess = 0x2003F;
constexpr unsigned kValueBufferSize = 1024;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QColor& colour) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    platform::SetTextColour(label, colour);
    return label;
}

} // namespace

frmAbout::frmAbout() {
    setObjectName(QStringLiteral("frmAbout"));
    SetFixedClientTwips(5730, 3555);

    auto* Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(platform::Picture(QStringLiteral(":/art/about-logo.png")));
    Image1->setScaledContents(true);
    Image1->setGeometry(TwipsRect(45, 195, 1245, 735));

    QLabel* slogan = MakeLabel(this, "Label1", QStringLiteral("World Fleets"), QColor(192, 0, 192));
    QFont sloganFont = platform::UiFont(QStringLiteral("Arial"), 9, true);
    sloganFont.setItalic(true);
    slogan->setFont(sloganFont);
    slogan->setGeometry(TwipsRect(75, 930, 1335, 255));

    lblTitle = MakeLabel(this, "lblTitle", QString(), QColor(0, 0, 255));
    lblTitle->setFont(platform::UiFont(platform::kSongFamily, 12, true));
    lblTitle->move(Px(1485), Px(240));
    lblVersion = MakeLabel(this, "lblVersion", QString(), palette().color(QPalette::WindowText));
    lblVersion->move(Px(1515), Px(750));

    QLabel* description = MakeLabel(
        this, "lblDescription",
        QStringLiteral(
            "世界范围内船东所经营船舶数量情况，附带联系方式信息，为您开展海外业务提供方便"),
        Qt::black);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    description->setGeometry(TwipsRect(1500, 1200, 3885, 900));

    QLabel* disclaimer = MakeLabel(
        this, "lblDisclaimer",
        QStringLiteral("警告：本软件受著作权保护，未经许可，任何单位和个人不得使用、复制或传播。"),
        QColor(255, 0, 0));
    disclaimer->setWordWrap(true);
    disclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    disclaimer->setGeometry(TwipsRect(180, 2520, 3870, 450));

    cmdOK = new QPushButton(QStringLiteral("确定"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(TwipsRect(4125, 2475, 1500, 345));
    cmdSysInfo = new QPushButton(QStringLiteral("系统信息(&S)..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(TwipsRect(4140, 2925, 1485, 345));
    setTabOrder(cmdOK, cmdSysInfo);
    // As in a dialog, the focused button is the default one and is drawn so.
    cmdOK->setAutoDefault(true);
    cmdSysInfo->setAutoDefault(true);

    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
}

void frmAbout::Form_Load() {
    setWindowTitle(QStringLiteral("关于 ") + platform::kApplicationTitle);
    lblVersion->setText(QStringLiteral("版本 %1.%2.%3")
                            .arg(ORVANDEL_VERSION_MAJOR)
                            .arg(ORVANDEL_VERSION_MINOR)
                            .arg(ORVANDEL_VERSION_PATCH));
    lblVersion->adjustSize();
    lblTitle->setText(platform::kApplicationTitle);
    lblTitle->adjustSize();
    cmdOK->setFocus();
    cmdOK->setDefault(true); // drawn as the default before the box has the keyboard's focus
}

void frmAbout::keyPressEvent(QKeyEvent* event) {
    // cmdOK is the cancel button, and the default one unless another button has the focus.
    if (event->key() == Qt::Key_Escape) {
        cmdOK->click();
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        (focusWidget() == cmdSysInfo ? cmdSysInfo : cmdOK)->click();
    } else {
        Form::keyPressEvent(event);
    }
}

void frmAbout::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(QColor(128, 128, 128), 1));
    painter.drawLine(Px(90), Px(2295), Px(5654), Px(2295));
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(Px(105), Px(2310) + 1, Px(5654), Px(2310) + 1);
}

void frmAbout::StartSysInfo() {
    try {
        QString path;
        if (!GetKeyValue(platform::HKEY_LOCAL_MACHINE, QLatin1String(kMsInfoKey),
                         QStringLiteral("PATH"), path)) {
            if (!GetKeyValue(platform::HKEY_LOCAL_MACHINE, QLatin1String(kMsInfoLocationKey),
                             QStringLiteral("MSINFO"), path))
                throw std::runtime_error("no system information tool is registered");
            const QString tool = path + QStringLiteral("/MSINFO32.EXE");
            if (!platform::IsOrdinaryFile(tool))
                throw std::runtime_error("the registered folder holds no tool");
            path = tool;
        }
        if (!platform::StartProgram(path))
            throw std::runtime_error("the tool cannot be started");
    } catch (const std::exception&) {
        platform::MsgBox(QStringLiteral("此时系统信息不可用"), platform::vbOKOnly,
                         platform::kApplicationTitle);
    }
}

bool frmAbout::GetKeyValue(platform::HKEY keyRoot, const QString& keyName, const QString& subKeyRef,
                           QString& keyValue) {
    platform::HKEY key = 0;
    if (platform::RegOpenKeyExA(keyRoot, keyName.toLocal8Bit().constData(), 0, kKeyAllAccess,
                                &key) != platform::ERROR_SUCCESS) {
        keyValue.clear();
        return false;
    }
    QByteArray buffer(kValueBufferSize, '\0');
    unsigned size = kValueBufferSize;
    unsigned type = 0;
    if (platform::RegQueryValueExA(key, subKeyRef.toLocal8Bit().constData(), nullptr, &type,
                                   reinterpret_cast<unsigned char*>(buffer.data()),
                                   &size) != platform::ERROR_SUCCESS) {
        keyValue.clear();
        platform::RegCloseKey(key);
        return false;
    }
    QByteArray text = buffer.left(static_cast<int>(size));
    if (!text.isEmpty() && text.endsWith('\0'))
        text.chop(1);
    if (type == platform::REG_SZ) {
        keyValue = QString::fromLocal8Bit(text);
    } else if (type == platform::REG_DWORD && size >= 4) {
        quint32 number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(buffer[i]);
        keyValue = QString::number(number);
    }
    platform::RegCloseKey(key);
    return true;
}
