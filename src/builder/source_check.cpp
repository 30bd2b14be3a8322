#include "builder/source_check.h"

#include "builder/crossref_page.h"
#include "builder/crossref_query.h"

#include <QTimer>

namespace {

// Every label, disabled ones too: a check is how one learns whether to enable them.
QList<Journal> allJournals(QList<Source> sources)
{
    for (Source &source : sources)
        source.enabled = true;
    return journalsOf(sources);
}

QString labelsOf(const Journal &journal)
{
    QStringList labels;
    for (const Source &source : journal.sources)
        labels.append(source.label);
    return labels.join(u", "_qs);
}

} // namespace

SourceCheck::SourceCheck(QList<Source> sources, QUrl api, CrossrefClient::Config client,
    QTextStream &out, QObject *parent)
    : QObject(parent),
      m_journals(allJournals(std::move(sources))),
      m_api(std::move(api)),
      m_out(out),
      m_mailto(client.mailto),
      m_client(std::move(client), this)
{ }

void SourceCheck::start()
{
    QTimer::singleShot(0, this, &SourceCheck::checkNext);
}

void SourceCheck::checkNext()
{
    if (m_next >= m_journals.size() || m_client.gaveUp()) {
        m_out << u"quillet-feed: checked %1 journals: %2 answered nothing, %3 could not be asked"_qs
                     .arg(m_next)
                     .arg(m_silent)
                     .arg(m_failed + (m_journals.size() - m_next))
              << Qt::endl;
        if (onFinished)
            onFinished(m_failed == m_next && m_next > 0 ? 3 : (m_silent + m_failed > 0 ? 1 : 0));
        return;
    }
    const Journal &journal = m_journals[m_next];
    if (journal.issns.isEmpty()) {
        finishJournal(journal);
        return checkNext();
    }
    // One ISSN at a time: asked together, a wrong one hides behind a right one.
    const QUrl url = CrossrefQuery::latest(m_api, {journal.issns[m_issn]}, m_mailto);
    m_client.get(url, [this, journal](const CrossrefClient::Answer &answer) {
        const CrossrefPageResult parsed = answer.ok
            ? parseWorksPage(answer.body)
            : CrossrefPageResult {std::nullopt, answer.error};
        if (!parsed.page) {
            m_error = parsed.error;
        } else if (parsed.page->items.isEmpty()) {
            m_silentIssns.append(journal.issns[m_issn]);
        }
        if (++m_issn >= journal.issns.size())
            finishJournal(journal);
        checkNext();
    });
}

void SourceCheck::finishJournal(const Journal &journal)
{
    if (!m_error.isEmpty()) {
        ++m_failed;
        m_out << labelsOf(journal) << u": could not ask: "_qs << m_error << Qt::endl;
    } else if (!m_silentIssns.isEmpty()) {
        ++m_silent;
        m_out << labelsOf(journal) << u": nothing for ISSN "_qs << m_silentIssns.join(u", "_qs)
              << Qt::endl;
    }
    ++m_next;
    m_issn = 0;
    m_silentIssns.clear();
    m_error.clear();
}
