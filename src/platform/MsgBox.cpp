#include "platform/MsgBox.h"

#include "platform/CommonControls.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

namespace platform {
namespace {

struct SeamState {
    bool intercepting = false;
    std::function<void(QMessageBox&)> whenShown;
    QList<int> answers;
    QList<MsgBoxSeam::Shown> shown;
};

SeamState& seam() {
    static SeamState state;
    return state;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

ButtonSet buttonsFor(int style) {
    switch (style & 0x7) {
    case 1:
        return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok};
    case 2:
        return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Abort};
    case 3:
        return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes};
    case 4:
        return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes};
    case 5:
        return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry};
    default:
        return {QMessageBox::Ok, QMessageBox::Ok};
    }
}

QMessageBox::Icon iconFor(int style) {
    switch (style & 0x70) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int answerFor(QMessageBox::StandardButton button) {
    switch (button) {
    case QMessageBox::Cancel:
        return vbCancel;
    case QMessageBox::Abort:
        return vbAbort;
    case QMessageBox::Retry:
        return vbRetry;
    case QMessageBox::Ignore:
        return vbIgnore;
    case QMessageBox::Yes:
        return vbYes;
    case QMessageBox::No:
        return vbNo;
    default:
        return vbOK;
    }
}

// Without an icon Qt still sets the text in by an empty column; the desktop this was designed for
// starts it at the margin, and on the left also where the buttons are wider than the text.
void NoIndentWithoutIcon(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    auto* text = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (box.icon() != QMessageBox::NoIcon || grid == nullptr || text == nullptr)
        return;
    for (int i = grid->count() - 1; i >= 0; --i) {
        if (grid->itemAt(i)->spacerItem() != nullptr)
            delete grid->takeAt(i);
    }
    grid->removeWidget(text);
    grid->addWidget(text, 0, 0, 1, grid->columnCount());
}

// A window manager sets the title in its own font beside its buttons and cuts a title that does
// not fit short with "…", which in a box as narrow as its text can leave nothing of "提示:". The
// usual title bars use a bold sans of about 11 points and carry the window's icon or menu and up
// to three buttons; the box is made at least that wide.
constexpr int kTitlePoints = 11;
constexpr int kTitleBarButtons = 4; // window menu, minimise, maximise, close
constexpr int kTitleBarButtonWidth = 24;
constexpr int kTitleBarPadding = 24; // the bar's ends and the gaps beside the title

int TitleBarWidth(const QString& title) {
    const QFontMetrics metrics(UiFont(QStringLiteral("Sans"), kTitlePoints, true));
    return metrics.horizontalAdvance(title) + kTitleBarButtons * kTitleBarButtonWidth +
           kTitleBarPadding;
}

// QMessageBox fixes its width to its layout's minimum, so the minimum is raised where it spans
// the whole box: at the row of buttons, which stay centred.
void WideEnoughForTitle(QMessageBox& box) {
    auto* buttons = box.findChild<QDialogButtonBox*>();
    if (buttons == nullptr || box.layout() == nullptr)
        return;
    const QMargins margins = box.layout()->contentsMargins();
    buttons->setMinimumWidth(TitleBarWidth(box.windowTitle()) - margins.left() - margins.right());
}

} // namespace

int MsgBox(const QString& text, int style, const QString& title) {
    const QString shownTitle = title.isEmpty() ? kApplicationTitle : title;
    const ButtonSet set = buttonsFor(style);
    SeamState& state = seam();
    if (state.intercepting) {
        state.shown.append({text, style, shownTitle});
        return state.answers.isEmpty() ? answerFor(set.defaultButton) : state.answers.takeFirst();
    }
    InitCommonControls(); // a box may be the first window of all, as at a failed start
    QMessageBox box(iconFor(style), shownTitle, text, set.buttons);
    box.setDefaultButton(set.defaultButton);
    NoIndentWithoutIcon(box);
    WideEnoughForTitle(box);
    if (state.whenShown)
        QTimer::singleShot(0, &box, [&box, look = state.whenShown] { look(box); });
    // With several buttons Esc means the last one (Cancel or No), as on Windows; with one, OK.
    return answerFor(static_cast<QMessageBox::StandardButton>(box.exec()));
}

namespace MsgBoxSeam {

void Intercept(const QList<int>& answers) {
    SeamState& state = seam();
    state.intercepting = true;
    state.answers = answers;
    state.shown.clear();
}

void QueueAnswers(const QList<int>& answers) {
    seam().answers.append(answers);
}

QList<Shown> Taken() {
    QList<Shown> shown;
    shown.swap(seam().shown);
    return shown;
}

void WhenShown(const std::function<void(QMessageBox&)>& look) {
    Release();
    seam().whenShown = look;
}

void Release() {
    seam() = SeamState();
}

} // namespace MsgBoxSeam
} // namespace platform
