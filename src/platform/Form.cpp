#include "platform/Form.h"

#include "platform/CommonControls.h"
#include "platform/Twips.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>

namespace platform {

namespace {
QList<Form*>& openForms() {
    static QList<Form*> forms;
    return forms;
}

// A plain widget is a filler to assistive technology; a form is a window, named by its caption,
// which is what a screen reader announces when it comes to the front.
QAccessibleInterface* FormAccessible(const QString&, QObject* object) {
    if (auto* form = qobject_cast<Form*>(object))
        return new QAccessibleWidget(form, QAccessible::Window);
    return nullptr;
}
} // namespace

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window) {
    static const bool factoryInstalled = (QAccessible::installFactory(FormAccessible), true);
    Q_UNUSED(factoryInstalled);
    InitCommonControls();
    setWindowIcon(QIcon(QStringLiteral(":/art/window-icon.png")));
}

Form::~Form() {
    openForms().removeAll(this);
}

void Form::PaintWhite() {
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
}

void Form::keyPressEvent(QKeyEvent* event) {
    if (closesOnEscape_ && event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form::Show() {
    if (IsOpen()) {
        Form_ShowWhileOpen();
    } else {
        Form_Load();
        // The desktop frames a window only when it shows it: until then, take the frame of a
        // window of the same kind already shown, and centre again once the real one is known.
        QMargins frame;
        for (const Form* shown : openForms()) {
            if (shown->windowFlags() == windowFlags() && shown->isVisible())
                frame = shown->FrameMargins();
        }
        CentreOnScreen(frame);
        openForms().append(this);
        if (windowHandle() == nullptr)
            create();
        windowHandle()->installEventFilter(this);
        centreWhenFramed_ = true;
        show();
    }
    raise();
    activateWindow();
}

bool Form::IsOpen() const {
    return openForms().contains(const_cast<Form*>(this));
}

QList<Form*> Form::OpenForms() {
    return openForms();
}

void Form::SetFixedClientTwips(int width, int height) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(TwipsSize(width, height));
}

bool Form::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Close && event->isAccepted())
        openForms().removeAll(this);
    return handled;
}

bool Form::eventFilter(QObject* watched, QEvent* event) {
    if (centreWhenFramed_ && watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        centreWhenFramed_ = false;
        CentreOnScreen(FrameMargins());
    }
    return QWidget::eventFilter(watched, event);
}

QMargins Form::FrameMargins() const {
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
}

void Form::CentreOnScreen(const QMargins& frame) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect framed(QPoint(0, 0), size().grownBy(frame));
    framed.moveCenter(screen->availableGeometry().center());
    // For a window, move() places the top-left corner of its frame.
    if (framed.topLeft() != pos())
        move(framed.topLeft());
}

} // namespace platform
