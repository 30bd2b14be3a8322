#pragma once

#include <QString>

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

    // Writes the entry atomically, creating the autostart directory if needed.
    // Registering again rewrites the entry, picking up a moved program.
    Result registerItem();
    // Removing an entry that is not there succeeds.
    Result unregisterItem();
    bool isRegistered() const;

private:
    QString autostartDir() const;
    QString executable() const;

    QString m_configDir;
    QString m_executable;
};
