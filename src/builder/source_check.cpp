#include "builder/source_check.h"

#include "builder/crossref_page.h"
#include "builder/crossref_query.h"
#include "builder/output_line.h"

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
{
    m_client.onWait = [this](const QString &line) { writeLine(m_out, line); };
}

void SourceCheck::start()
{
    QTimer::singleShot(0, this, &SourceCheck::checkNext);
}

void SourceCheck::checkNext()
{
    if (m_next >= m_journals.size() || m_client.gaveUp()) {
        writeLine(m_out,
            u"quillet-feed: checked %1 journals: %2 answered nothing, %3 could not be asked"_qs
                .arg(m_next)
                .arg(m_silent)
                .arg(m_failed + (m_journals.size() - m_next)));
        if (onFinished)
            onFinished(m_failed == m_next && m_next > 0 ? 3 : (m_silent + m_failed > 0 ? 1 : 0));
        return;
    }
    const Journal &journal = m_journals[m_next];
    const QUrl url = CrossrefQuery::latest(m_api, journal.issns, m_mailto);
    m_client.get(url, [this, journal](const CrossrefClient::Answer &answer) {
        ++m_next;
        const CrossrefPageResult parsed = answer.ok
            ? parseWorksPage(answer.body)
            : CrossrefPageResult {std::nullopt, answer.error};
        if (!parsed.page) {
            ++m_failed;
            writeLine(m_out, labelsOf(journal) + u": could not ask: "_qs + parsed.error);
        } else if (parsed.page->items.isEmpty()) {
            ++m_silent;
            writeLine(m_out,
                labelsOf(journal) + u": nothing for ISSN "_qs + journal.issns.join(u", "_qs));
        }
        checkNext();
    });
}
