#include "platform/FileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {
namespace {

struct SeamState {
    bool intercepting = false;
    QList<SaveFileChoice> choices;
    QList<FileDialogSeam::Asked> asked;
};

SeamState& seam() {
    static SeamState state;
    return state;
}

// Remembered for the run only: the program keeps no settings of its own.
QString& LastFolder() {
    static QString folder;
    return folder;
}

QString StartFolder() {
    if (!LastFolder().isEmpty() && QFileInfo(LastFolder()).isDir())
        return LastFolder();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

SaveFileChoice Remembered(const SaveFileChoice& choice) {
    if (!choice.path.isEmpty())
        LastFolder() = QFileInfo(choice.path).absolutePath();
    return choice;
}

} // namespace

SaveFileChoice GetSaveFileName(QWidget* parent, const QString& title, const QStringList& filters,
                               const QString& suggestedName) {
    SeamState& state = seam();
    const QString folder = StartFolder();
    if (state.intercepting) {
        state.asked.append({title, filters, folder});
        return Remembered(state.choices.isEmpty() ? SaveFileChoice() : state.choices.takeFirst());
    }
    QFileDialog dialog(parent, title, folder);
    // Qt's own dialog, so that its labels are the program's Chinese ones on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("保存在："));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("文件名："));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("保存类型："));
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("保存(&S)"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("取消"));
    if (!suggestedName.isEmpty())
        dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return SaveFileChoice();
    return Remembered({dialog.selectedFiles().first(),
                       static_cast<int>(filters.indexOf(dialog.selectedNameFilter()))});
}

namespace FileDialogSeam {

void Intercept(const QList<SaveFileChoice>& choices) {
    seam() = SeamState{true, choices, {}};
}

QList<Asked> Taken() {
    return std::exchange(seam().asked, {});
}

void Release() {
    seam() = SeamState();
}

} // namespace FileDialogSeam
} // namespace platform
