#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QTimer;

// The icon in the desktop's system tray, where there is one, offering the same
// menu as the strip. No tray is never fatal: trays often start after us at
// login, so the icon is made when one appears.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    // How often to look for a tray that is not there yet.
    static constexpr int watchSeconds = 10;

    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    // Asked for the menu once there is an icon to give it to.
    void setMenu(std::function<QMenu *()> menu);
    void setToolTip(const QString &text);

    // Nothing at all runs while a menu is open: the look for a tray waits too.
    void pauseWatch();
    void resumeWatch();

    bool isShown() const { return m_icon != nullptr; }

private:
    void ensureIcon();
    QMenu *menu();

    std::function<QMenu *()> m_makeMenu;
    QPointer<QMenu> m_menu;
    QString m_toolTip;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    QTimer *m_watch = nullptr;
};
