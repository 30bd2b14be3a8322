#include "ui/dbus_types.h"

#include <QDBusMetaType>

bool operator==(const DBusMenuLayoutItem &a, const DBusMenuLayoutItem &b)
{
    return a.id == b.id && a.properties == b.properties && a.children == b.children;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayoutItem &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const DBusMenuLayoutItem &child : item.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayoutItem &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    item.children.clear();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children.append(qdbus_cast<DBusMenuLayoutItem>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

namespace {

// A structure of plain fields, in order.
template<typename... Fields> QDBusArgument &write(QDBusArgument &argument, const Fields &...fields)
{
    argument.beginStructure();
    (argument << ... << fields);
    argument.endStructure();
    return argument;
}

template<typename... Fields>
const QDBusArgument &read(const QDBusArgument &argument, Fields &...fields)
{
    argument.beginStructure();
    (argument >> ... >> fields);
    argument.endStructure();
    return argument;
}

} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemProperties &item)
{
    return write(argument, item.id, item.properties);
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemProperties &item)
{
    return read(argument, item.id, item.properties);
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemRemovedProperties &item)
{
    return write(argument, item.id, item.names);
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemRemovedProperties &item)
{
    return read(argument, item.id, item.names);
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuEvent &event)
{
    return write(argument, event.id, event.eventId, event.data, event.timestamp);
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuEvent &event)
{
    return read(argument, event.id, event.eventId, event.data, event.timestamp);
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusImage &image)
{
    return write(argument, image.width, image.height, image.bytes);
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusImage &image)
{
    return read(argument, image.width, image.height, image.bytes);
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusToolTip &toolTip)
{
    return write(argument, toolTip.iconName, toolTip.image, toolTip.title, toolTip.description);
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusToolTip &toolTip)
{
    return read(argument, toolTip.iconName, toolTip.image, toolTip.title, toolTip.description);
}

void DBusTypes::registerAll()
{
    qDBusRegisterMetaType<QList<QStringList>>(); // shortcuts
    qDBusRegisterMetaType<DBusMenuLayoutItem>();
    qDBusRegisterMetaType<DBusMenuItemProperties>();
    qDBusRegisterMetaType<QList<DBusMenuItemProperties>>();
    qDBusRegisterMetaType<DBusMenuItemRemovedProperties>();
    qDBusRegisterMetaType<QList<DBusMenuItemRemovedProperties>>();
    qDBusRegisterMetaType<DBusMenuEvent>();
    qDBusRegisterMetaType<QList<DBusMenuEvent>>();
    qDBusRegisterMetaType<DBusImage>();
    qDBusRegisterMetaType<QList<DBusImage>>();
    qDBusRegisterMetaType<DBusToolTip>();
}
