#include "core/ticker_model.h"

#include "core/display_text.h"
#include "core/journal_constants.h"

#include <QSet>

#include <cmath>

TickerModel::TickerModel(MeasureText measure) : m_measure(std::move(measure)) { }

void TickerModel::applyFilters(const QStringList &hiddenJournals)
{
    QSet<QString> hidden;
    for (const QString &name : hiddenJournals)
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
        putMessage(m_allPapers.isEmpty() ? QStringLiteral("No papers today")
                                         : QStringLiteral("No papers match filter"));
}

void TickerModel::putMessage(const QString &message)
{
    setText(DisplayText::clean(message));
    m_x = m_containerWidth;
}

const Paper *TickerModel::currentPaper() const
{
    if (m_currentIndex < 0 || m_currentIndex >= m_displayPapers.size())
        return nullptr;
    return &m_displayPapers[qsizetype(m_currentIndex)];
}

void TickerModel::setupLabelForCurrentPaper()
{
    if (const Paper *paper = currentPaper()) {
        setText(DisplayText::clean(paper->title()));
        m_x = m_containerWidth;
    }
}

bool TickerModel::restart()
{
    if (m_paused)
        return false;
    m_idle = false;
    setupLabelForCurrentPaper();
    return true;
}

bool TickerModel::showNextPaper()
{
    if (m_displayPapers.isEmpty())
        return false;
    m_currentIndex = (m_currentIndex + 1) % m_displayPapers.size();
    setupLabelForCurrentPaper();
    return true;
}

bool TickerModel::tick(double step)
{
    m_x -= step;
    // Strictly past the left edge: a right edge at exactly 0 is not yet finished.
    // A message that has left with no paper to follow: nothing can move until
    // the next restart.
    if (m_x + m_textWidth < 0 && !showNextPaper()) {
        setupLabelForCurrentPaper();
        m_idle = true;
    }
    return !m_idle;
}

std::int64_t TickerModel::advance(
    std::int64_t frames, double step, double origin, std::int64_t limit)
{
    for (std::int64_t i = 0; i < frames && !m_idle; ++i)
        tick(step);
    if (m_idle)
        return 0;
    // The same arithmetic as tick(), so the pixel found is the one it reaches.
    const long drawn = std::lround(origin + m_x);
    double x = m_x;
    for (std::int64_t ahead = 1; ahead < limit; ++ahead) {
        x -= step;
        if (x + m_textWidth < 0 || std::lround(origin + x) != drawn)
            return ahead;
    }
    return limit;
}

void TickerModel::setText(const QString &text)
{
    if (text == m_text && !m_text.isNull())
        return;
    m_text = text;
    m_textWidth = m_measure ? m_measure(text) : 0;
}
