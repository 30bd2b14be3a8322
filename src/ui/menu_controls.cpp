// The lower part of the status menu: filters, display settings, refresh,
// launch at login and quit, with the actions behind them.
#include "ui/ticker_controller.h"

#include "core/diagnostics.h"
#include "core/login_item.h"
#include "core/paper_service.h"
#include "core/preferences.h"
#include "ui/journal_filter_window.h"
#include "ui/menu_text.h"
#include "ui/scrolling_label.h"
#include "ui/status_item.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QPointer>
#include <QSlider>
#include <QWidgetAction>

#include <cmath>

namespace {

// A 230×26 row with a caption and a continuous slider.
QSlider *addSliderRow(QMenu *menu, const QString &caption, int minimum, int maximum, int value,
    const QString &objectName)
{
    auto *row = new QWidget;
    row->setFixedSize(230, 26);
    auto *label = new QLabel(caption, row);
    label->setTextFormat(Qt::PlainText);
    label->setFont(MenuText::font(12, false));
    label->setGeometry(15, 5, 45, 16);
    auto *slider = new QSlider(Qt::Horizontal, row);
    slider->setGeometry(65, 5, 145, 16);
    slider->setRange(minimum, maximum);
    slider->setValue(value);
    slider->setTracking(true); // every step while dragging, not only on release
    slider->setObjectName(objectName);

    auto *action = new QWidgetAction(menu);
    action->setDefaultWidget(row);
    action->setObjectName(objectName + QStringLiteral("Row"));
    menu->addAction(action);
    return slider;
}

// Single-key shortcuts for an open menu: "f", "r" and "q", with or without Ctrl.
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
        if (key->modifiers() & ~(Qt::ControlModifier | Qt::KeypadModifier))
            return false;
        auto *menu = static_cast<QMenu *>(watched);
        for (QAction *action : menu->actions()) {
            if (action->isEnabled() && !action->shortcut().isEmpty()
                && action->shortcut()[0].key() == Qt::Key(key->key())) {
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

void TickerController::addBottomControls(QMenu *menu)
{
    static constexpr const char *kKeysInstalled = "quilletMenuKeys";
    if (!menu->property(kKeysInstalled).toBool()) {
        menu->installEventFilter(new MenuKeys(menu));
        menu->setProperty(kKeysInstalled, true);
    }

    QAction *filters = menu->addAction(QStringLiteral("Journal Filters..."));
    filters->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    filters->setObjectName(QStringLiteral("journalFilters"));
    connect(filters, &QAction::triggered, this, &TickerController::openFilterWindow);

    menu->addSeparator();
    MenuText::addStyledLine(menu, QStringLiteral("Display Settings"), MenuText::font(11, true),
        QGuiApplication::palette().color(QPalette::PlaceholderText),
        QStringLiteral("displaySettings"));

    QSlider *width = addSliderRow(menu, QStringLiteral("Width:"), 100, 600,
        int(std::lround(m_preferences.tickerWidth())), QStringLiteral("widthSlider"));
    connect(width, &QSlider::valueChanged, this, [this](int value) { widthChanged(value); });
    // The slider counts hundredths: QSlider is integer-based.
    QSlider *speed = addSliderRow(menu, QStringLiteral("Speed:"), 10, 500,
        int(std::lround(m_preferences.tickerSpeed() * 100)), QStringLiteral("speedSlider"));
    connect(
        speed, &QSlider::valueChanged, this, [this](int value) { speedChanged(value / 100.0); });

    menu->addSeparator();
    QAction *refresh = menu->addAction(QStringLiteral("\u21BB Refresh Now"));
    refresh->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    refresh->setObjectName(QStringLiteral("refresh"));
    connect(refresh, &QAction::triggered, this, &TickerController::refreshPapers);

    QAction *login = menu->addAction(QStringLiteral("Launch at Login"));
    login->setCheckable(true);
    login->setChecked(m_preferences.launchAtLogin());
    login->setObjectName(QStringLiteral("launchAtLogin"));
    connect(login, &QAction::triggered, this, [this, login] { toggleLaunchAtLogin(login); });

    menu->addSeparator();
    QAction *quit = menu->addAction(QStringLiteral("Quit Quillet"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setObjectName(QStringLiteral("quit"));
    connect(quit, &QAction::triggered, this, &TickerController::quitApp);

    for (QAction *action : {filters, refresh, quit})
        action->setShortcutVisibleInContextMenu(true);
}

void TickerController::openFilterWindow()
{
    JournalFilterWindow &window = m_env.filterWindow();
    window.onFiltersChanged = [self = QPointer(this)] {
        if (self)
            self->applyFiltersAndRestart();
    };
    window.showWindow();
}

void TickerController::refreshPapers()
{
    stopTicker();
    ScrollingLabel &scrollingLabel = label();
    scrollingLabel.setText(QStringLiteral("Refreshing..."));
    scrollingLabel.sizeToFit();
    scrollingLabel.setX(containerWidth());
    m_statusItem->labelChanged();
    startTicker();
    m_env.service().fetch();
}

void TickerController::toggleLaunchAtLogin(QAction *item)
{
    // Qt flips a checkable action before it reports the choice: its state now is the new value.
    item->setChecked(m_env.loginItem().apply(item->isChecked(), m_preferences));
}

void TickerController::quitApp()
{
    m_env.quit();
}
