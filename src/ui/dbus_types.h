#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// The structures that StatusNotifierItem and com.canonical.dbusmenu put on the
// bus, with their D-Bus signatures.

// One node of a menu layout, (ia{sv}av): its children travel as variants.
struct DBusMenuLayoutItem
{
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;

    friend bool operator==(const DBusMenuLayoutItem &a, const DBusMenuLayoutItem &b);
};

// (ia{sv}): an item's properties, as GetGroupProperties and ItemsPropertiesUpdated send them.
struct DBusMenuItemProperties
{
    int id = 0;
    QVariantMap properties;
};

// (ias): properties an item no longer has.
struct DBusMenuItemRemovedProperties
{
    int id = 0;
    QStringList names;
};

// (isvu): one event of an EventGroup call.
struct DBusMenuEvent
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

// (iiay): an icon of the item, ARGB32 in network byte order.
struct DBusImage
{
    int width = 0;
    int height = 0;
    QByteArray bytes;
};

// (sa(iiay)ss): the item's tooltip.
struct DBusToolTip
{
    QString iconName;
    QList<DBusImage> image;
    QString title;
    QString description;
};

Q_DECLARE_METATYPE(DBusMenuLayoutItem)
Q_DECLARE_METATYPE(DBusMenuItemProperties)
Q_DECLARE_METATYPE(DBusMenuItemRemovedProperties)
Q_DECLARE_METATYPE(DBusMenuEvent)
Q_DECLARE_METATYPE(DBusImage)
Q_DECLARE_METATYPE(DBusToolTip)

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayoutItem &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayoutItem &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemProperties &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemProperties &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemRemovedProperties &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemRemovedProperties &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuEvent &event);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuEvent &event);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusImage &image);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusImage &image);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusToolTip &toolTip);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusToolTip &toolTip);

namespace DBusTypes {
// Once, before anything is exported.
void registerAll();
} // namespace DBusTypes
