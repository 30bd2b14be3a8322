#include "ui/tray_icon.h"

#include "ui/dbus_menu_exporter.h"
#include "ui/status_notifier_item.h"

#include <QCursor>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <chrono>

TrayIcon::TrayIcon(Menus menus, QDBusConnection bus, QObject *parent)
    : QObject(parent), m_menus(std::move(menus)), m_bus(std::move(bus))
{
    if (m_bus.isConnected()) {
        // A D-Bus host that starts later (or restarts) gets our item then.
        m_watcherWatch = new QDBusServiceWatcher(StatusNotifierItem::watcherService(), m_bus,
            QDBusServiceWatcher::WatchForRegistration, this);
        connect(
            m_watcherWatch, &QDBusServiceWatcher::serviceRegistered, this, &TrayIcon::ensureIcon);
    }
    ensureIcon();
}

TrayIcon::~TrayIcon() = default;

QMenu *TrayIcon::widgetMenu()
{
    if (!m_menu && m_menus.widgetMenu)
        m_menu = m_menus.widgetMenu();
    return m_menu;
}

bool TrayIcon::isShown() const
{
    return m_icon || m_item;
}

void TrayIcon::setToolTip(const QString &text)
{
    m_toolTip = text;
    if (m_icon)
        m_icon->setToolTip(text);
    if (m_item)
        m_item->setToolTip(text);
}

void TrayIcon::setLabel(const QString &label, const QString &guide)
{
    m_label = label;
    m_labelGuide = guide;
    if (m_item)
        m_item->setLabel(label, guide);
}

bool TrayIcon::drawsLabels() const
{
    return m_item && m_item->hostDrawsLabels();
}

void TrayIcon::refreshMenu()
{
    if (m_exporter)
        m_exporter->refresh();
}

void TrayIcon::pauseWatch()
{
    if (m_watch)
        m_watch->stop();
}

void TrayIcon::resumeWatch()
{
    if (m_watch)
        m_watch->start();
}

void TrayIcon::ensureIcon()
{
    if (m_item)
        return; // registered anew by the item itself when a watcher comes back
    if (StatusNotifierItem::watcherPresent(m_bus)) {
        startItem();
        if (m_item)
            return;
    }
    if (m_icon)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!m_watch) {
            m_watch = new QTimer(this);
            m_watch->setTimerType(Qt::VeryCoarseTimer);
            connect(m_watch, &QTimer::timeout, this, &TrayIcon::ensureIcon);
            m_watch->start(std::chrono::seconds(watchSeconds));
        }
        return;
    }
    if (m_watch) {
        m_watch->deleteLater();
        m_watch = nullptr;
    }
    m_icon = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/quillet/quillet-tray.svg")));
    m_icon->setContextMenu(widgetMenu());
    m_icon->setToolTip(m_toolTip);
    connect(m_icon.get(), &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger && m_menu && !m_menu->isVisible())
                m_menu->popup(QCursor::pos());
        });
    m_icon->show();
}

void TrayIcon::startItem()
{
    auto exporter = std::make_unique<DBusMenuExporter>(m_menus.rows, m_timers);
    auto item = std::make_unique<StatusNotifierItem>(m_bus);
    if (!exporter->exportOn(m_bus))
        return;
    DBusMenuExporter *menu = exporter.get();
    exporter->hostPause().onPausedChanged = [this](bool shown) { Q_EMIT hostMenuShown(shown); };
    exporter->onChosen = [this](const DBusMenuLayout::Target &chosen) {
        if (chosen.value)
            Q_EMIT valueChosen(chosen.command, *chosen.value);
        else if (chosen.checkedAfter)
            Q_EMIT checkChosen(chosen.command, *chosen.checkedAfter);
        else
            Q_EMIT triggered(chosen.command);
    };
    connect(item.get(), &StatusNotifierItem::menuRequested, this, &TrayIcon::menuRequested);
    connect(item.get(), &StatusNotifierItem::registered, this, [this, menu] {
        menu->hostPause().reset();
        Q_EMIT hostChanged();
    });
    item->setToolTip(m_toolTip);
    item->setLabel(m_label, m_labelGuide);
    m_exporter = std::move(exporter);
    m_item = std::move(item);
    if (!m_item->start()) {
        m_item.reset();
        m_exporter.reset();
        return;
    }
    dropXEmbedIcon();
}

void TrayIcon::dropXEmbedIcon()
{
    m_icon.reset();
    if (m_watch) {
        m_watch->deleteLater();
        m_watch = nullptr;
    }
}
