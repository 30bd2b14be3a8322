// The status menu's side of the controller: pausing, what the menu shows, and
// the actions behind its rows.
#include "ui/ticker_controller.h"

#include "core/diagnostics.h"
#include "core/login_item.h"
#include "core/preferences.h"

#include <QAction>

namespace {

// Characters that may stay unencoded in a query, besides letters and digits.
const QByteArray kQueryAllowedExtras = "-._~!$&'()*+,;=:@/?";

// The feed is untrusted: a link may only ever open a web page.
bool isWebLink(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

} // namespace

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
    const QString link = m_describedPaper->link();

    QUrl url(link, QUrl::StrictMode);
    if (link.isEmpty() || !url.isValid()) {
        // Not a URL as written: try it percent-encoded, as a browser would.
        const QByteArray encoded = QUrl::toPercentEncoding(link, kQueryAllowedExtras);
        url = QUrl(QString::fromLatin1(encoded), QUrl::StrictMode);
        if (encoded.isEmpty() || !url.isValid())
            return;
    }
    if (!isWebLink(url)) {
        Diagnostics::log(
            QStringLiteral("Refused to open a link that is not a web address: ") + link);
        return;
    }
    Q_EMIT openUrlRequested(url);
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
    // Qt flips a checkable action before it reports the choice: its state now is the new value.
    const bool newValue = item->isChecked();
    m_preferences.setLaunchAtLogin(newValue);
    item->setChecked(newValue);
    const LoginItem::Result result
        = newValue ? m_loginItem.registerItem() : m_loginItem.unregisterItem();
    if (!result.ok)
        Diagnostics::log(QStringLiteral("Launch at Login error: ") + result.errorDescription);
}
