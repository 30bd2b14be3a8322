#pragma once

#include "ui/menu_builder.h"

#include <memory>

class JournalFilterWindow;
class LoginItem;
class PaperService;
class Preferences;
class QMenu;
class StatusItem;
class TickerController;
class TrayIcon;

// The one place where the program is wired: it builds the strip, the tray
// icon, the two menus and the controller, connects them to the service, the
// preferences, the filter panel and the login item, and runs the launch sequence.
class AppDelegate
{
public:
    struct Services
    {
        Preferences &preferences;
        PaperService &paperService;
        JournalFilterWindow &filterWindow;
        LoginItem &loginItem;
    };

    // The process's shared instances.
    AppDelegate();
    explicit AppDelegate(Services services);
    ~AppDelegate();

    // Once the event loop runs: no taskbar presence, the ticker, polling, the launch line.
    void applicationDidFinishLaunching();

    // Null when there is no screen to put the strip on.
    TickerController *ticker() const { return m_ticker.get(); }
    StatusItem *strip() const { return m_strip.get(); }
    // The menus are made when first needed: the first click, or a tray appearing.
    QMenu *menu();
    QMenu *trayMenu();
    TrayIcon *trayIcon() const { return m_trayIcon.get(); }

private:
    // Menus the user sees: the strip's popup (or the XEmbed tray's), and a D-Bus host's.
    enum class OpenMenu { Widget = 1, Host = 2 };
    void setMenuOpen(OpenMenu menu, bool open);
    void connectTray();
    // The ticker in the top bar where the tray host draws labels, else on the strip.
    void placeTicker();
    void setup();
    std::unique_ptr<QMenu> makeMenu(MenuBuilder::SliderForm form);
    void popUpMenu();

    Services m_services;
    std::unique_ptr<StatusItem> m_strip;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<MenuBuilder> m_menuBuilder;
    std::unique_ptr<TrayIcon> m_trayIcon;
    std::unique_ptr<TickerController> m_ticker;
    int m_openMenus = 0;
};
