#include "core/preferences.h"

#include "core/diagnostics.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace {

// The ticker reads its speed 60 times a second: hand out the four key names
// ready-made instead of building a QString on every read.
QString keyName(const char *key)
{
    static const QString width = QLatin1String(Preferences::tickerWidthKey.name);
    static const QString speed = QLatin1String(Preferences::tickerSpeedKey.name);
    static const QString hidden = QLatin1String(Preferences::hiddenJournalsKey);
    static const QString login = QLatin1String(Preferences::launchAtLoginKey);
    for (const QString *name : {&width, &speed, &hidden, &login})
        if (*name == QLatin1String(key))
            return *name;
    return QString::fromLatin1(key);
}

// What stops the file from being written, as far as looking at it tells.
QString writeObstacle(const QString &file)
{
    const QFileInfo info(file);
    if (info.isDir())
        return QStringLiteral("a folder is in its place");
    if (info.exists() && !info.isWritable())
        return QStringLiteral("the file is read-only");
    const QFileInfo folder(info.absolutePath());
    if (folder.exists() && !folder.isDir())
        return QStringLiteral("%1 is a file, not a folder").arg(folder.filePath());
    // Saving replaces the file through a new one beside it.
    if (folder.isDir() && !folder.isWritable())
        return QStringLiteral("its folder is read-only");
    return {};
}

} // namespace

Preferences &Preferences::standard()
{
    const auto scope = QSettings::UserScope;
    const QString name = QStringLiteral("Quillet");
    static Preferences preferences(
        std::make_unique<QSettings>(QSettings::NativeFormat, scope, name, name));
    // Earlier versions kept the store in QSettings' INI format, which names the file .ini.
    static const bool carriedOver = [&] {
        const QString oldFile = QSettings(QSettings::IniFormat, scope, name, name).fileName();
        preferences.carryOver(oldFile);
        return true;
    }();
    Q_UNUSED(carriedOver);
    return preferences;
}

Preferences::Preferences(const QString &iniFile)
    : Preferences(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{ }

Preferences::Preferences(std::unique_ptr<QSettings> settings) : m_settings(std::move(settings)) { }

Preferences::~Preferences() = default;

void Preferences::carryOver(const QString &oldFile)
{
    if (!QFileInfo(oldFile).isFile() || oldFile == m_settings->fileName())
        return;
    // Marked in this store, so a file that cannot be renamed is still read only
    // once: copied again, it would undo every change made since.
    if (!m_settings->contains(keyName(carriedOverKey))) {
        const QSettings old(oldFile, QSettings::IniFormat);
        for (const QString &key : old.allKeys())
            m_settings->setValue(key, old.value(key));
        m_settings->setValue(keyName(carriedOverKey), true);
        sync();
        if (!m_reportedProblem.isEmpty())
            return; // kept for the next start
    }
    const QString marker = oldFile + QStringLiteral(".carried-over");
    QFile::remove(marker);
    QFile::rename(oldFile, marker);
}

double Preferences::number(NumberKey key) const
{
    const QVariant value = m_settings->value(keyName(key.name));
    // Values written in this process come back typed; from disk they are text.
    bool ok = false;
    const double number = value.typeId() == QMetaType::QString
        ? value.toString().trimmed().toDouble(&ok)
        : value.toDouble(&ok);
    // NaN or infinity would poison every geometry computation: treat as unreadable.
    if (!ok || !std::isfinite(number) || number == 0.0)
        return key.fallback;
    return std::clamp(number, key.min, key.max);
}

void Preferences::setNumber(NumberKey key, double value)
{
    setValue(key.name, value);
}

double Preferences::boundedWidth(double width, int screenWidth)
{
    return screenWidth > 0 ? std::min(width, double(screenWidth)) : width;
}

QStringList Preferences::hiddenJournals() const
{
    const QVariant value = m_settings->value(keyName(hiddenJournalsKey));
    // INI reads a one-element list back as a plain string, and an empty list
    // (stored as @Invalid()) as an invalid variant.
    switch (value.typeId()) {
    case QMetaType::QStringList:
        return value.toStringList();
    case QMetaType::QString:
        return {value.toString()};
    case QMetaType::QVariantList: {
        QStringList names;
        for (const QVariant &item : value.toList()) {
            if (item.typeId() != QMetaType::QString)
                return {}; // not a list of strings: counts as none
            names.append(item.toString());
        }
        return names;
    }
    default:
        return {};
    }
}

void Preferences::setHiddenJournals(const QStringList &names)
{
    setValue(hiddenJournalsKey, names);
}

bool Preferences::launchAtLogin() const
{
    const QVariant value = m_settings->value(keyName(launchAtLoginKey));
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    // QVariant("junk").toBool() is true, so read the text ourselves.
    const QString text = value.toString().trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
        || text == QLatin1String("1");
}

void Preferences::setLaunchAtLogin(bool on)
{
    setValue(launchAtLoginKey, on);
}

bool Preferences::contains(const char *key) const
{
    return m_settings->contains(keyName(key));
}

void Preferences::setValue(const char *key, const QVariant &value)
{
    m_settings->setValue(keyName(key), value);
    sync();
}

void Preferences::sync()
{
    // QSettings keeps its first error for good: after one, a fresh object on the
    // same file (sharing the unsaved values while the old one lives) tells anew.
    if (m_settings->status() != QSettings::NoError) {
        auto fresh = std::make_unique<QSettings>(m_settings->fileName(), m_settings->format());
        m_settings = std::move(fresh);
    }
    m_settings->sync();
    QString problem = writeObstacle(m_settings->fileName());
    if (problem.isEmpty() && m_settings->status() != QSettings::NoError)
        problem = QStringLiteral("it could not be written (is the disk full?)");
    if (!problem.isEmpty() && problem != m_reportedProblem)
        Diagnostics::log(QStringLiteral("Preferences not saved to %1: %2; the change holds "
                                        "until Quillet quits")
                             .arg(m_settings->fileName(), problem));
    m_reportedProblem = problem;
}
