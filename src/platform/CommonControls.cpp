#include "platform/CommonControls.h"

#include "platform/DesktopStyle.h"
#include "platform/Fonts.h"

#include <QApplication>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QTranslator>
#include <QWidget>
#include <algorithm>

namespace platform {
namespace {

// Qt's Chinese calls a file's size "体积", the volume of a body; Chinese file dialogs commonly
// say "大小". Asked before Qt's own translation.
class FileSizeWording : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (qstrcmp(context, "QFileSystemModel") == 0 && qstrcmp(source, "Size") == 0)
            return QStringLiteral("大小");
        return QString();
    }
};

} // namespace

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

void FitLabelToText(QLabel* label) {
    label->setContentsMargins(0, 0, 0, 0);
    const int height = QFontInfo(label->font()).pixelSize();
    // The caption's strokes centred in that height. The faces' own figures put more room above
    // and below the strokes than a label of the layout's height has, so the strokes are found by
    // drawing the caption once, and the contents moved up by as much as needed.
    QImage drawn(label->sizeHint(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    painter.setFont(label->font());
    painter.drawText(drawn.rect(), Qt::AlignLeft | Qt::AlignTop, label->text());
    painter.end();
    int first = -1;
    int last = -1;
    for (int y = 0; y < drawn.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        if (std::any_of(row, row + drawn.width(), [](QRgb pixel) { return qAlpha(pixel) != 0; })) {
            first = first < 0 ? y : first;
            last = y;
        }
    }
    const int top = first < 0 ? 0 : qMax(0, (height - (last - first + 1)) / 2) - first;
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setAttribute(Qt::WA_ContentsMarginsRespectsSafeArea, false); // else no margin is < 0
    label->setContentsMargins(0, top, 0, 0);
    label->resize(drawn.width(), height);
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
    QCoreApplication::installTranslator(new FileSizeWording(QCoreApplication::instance()));
    QApplication::setApplicationName(kApplicationTitle);
    QApplication::setApplicationVersion(QStringLiteral(ORVANDEL_VERSION));
    QApplication::setFont(UiFont(kSongFamily, 9));
}

} // namespace platform
