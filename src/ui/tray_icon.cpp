#include "ui/tray_icon.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <chrono>

TrayIcon::TrayIcon(QObject *parent) : QObject(parent)
{
    ensureIcon();
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::setMenu(std::function<QMenu *()> menu)
{
    m_makeMenu = std::move(menu);
    m_menu = nullptr;
    if (m_icon)
        m_icon->setContextMenu(this->menu());
}

QMenu *TrayIcon::menu()
{
    if (!m_menu && m_makeMenu)
        m_menu = m_makeMenu();
    return m_menu;
}

void TrayIcon::setToolTip(const QString &text)
{
    m_toolTip = text;
    if (m_icon)
        m_icon->setToolTip(text);
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
    m_icon->setContextMenu(menu());
    m_icon->setToolTip(m_toolTip);
    connect(m_icon.get(), &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger && m_menu && !m_menu->isVisible())
                m_menu->popup(QCursor::pos());
        });
    m_icon->show();
}
