#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace platform {

// What the user chose in a save dialog: the path (empty when cancelled) and the position of the
// chosen filter among those offered.
struct SaveFileChoice {
    QString path;
    int filter = 0;
};

// Asks for a file name to save under, in the program's own dialog with Chinese labels. Filters
// are given as "CSV 文件 (*.csv)"; the first is chosen at first. The dialog opens in the folder
// of the last file chosen in one while the program runs, else in the user's documents folder when
// there is one, else at home.
SaveFileChoice GetSaveFileName(QWidget* parent, const QString& title, const QStringList& filters,
                               const QString& suggestedName = QString());

// The seam through which tests answer save dialogs instead of racing a modal dialog.
namespace FileDialogSeam {
struct Asked {
    QString title;
    QStringList filters;
    QString folder; // where the dialog opens
};
// From now on dialogs are recorded, not shown; each takes the next queued choice, or is
// cancelled when none is queued.
void Intercept(const QList<SaveFileChoice>& choices = {});
QList<Asked> Taken(); // dialogs recorded since Intercept, and clears the record
void Release();
} // namespace FileDialogSeam

} // namespace platform
