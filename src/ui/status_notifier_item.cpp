#include "ui/status_notifier_item.h"

#include "ui/dbus_menu_exporter.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QIcon>
#include <QImage>
#include <QtEndian>

#include <algorithm>

namespace {

const QString itemPath = QStringLiteral("/StatusNotifierItem");

// Services of hosts that draw an item's label beside its icon.
const QStringList labellingHosts {QStringLiteral("org.ayatana.indicator.application"),
    QStringLiteral("com.canonical.indicator.application")};

QList<DBusImage> pixmaps(const QIcon &icon)
{
    QList<DBusImage> result;
    for (int size : {16, 22, 24, 32, 48}) {
        const QImage image
            = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        DBusImage pixmap {image.width(), image.height(), {}};
        pixmap.bytes.resize(qsizetype(image.width()) * image.height() * 4);
        auto *out = reinterpret_cast<quint32 *>(pixmap.bytes.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(line[x]); // the protocol's ARGB in network order
        }
        result.append(pixmap);
    }
    return result;
}

} // namespace

bool StatusNotifierItem::watcherPresent(const QDBusConnection &bus)
{
    return bus.isConnected() && bus.interface()
        && bus.interface()->isServiceRegistered(watcherService()).value();
}

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, QObject *parent)
    : QObject(parent),
      m_bus(std::move(bus)),
      m_service(QStringLiteral("org.kde.StatusNotifierItem-%1-1")
                    .arg(QCoreApplication::applicationPid())),
      // The installed theme icon where there is one; the pixmaps serve either way.
      m_iconName(
          QIcon::hasThemeIcon(QStringLiteral("quillet")) ? QStringLiteral("quillet") : QString()),
      m_pixmaps(pixmaps(QIcon(QStringLiteral(":/quillet/quillet-tray.svg")))),
      m_watcher(new QDBusServiceWatcher(
          watcherService(), m_bus, QDBusServiceWatcher::WatchForRegistration, this))
{
    DBusTypes::registerAll();
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this,
        &StatusNotifierItem::registerWithWatcher);
    m_confirm.setSingleShot(true);
    m_confirm.setInterval(std::chrono::seconds(3));
    connect(&m_confirm, &QTimer::timeout, this, &StatusNotifierItem::confirmListed);
}

StatusNotifierItem::~StatusNotifierItem()
{
    m_bus.unregisterObject(itemPath);
    m_bus.unregisterService(m_service);
}

bool StatusNotifierItem::start()
{
    if (!m_bus.registerObject(itemPath, this,
            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals
                | QDBusConnection::ExportScriptableProperties)
        || !m_bus.registerService(m_service))
        return false;
    registerWithWatcher();
    return true;
}

void StatusNotifierItem::registerWithWatcher()
{
    m_tries = 0;
    askWatcher();
}

void StatusNotifierItem::askWatcher()
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(watcherService(), QStringLiteral("/StatusNotifierWatcher"),
            watcherService(), QStringLiteral("RegisterStatusNotifierItem"));
    call << m_service;
    m_bus.asyncCall(call);
    ++m_tries;
    // A host may accept the item and drop it a moment later (GNOME Shell's
    // extension does while the shell is still starting): see that it stays.
    m_confirm.start();
    Q_EMIT registered();
}

void StatusNotifierItem::confirmListed()
{
    QDBusMessage get
        = QDBusMessage::createMethodCall(watcherService(), QStringLiteral("/StatusNotifierWatcher"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcherService() << QStringLiteral("RegisteredStatusNotifierItems");
    auto *reply = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (reply.isError())
            return; // no watcher now: it registers us when it comes back
        const QStringList items = reply.value().variant().toStringList();
        // Watchers list "service", "service/path" or "service@/path", by either of our names.
        const QString unique = m_bus.baseService();
        const bool listed = std::any_of(items.cbegin(), items.cend(), [&](const QString &item) {
            return item.startsWith(m_service) || item == unique || item.startsWith(unique + u'/')
                || item.startsWith(unique + u'@');
        });
        if (!listed && m_tries < registrationTries)
            askWatcher();
    });
}

bool StatusNotifierItem::hostDrawsLabels() const
{
    QDBusConnectionInterface *names = m_bus.interface();
    if (!names || !watcherPresent(m_bus))
        return false;
    for (const QString &host : labellingHosts)
        if (names->isServiceRegistered(host).value())
            return true;
    // GNOME Shell's AppIndicator extension runs the watcher inside the shell.
    const QString watcher = names->serviceOwner(watcherService()).value();
    return !watcher.isEmpty()
        && names->serviceOwner(QStringLiteral("org.gnome.Shell")).value() == watcher;
}

void StatusNotifierItem::setToolTip(const QString &description)
{
    if (description == m_toolTip)
        return;
    m_toolTip = description;
    Q_EMIT NewToolTip();
}

DBusToolTip StatusNotifierItem::toolTip() const
{
    return {m_iconName, {}, title(), m_toolTip};
}

void StatusNotifierItem::setLabel(const QString &label, const QString &guide)
{
    if (label == m_label && guide == m_labelGuide)
        return;
    m_label = label;
    m_labelGuide = guide;
    Q_EMIT XAyatanaNewLabel(m_label, m_labelGuide);
}

QDBusObjectPath StatusNotifierItem::menu() const
{
    return QDBusObjectPath(DBusMenuExporter::objectPath());
}

void StatusNotifierItem::Activate(int x, int y)
{
    Q_EMIT menuRequested(QPoint(x, y));
}

void StatusNotifierItem::SecondaryActivate(int x, int y)
{
    Q_EMIT menuRequested(QPoint(x, y));
}

void StatusNotifierItem::ContextMenu(int x, int y)
{
    Q_EMIT menuRequested(QPoint(x, y));
}

void StatusNotifierItem::Scroll(int, const QString &) { }
