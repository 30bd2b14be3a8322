#include "app/app_delegate.h"
#include "app/startup_guard.h"
#include "core/diagnostics.h"
#include "core/session_platform.h"
#include "ui/strip_accessible.h"

#include <QApplication>
#include <QLockFile>
#include <QTimer>

#include <malloc.h>

int main(int argc, char *argv[])
{
    // Before anything opens a file or a connection that could take their numbers.
    StartupGuard::reopenClosedStandardStreams();
    // Qt's shared-memory backing store makes a blocking X round trip before every
    // paint; for a 22-pixel strip painted 48 times a second that costs more than
    // the drawing itself.
    qputenv("QT_XCB_NO_MITSHM", "1");
    // On Wayland the strip can only be placed and kept on top through XWayland.
    if (const QByteArray platform = preferredPlatform(SessionEnvironment::current());
        !platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    // The program's only regular expression is Qt's own, matched once over the
    // system's certificate folder: compiling it to machine code costs more memory
    // than interpreting it costs time.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        qputenv("QT_ENABLE_REGEXP_JIT", "0");
    // One malloc arena for every thread: the network and decoding threads
    // allocate little and seldom, and each arena of their own keeps pages resident.
    mallopt(M_ARENA_MAX, 1);

    // Without a display Qt aborts with its plugin message; say it plainly instead.
    const StartupGuard::Display display = StartupGuard::findDisplay();
    if (display.name.isEmpty()) {
        Diagnostics::log(QStringLiteral("No display to show the strip on: ") + display.problem);
        return 1;
    }
    // Two strips on one display would stack and both poll the feed.
    QLockFile instance(StartupGuard::lockPath(display));
    if (!StartupGuard::claimDisplay(instance)) {
        Diagnostics::log(QStringLiteral("Already running on this display; this start ends here"));
        return 0;
    }

    StripAccessible::install();
    // Qt would read options of its own (-platform, -stylesheet, -display) from
    // the command line; the program reads none, so Qt gets only its name.
    char programName[] = "quillet";
    char *qtArgv[] = {argc > 0 ? argv[0] : programName, nullptr};
    int qtArgc = 1;
    // A platform plugin that is missing or cannot start ends in qFatal and an abort.
    StartupGuard::reportUnusablePlatform();
    QApplication app(qtArgc, qtArgv);
    StartupGuard::endPlatformReport();
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setOrganizationName(QStringLiteral("Quillet"));

    AppDelegate delegate;
    // Launching has finished once the event loop runs.
    QTimer::singleShot(0, &app, [&delegate] { delegate.applicationDidFinishLaunching(); });
    return QApplication::exec();
}
