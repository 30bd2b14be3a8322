#pragma once

#include <QByteArray>

// The parts of the environment that say which display servers a session has.
// Each member has an initialiser so a designated list may name only the set ones.
struct SessionEnvironment
{
    QByteArray qpaPlatform {}; // QT_QPA_PLATFORM
    QByteArray waylandDisplay {}; // WAYLAND_DISPLAY
    QByteArray sessionType {}; // XDG_SESSION_TYPE
    QByteArray x11Display {}; // DISPLAY

    static SessionEnvironment current();
};

// Plain Wayland clients can neither place a window nor keep it above others,
// so on a Wayland desktop the strip goes through XWayland whenever the session
// has it (DISPLAY is set); without it, Qt's own choice of Wayland stands.
// Returns the value to give QT_QPA_PLATFORM before the application object
// exists, or nothing to leave Qt's choice. The user's own QT_QPA_PLATFORM
// always stands.
QByteArray preferredPlatform(const SessionEnvironment &session);
