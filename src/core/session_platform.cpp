#include "core/session_platform.h"

SessionEnvironment SessionEnvironment::current()
{
    return {qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_SESSION_TYPE"),
        qgetenv("DISPLAY")};
}

QByteArray preferredPlatform(const SessionEnvironment &session)
{
    // Qt ignores an empty QT_QPA_PLATFORM, so only a real value is the user's.
    if (!session.qpaPlatform.isEmpty())
        return {};
    // libwayland falls back to the wayland-0 socket when WAYLAND_DISPLAY is
    // unset, so the session type alone is enough to call it Wayland.
    const bool wayland = !session.waylandDisplay.isEmpty() || session.sessionType == "wayland";
    if (!wayland)
        return {};
    // With no X display there is only Wayland, which Qt already picks: the
    // compositor places the strip, and the tray icon carries the menu.
    if (session.x11Display.isEmpty())
        return {};
    // Qt itself would try Wayland first. Through XWayland the strip is placed
    // and kept on top; should that X display not answer, Qt moves on to
    // Wayland rather than give up.
    return QByteArrayLiteral("xcb;wayland");
}
