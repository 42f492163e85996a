#pragma once

#include <QProxyStyle>

namespace platform {

// Fusion with the habits of the desktop this program was designed for: message-box buttons are
// centred and carry no pictures, and a view that selects whole rows draws no frame around its
// current cell.
class DesktopStyle : public QProxyStyle {
    Q_OBJECT
public:
    DesktopStyle();

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

} // namespace platform
