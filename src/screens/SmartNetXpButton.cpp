#include "screens/SmartNetXpButton.h"

#include "platform/CommonControls.h"
#include "platform/Twips.h"

#include <QKeyEvent>
#include <QPainter>

namespace {
constexpr int kPictureAreaWidth = 28;
constexpr int kIconSize = 16;
constexpr int kIconLeft = 6;
// The caption's margins inside the area right of the picture.
constexpr int kCaptionTop = 2, kCaptionRight = 2, kCaptionBottom = 2;
const QColor kBorder(150, 170, 195);
const QColor kHoverBorder(60, 120, 200);
const QColor kHoverFill(236, 244, 253);
const QColor kPressedFill(208, 226, 247);
} // namespace

SmartNetXpButton::SmartNetXpButton(const QString& caption, const QIcon& icon, QWidget* parent)
    : QAbstractButton(parent) {
    setText(caption);
    setIcon(icon);
    setIconSize(QSize(kIconSize, kIconSize));
    setFont(platform::UiFont(platform::kSongFamily, 9));
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(platform::TwipsSize(1185, 315));
}

void SmartNetXpButton::SetCaption(const QString& caption) {
    setText(caption);
    update();
}

QSize SmartNetXpButton::sizeHint() const {
    return platform::TwipsSize(1185, 315);
}

void SmartNetXpButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    QColor fill = Qt::white;
    if (isDown())
        fill = kPressedFill;
    else if (hovered_)
        fill = kHoverFill;
    painter.fillRect(rect(), fill);
    painter.setPen(hovered_ || hasFocus() ? kHoverBorder : kBorder);
    painter.drawRect(frame);

    const QRect iconRect(kIconLeft, (height() - kIconSize) / 2, kIconSize, kIconSize);
    icon().paint(&painter, iconRect, Qt::AlignCenter,
                 isEnabled() ? QIcon::Normal : QIcon::Disabled);

    const QRect captionArea =
        rect().adjusted(kPictureAreaWidth, kCaptionTop, -kCaptionRight, -kCaptionBottom);
    painter.setPen(isEnabled() ? Qt::black : Qt::gray);
    painter.drawText(captionArea.translated(isDown() ? 1 : 0, isDown() ? 1 : 0), Qt::AlignCenter,
                     text());
    if (hasFocus()) {
        QPen dotted(Qt::black, 1, Qt::DotLine);
        painter.setPen(dotted);
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void SmartNetXpButton::keyPressEvent(QKeyEvent* event) {
    // A desktop user presses a focused button with Enter as well as with Space. A held key does
    // not press it again: one Enter, one save.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void SmartNetXpButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SmartNetXpButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}
