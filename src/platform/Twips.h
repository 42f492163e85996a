#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace platform {

// Layouts are drawn in twips; 15 twips make one pixel at 96 dots per inch.
constexpr int Px(int twips) {
    return twips / 15;
}
inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}
inline QSize TwipsSize(int width, int height) {
    return QSize(Px(width), Px(height));
}
inline QPoint TwipsPoint(int x, int y) {
    return QPoint(Px(x), Px(y));
}

} // namespace platform
