#include "platform/DesktopStyle.h"

#include <QAbstractItemView>
#include <QStyleFactory>

namespace platform {

DesktopStyle::DesktopStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

int DesktopStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                            QStyleHintReturn* returnData) const {
    switch (hint) {
    case SH_DialogButtonBox_ButtonsHaveIcons:
        return 0;
    case SH_MessageBox_CenterButtons:
        return 1;
    default:
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
}

void DesktopStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    if (element == PE_FrameFocusRect) {
        const auto* view = qobject_cast<const QAbstractItemView*>(widget);
        if (view != nullptr && view->selectionBehavior() == QAbstractItemView::SelectRows)
            return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

} // namespace platform
