#include "platform/Form.h"

#include "platform/CommonControls.h"
#include "platform/Twips.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

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

void Form::Show() {
    if (IsOpen()) {
        Form_ShowWhileOpen();
    } else {
        Form_Load();
        CentreOnScreen();
        openForms().append(this);
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

void Form::CentreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

} // namespace platform
