#include "platform/CommonControls.h"

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>

namespace platform {

void InitCommonControls() {
    static bool styled = false;
    if (styled)
        return;
    styled = true;
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
}

QFont UiFont(const QString& family, int points, bool bold) {
    QFont font(family);
    font.setPixelSize((points * 96 + 36) / 72);
    font.setBold(bold);
    return font;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

void SetUpApplication() {
    const QString song = QStringLiteral("AR PL UMing CN");
    const QString kai = QStringLiteral("AR PL UKai CN");
    QFont::insertSubstitution(kSongFamily, song);
    QFont::insertSubstitution(QStringLiteral("SimSun"), song);
    QFont::insertSubstitution(kKaiFamily, kai);
    QFont::insertSubstitution(QStringLiteral("KaiTi_GB2312"), kai);
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QApplication::setApplicationName(kApplicationTitle);
    QApplication::setApplicationVersion(QStringLiteral(ORVANDEL_VERSION));
    QApplication::setFont(UiFont(kSongFamily, 9));
}

} // namespace platform
