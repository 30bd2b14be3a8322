#include "builder/source_check.h"

#include "builder/output_line.h"
#include "crossref/crossref_page.h"
#include "crossref/crossref_query.h"
#include "crossref/markup_text.h"

#include <QRegularExpression>
#include <QSet>

#include <QTimer>

namespace {

// Every label, disabled ones too: a check is how one learns whether to enable them.
QList<Journal> allJournals(QList<Source> sources)
{
    for (Source &source : sources)
        source.enabled = true;
    return journalsOf(sources);
}

// Whether the journals named in answers differ beyond case, markup and a leading "The".
bool namesAnotherJournal(const QList<std::pair<QString, QString>> &answers)
{
    static const QRegularExpression article(u"^the\\s+"_qs);
    QSet<QString> names;
    for (const auto &[issn, title] : answers)
        names.insert(plainText(title).toLower().remove(article));
    return names.size() > 1;
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
            u"quillet-feed: checked %1 journals: %2 with an ISSN that answered nothing or for "
            u"another journal, %3 could not be asked"_qs.arg(m_next)
                .arg(m_silent)
                .arg(m_failed + (m_journals.size() - m_next)));
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
        } else {
            m_answers.append({journal.issns[m_issn], parsed.page->items.front().containerTitle});
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
        writeLine(m_out, labelsOf(journal) + u": could not ask: "_qs + m_error);
    } else if (!m_silentIssns.isEmpty()) {
        ++m_silent;
        writeLine(
            m_out, labelsOf(journal) + u": nothing for ISSN "_qs + m_silentIssns.join(u", "_qs));
    } else if (namesAnotherJournal(m_answers)) {
        // An ISSN that belongs to another journal would bring its papers in under this label.
        ++m_silent;
        QStringList answers;
        for (const auto &[issn, title] : std::as_const(m_answers))
            answers.append(issn + u" \""_qs + plainText(title) + u'"');
        writeLine(m_out,
            labelsOf(journal) + u": ISSNs answer for different journals: "_qs
                + answers.join(u", "_qs));
    }
    ++m_next;
    m_issn = 0;
    m_silentIssns.clear();
    m_answers.clear();
    m_error.clear();
}
