#pragma once

#include "crossref/crossref_page.h"

#include <QSet>
#include <QString>

// Bounds one request's walk along its cursor. A cursor that comes back, a page
// that brings nothing new, or more pages or records than any honest answer
// holds ends the walk: a broken or hostile server cannot keep a run asking, or
// its memory growing, for ever.
class PagingBound
{
public:
    struct Limits
    {
        // Ten journals over a year are a few thousand records.
        int pages = 50;
        int records = 20000;
    };

    explicit PagingBound(Limits limits) : m_limits(limits) { }

    // Starts a walk at its first cursor.
    void restart(const QString &cursor);
    // After each page: why the cursor it names must not be followed, or empty.
    QString refusal(const CrossrefPage &page);

    int pages() const { return m_pages; }
    int records() const { return m_records; }

private:
    Limits m_limits;
    QSet<QString> m_cursors;
    QSet<QString> m_dois;
    int m_pages = 0;
    int m_records = 0;
};
