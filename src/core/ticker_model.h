#pragma once

#include "core/paper.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// What the strip shows and where, without a window: the feed's list and the
// filtered list on display, the paper at the current index, the label's text
// and x in the container's coordinates. The strip draws what this says; the
// controller drives it. Deterministic and free of I/O, so it is tested without
// a display.
class TickerModel
{
public:
    // Width of a text as the strip will draw it (after sizing it to fit).
    using MeasureText = std::function<double(const QString &)>;

    explicit TickerModel(MeasureText measure);

    // Replaces the feed's list; the display list follows on the next applyFilters.
    void setAllPapers(QList<Paper> papers) { m_allPapers = std::move(papers); }
    // Rebuilds the display list without the papers whose full journal name is
    // hidden, and resets the index (or puts the matching message up when nothing
    // is left). The caller restarts.
    void applyFilters(const QStringList &hiddenJournals);

    // Puts a message on the label at the right edge (cleaned for display).
    void putMessage(const QString &message);
    // Puts the current paper's title at the right edge; nothing when no paper is on display.
    void setupLabelForCurrentPaper();

    // One step left by `step`; once the text has fully left, the next title
    // enters from the right edge. Returns false once nothing can move until the
    // next restart (a message has left with no paper to follow).
    bool tick(double step);

    // `frames` calls of tick(step); then how many more calls leave the picture
    // as it is: the text, and x + origin rounded to the pixel it is drawn at.
    // At most `limit`; 0 once nothing can move until the next restart.
    std::int64_t advance(std::int64_t frames, double step, double origin, std::int64_t limit);

    // Pause while the menu is open; restart() then changes no position.
    void setPaused(bool paused) { m_paused = paused; }
    bool isPaused() const { return m_paused; }
    // The next paper on display, cyclically, put at the right edge; false when
    // there is none (a message stays).
    bool showNextPaper();
    // Restart for the current paper unless paused; true when a driver should run.
    bool restart();
    // True once a message has left the strip with no paper to follow.
    bool isIdle() const { return m_idle; }

    void setContainerWidth(double width) { m_containerWidth = width; }
    double containerWidth() const { return m_containerWidth; }

    const QString &text() const { return m_text; }
    double x() const { return m_x; }
    double textWidth() const { return m_textWidth; }
    // Puts the label just beyond the right edge without starting anything.
    void placeAtRightEdge() { m_x = m_containerWidth; }

    const QList<Paper> &allPapers() const { return m_allPapers; }
    const QList<Paper> &displayPapers() const { return m_displayPapers; }
    std::int64_t currentIndex() const { return m_currentIndex; }
    void setCurrentIndex(std::int64_t index) { m_currentIndex = index; }
    // The paper at the current index, or null when the index is out of range.
    const Paper *currentPaper() const;

private:
    void setText(const QString &text);

    MeasureText m_measure;
    QList<Paper> m_allPapers;
    QList<Paper> m_displayPapers;
    std::int64_t m_currentIndex = 0;
    QString m_text;
    double m_textWidth = 0;
    double m_x = 0;
    double m_containerWidth = 0;
    bool m_paused = false;
    bool m_idle = false;
};
