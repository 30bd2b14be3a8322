#include "ui/top_bar_ticker.h"

#include "core/label_pages.h"
#include "core/ticker_model.h"

#include <QFontMetricsF>
#include <QGuiApplication>

#include <algorithm>

TopBarTicker::TopBarTicker(TickerModel &model, Show show, std::function<double()> speed)
    : m_model(model), m_show(std::move(show)), m_speed(std::move(speed))
{
    m_timer.setSingleShot(true);
    // Seconds apart: a coarse timer lets the system batch the wake-up.
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TopBarTicker::turnPage);
}

int TopBarTicker::charactersIn(double width)
{
    const double average = QFontMetricsF(QGuiApplication::font()).averageCharWidth();
    return int(width / std::max(average, 1.0));
}

void TopBarTicker::setWidth(int characters)
{
    if (characters == m_width)
        return;
    m_width = characters;
    const bool running = isRunning();
    start();
    if (!running) // paused while a menu is open: shown, but not moving on
        m_timer.stop();
}

void TopBarTicker::start()
{
    m_pages = LabelPages::split(m_model.text(), m_width);
    m_page = 0;
    showPage();
}

void TopBarTicker::stop()
{
    m_timer.stop();
}

void TopBarTicker::showPage()
{
    m_show(m_pages.value(m_page), LabelPages::guide(m_width));
    // A lone message stays up; anything else moves on.
    if (m_pages.size() > 1 || !m_model.displayPapers().isEmpty())
        m_timer.start(LabelPages::dwell(m_speed()));
}

void TopBarTicker::turnPage()
{
    if (++m_page < m_pages.size()) {
        showPage();
        return;
    }
    if (m_model.displayPapers().isEmpty()) {
        m_page = 0; // a long message in pages: round again
        showPage();
        return;
    }
    m_model.showNextPaper();
    start();
}
