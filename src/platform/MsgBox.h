#pragma once

#include <QList>
#include <QString>
#include <functional>

class QMessageBox;

namespace platform {

// Answers, as the Windows message box numbers them.
enum MsgBoxAnswer {
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7
};

// Styles, as the Windows message box numbers them: the buttons, plus one icon.
enum MsgBoxStyle {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64
};

// A style is buttons plus an icon: vbCritical, or vbYesNo | vbQuestion. An empty title means
// "Orvandel".
int MsgBox(const QString& text, int style = vbOKOnly, const QString& title = QString());

// The seam through which tests answer message boxes instead of racing a modal dialog.
namespace MsgBoxSeam {
struct Shown {
    QString text;
    int style;
    QString title;
};
// From now on boxes are recorded, not shown; each takes the next queued answer, or the box's
// default button when none is queued.
void Intercept(const QList<int>& answers = {});
void QueueAnswers(const QList<int>& answers);
QList<Shown> Taken(); // boxes recorded since Intercept, and clears the record
// From now on boxes are shown for real; once each is on screen, `look` gets it, and answers it by
// clicking one of its buttons. For checking the box as the user sees it.
void WhenShown(const std::function<void(QMessageBox&)>& look);
void Release();
} // namespace MsgBoxSeam

} // namespace platform
