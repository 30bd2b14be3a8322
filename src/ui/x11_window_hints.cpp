#include "ui/x11_window_hints.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cmath>
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

xcb_connection_t *x11Connection(QWindow *window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return window && x11 ? x11->connection() : nullptr;
}

} // namespace

bool onX11()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 && x11->connection();
}

void markSkipTaskbar(QWindow *window, bool keepAbove)
{
    xcb_connection_t *connection = x11Connection(window);
    if (!connection)
        return;
    std::vector<xcb_atom_t> states {internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
        internAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    if (keepAbove) {
        states.push_back(internAtom(connection, "_NET_WM_STATE_ABOVE"));
        states.push_back(internAtom(connection, "_NET_WM_STATE_STICKY"));
    }
    // Replacing is safe before the first map: Qt merges its own states into
    // whatever the property already holds when it shows the window.
    const auto id = xcb_window_t(window->winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id,
        internAtom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, uint32_t(states.size()),
        states.data());
    if (keepAbove) {
        // KWin reads "every desktop" only from the desktop number, not from the sticky state.
        const uint32_t everyDesktop = 0xFFFFFFFF;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id,
            internAtom(connection, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1, &everyDesktop);
    }
    xcb_flush(connection);
}

void markDock(QWindow *window)
{
    xcb_connection_t *connection = x11Connection(window);
    if (!connection)
        return;
    const xcb_atom_t dock = internAtom(connection, "_NET_WM_WINDOW_TYPE_DOCK");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()),
        internAtom(connection, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &dock);
    xcb_flush(connection);
}

bool reserveTopBand(QWindow *window, const QRect &band)
{
    xcb_connection_t *connection = x11Connection(window);
    const QScreen *screen = window ? window->screen() : nullptr;
    if (!connection || !screen || band.isEmpty())
        return false;
    // Qt keeps a screen's origin in device pixels and scales what lies past it.
    const QPoint origin = screen->geometry().topLeft();
    const double ratio = screen->devicePixelRatio();
    if (origin.y() != 0)
        return false;
    const auto device = [&](int logical, int from) {
        return uint32_t(std::max(0L, from + std::lround((logical - from) * ratio)));
    };
    const uint32_t bottom = device(band.y() + band.height(), origin.y());
    const uint32_t left = device(band.x(), origin.x());
    const uint32_t right = device(band.x() + band.width(), origin.x());
    if (right <= left)
        return false;
    // left, right, top, bottom, then each edge's start and end (inclusive):
    // only the top edge over the band's columns.
    const std::array<uint32_t, 12> partial {0, 0, bottom, 0, 0, 0, 0, 0, left, right - 1, 0, 0};
    const auto id = xcb_window_t(window->winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id,
        internAtom(connection, "_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32,
        uint32_t(partial.size()), partial.data());
    // Window managers that know only the older hint reserve the whole width.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id,
        internAtom(connection, "_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 32, 4, partial.data());
    xcb_flush(connection);
    return true;
}

void dropReservation(QWindow *window)
{
    xcb_connection_t *connection = x11Connection(window);
    if (!connection || !window->handle())
        return;
    const auto id = xcb_window_t(window->winId());
    xcb_delete_property(connection, id, internAtom(connection, "_NET_WM_STRUT_PARTIAL"));
    xcb_delete_property(connection, id, internAtom(connection, "_NET_WM_STRUT"));
    xcb_flush(connection);
}
