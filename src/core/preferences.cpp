#include "core/preferences.h"

#include <QSettings>
#include <QVariant>

#include <cmath>

namespace {

// The ticker reads its speed 60 times a second: hand out the four key names
// ready-made instead of building a QString on every read.
QString keyName(const char *key)
{
    static const QString width = QLatin1String(Preferences::TickerWidth.name);
    static const QString speed = QLatin1String(Preferences::TickerSpeed.name);
    static const QString hidden = QLatin1String(Preferences::HiddenJournals);
    static const QString login = QLatin1String(Preferences::LaunchAtLogin);
    for (const QString *name : {&width, &speed, &hidden, &login})
        if (*name == QLatin1String(key))
            return *name;
    return QString::fromLatin1(key);
}

} // namespace

Preferences &Preferences::standard()
{
    static Preferences preferences(std::make_unique<QSettings>(QSettings::IniFormat,
        QSettings::UserScope, QStringLiteral("Quillet"), QStringLiteral("Quillet")));
    return preferences;
}

Preferences::Preferences(const QString &iniFile)
    : Preferences(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{ }

Preferences::Preferences(std::unique_ptr<QSettings> settings) : m_settings(std::move(settings)) { }

Preferences::~Preferences() = default;

double Preferences::storedNumber(NumberKey key) const
{
    const QVariant value = m_settings->value(keyName(key.name));
    // Values written in this process come back typed; from disk they are text.
    bool ok = false;
    const double number = value.typeId() == QMetaType::QString
        ? value.toString().trimmed().toDouble(&ok)
        : value.toDouble(&ok);
    // NaN or infinity would poison every geometry computation: treat as unreadable.
    if (!ok || !std::isfinite(number))
        return 0.0;
    return number;
}

double Preferences::number(NumberKey key) const
{
    const double stored = storedNumber(key);
    return stored == 0.0 ? key.fallback : stored;
}

void Preferences::setNumber(NumberKey key, double value)
{
    m_settings->setValue(keyName(key.name), value);
}

QStringList Preferences::hiddenJournals() const
{
    const QVariant value = m_settings->value(keyName(HiddenJournals));
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
    m_settings->setValue(keyName(HiddenJournals), names);
}

bool Preferences::launchAtLogin() const
{
    const QVariant value = m_settings->value(keyName(LaunchAtLogin));
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    // QVariant("junk").toBool() is true, so read the text ourselves.
    const QString text = value.toString().trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
        || text == QLatin1String("1");
}

void Preferences::setLaunchAtLogin(bool on)
{
    m_settings->setValue(keyName(LaunchAtLogin), on);
}

bool Preferences::contains(const char *key) const
{
    return m_settings->contains(keyName(key));
}

void Preferences::sync()
{
    m_settings->sync();
}
