#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QSettings;

// The four user preferences, read from the store at every use and written the
// moment they change. Each key's name, fallback and reading rule stand together
// here; no value is cached.
class Preferences
{
public:
    struct NumberKey
    {
        const char *name;
        double fallback; // used whenever the stored number reads as exactly 0
    };
    static constexpr NumberKey TickerWidth {"tickerWidth", 200.0};
    static constexpr NumberKey TickerSpeed {"tickerSpeed", 0.8};
    static constexpr const char *HiddenJournals = "hiddenJournals";
    static constexpr const char *LaunchAtLogin = "launchAtLogin";

    // The user's store: ~/.config/Quillet/Quillet.conf on Linux.
    static Preferences &standard();

    // A store in a file of the caller's choosing (tests, tools).
    explicit Preferences(const QString &iniFile);
    ~Preferences();
    Preferences(const Preferences &) = delete;
    Preferences &operator=(const Preferences &) = delete;

    // The stored number, 0 when absent or unreadable (text that is not a finite number).
    double storedNumber(NumberKey key) const;
    // The stored number, or the key's fallback when that reads as exactly 0.
    double number(NumberKey key) const;
    void setNumber(NumberKey key, double value);

    double tickerWidth() const { return number(TickerWidth); }
    void setTickerWidth(double value) { setNumber(TickerWidth, value); }
    double tickerSpeed() const { return number(TickerSpeed); }
    void setTickerSpeed(double value) { setNumber(TickerSpeed, value); }

    // Full journal names; empty when absent. An empty list is stored as present and empty.
    QStringList hiddenJournals() const;
    void setHiddenJournals(const QStringList &names);

    // False when absent; any stored text other than "true" or "1" reads as false.
    bool launchAtLogin() const;
    void setLaunchAtLogin(bool on);

    bool contains(const char *key) const;

    // Writes pending changes to disk now. Writes otherwise reach disk from the
    // event loop within milliseconds.
    void sync();

private:
    explicit Preferences(std::unique_ptr<QSettings> settings);
    std::unique_ptr<QSettings> m_settings;
};
