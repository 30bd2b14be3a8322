#include "ui/ticker_controller.h"

#include "core/preferences.h"
#include "ui/frame_driver.h"
#include "ui/status_item.h"
#include "ui/top_bar_ticker.h"

TickerController::TickerController(
    Preferences &preferences, StatusItem &strip, LoginItem &loginItem, FrameClock *clock)
    : m_preferences(preferences),
      m_strip(strip),
      m_loginItem(loginItem),
      m_model([&strip](const QString &text) { return strip.measure(text); }),
      m_ownClock(clock ? nullptr : std::make_unique<QtFrameClock>()),
      m_clock(clock ? *clock : *m_ownClock),
      // Kept here: reading the settings store at every pixel step costs more
      // than the step itself. A change through the slider re-plans at once.
      m_speed(preferences.tickerSpeed())
{ }

TickerController::~TickerController() = default;

void TickerController::setup()
{
    // Never wider than the screen: an off-screen strip would still take clicks.
    const double width
        = Preferences::boundedWidth(m_preferences.tickerWidth(), m_strip.screenWidth());
    m_strip.setLength(width);
    m_strip.setContainerFrame(QRectF(StatusItem::containerInset, 0,
        width - 2 * StatusItem::containerInset, StatusItem::stripHeight));
    m_model.setContainerWidth(m_strip.containerFrame().width());
    // Just beyond the right edge: nothing shows until the ticker first starts.
    m_model.putMessage(QStringLiteral("Loading..."));
    show();
}

void TickerController::onUpdate(const QList<Paper> &papers)
{
    // A poll that brings the list on display (a 304, or the same document) goes
    // on from the paper crossing: restarting at paper 0 every half hour would
    // never reach the end of a long feed.
    if (m_model.currentPaper() && papers == m_model.allPapers())
        return;
    m_model.setAllPapers(papers);
    applyFiltersAndRestart();
}

void TickerController::applyFiltersAndRestart()
{
    stopTicker();
    m_model.applyFilters(m_preferences.hiddenJournals());
    startTicker();
}

void TickerController::showErrorMessage(const QString &message)
{
    stopTicker();
    m_model.putMessage(message);
    startTicker();
}

void TickerController::stopTicker()
{
    m_frameDriver.reset();
    if (m_topBar)
        m_topBar->stop();
}

void TickerController::startTicker()
{
    stopTicker();
    if (!m_model.restart()) {
        show();
        return;
    }
    if (m_topBar)
        m_topBar->start();
    else
        m_frameDriver = std::make_unique<FrameDriver>(
            m_clock, [this](std::int64_t frames) { return advance(frames); });
    show();
}

void TickerController::showInTopBar(
    std::function<void(const QString &page, const QString &guide)> label,
    std::function<int(double width)> characters)
{
    stopTicker();
    m_labelCharacters = std::move(characters);
    m_topBar
        = std::make_unique<TopBarTicker>(m_model, std::move(label), [this] { return m_speed; });
    m_topBar->setWidth(m_labelCharacters(m_preferences.tickerWidth()));
    m_strip.hide();
    startTicker();
}

void TickerController::showOnStrip()
{
    m_strip.show();
    if (!m_topBar)
        return;
    stopTicker();
    m_topBar.reset();
    startTicker();
}

std::int64_t TickerController::advance(std::int64_t frames)
{
    const std::int64_t ahead = m_model.advance(
        frames, m_speed, m_strip.containerFrame().x(), FrameDriver::framesPerSecond);
    show();
    // 0: nothing can move until the next restart, and the driver stops waking up.
    return ahead;
}

void TickerController::show()
{
    if (!m_topBar) // the label shows pages as they turn, not per frame
        m_strip.showLabel(m_model.text(), m_model.x());
}

void TickerController::widthChanged(double value)
{
    m_preferences.setTickerWidth(value);
    const double width = Preferences::boundedWidth(value, m_strip.screenWidth());
    m_strip.setLength(width);
    QRectF container = m_strip.containerFrame();
    container.setWidth(width - 2 * StatusItem::containerInset);
    m_strip.setContainerFrame(container);
    // The moving title goes on from its x; the next one starts at the new edge.
    m_model.setContainerWidth(container.width());
    if (m_topBar)
        m_topBar->setWidth(m_labelCharacters(m_preferences.tickerWidth()));
}

void TickerController::speedChanged(double value)
{
    // Frames already due move at the old step; the next one at the new.
    if (m_frameDriver)
        m_frameDriver->catchUp();
    m_preferences.setTickerSpeed(value);
    m_speed = m_preferences.tickerSpeed(); // as bounded and stored
    if (m_frameDriver)
        m_frameDriver->replan();
}

bool TickerController::isFrameDriverRunning() const
{
    return m_frameDriver && m_frameDriver->isRunning();
}
