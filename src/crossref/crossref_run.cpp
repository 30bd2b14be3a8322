#include "crossref/crossref_run.h"

#include "core/display_text.h"

#include <QTimer>

#include <algorithm>

CrossrefRun::CrossrefRun(
    CrossrefClient &client, QList<Journal> journals, Options options, QObject *parent)
    : QObject(parent), m_client(client), m_options(std::move(options)), m_paging(m_options.paging)
{
    for (QList<Journal> &batch : CrossrefQuery::batches(journals, m_options.journalsPerRequest))
        m_batches.append(Batch {std::move(batch)});
    m_outcome.batches = int(m_batches.size());
}

void CrossrefRun::start()
{
    QTimer::singleShot(0, this, [this] { nextBatch(0); });
}

void CrossrefRun::nextBatch(qsizetype batch)
{
    if (batch >= m_batches.size())
        return complete();
    m_newInBatch = 0;
    m_recordsInBatch = 0;
    m_paging.restart(u"*"_qs);
    fetchPage(batch, u"*"_qs);
}

void CrossrefRun::fetchPage(qsizetype batch, const QString &cursor)
{
    QStringList issns;
    for (const Journal &journal : std::as_const(m_batches[batch].journals))
        issns += journal.issns;
    const QUrl url = CrossrefQuery::works(
        m_options.api, issns, m_options.from, m_options.rows, cursor, m_client.config().mailto);
    m_client.get(
        url, [this, batch](const CrossrefClient::Answer &answer) { handlePage(batch, answer); });
}

void CrossrefRun::handlePage(qsizetype batch, const CrossrefClient::Answer &answer)
{
    Batch &current = m_batches[batch];
    CrossrefPageResult parsed;
    if (answer.ok)
        parsed = parseWorksPage(answer.body);
    if (!parsed.page) {
        current.failed = true;
        m_outcome.lastError = answer.ok ? parsed.error : answer.error;
        endBatch(batch, u"failed: "_qs + m_outcome.lastError);
        if (!m_client.gaveUp())
            return nextBatch(batch + 1);
        m_outcome.stoppedEarly = true;
        for (qsizetype rest = batch; rest < m_batches.size(); ++rest)
            m_batches[rest].failed = true;
        return complete();
    }

    const QList<FeedItem> items = itemsOf(*parsed.page, current.journals);
    m_recordsInBatch += int(parsed.page->items.size());
    m_newInBatch += onItems ? onItems(items) : 0;
    // A short page is the last; a full one may have more behind its cursor.
    const bool more
        = parsed.page->items.size() >= m_options.rows && !parsed.page->nextCursor.isEmpty();
    const QString refusal = more ? m_paging.refusal(*parsed.page) : QString();
    if (more && refusal.isEmpty())
        return fetchPage(batch, parsed.page->nextCursor);
    m_outcome.newItems += m_newInBatch;
    QString summary = u"%1 records, %2 new"_qs.arg(m_recordsInBatch).arg(m_newInBatch);
    if (!refusal.isEmpty()) {
        // What came is kept, but the window does not move on past a batch cut short.
        current.failed = true;
        summary = u"failed: stopped after %1 pages: %2 (%3)"_qs.arg(m_paging.pages())
                      .arg(refusal, summary);
    }
    endBatch(batch, summary);
    nextBatch(batch + 1);
}

void CrossrefRun::endBatch(qsizetype batch, const QString &line)
{
    if (onProgress)
        onProgress(u"[%1/%2] %3: %4"_qs.arg(batch + 1)
                       .arg(m_batches.size())
                       .arg(labelsOf(m_batches[batch]), line));
    if (onBatchDone)
        onBatchDone(batch);
}

void CrossrefRun::complete()
{
    for (const Batch &batch : std::as_const(m_batches)) {
        if (!batch.failed)
            continue;
        ++m_outcome.failedBatches;
        m_outcome.failedJournals += int(batch.journals.size());
    }
    if (onFinished)
        onFinished(m_outcome);
}

QList<FeedItem> CrossrefRun::itemsOf(const CrossrefPage &page, const QList<Journal> &journals)
{
    QList<FeedItem> items;
    for (const CrossrefRecord &record : page.items) {
        for (const Journal &journal : journals) {
            const bool ours = std::any_of(record.issns.cbegin(), record.issns.cend(),
                [&](const QString &issn) { return journal.issns.contains(issn); });
            if (!ours)
                continue;
            if (auto item = RecordNormaliser(journal).normalise(record))
                items.append(FeedItem {item->key, shown(item->paper)});
            break;
        }
    }
    return items;
}

Paper CrossrefRun::shown(const Paper &paper)
{
    return Paper(DisplayText::clean(paper.title()), paper.link(), paper.journal(), paper.tier(),
        DisplayText::clean(paper.author()), paper.date());
}

QString CrossrefRun::labelsOf(const Batch &batch) const
{
    QStringList labels;
    for (const Journal &journal : batch.journals) {
        for (const Source &source : journal.sources)
            labels.append(source.label);
    }
    return labels.join(u", "_qs);
}
