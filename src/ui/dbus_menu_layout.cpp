#include "ui/dbus_menu_layout.h"

#include "core/display_text.h"

namespace {

// dbusmenu labels take "_" as the mnemonic mark: a literal one is doubled.
QString label(const QString &text)
{
    return DisplayText::clean(text, DBusMenuLayout::maxLineLength)
        .replace(u'_', QStringLiteral("__"));
}

const DBusMenuLayoutItem *findIn(const DBusMenuLayoutItem &item, int id)
{
    if (item.id == id)
        return &item;
    for (const DBusMenuLayoutItem &child : item.children)
        if (const DBusMenuLayoutItem *found = findIn(child, id))
            return found;
    return nullptr;
}

} // namespace

int DBusMenuLayout::idFor(const QString &key)
{
    auto found = m_ids.find(key);
    if (found == m_ids.end())
        found = m_ids.insert(key, m_nextId++);
    return *found;
}

DBusMenuLayoutItem DBusMenuLayout::item(const QString &key, QVariantMap properties)
{
    return {idFor(key), std::move(properties), {}};
}

bool DBusMenuLayout::update(const QList<MenuRow> &rows)
{
    DBusMenuLayoutItem root {
        0, {{QStringLiteral("children-display"), QStringLiteral("submenu")}}, {}};
    m_targets.clear();
    int separators = 0;
    for (const MenuRow &row : rows) {
        switch (row.kind) {
        case MenuRow::Kind::Separator:
            root.children.append(item(QStringLiteral("separator/%1").arg(separators++),
                {{QStringLiteral("type"), QStringLiteral("separator")}}));
            break;
        case MenuRow::Kind::Line:
            root.children.append(item(row.objectName,
                {{QStringLiteral("label"), label(row.text)}, {QStringLiteral("enabled"), false}}));
            break;
        case MenuRow::Kind::Action:
        case MenuRow::Kind::Check: {
            DBusMenuLayoutItem action = item(row.objectName,
                {{QStringLiteral("label"), label(row.text)},
                    {QStringLiteral("enabled"), row.enabled}});
            Target target {row.command, {}, {}};
            if (row.kind == MenuRow::Kind::Check) {
                action.properties.insert(
                    QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
                action.properties.insert(QStringLiteral("toggle-state"), row.checked ? 1 : 0);
                target.checkedAfter = !row.checked;
            }
            if (row.key)
                action.properties.insert(QStringLiteral("shortcut"),
                    QVariant::fromValue(QList<QStringList> {
                        {QStringLiteral("Control"), QString(QChar::fromLatin1(row.key))}}));
            m_targets.insert(action.id, target);
            root.children.append(action);
            break;
        }
        case MenuRow::Kind::Slider:
            root.children.append(valueSubmenu(row));
            break;
        }
    }
    const bool changed = root != m_root;
    m_root = std::move(root);
    return changed;
}

DBusMenuLayoutItem DBusMenuLayout::valueSubmenu(const MenuRow &row)
{
    DBusMenuLayoutItem submenu = item(row.objectName,
        {{QStringLiteral("label"),
             label(row.text + u' ' + MenuDescription::formatSliderValue(row, row.value))},
            {QStringLiteral("children-display"), QStringLiteral("submenu")}});
    for (int value : MenuDescription::sliderChoices(row)) {
        DBusMenuLayoutItem choice = item(row.objectName + u'/' + QString::number(value),
            {{QStringLiteral("label"), MenuDescription::formatSliderValue(row, value)},
                {QStringLiteral("toggle-type"), QStringLiteral("radio")},
                {QStringLiteral("toggle-state"), value == row.value ? 1 : 0}});
        m_targets.insert(choice.id, {row.command, value * row.unit, {}});
        submenu.children.append(choice);
    }
    return submenu;
}

const DBusMenuLayoutItem *DBusMenuLayout::find(int id) const
{
    return findIn(m_root, id);
}

std::optional<DBusMenuLayout::Target> DBusMenuLayout::target(int id) const
{
    const auto found = m_targets.constFind(id);
    if (found == m_targets.cend())
        return std::nullopt;
    return *found;
}

QVariantMap DBusMenuLayout::filtered(const QVariantMap &properties, const QStringList &names)
{
    if (names.isEmpty())
        return properties;
    QVariantMap result;
    for (const QString &name : names)
        if (properties.contains(name))
            result.insert(name, properties.value(name));
    return result;
}

DBusMenuLayoutItem DBusMenuLayout::subtree(
    const DBusMenuLayoutItem &item, int depth, const QStringList &propertyNames)
{
    DBusMenuLayoutItem result {item.id, filtered(item.properties, propertyNames), {}};
    if (depth != 0)
        for (const DBusMenuLayoutItem &child : item.children)
            result.children.append(subtree(child, depth - 1, propertyNames));
    return result;
}
