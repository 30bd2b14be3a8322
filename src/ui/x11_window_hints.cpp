#include "ui/x11_window_hints.h"

#include <QGuiApplication>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

} // namespace

void markSkipTaskbar(QWindow *window, bool keepAbove)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!window || !x11 || !x11->connection())
        return;
    xcb_connection_t *connection = x11->connection();
    std::vector<xcb_atom_t> states {internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
        internAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    if (keepAbove) {
        states.push_back(internAtom(connection, "_NET_WM_STATE_ABOVE"));
        states.push_back(internAtom(connection, "_NET_WM_STATE_STICKY"));
    }
    // Replacing is safe before the first map: Qt merges its own states into
    // whatever the property already holds when it shows the window.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()),
        internAtom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, uint32_t(states.size()),
        states.data());
    xcb_flush(connection);
}
