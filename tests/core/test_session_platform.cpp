#include "core/session_platform.h"

#include <QTest>

Q_DECLARE_METATYPE(SessionEnvironment)

class TestSessionPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void preferredPlatform_data();
    void preferredPlatform();
};

void TestSessionPlatform::preferredPlatform_data()
{
    QTest::addColumn<SessionEnvironment>("session");
    QTest::addColumn<QByteArray>("platform");

    const QByteArray qtsChoice;
    const QByteArray xwayland = "xcb;wayland";
    QTest::newRow("wayland with XWayland") << SessionEnvironment {.waylandDisplay = "wayland-0",
        .sessionType = "wayland",
        .x11Display = ":0"} << xwayland;
    QTest::newRow("wayland without XWayland") << SessionEnvironment {.waylandDisplay = "wayland-0",
        .sessionType = "wayland"} << qtsChoice;
    QTest::newRow("session type wayland, WAYLAND_DISPLAY unset, with XWayland")
        << SessionEnvironment {.sessionType = "wayland", .x11Display = ":0"} << xwayland;
    QTest::newRow("X11 session") << SessionEnvironment {.sessionType = "x11", .x11Display = ":0"}
                                 << qtsChoice;
    QTest::newRow("user's wayland stands") << SessionEnvironment {.qpaPlatform = "wayland",
        .waylandDisplay = "wayland-0",
        .sessionType = "wayland",
        .x11Display = ":0"} << qtsChoice;
    QTest::newRow("empty QT_QPA_PLATFORM is no choice") << SessionEnvironment {.qpaPlatform = "",
        .waylandDisplay = "wayland-0",
        .sessionType = "wayland",
        .x11Display = ":0"} << xwayland;
}

void TestSessionPlatform::preferredPlatform()
{
    QFETCH(SessionEnvironment, session);
    QFETCH(QByteArray, platform);
    QCOMPARE(::preferredPlatform(session), platform);
}

QTEST_GUILESS_MAIN(TestSessionPlatform)
#include "test_session_platform.moc"
