#pragma once

#include "core/host_menu_pause.h"
#include "core/menu_description.h"
#include "ui/dbus_menu_layout.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QObject>

#include <functional>

class QDBusServiceWatcher;

// The status menu exported over com.canonical.dbusmenu for tray hosts, read
// from the same rows as the strip's popup. What a host chooses comes back as
// the same commands and values. The ticker pauses only while a host says the
// menu is open (see HostMenuPause), never for a fetch ahead of time.
class DBusMenuExporter : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version SCRIPTABLE true)
    Q_PROPERTY(QString TextDirection READ textDirection SCRIPTABLE true)
    Q_PROPERTY(QString Status READ status SCRIPTABLE true)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath SCRIPTABLE true)

public:
    using Rows = std::function<QList<MenuRow>()>;

    DBusMenuExporter(Rows rows, Timers &timers, QObject *parent = nullptr);
    ~DBusMenuExporter() override;

    static QString objectPath() { return QStringLiteral("/MenuBar"); }
    bool exportOn(QDBusConnection bus);

    // Reads the rows again and tells hosts what changed; true when anything did.
    bool refresh();
    HostMenuPause &hostPause() { return m_pause; }
    // What a host chose, once its call has been answered. A callback, not a
    // signal: the bus would try to relay every signal of an exported object.
    std::function<void(const DBusMenuLayout::Target &)> onChosen;
    uint revision() const { return m_revision; }

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public Q_SLOTS:
    Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
        DBusMenuLayoutItem &layout);
    Q_SCRIPTABLE QList<DBusMenuItemProperties> GetGroupProperties(
        const QList<int> &ids, const QStringList &propertyNames);
    Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString &name);
    Q_SCRIPTABLE void Event(
        int id, const QString &eventId, const QDBusVariant &data, uint timestamp);
    Q_SCRIPTABLE QList<int> EventGroup(const QList<DBusMenuEvent> &events);
    Q_SCRIPTABLE bool AboutToShow(int id);
    Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors);

Q_SIGNALS:
    Q_SCRIPTABLE void ItemsPropertiesUpdated(const QList<DBusMenuItemProperties> &updatedProps,
        const QList<DBusMenuItemRemovedProperties> &removedProps);
    Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);
    Q_SCRIPTABLE void ItemActivationRequested(int id, uint timestamp);

private:
    // False when there is no such item.
    bool handleEvent(int id, const QString &eventId);

    Rows m_rows;
    DBusMenuLayout m_layout;
    uint m_revision = 1;
    HostMenuPause m_pause;
    // Hosts that have a menu open, so that one leaving the bus closes it.
    QDBusServiceWatcher *m_hosts;
};
