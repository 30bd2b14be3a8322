#include "ui/menu_builder.h"

#include "core/display_text.h"

#include <QActionGroup>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QWidgetAction>

#include <algorithm>

namespace {

QFont font(int pixelSize, bool bold)
{
    QFont result;
    result.setPixelSize(pixelSize);
    result.setBold(bold);
    return result;
}

QString escapeMnemonic(QString text)
{
    return text.replace(u'&', QStringLiteral("&&"));
}

struct LineLook
{
    QFont font;
    QPalette::ColorRole color;
};

LineLook look(MenuRow::Style style)
{
    switch (style) {
    case MenuRow::Style::Journal:
        return {font(12, true), QPalette::Link};
    case MenuRow::Style::Title:
        return {font(13, true), QPalette::WindowText};
    case MenuRow::Style::Author:
        return {font(12, false), QPalette::WindowText};
    case MenuRow::Style::Date:
        return {font(11, false), QPalette::PlaceholderText};
    case MenuRow::Style::SectionHeader:
        return {font(11, true), QPalette::PlaceholderText};
    case MenuRow::Style::Plain:
        break;
    }
    return {QFont(), QPalette::WindowText};
}

// Every line of feed text (an unknown journal label or a date is shown as it
// came) is cut at the tail to what the menu's screen can show.
QString fitted(const QString &text, const QFont &font, const QMenu *menu)
{
    return QFontMetrics(font).elidedText(
        DisplayText::clean(text), Qt::ElideRight, MenuBuilder::maxLineWidth(menu));
}

// Ctrl-letter acts in the open menu; plain letters do not, so a stray key
// cannot quit.
class MenuKeys : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::ControlModifier)
            return false;
        auto *menu = static_cast<QMenu *>(watched);
        const QKeySequence pressed(key->modifiers() | Qt::Key(key->key()));
        for (QAction *action : menu->actions()) {
            if (action->isEnabled() && !action->shortcut().isEmpty()
                && action->shortcut() == pressed) {
                menu->hide();
                // Act once the key event is done with, as a click would.
                QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
                return true;
            }
        }
        return false;
    }
};

} // namespace

MenuBuilder::MenuBuilder(QObject *parent) : QObject(parent) { }

int MenuBuilder::maxLineWidth(const QMenu *menu)
{
    const QScreen *screen = menu->screen() ? menu->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    // Room for the menu's frame, margins and the check column.
    return std::max(200, screenWidth - 120);
}

void MenuBuilder::render(QMenu *menu, const QList<MenuRow> &rows, SliderForm form)
{
    menu->clear();
    // clear() leaves the value submenus of the last build behind.
    qDeleteAll(menu->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly));
    static constexpr const char *keysInstalled = "quilletMenuKeys";
    if (!menu->property(keysInstalled).toBool()) {
        menu->installEventFilter(new MenuKeys(menu));
        menu->setProperty(keysInstalled, true);
    }
    for (const MenuRow &row : rows) {
        switch (row.kind) {
        case MenuRow::Kind::Separator:
            menu->addSeparator();
            break;
        case MenuRow::Kind::Line:
            addLine(menu, row);
            break;
        case MenuRow::Kind::Action:
        case MenuRow::Kind::Check:
            addAction(menu, row);
            break;
        case MenuRow::Kind::Slider:
            if (form == SliderForm::Widgets)
                addSlider(menu, row);
            else
                addValueSubmenu(menu, row);
            break;
        }
    }
}

void MenuBuilder::addLine(QMenu *menu, const MenuRow &row)
{
    if (row.style == MenuRow::Style::Plain) {
        QAction *action = menu->addAction(escapeMnemonic(fitted(row.text, menu->font(), menu)));
        action->setEnabled(false);
        action->setObjectName(row.objectName);
        return;
    }
    // An action's text cannot carry a colour: a disabled line is a plain-text label.
    const LineLook style = look(row.style);
    const QString text = fitted(row.text, style.font, menu);
    auto *label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(style.font);
    label->setObjectName(row.objectName);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QGuiApplication::palette().color(style.color));
    label->setPalette(palette);
    // Line up with the text of ordinary menu items.
    const int indent = menu->style()->pixelMetric(QStyle::PM_MenuHMargin, nullptr, menu)
        + menu->style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, menu) + 24;
    label->setContentsMargins(indent, 3, indent, 3);

    auto *action = new QWidgetAction(menu);
    action->setDefaultWidget(label);
    action->setText(escapeMnemonic(text));
    action->setEnabled(false);
    action->setObjectName(row.objectName);
    menu->addAction(action);
}

void MenuBuilder::addAction(QMenu *menu, const MenuRow &row)
{
    const bool plain = row.style == MenuRow::Style::Plain;
    const QString text = fitted(row.text, plain ? menu->font() : look(row.style).font, menu);
    QAction *action = menu->addAction(escapeMnemonic(text));
    if (!plain)
        action->setFont(look(row.style).font);
    action->setObjectName(row.objectName);
    action->setEnabled(row.enabled);
    if (row.kind == MenuRow::Kind::Check) {
        action->setCheckable(true);
        action->setChecked(row.checked);
    }
    if (row.key) {
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(row.key)));
        action->setShortcutVisibleInContextMenu(true);
    }
    connect(action, &QAction::triggered, this,
        [this, command = row.command, action] { Q_EMIT triggered(command, action); });
}

void MenuBuilder::addSlider(QMenu *menu, const MenuRow &row)
{
    auto *container = new QWidget;
    container->setFixedSize(230, 26);
    auto *label = new QLabel(row.text, container);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font(12, false));
    label->setGeometry(15, 5, 45, 16);
    auto *slider = new QSlider(Qt::Horizontal, container);
    slider->setGeometry(65, 5, 145, 16);
    slider->setRange(row.minimum, row.maximum);
    slider->setValue(row.value);
    slider->setTracking(true); // every step while dragging, not only on release
    slider->setObjectName(row.objectName);
    connect(slider, &QSlider::valueChanged, this,
        [this, command = row.command, unit = row.unit](
            int value) { Q_EMIT valueChanged(command, value * unit); });

    auto *action = new QWidgetAction(menu);
    action->setDefaultWidget(container);
    // Not drawn beside the widget, but what a screen reader names the row by.
    action->setText(row.text);
    action->setObjectName(row.objectName + QStringLiteral("Row"));
    menu->addAction(action);
}

void MenuBuilder::addValueSubmenu(QMenu *menu, const MenuRow &row)
{
    const auto format
        = [&row](int value) { return MenuDescription::formatSliderValue(row, value); };
    QMenu *submenu = menu->addMenu(row.text + u' ' + format(row.value));
    submenu->menuAction()->setObjectName(row.objectName + QStringLiteral("Menu"));
    auto *group = new QActionGroup(submenu);
    for (int value : MenuDescription::sliderChoices(row)) {
        QAction *choice = submenu->addAction(format(value));
        choice->setCheckable(true);
        choice->setChecked(value == row.value);
        group->addAction(choice);
        connect(choice, &QAction::triggered, this,
            [this, command = row.command, value, unit = row.unit] {
                Q_EMIT valueChanged(command, value * unit);
            });
    }
}
