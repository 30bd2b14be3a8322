// The status menu's side of the controller: pausing, what the menu shows, and
// the actions behind its rows.
#include "ui/ticker_controller.h"

#include "core/login_item.h"
#include "core/paper_link.h"
#include "core/preferences.h"

#include <QAction>

void TickerController::menuWillOpen()
{
    m_model.setPaused(true);
    stopTicker();
}

void TickerController::menuDidClose()
{
    m_model.setPaused(false);
    startTicker();
}

QList<MenuRow> TickerController::menuNeedsUpdate()
{
    // The list shrank under the index: describe paper 0 next time.
    if (!m_model.displayPapers().isEmpty() && !m_model.currentPaper()) {
        m_model.setCurrentIndex(0);
        m_describedPaper.reset();
        return MenuDescription::bottomControls(menuSettings());
    }
    if (const Paper *paper = m_model.currentPaper())
        m_describedPaper = *paper;
    else
        m_describedPaper.reset();
    return MenuDescription::describe(m_model, menuSettings());
}

MenuDescription::Settings TickerController::menuSettings() const
{
    return {
        m_preferences.tickerWidth(), m_preferences.tickerSpeed(), m_preferences.launchAtLogin()};
}

void TickerController::perform(MenuRow::Command command, QAction *action)
{
    switch (command) {
    case MenuRow::Command::OpenPaper:
        openCurrentPaper();
        break;
    case MenuRow::Command::OpenFilters:
        openFilterWindow();
        break;
    case MenuRow::Command::Refresh:
        refreshPapers();
        break;
    case MenuRow::Command::LaunchAtLogin:
        if (action) // a D-Bus host's choice comes as the new state instead
            toggleLaunchAtLogin(action);
        break;
    case MenuRow::Command::Quit:
        quitApp();
        break;
    case MenuRow::Command::Width:
    case MenuRow::Command::Speed:
    case MenuRow::Command::None:
        break;
    }
}

void TickerController::openCurrentPaper()
{
    if (!m_describedPaper)
        return;
    if (const std::optional<QUrl> url = PaperLink::resolve(m_describedPaper->link()))
        Q_EMIT openUrlRequested(*url);
}

void TickerController::refreshPapers()
{
    stopTicker();
    m_model.putMessage(QStringLiteral("Refreshing..."));
    startTicker();
    Q_EMIT fetchRequested();
}

void TickerController::toggleLaunchAtLogin(QAction *item)
{
    // Qt flips a checkable action before it reports the choice: its state now is
    // the new value. The switch shows what was stored: after a failure, whether
    // an entry is there for the next login.
    item->setChecked(setLaunchAtLogin(item->isChecked()));
}

bool TickerController::setLaunchAtLogin(bool on)
{
    return m_loginItem.apply(on, m_preferences);
}
