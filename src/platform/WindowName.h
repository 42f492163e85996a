#pragma once

class QWidget;

namespace platform {

// Takes a top-level window's name off the desktop: Qt names a window without a title after the
// application, so a taskbar or window list would still show one.
void RemoveWindowName(QWidget* window);

} // namespace platform
