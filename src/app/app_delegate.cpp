#include "app/app_delegate.h"

#include "core/diagnostics.h"
#include "core/login_item.h"
#include "core/paper_service.h"
#include "core/preferences.h"
#include "ui/journal_filter_window.h"
#include "ui/menu_builder.h"
#include "ui/status_item.h"
#include "ui/ticker_controller.h"
#include "ui/top_bar_ticker.h"
#include "ui/tray_icon.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QPointer>

using namespace std::chrono_literals;

AppDelegate::AppDelegate()
    : AppDelegate(Services {Preferences::standard(), PaperService::shared(),
        JournalFilterWindow::shared(), LoginItem::shared()})
{ }

AppDelegate::AppDelegate(Services services) : m_services(services) { }

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    // An accessory program: no main window, and closing a panel never quits.
    QApplication::setQuitOnLastWindowClosed(false);
    setup();
    m_services.paperService.startPolling(1800s);
    Diagnostics::log(QStringLiteral("App launched \u2014 polling every 30 min"));
}

void AppDelegate::setup()
{
    if (!StatusItem::platformHasButton())
        return; // nowhere to show anything: no strip, no menu, no callbacks

    Preferences &preferences = m_services.preferences;
    m_strip = std::make_unique<StatusItem>(preferences.tickerWidth());
    m_ticker = std::make_unique<TickerController>(preferences, *m_strip, m_services.loginItem);
    m_ticker->setup();

    TickerController *ticker = m_ticker.get();
    m_trayIcon = std::make_unique<TrayIcon>(TrayIcon::Menus {
        [this] { return trayMenu(); }, [ticker] { return ticker->menuNeedsUpdate(); }});
    m_trayIcon->setToolTip(m_strip->description());
    connectTray();
    placeTicker();

    QObject::connect(m_strip.get(), &StatusItem::activated, ticker, [this] { popUpMenu(); });
    QObject::connect(
        m_strip.get(), &StatusItem::descriptionChanged, m_trayIcon.get(), &TrayIcon::setToolTip);

    PaperService &service = m_services.paperService;
    QObject::connect(
        ticker, &TickerController::fetchRequested, ticker, [&service] { service.fetch(); });
    JournalFilterWindow &filterWindow = m_services.filterWindow;
    QObject::connect(ticker, &TickerController::filterWindowRequested, ticker,
        [&filterWindow] { filterWindow.showWindow(); });
    QObject::connect(ticker, &TickerController::openUrlRequested, ticker,
        [](const QUrl &url) { QDesktopServices::openUrl(url); });
    QObject::connect(
        ticker, &TickerController::quitRequested, ticker, [] { QCoreApplication::quit(); });

    // Callbacks that shared objects hold refer to the controller weakly.
    // Hosts fetch the menu ahead of time: keep what they hold current, so that
    // opening it changes labels in place rather than the layout under the pointer.
    TrayIcon *tray = m_trayIcon.get();
    filterWindow.onFiltersChanged = [self = QPointer(ticker), tray = QPointer(tray)] {
        if (self)
            self->applyFiltersAndRestart();
        if (tray)
            tray->refreshMenu();
    };
    service.onUpdate
        = [self = QPointer(ticker), tray = QPointer(tray)](const QList<Paper> &papers) {
              if (self)
                  self->onUpdate(papers);
              if (tray)
                  tray->refreshMenu();
          };
    service.onError = [self = QPointer(ticker)](const QString &message) {
        if (self)
            self->showErrorMessage(message);
    };
}

