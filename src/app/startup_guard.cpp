#include "app/startup_guard.h"

#include "core/diagnostics.h"

#include <QByteArrayList>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QSysInfo>

#include <xcb/xcb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace StartupGuard {
namespace {

// Qt reaches X11 through DISPLAY alone; libxcb answers without a round trip
// when nothing listens.
Display x11Display()
{
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return {{}, QStringLiteral("DISPLAY is not set")};
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool reached = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (!reached)
        return {{},
            QStringLiteral("X display \"%1\" does not answer")
                .arg(QString::fromLocal8Bit(display))};
    // ":0", ":0.0" and "unix:0" are one server.
    QString name = QString::fromLocal8Bit(display);
    if (name.startsWith(u"unix:"))
        name.remove(0, 4);
    if (const qsizetype dot = name.lastIndexOf(u'.'); dot > name.lastIndexOf(u':'))
        name.truncate(dot);
    return {QStringLiteral("x11") + name, {}};
}

// libwayland's rules: a socket handed over by the compositor, else
// WAYLAND_DISPLAY (default wayland-0), relative to XDG_RUNTIME_DIR.
Display waylandDisplay()
{
    if (qEnvironmentVariableIsSet("WAYLAND_SOCKET"))
        return {QStringLiteral("wayland-socket"), {}};
    QByteArray socketName = qgetenv("WAYLAND_DISPLAY");
    if (socketName.isEmpty())
        socketName = "wayland-0";
    const QString shown = QString::fromLocal8Bit(socketName);
    QByteArray path = socketName;
    if (!path.startsWith('/')) {
        const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
        if (runtimeDir.isEmpty())
            return {{},
                QStringLiteral("Wayland display \"%1\": XDG_RUNTIME_DIR is not set").arg(shown)};
        path = runtimeDir + '/' + socketName;
    }
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    bool reached = false;
    if (size_t(path.size()) < sizeof(address.sun_path)) {
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        reached = fd >= 0
            && ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
        if (fd >= 0)
            close(fd);
    }
    if (!reached)
        return {{}, QStringLiteral("Wayland display \"%1\" does not answer").arg(shown)};
    return {QStringLiteral("wayland-") + shown, {}};
}

QtMessageHandler previousHandler = nullptr;

// Whether the lock names a process of this host that is still there. A lock too
// new to judge may be one that another start is writing at this moment.
bool ownerIsAlive(const QString &lockFile)
{
    QFile file(lockFile);
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
    const QList<QByteArray> lines = text.split('\n');
    bool isNumber = false;
    const qint64 pid = lines.constFirst().toLongLong(&isNumber);
    if (!isNumber || pid <= 0 || lines.size() < 3) {
        const qint64 age = QFileInfo(file).lastModified().msecsTo(QDateTime::currentDateTime());
        return std::abs(age) < 2000;
    }
    // Qt writes the host's name, then its machine id: either names this host
    // (the name may have changed since the lock was written).
    const QByteArray host = lines.at(2);
    const bool thisHost = host.isEmpty() || host == QSysInfo::machineHostName().toUtf8()
        || (lines.size() > 3 && !lines.at(3).isEmpty()
            && lines.at(3) == QSysInfo::machineUniqueId());
    if (!thisHost)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace

void reopenClosedStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number is fd itself, since those below it are open.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

Display findDisplay()
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.isEmpty()) {
        const bool wayland = qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
            || qgetenv("XDG_SESSION_TYPE") == "wayland";
        platforms = wayland ? "wayland;xcb" : "xcb";
    }
    QStringList problems;
    for (const QByteArray &entry : platforms.split(';')) {
        // "name:option=value,..." names the plugin before the colon.
        const QByteArray platform = entry.split(':').constFirst().trimmed();
        Display display;
        if (platform == "xcb")
            display = x11Display();
        else if (platform.startsWith("wayland"))
            display = waylandDisplay();
        else if (!platform.isEmpty())
            display = {QString::fromLatin1(platform), {}};
        if (!display.name.isEmpty())
            return display;
        if (!display.problem.isEmpty())
            problems.append(display.problem);
    }
    return {{}, problems.join(QStringLiteral("; "))};
}

QString lockPath(const Display &display)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        return {};
    QString name = display.name;
    name.replace(u'/', u'_');
    return folder + QStringLiteral("/quillet-") + name + QStringLiteral(".lock");
}

void reportUnusablePlatform()
{
    previousHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (type != QtFatalMsg) {
                if (previousHandler)
                    previousHandler(type, context, message);
                return;
            }
            const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
            Diagnostics::log(QStringLiteral("No display to show the strip on: Qt's platform "
                                            "plugin \"%1\" is missing or cannot start")
                                 .arg(platform.isEmpty() ? QStringLiteral("xcb") : platform));
            std::_Exit(1);
        });
}

void endPlatformReport()
{
    qInstallMessageHandler(previousHandler);
}

bool claimDisplay(QLockFile &lock)
{
    // A running Quillet holds its lock for days: only an owner that is gone
    // (or a reboot since) makes a lock stale, never its age.
    lock.setStaleLockTime(0);
    if (lock.fileName().isEmpty())
        return true;
    if (lock.tryLock(0) || lock.error() != QLockFile::LockFailedError)
        return true;
    // Qt counts a lock as stale only when it can read an owner of this host that
    // is gone: an emptied or garbled lock, or another host's, would block for good.
    if (ownerIsAlive(lock.fileName()))
        return false;
    lock.removeStaleLockFile();
    return lock.tryLock(0) || lock.error() != QLockFile::LockFailedError;
}

} // namespace StartupGuard
