#pragma once

#include "core/menu_description.h"
#include "ui/dbus_types.h"

#include <QHash>

#include <optional>

// The status menu's rows as a com.canonical.dbusmenu layout: separators,
// disabled lines, actions with their Ctrl keys, the check row, and each slider
// as a submenu of values. Ids stay the same for the same row across rebuilds,
// so a click on a layout a host fetched a moment ago still means that row.
class DBusMenuLayout
{
public:
    // What choosing an item does.
    struct Target
    {
        MenuRow::Command command = MenuRow::Command::None;
        // Value rows: the value chosen, in the setting's own units.
        std::optional<double> value;
        // The check row: its state once chosen.
        std::optional<bool> checkedAfter;
    };

    // Longest line a host is given; hosts size their menus to the text.
    static constexpr qsizetype maxLineLength = 90;

    // Rebuilds from the rows; true when what a host shows has changed.
    bool update(const QList<MenuRow> &rows);

    const DBusMenuLayoutItem &root() const { return m_root; }
    // The item with that id, or null.
    const DBusMenuLayoutItem *find(int id) const;
    std::optional<Target> target(int id) const;
    // The item cut to `depth` levels below it (-1: all) with only the named
    // properties (none named: all).
    static DBusMenuLayoutItem subtree(
        const DBusMenuLayoutItem &item, int depth, const QStringList &propertyNames);
    static QVariantMap filtered(const QVariantMap &properties, const QStringList &names);

private:
    int idFor(const QString &key);
    DBusMenuLayoutItem item(const QString &key, QVariantMap properties);
    DBusMenuLayoutItem valueSubmenu(const MenuRow &row);

    QHash<QString, int> m_ids;
    int m_nextId = 1;
    DBusMenuLayoutItem m_root;
    QHash<int, Target> m_targets;
};
