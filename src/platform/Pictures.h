#pragma once

#include <QPixmap>
#include <QString>

namespace platform {

// A picture file as the screen wants it: its twice-as-large variant `name@2x.ext` beside it on a
// screen with more than one device pixel to a pixel, at the same size in pixels of the layout;
// else the file itself. Icons (QIcon) pick such variants themselves; pictures do not.
QPixmap Picture(const QString& path);

// The @2x variant alone: a null pixmap on a screen of one device pixel to a pixel, or when there
// is no such file.
QPixmap HighDpiVariant(const QString& path);

} // namespace platform
