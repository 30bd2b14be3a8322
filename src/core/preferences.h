#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QSettings;
class QVariant;

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
        // Any other number reads as the nearest one in [min, max]: the slider's range.
        double min;
        double max;
    };
    static constexpr NumberKey tickerWidthKey {"tickerWidth", 200.0, 100.0, 600.0};
    static constexpr NumberKey tickerSpeedKey {"tickerSpeed", 0.8, 0.1, 5.0};
    static constexpr const char *hiddenJournalsKey = "hiddenJournals";
    static constexpr const char *launchAtLoginKey = "launchAtLogin";
    // Set once an old store has been carried over.
    static constexpr const char *carriedOverKey = "carriedOverFromIni";

    // The user's store in the platform's native format: on Linux the INI file
    // ~/.config/Quillet/Quillet.conf. Keys left in a Quillet.ini beside it by
    // earlier versions are carried over on first use.
    static Preferences &standard();

    // A store in a file of the caller's choosing (tests, tools).
    explicit Preferences(const QString &iniFile);
    ~Preferences();
    Preferences(const Preferences &) = delete;
    Preferences &operator=(const Preferences &) = delete;

    // Copies every key of the INI file oldFile into this store (its values win),
    // marks the store as carried over and saves, then renames oldFile to
    // oldFile + ".carried-over": deleting the store afterwards really resets. A
    // marked store is never copied into again, even when the rename failed.
    // Nothing happens when oldFile is absent; nothing is renamed when the store
    // cannot be saved.
    void carryOver(const QString &oldFile);

    // The stored number, the key's fallback when it reads as exactly 0 (or is
    // absent or unreadable), else bounded to the key's range.
    double number(NumberKey key) const;
    void setNumber(NumberKey key, double value);

    double tickerWidth() const { return number(tickerWidthKey); }
    void setTickerWidth(double value) { setNumber(tickerWidthKey, value); }
    double tickerSpeed() const { return number(tickerSpeedKey); }
    void setTickerSpeed(double value) { setNumber(tickerSpeedKey, value); }
    // The width the strip can take on a screen whose available area is screenWidth
    // pixels wide; a screen width of 0 or less is unknown and bounds nothing.
    static double boundedWidth(double width, int screenWidth);

    // Full journal names; empty when absent. An empty list is stored as present and empty.
    QStringList hiddenJournals() const;
    void setHiddenJournals(const QStringList &names);

    // False when absent; any stored text other than "true" or "1" reads as false.
    bool launchAtLogin() const;
    void setLaunchAtLogin(bool on);

    bool contains(const char *key) const;

    // Every write is saved at once. A write that cannot be saved (read-only file
    // or folder, a folder in the file's place, a full disk) is reported in one
    // line naming the file and the reason, once until saving works again; the
    // value still holds for this run.
    void sync();

private:
    explicit Preferences(std::unique_ptr<QSettings> settings);
    void setValue(const char *key, const QVariant &value);

    std::unique_ptr<QSettings> m_settings;
    QString m_reportedProblem;
};
