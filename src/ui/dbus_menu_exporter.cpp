#include "ui/dbus_menu_exporter.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

namespace {

const QString noSuchItem = QStringLiteral("com.canonical.dbusmenu.Error.NoSuchItem");

bool sameShape(const DBusMenuLayoutItem &a, const DBusMenuLayoutItem &b)
{
    if (a.id != b.id || a.children.size() != b.children.size())
        return false;
    for (qsizetype i = 0; i < a.children.size(); ++i)
        if (!sameShape(a.children[i], b.children[i]))
            return false;
    return true;
}

void propertyChanges(const DBusMenuLayoutItem &before, const DBusMenuLayoutItem &after,
    QList<DBusMenuItemProperties> &updated, QList<DBusMenuItemRemovedProperties> &removed)
{
    if (before.properties != after.properties) {
        updated.append({after.id, after.properties});
        QStringList gone;
        for (auto it = before.properties.cbegin(); it != before.properties.cend(); ++it)
            if (!after.properties.contains(it.key()))
                gone.append(it.key());
        if (!gone.isEmpty())
            removed.append({after.id, gone});
    }
    for (qsizetype i = 0; i < after.children.size(); ++i)
        propertyChanges(before.children[i], after.children[i], updated, removed);
}

} // namespace

DBusMenuExporter::DBusMenuExporter(Rows rows, Timers &timers, QObject *parent)
    : QObject(parent),
      m_rows(std::move(rows)),
      m_pause(timers),
      m_hosts(new QDBusServiceWatcher(this))
{
    m_layout.update(m_rows());
    m_hosts->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(m_hosts, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString &host) {
        m_hosts->removeWatchedService(host);
        m_pause.hostGone(host);
    });
}

DBusMenuExporter::~DBusMenuExporter() = default;

bool DBusMenuExporter::exportOn(QDBusConnection bus)
{
    m_hosts->setConnection(bus);
    return bus.registerObject(objectPath(), this,
        QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals
            | QDBusConnection::ExportScriptableProperties);
}

QString DBusMenuExporter::textDirection() const
{
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

bool DBusMenuExporter::refresh()
{
    const DBusMenuLayoutItem before = m_layout.root();
    if (!m_layout.update(m_rows()))
        return false;
    ++m_revision;
    // A host keeps its tree when only labels or states changed.
    if (sameShape(before, m_layout.root())) {
        QList<DBusMenuItemProperties> updated;
        QList<DBusMenuItemRemovedProperties> removed;
        propertyChanges(before, m_layout.root(), updated, removed);
        Q_EMIT ItemsPropertiesUpdated(updated, removed);
    } else {
        Q_EMIT LayoutUpdated(m_revision, 0);
    }
    return true;
}

uint DBusMenuExporter::GetLayout(
    int parentId, int recursionDepth, const QStringList &propertyNames, DBusMenuLayoutItem &layout)
{
    const DBusMenuLayoutItem *parent = m_layout.find(parentId);
    if (!parent) {
        sendErrorReply(noSuchItem, QStringLiteral("No menu item %1").arg(parentId));
        return m_revision;
    }
    layout = DBusMenuLayout::subtree(*parent, recursionDepth, propertyNames);
    return m_revision;
}

QList<DBusMenuItemProperties> DBusMenuExporter::GetGroupProperties(
    const QList<int> &ids, const QStringList &propertyNames)
{
    QList<DBusMenuItemProperties> result;
    for (int id : ids)
        if (const DBusMenuLayoutItem *item = m_layout.find(id))
            result.append({id, DBusMenuLayout::filtered(item->properties, propertyNames)});
    return result;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString &name)
{
    const DBusMenuLayoutItem *item = m_layout.find(id);
    if (!item || !item->properties.contains(name)) {
        sendErrorReply(noSuchItem, QStringLiteral("No property %1 of item %2").arg(name).arg(id));
        return {};
    }
    return QDBusVariant(item->properties.value(name));
}

void DBusMenuExporter::Event(int id, const QString &eventId, const QDBusVariant &, uint)
{
    if (!handleEvent(id, eventId))
        sendErrorReply(noSuchItem, QStringLiteral("No menu item %1").arg(id));
}

QList<int> DBusMenuExporter::EventGroup(const QList<DBusMenuEvent> &events)
{
    QList<int> notFound;
    for (const DBusMenuEvent &event : events)
        if (!handleEvent(event.id, event.eventId))
            notFound.append(event.id);
    return notFound;
}

bool DBusMenuExporter::handleEvent(int id, const QString &eventId)
{
    if (!m_layout.find(id))
        return false;
    const QString host = calledFromDBus() ? message().service() : QString();
    if (eventId == QLatin1String("opened")) {
        if (!host.isEmpty())
            m_hosts->addWatchedService(host);
        m_pause.opened(host, id);
        // The host shows what it fetched last: make that the paper on display.
        if (id == 0)
            refresh();
    } else if (eventId == QLatin1String("closed")) {
        m_pause.closed(host, id);
    } else if (eventId == QLatin1String("clicked")) {
        if (const std::optional<DBusMenuLayout::Target> target = m_layout.target(id))
            // After the reply: quitting or opening a window must not keep the host waiting.
            QMetaObject::invokeMethod(
                this,
                [this, chosen = *target] {
                    if (onChosen)
                        onChosen(chosen);
                    refresh();
                },
                Qt::QueuedConnection);
    }
    return true;
}

bool DBusMenuExporter::AboutToShow(int id)
{
    // Hosts ask this ahead of time too: bring the rows up to date, pause nothing.
    if (!m_layout.find(id)) {
        sendErrorReply(noSuchItem, QStringLiteral("No menu item %1").arg(id));
        return false;
    }
    return refresh();
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors)
{
    const bool changed = refresh();
    QList<int> updatesNeeded;
    for (int id : ids) {
        if (!m_layout.find(id))
            idErrors.append(id);
        else if (changed)
            updatesNeeded.append(id);
    }
    return updatesNeeded;
}