void AppDelegate::connectTray()
{
    TickerController *ticker = m_ticker.get();
    TrayIcon *tray = m_trayIcon.get();
    QObject::connect(tray, &TrayIcon::hostMenuShown, ticker,
        [this](bool shown) { setMenuOpen(OpenMenu::Host, shown); });
    QObject::connect(tray, &TrayIcon::triggered, ticker,
        [ticker](MenuRow::Command command) { ticker->perform(command, nullptr); });
    QObject::connect(tray, &TrayIcon::checkChosen, ticker,
        [ticker](MenuRow::Command, bool on) { ticker->setLaunchAtLogin(on); });
    QObject::connect(
        tray, &TrayIcon::valueChosen, ticker, [ticker](MenuRow::Command command, double value) {
            if (command == MenuRow::Command::Width)
                ticker->widthChanged(value);
            else if (command == MenuRow::Command::Speed)
                ticker->speedChanged(value);
        });
    QObject::connect(tray, &TrayIcon::hostChanged, ticker, [this] { placeTicker(); });
    QObject::connect(tray, &TrayIcon::menuRequested, ticker, [this](QPoint position) {
        if (!menu()->isVisible())
            m_menu->popup(position);
    });
}

void AppDelegate::placeTicker()
{
    TickerController *ticker = m_ticker.get();
    if (!m_trayIcon->drawsLabels()) {
        m_trayIcon->setLabel({}, {});
        ticker->showOnStrip();
        return;
    }
    if (ticker->isInTopBar())
        return;
    ticker->showInTopBar(
        [this, ticker](const QString &page, const QString &guide) {
            m_trayIcon->setLabel(page, guide);
            m_trayIcon->setToolTip(ticker->model().text());
        },
        &TopBarTicker::charactersIn);
}

void AppDelegate::setMenuOpen(OpenMenu menu, bool open)
{
    // The ticker pauses while any menu is seen and goes on once none is.
    const int before = m_openMenus;
    m_openMenus = open ? before | int(menu) : before & ~int(menu);
    if (!before && m_openMenus) {
        m_ticker->menuWillOpen();
        m_trayIcon->pauseWatch();
    } else if (before && !m_openMenus) {
        m_ticker->menuDidClose();
        m_trayIcon->resumeWatch();
    }
}

QMenu *AppDelegate::menu()
{
    // The strip's own popup carries the sliders.
    if (!m_menu && m_ticker)
        m_menu = makeMenu(MenuBuilder::SliderForm::Widgets);
    return m_menu.get();
}

QMenu *AppDelegate::trayMenu()
{
    // Exported over D-Bus where the tray is a StatusNotifierItem: no widgets there.
    if (!m_trayMenu && m_ticker)
        m_trayMenu = makeMenu(MenuBuilder::SliderForm::Submenus);
    return m_trayMenu.get();
}

std::unique_ptr<QMenu> AppDelegate::makeMenu(MenuBuilder::SliderForm form)
{
    TickerController *ticker = m_ticker.get();
    if (!m_menuBuilder) {
        m_menuBuilder = std::make_unique<MenuBuilder>();
        QObject::connect(
            m_menuBuilder.get(), &MenuBuilder::triggered, ticker, &TickerController::perform);
        QObject::connect(m_menuBuilder.get(), &MenuBuilder::valueChanged, ticker,
            [ticker](MenuRow::Command command, double value) {
                if (command == MenuRow::Command::Width)
                    ticker->widthChanged(value);
                else if (command == MenuRow::Command::Speed)
                    ticker->speedChanged(value);
            });
    }
    auto owned = std::make_unique<QMenu>();
    QMenu *menu = owned.get();
    QObject::connect(menu, &QMenu::aboutToShow, ticker, [this, menu, form, ticker] {
        setMenuOpen(OpenMenu::Widget, true);
        m_menuBuilder->render(menu, ticker->menuNeedsUpdate(), form);
    });
    QObject::connect(
        menu, &QMenu::aboutToHide, ticker, [this] { setMenuOpen(OpenMenu::Widget, false); });
    return owned;
}

void AppDelegate::popUpMenu()
{
    if (menu()->isVisible()) {
        m_menu->hide();
        return;
    }
    m_menu->popup(m_strip->mapToGlobal(QPoint(0, m_strip->height())));
}
