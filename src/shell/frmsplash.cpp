#include "shell/frmsplash.h"

#include "platform/Pictures.h"
#include "platform/Programs.h"
#include "platform/Twips.h"
#include "platform/WindowName.h"
#include "session/modGeneral.h"
#include "shell/frmmain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoopLocker>
#include <QFrame>
#include <QImageReader>
#include <QLabel>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>
#include <stdexcept>

namespace {

// How long the picture may take to appear before start-up goes on without it.
constexpr qint64 kLongestMappingWaitMs = 500;

} // namespace

frmsplash::frmsplash() {
    setObjectName(QStringLiteral("frmsplash"));
    // No caption and no control box; as a splash window it stays out of the taskbar.
    setWindowFlags(Qt::SplashScreen | Qt::CustomizeWindowHint);
    resize(platform::TwipsSize(6795, 5115));

    imgSplash = new QFrame(this);
    imgSplash->setObjectName(QStringLiteral("imgSplash"));
    imgSplash->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    imgSplash->setLineWidth(2);
    imgSplash->setGeometry(platform::TwipsRect(-30, -30, 6855, 5205));
    imgSplash->setAutoFillBackground(true);
    imgSplash->setBackgroundRole(QPalette::Button);
    // The picture starts where the container's inside does: at the window's top-left corner.
    picture_ = new QLabel(imgSplash);
    picture_->setObjectName(QStringLiteral("picture"));
    picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture_->setGeometry(imgSplash->contentsRect());

    Timer1 = new QTimer(imgSplash);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &frmsplash::Timer1_Timer);
}

QString frmsplash::SplashPicturePath(const QString& executableDirectory) {
    QString path = executableDirectory;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path + QStringLiteral("images/splash.gif");
}

void frmsplash::Form_Load() {
    Timer1->stop();
    const QString path = SplashPicturePath(platform::ExecutableDirectory());
    picture_->clear();
    if (platform::IsOrdinaryFile(path)) {
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        const QImage image = reader.read();
        if (image.isNull())
            throw std::runtime_error("the splash picture cannot be read");
        // On a screen of two device pixels to a pixel, a splash@2x.gif beside it is sharper.
        const QPixmap sharp = platform::HighDpiVariant(path);
        picture_->setPixmap(sharp.isNull() ? QPixmap::fromImage(image) : sharp);
    }
    StartTicks();
}

void frmsplash::StartTicks() {
    splashTicks = 0;
    ticksHeld_ = false;
    Timer1->start();
}

void frmsplash::ShowBeforeStartupEnds() {
    Show();
    Timer1->stop();
    ticksHeld_ = true;
    // The desktop maps the window a moment later; it is painted as soon as it is.
    QElapsedTimer waited;
    waited.start();
    while (!windowHandle()->isExposed() && waited.elapsed() < kLongestMappingWaitMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    repaint();
}

void frmsplash::Form_ShowWhileOpen() {
    if (ticksHeld_)
        StartTicks();
}

void frmsplash::Timer1_Timer() {
    ++splashTicks;
    if (splashTicks != 2)
        return;
    // For a moment no window is open; the program must not end in between.
    QEventLoopLocker keepRunning;
    close();
    frmmain::instance().Show();
    modGeneral::StartPageCheck();
}

// Each time, before the window is mapped: shown a second time, it had its name back.
void frmsplash::showEvent(QShowEvent* event) {
    platform::RemoveWindowName(this);
    Form::showEvent(event);
}

void frmsplash::closeEvent(QCloseEvent* event) {
    Timer1->stop();
    Form::closeEvent(event);
}
