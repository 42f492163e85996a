#include "platform/WindowName.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace platform {

void RemoveWindowName(QWidget* window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (QGuiApplication::platformName() != QLatin1String("xcb") || connection == nullptr)
        return; // no X desktop (offscreen): nobody shows the name
    const auto id = static_cast<xcb_window_t>(window->winId());
    const char netName[] = "_NET_WM_NAME";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, std::strlen(netName), netName), nullptr);
    if (atom != nullptr) {
        xcb_delete_property(connection, id, atom->atom);
        std::free(atom);
    }
    xcb_delete_property(connection, id, XCB_ATOM_WM_NAME);
    xcb_flush(connection);
}

} // namespace platform
