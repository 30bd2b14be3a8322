#include "builder/feed_build.h"

#include "builder/crossref_page.h"
#include "builder/crossref_query.h"
#include "builder/feed_writer.h"
#include "builder/record_normaliser.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

FeedBuild::FeedBuild(Options options, QTextStream &progress, QObject *parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_progress(progress),
      m_client(m_options.client, this)
{ }

FeedBuild::~FeedBuild() = default;

void FeedBuild::start()
{
    // Everything reports from the event loop, never from within start().
    QTimer::singleShot(0, this, [this] {
        const SourcesResult sources = readSources(m_options.sourcesPath);
        if (!sources.error.isEmpty())
            return finish(UsageError, sources.error);
        QString error;
        if (!m_options.dryRun && !FeedWriter::canWrite(m_options.outPath, &error))
            return finish(WriteFailed, error);
        // The state is ours: its folder is made if missing, the output's is not.
        const QString stateFolder = QFileInfo(m_options.statePath).absolutePath();
        if (!QDir().mkpath(stateFolder))
            return finish(WriteFailed, u"cannot make the state's folder %1"_qs.arg(stateFolder));
        m_lock = std::make_unique<QLockFile>(m_options.statePath + u".lock"_qs);
        // A run may take minutes: only a dead holder makes the lock stale.
        m_lock->setStaleLockTime(0);
        if (!m_lock->tryLock(0)) {
            if (m_lock->error() == QLockFile::LockFailedError)
                return finish(NothingFetched,
                    u"another run holds %1; nothing done"_qs.arg(m_lock->fileName()));
            return finish(WriteFailed, u"cannot lock %1"_qs.arg(m_lock->fileName()));
        }
        if (!m_state.load(m_options.statePath, &error))
            return finish(UsageError, error);

        m_now = QDateTime::currentDateTimeUtc();
        const QDate earliest = m_now.date().addDays(-m_options.limits.days);
        m_from = m_state.lastSuccess().isValid()
            ? std::max(earliest, m_state.lastSuccess().date().addDays(-m_options.overlapDays))
            : earliest;
        for (const QList<Journal> &journals :
            CrossrefQuery::batches(journalsOf(sources.sources), m_options.journalsPerRequest))
            m_batches.append(Batch {journals});
        m_progress << u"quillet-feed: %1 journals in %2 requests, new since %3"_qs
                          .arg(journalsOf(sources.sources).size())
                          .arg(m_batches.size())
                          .arg(m_from.toString(Qt::ISODate))
                   << Qt::endl;
        nextBatch(0);
    });
}

void FeedBuild::nextBatch(qsizetype batch)
{
    if (batch >= m_batches.size())
        return complete();
    m_newInBatch = 0;
    m_recordsInBatch = 0;
    fetchPage(batch, u"*"_qs);
}

void FeedBuild::fetchPage(qsizetype batch, const QString &cursor)
{
    QStringList issns;
    for (const Journal &journal : std::as_const(m_batches[batch].journals))
        issns += journal.issns;
    const QUrl url = CrossrefQuery::works(
        m_options.api, issns, m_from, m_options.rows, cursor, m_options.client.mailto);
    m_client.get(url, [this, batch, cursor](const CrossrefClient::Answer &answer) {
        handlePage(batch, cursor, answer);
    });
}

void FeedBuild::handlePage(
    qsizetype batch, const QString &cursor, const CrossrefClient::Answer &answer)
{
    Batch &current = m_batches[batch];
    const QString where
        = u"[%1/%2] %3"_qs.arg(batch + 1).arg(m_batches.size()).arg(labelsOf(current));
    CrossrefPageResult parsed;
    if (answer.ok)
        parsed = parseWorksPage(answer.body);
    if (!parsed.page) {
        current.failed = true;
        m_progress << where << u": failed: "_qs << (answer.ok ? parsed.error : answer.error)
                   << Qt::endl;
        if (m_client.gaveUp()) {
            m_progress << u"quillet-feed: more than one request in ten failed; stopping"_qs
                       << Qt::endl;
            for (qsizetype rest = batch; rest < m_batches.size(); ++rest)
                m_batches[rest].failed = true;
            return complete();
        }
        return nextBatch(batch + 1);
    }

    QList<FeedItem> items;
    for (const CrossrefRecord &record : std::as_const(parsed.page->items)) {
        // The record's journal is the one whose ISSNs it carries.
        for (const Journal &journal : std::as_const(current.journals)) {
            const bool ours = std::any_of(record.issns.cbegin(), record.issns.cend(),
                [&](const QString &issn) { return journal.issns.contains(issn); });
            if (!ours)
                continue;
            if (auto item = RecordNormaliser(journal).normalise(record))
                items.append(std::move(*item));
            break;
        }
    }
    m_recordsInBatch += int(parsed.page->items.size());
    m_newInBatch += m_state.merge(items, m_now);
    // A short page is the last; a full one may have more behind its cursor.
    const bool more = parsed.page->items.size() >= m_options.rows
        && !parsed.page->nextCursor.isEmpty() && parsed.page->nextCursor != cursor;
    if (more)
        return fetchPage(batch, parsed.page->nextCursor);
    m_newTotal += m_newInBatch;
    m_progress << where << u": %1 records, %2 new"_qs.arg(m_recordsInBatch).arg(m_newInBatch)
               << Qt::endl;
    nextBatch(batch + 1);
}

void FeedBuild::complete()
{
    const qsizetype failed = std::count_if(
        m_batches.cbegin(), m_batches.cend(), [](const Batch &b) { return b.failed; });
    if (failed == m_batches.size() && failed > 0)
        return finish(
            NothingFetched, u"no source answered; %1 left as it was"_qs.arg(m_options.outPath));
    // Only a run that reached every source moves the window on.
    if (failed == 0)
        m_state.setLastSuccess(m_now);
    const QList<Paper> papers = m_state.retain(m_now, m_options.limits);
    const int success = failed > 0 ? WrittenPartly : Written;
    const QString summary = u"%1 new, %2 in the feed, %3 requests"_qs.arg(m_newTotal)
                                .arg(papers.size())
                                .arg(m_client.requestsMade());
    if (m_options.dryRun) {
        QTextStream(stdout) << FeedWriter::document(papers);
        return finish(success, summary + u" (dry run: nothing written)"_qs);
    }
    const FeedWriter::Result written = FeedWriter::write(m_options.outPath, papers);
    if (written.outcome == FeedWriter::Outcome::Failed)
        return finish(WriteFailed, written.error);
    QString error;
    if (!m_state.save(m_options.statePath, &error))
        return finish(WriteFailed, error);
    finish(success,
        summary
            + (written.outcome == FeedWriter::Outcome::Unchanged ? u"; %1 unchanged"_qs
                                                                 : u"; wrote %1"_qs)
                  .arg(m_options.outPath)
            + (failed > 0 ? u"; the journals of %1 of %2 requests failed"_qs.arg(failed).arg(
                   m_batches.size())
                          : QString()));
}

void FeedBuild::finish(int code, const QString &message)
{
    if (!message.isEmpty())
        m_progress << u"quillet-feed: "_qs << message << Qt::endl;
    m_lock.reset();
    if (onFinished)
        onFinished(code);
}

QString FeedBuild::labelsOf(const Batch &batch) const
{
    QStringList labels;
    for (const Journal &journal : batch.journals) {
        for (const Source &source : journal.sources)
            labels.append(source.label);
    }
    return labels.join(u", "_qs);
}
