#pragma once

#include <QString>

class Preferences;

// Starts the program when the user logs in, by way of a desktop entry in the
// user's XDG autostart directory. The file on disk is the only state: nothing
// is cached, so a user deleting it by hand is seen at once.
class LoginItem
{
public:
    struct Result
    {
        bool ok;
        QString errorDescription; // one readable line for the log; empty on success
    };

    // configDir: the XDG config home; empty means $XDG_CONFIG_HOME, else ~/.config.
    // executable: absolute path of the program to start; empty means this process's
    // own binary, looked up when registering (so the application object may come later).
    explicit LoginItem(QString configDir = {}, QString executable = {});

    static LoginItem &shared();

    QString desktopFilePath() const;

    // Writes the entry atomically, creating the autostart directory if needed: a
    // failed write leaves the old entry, or none. Registering again rewrites our
    // own entry, picking up a moved program; an entry of someone else's stays.
    Result registerItem();
    // Removes only an entry this program wrote (it carries managedMark); an entry
    // written by hand or by another tool stays, and the result says so. Removing
    // an entry that is not there succeeds.
    Result unregisterItem();
    bool isRegistered() const;

    // Switches launch at login as the menu asks: stores the choice, registers or
    // unregisters, and after a failure stores whether an entry is there, so the
    // switch shows what the next login will do. A failure is logged in one
    // "Launch at Login error: " line. Returns the value stored.
    bool apply(bool on, Preferences &preferences);

    // The line that marks an entry as this program's own.
    static constexpr const char *managedMark = "X-Quillet-Managed=true";

private:
    QString autostartDir() const;
    QString executable() const;

    QString m_configDir;
    QString m_executable;
};
