#include "crossref/paging_bound.h"

void PagingBound::restart(const QString &cursor)
{
    m_cursors = {cursor};
    m_dois.clear();
    m_pages = 0;
    m_records = 0;
}

QString PagingBound::refusal(const CrossrefPage &page)
{
    ++m_pages;
    m_records += int(page.items.size());
    const qsizetype known = m_dois.size();
    for (const CrossrefRecord &record : page.items)
        m_dois.insert(record.doi.toLower());
    if (m_dois.size() == known)
        return u"a page brought no work not seen before"_qs;
    if (m_cursors.contains(page.nextCursor))
        return u"the cursor came back"_qs;
    m_cursors.insert(page.nextCursor);
    if (m_pages >= m_limits.pages)
        return u"more than %1 pages"_qs.arg(m_limits.pages);
    if (m_records >= m_limits.records)
        return u"more than %1 records"_qs.arg(m_limits.records);
    return {};
}
