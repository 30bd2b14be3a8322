#include "core/login_item.h"

#include "core/diagnostics.h"
#include "core/preferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

// Characters that force an Exec argument into double quotes.
constexpr QStringView reservedInExec = u" \t\n\"'\\><~|&;$*?#()`";
// Characters that stay special inside the double quotes.
constexpr QStringView escapedInQuotes = u"\"`$\\";

// The escapes every string value gets on its way into the file. A raw newline
// would end the line and let a path inject keys of its own.
QString escapeStringValue(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (c == u'\n')
            escaped += QStringLiteral("\\n");
        else if (c == u'\t')
            escaped += QStringLiteral("\\t");
        else if (c == u'\r')
            escaped += QStringLiteral("\\r");
        else
            escaped += c;
    }
    return escaped;
}

// The Exec value for a program path, quoted and escaped as it is written to the file.
QString execValue(const QString &program)
{
    QString argument;
    const bool quote = std::any_of(
        program.cbegin(), program.cend(), [](QChar c) { return reservedInExec.contains(c); });
    if (quote) {
        argument += u'"';
        for (const QChar c : program) {
            if (escapedInQuotes.contains(c))
                argument += u'\\';
            argument += c;
        }
        argument += u'"';
    } else {
        argument = program;
    }
    // A bare % would start a field code, quoted or not.
    argument.replace(u'%', QStringLiteral("%%"));
    return escapeStringValue(argument);
}

// The entry without its mark: exactly what versions before the mark wrote.
QByteArray unmarkedEntry(const QString &program)
{
    // The delay gives the session's tray a head start; an icon that finds no
    // tray is dropped by some panels for good.
    const QString text
        = QStringLiteral("[Desktop Entry]\n"
                         "Type=Application\n"
                         "Name=Quillet\n"
                         "Comment=Scrolls newly accepted economics papers across the top bar\n"
                         "Exec=%1\n"
                         "Icon=quillet\n"
                         "Terminal=false\n"
                         "StartupNotify=false\n"
                         "NoDisplay=false\n"
                         "X-GNOME-Autostart-enabled=true\n"
                         "X-GNOME-Autostart-Delay=5\n"
                         "X-KDE-autostart-after=panel\n"
                         "X-LXQt-Need-Tray=true\n");
    return text.arg(execValue(program)).toUtf8();
}

QByteArray desktopEntry(const QString &program)
{
    return unmarkedEntry(program) + LoginItem::managedMark + '\n';
}

QList<QByteArray> linesBesidesExec(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    lines.removeIf([](const QByteArray &line) { return line.startsWith("Exec="); });
    return lines;
}

// Whether the entry at path is this program's own: it carries the mark, or it
// is what an earlier version wrote (for whatever program path).
bool isManaged(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A desktop entry is a few hundred bytes; anything far larger is not ours.
    const QByteArray text = file.read(64 * 1024);
    for (const QByteArray &line : text.split('\n'))
        if (line.trimmed() == LoginItem::managedMark)
            return true;
    return linesBesidesExec(text) == linesBesidesExec(unmarkedEntry({}));
}

} // namespace

LoginItem::LoginItem(QString configDir, QString executable)
    : m_configDir(configDir.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            : std::move(configDir)),
      m_executable(std::move(executable))
{ }

LoginItem &LoginItem::shared()
{
    static LoginItem item;
    return item;
}

QString LoginItem::autostartDir() const
{
    return m_configDir + QStringLiteral("/autostart");
}

QString LoginItem::desktopFilePath() const
{
    return autostartDir() + QStringLiteral("/quillet.desktop");
}

QString LoginItem::executable() const
{
    return m_executable.isEmpty() ? QCoreApplication::applicationFilePath() : m_executable;
}

LoginItem::Result LoginItem::registerItem()
{
    const QString program = executable();
    // A relative Exec would be resolved against whatever directory the session starts in.
    if (program.isEmpty() || QDir::isRelativePath(program))
        return {false,
            QStringLiteral("Cannot register \"%1\" to start at login: not an absolute path")
                .arg(program)};

    const QString dir = autostartDir();
    const QFileInfo dirInfo(dir);
    if (dirInfo.exists() && !dirInfo.isDir())
        return {
            false, QStringLiteral("Cannot create %1: a file of that name is in the way").arg(dir)};
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(dir).toStdString(), error);
    if (error)
        return {false,
            QStringLiteral("Cannot create %1: %2")
                .arg(dir, QString::fromStdString(error.message()))};

    const QString path = desktopFilePath();
    if (QFileInfo(path).isFile() && !isManaged(path))
        return {false,
            QStringLiteral("Left %1 in place: Quillet did not write it; it decides what starts "
                           "at login")
                .arg(path)};
    QSaveFile file(path);
    const QByteArray content = desktopEntry(program);
    // Unbuffered: a buffered write fails only in the flush inside commit(), which
    // QSaveFile does not check, and a full disk would leave an empty entry.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        || file.write(content) != content.size() || !file.commit())
        return {false, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString())};
    return {true, {}};
}

LoginItem::Result LoginItem::unregisterItem()
{
    const QString path = desktopFilePath();
    QFile file(path);
    if (QFileInfo(path).isFile() && !isManaged(path))
        return {false,
            QStringLiteral("Left %1 in place: Quillet did not write it; delete it to stop "
                           "starting at login")
                .arg(path)};
    if (file.remove())
        return {true, {}};
    // A dangling symlink does not "exist" yet still has to go, so only a name
    // that is truly absent counts as already removed.
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {true, {}};
    return {false, QStringLiteral("Cannot remove %1: %2").arg(path, file.errorString())};
}

bool LoginItem::isRegistered() const
{
    return QFileInfo(desktopFilePath()).isFile();
}

bool LoginItem::apply(bool on, Preferences &preferences)
{
    preferences.setLaunchAtLogin(on);
    const Result result = on ? registerItem() : unregisterItem();
    if (result.ok)
        return on;
    Diagnostics::log(QStringLiteral("Launch at Login error: ") + result.errorDescription);
    // The switch shows what the session will do: start us when an entry is there.
    const bool registered = isRegistered();
    if (registered != on)
        preferences.setLaunchAtLogin(registered);
    return registered;
}
