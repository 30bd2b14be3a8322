#include "ui/ticker_controller.h"

#include "core/display_text.h"
#include "core/journal_constants.h"
#include "core/login_item.h"
#include "core/paper_service.h"
#include "core/preferences.h"
#include "ui/frame_driver.h"
#include "ui/journal_filter_window.h"
#include "ui/status_item.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QPointer>
#include <QSet>

TickerController::Environment TickerController::Environment::standard()
{
    return Environment {
        Preferences::standard(),
        &PaperService::shared,
        &JournalFilterWindow::shared,
        &LoginItem::shared,
        [](const QUrl &url) { QDesktopServices::openUrl(url); },
        [] { QCoreApplication::quit(); },
    };
}

TickerController::TickerController(Environment environment)
    : m_env(std::move(environment)), m_preferences(m_env.preferences)
{ }

TickerController::~TickerController() = default;

void TickerController::setup()
{
    if (!StatusItem::platformHasButton())
        return; // nowhere to show anything: no views, no menu, no callbacks

    m_statusItem = std::make_unique<StatusItem>(m_preferences.tickerWidth());
    m_statusItem->setContainerFrame(QRectF(containerInset, 0,
        m_preferences.tickerWidth() - 2 * containerInset, StatusItem::stripHeight));

    ScrollingLabel &scrollingLabel = label();
    scrollingLabel.setText(QStringLiteral("Loading..."));
    scrollingLabel.sizeToFit();
    // Just beyond the right edge: nothing shows until the ticker first starts.
    scrollingLabel.setFrame(
        QRectF(QPointF(containerWidth(), labelY), scrollingLabel.frame().size()));
    m_statusItem->labelChanged();

    auto menu = std::make_unique<QMenu>();
    connect(menu.get(), &QMenu::aboutToShow, this, [this, menu = menu.get()] {
        menuWillOpen();
        menuNeedsUpdate(menu);
    });
    connect(menu.get(), &QMenu::aboutToHide, this, &TickerController::menuDidClose);
    m_statusItem->setMenu(std::move(menu));

    PaperService &service = m_env.service();
    service.onUpdate = [self = QPointer(this)](const QList<Paper> &papers) {
        if (self)
            self->m_allPapers = papers;
        if (self)
            self->applyFiltersAndRestart();
    };
    service.onError = [self = QPointer(this)](const QString &message) {
        if (self)
            self->showErrorMessage(message);
    };
}

void TickerController::applyFiltersAndRestart()
{
    stopTicker();
    QSet<QString> hidden;
    for (const QString &name : m_preferences.hiddenJournals())
        hidden.insert(JournalConstants::canonical(name));

    m_displayPapers.clear();
    for (const Paper &paper : std::as_const(m_allPapers)) {
        if (!hidden.contains(
                JournalConstants::canonical(JournalConstants::fullName(paper.journal()))))
            m_displayPapers.append(paper);
    }
    if (!m_displayPapers.isEmpty())
        m_currentIndex = 0;
    else
        putMessageOnLabel(m_allPapers.isEmpty() ? QStringLiteral("No papers today")
                                                : QStringLiteral("No papers match filter"));
    startTicker();
}

void TickerController::showErrorMessage(const QString &message)
{
    stopTicker();
    putMessageOnLabel(message);
    startTicker();
}

void TickerController::putMessageOnLabel(const QString &message)
{
    ScrollingLabel &scrollingLabel = label();
    scrollingLabel.setText(DisplayText::clean(message));
    scrollingLabel.sizeToFit();
    scrollingLabel.setX(containerWidth());
    m_statusItem->labelChanged();
}

void TickerController::stopTicker()
{
    m_frameDriver.reset();
}

void TickerController::startTicker()
{
    stopTicker();
    if (m_isTickerPaused)
        return;
    setupLabelForCurrentPaper();
    m_frameDriver = std::make_unique<FrameDriver>([this] { tick(); });
}

void TickerController::setupLabelForCurrentPaper()
{
    if (m_currentIndex < 0 || m_currentIndex >= m_displayPapers.size())
        return;
    ScrollingLabel &scrollingLabel = label();
    scrollingLabel.setText(DisplayText::clean(m_displayPapers[qsizetype(m_currentIndex)].title()));
    scrollingLabel.sizeToFit();
    scrollingLabel.setX(containerWidth());
    m_statusItem->labelChanged();
}

void TickerController::tick()
{
    ScrollingLabel &scrollingLabel = label();
    scrollingLabel.setX(scrollingLabel.x() - m_preferences.tickerSpeed());
    if (scrollingLabel.x() + scrollingLabel.frame().width() < 0) {
        if (!m_displayPapers.isEmpty())
            m_currentIndex = (m_currentIndex + 1) % m_displayPapers.size();
        setupLabelForCurrentPaper();
        // A message that has left with no paper to follow: nothing can move
        // until the next restart, so stop waking up.
        if (m_displayPapers.isEmpty() && m_frameDriver)
            m_frameDriver->halt();
    }
    m_statusItem->labelChanged();
}

void TickerController::menuWillOpen()
{
    m_isTickerPaused = true;
    stopTicker();
}

void TickerController::menuDidClose()
{
    m_isTickerPaused = false;
    startTicker();
}

void TickerController::widthChanged(double value)
{
    m_preferences.setTickerWidth(value);
    m_statusItem->setLength(value);
    QRectF container = m_statusItem->containerFrame();
    container.setWidth(value - 2 * containerInset);
    m_statusItem->setContainerFrame(container);
}

void TickerController::speedChanged(double value)
{
    m_preferences.setTickerSpeed(value);
}

bool TickerController::isFrameDriverRunning() const
{
    return m_frameDriver && m_frameDriver->isRunning();
}

ScrollingLabel &TickerController::label() const
{
    return m_statusItem->label();
}

double TickerController::containerWidth() const
{
    return m_statusItem->containerFrame().width();
}
