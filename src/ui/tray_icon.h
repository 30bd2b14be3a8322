#pragma once

#include "core/menu_description.h"
#include "core/timers.h"

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class DBusMenuExporter;
class QDBusServiceWatcher;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class StatusNotifierItem;

// The icon in the desktop's tray, where there is one, offering the same menu
// as the strip. On StatusNotifierItem hosts it is our own item with our own
// exported menu (and, where the host draws labels, the ticker's label); on
// XEmbed trays a QSystemTrayIcon with the widget menu. No tray is never fatal:
// trays often start after us at login, so the icon is made when one appears.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    // How often to look for an XEmbed tray that is not there yet.
    static constexpr int watchSeconds = 10;

    struct Menus
    {
        // The widget menu, asked for once an XEmbed icon needs it.
        std::function<QMenu *()> widgetMenu;
        // The rows, read whenever a D-Bus host may show them.
        std::function<QList<MenuRow>()> rows;
    };

    explicit TrayIcon(Menus menus, QDBusConnection bus = QDBusConnection::sessionBus(),
        QObject *parent = nullptr);
    ~TrayIcon() override;

    void setToolTip(const QString &text);
    // Shown beside the icon by hosts that draw labels.
    void setLabel(const QString &label, const QString &guide);
    // True when the item is up on a host that draws its label.
    bool drawsLabels() const;
    // Rows may have changed outside a host's request (a setting chosen elsewhere).
    void refreshMenu();

    // Nothing at all runs while a menu is open: the look for a tray waits too.
    void pauseWatch();
    void resumeWatch();

    bool isShown() const;
    // The D-Bus item's exported menu; null on an XEmbed tray or none.
    DBusMenuExporter *exporter() const { return m_exporter.get(); }

Q_SIGNALS:
    // A host shows (true) or no longer shows (false) the exported menu.
    void hostMenuShown(bool shown);
    void triggered(MenuRow::Command command);
    void checkChosen(MenuRow::Command command, bool checked);
    void valueChosen(MenuRow::Command command, double value);
    // A host asked for a menu at a point instead of showing the exported one.
    void menuRequested(QPoint position);
    // The item registered anew, perhaps with another host: labels may come or go.
    void hostChanged();

private:
    void ensureIcon();
    void startItem();
    void dropXEmbedIcon();
    QMenu *widgetMenu();

    Menus m_menus;
    QDBusConnection m_bus;
    QtTimers m_timers;
    QPointer<QMenu> m_menu;
    QString m_toolTip;
    QString m_label;
    QString m_labelGuide;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::unique_ptr<DBusMenuExporter> m_exporter;
    std::unique_ptr<StatusNotifierItem> m_item;
    QTimer *m_watch = nullptr;
    QDBusServiceWatcher *m_watcherWatch = nullptr;
};
