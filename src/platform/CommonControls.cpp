#include "platform/CommonControls.h"

#include "platform/DesktopStyle.h"
#include "platform/Fonts.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

namespace platform {

void InitCommonControls() {
    static bool styled = false;
    if (styled)
        return;
    styled = true;
    QApplication::setStyle(new DesktopStyle);
}

QFont UiFont(const QString& family, int points, bool bold) {
    QFont font(family);
    font.setPixelSize((points * 96 + 36) / 72);
    font.setBold(bold);
    // The Song and Kai faces have no bold of their own. Emboldened, each character is one pixel
    // wider on the desktop this was designed for, and the layouts are measured with that.
    if (bold && (family == kSongFamily || family == kKaiFamily))
        font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    return font;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

void SetUpApplication() {
    SetUpFonts();
    // Qt's own texts, message-box buttons among them, in Chinese whatever the user's locale.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
    QApplication::setApplicationName(kApplicationTitle);
    QApplication::setApplicationVersion(QStringLiteral(ORVANDEL_VERSION));
    QApplication::setFont(UiFont(kSongFamily, 9));
}

} // namespace platform
