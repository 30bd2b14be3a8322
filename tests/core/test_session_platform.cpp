#include "core/session_platform.h"

#include <QTest>

Q_DECLARE_METATYPE(SessionEnvironment)

class TestSessionPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void preferredPlatform_data()
    {
        QTest::addColumn<SessionEnvironment>("session");
        QTest::addColumn<QByteArray>("platform"); // empty: Qt's own choice stands
        // In order: QT_QPA_PLATFORM, WAYLAND_DISPLAY, XDG_SESSION_TYPE, DISPLAY.
        using Env = SessionEnvironment;
        const QByteArray xwayland = "xcb;wayland", qt;
        QTest::newRow("Wayland with XWayland") << Env {{}, "wl-0", "wayland", ":0"} << xwayland;
        QTest::newRow("Wayland without XWayland") << Env {{}, "wl-0", "wayland", {}} << qt;
        QTest::newRow("WAYLAND_DISPLAY unset") << Env {{}, {}, "wayland", ":0"} << xwayland;
        QTest::newRow("X11 session") << Env {{}, {}, "x11", ":0"} << qt;
        QTest::newRow("user's choice stands") << Env {"wayland", "wl-0", "wayland", ":0"} << qt;
        // Set but empty is not null: Qt ignores it, and so must we.
        QTest::newRow("empty QT_QPA_PLATFORM") << Env {"", "wl-0", "wayland", ":0"} << xwayland;
    }
    void preferredPlatform()
    {
        QFETCH(SessionEnvironment, session);
        QFETCH(QByteArray, platform);
        QCOMPARE(::preferredPlatform(session), platform);
    }
};

QTEST_GUILESS_MAIN(TestSessionPlatform)
#include "test_session_platform.moc"
