#pragma once

#include "core/menu_description.h"

#include <QObject>

class QAction;
class QMenu;

// Renders menu rows into a QMenu and reports what the user chose. Feed text is
// always plain text: never markup, "&" shown as "&" rather than a mnemonic.
class MenuBuilder : public QObject
{
    Q_OBJECT

public:
    // Widgets in menus reach only the strip's own popup: menus exported over
    // D-Bus (StatusNotifierItem trays) carry no widgets, so there the sliders
    // become submenus of values.
    enum class SliderForm { Widgets, Submenus };

    explicit MenuBuilder(QObject *parent = nullptr);

    // Empties the menu and fills it with the rows.
    void render(QMenu *menu, const QList<MenuRow> &rows, SliderForm form);

    // The widest a line may be before it is cut at the tail: only as much as
    // the menu's screen can show.
    static int maxLineWidth(const QMenu *menu);

Q_SIGNALS:
    // An action or check row was chosen; a check row's action has its new state.
    void triggered(MenuRow::Command command, QAction *action);
    // A slider moved (or a value was picked), in the setting's own units.
    void valueChanged(MenuRow::Command command, double value);

private:
    void addLine(QMenu *menu, const MenuRow &row);
    void addAction(QMenu *menu, const MenuRow &row);
    void addSlider(QMenu *menu, const MenuRow &row);
    void addValueSubmenu(QMenu *menu, const MenuRow &row);
};
