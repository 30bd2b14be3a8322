#include "builder/feed_build.h"

#include "builder/bounded_file.h"
#include "builder/crossref_page.h"
#include "builder/crossref_query.h"
#include "builder/feed_writer.h"
#include "builder/output_line.h"
#include "builder/record_normaliser.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

FeedBuild::FeedBuild(Options options, QTextStream &progress, QObject *parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_progress(progress),
      m_client(m_options.client, this),
      m_paging(m_options.paging)
{
    m_client.onWait = [this](const QString &line) { writeLine(m_progress, line); };
}

FeedBuild::~FeedBuild() = default;

void FeedBuild::start()
{
    // Everything reports from the event loop, never from within start().
    QTimer::singleShot(0, this, [this] {
        if (const QString refused = refusedPaths(); !refused.isEmpty())
            return finish(UsageError, refused);
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
        m_now = QDateTime::currentDateTimeUtc();
        if (!m_state.load(m_options.statePath, m_now, &error))
            return finish(UsageError, error);

        const QDate earliest = m_now.date().addDays(-m_options.limits.days);
        m_from = m_state.lastSuccess().isValid()
            ? std::max(earliest, m_state.lastSuccess().date().addDays(-m_options.overlapDays))
            : earliest;
        for (const QList<Journal> &journals :
            CrossrefQuery::batches(journalsOf(sources.sources), m_options.journalsPerRequest))
            m_batches.append(Batch {journals});
        writeLine(m_progress,
            u"quillet-feed: %1 journals in %2 requests, new since %3"_qs
                .arg(journalsOf(sources.sources).size())
                .arg(m_batches.size())
                .arg(m_from.toString(Qt::ISODate)));
        nextBatch(0);
    });
}

void FeedBuild::nextBatch(qsizetype batch)
{
    if (batch >= m_batches.size())
        return complete();
    m_newInBatch = 0;
    m_recordsInBatch = 0;
    m_paging.restart(u"*"_qs);
    fetchPage(batch, u"*"_qs);
}

void FeedBuild::fetchPage(qsizetype batch, const QString &cursor)
{
    QStringList issns;
    for (const Journal &journal : std::as_const(m_batches[batch].journals))
        issns += journal.issns;
    const QUrl url = CrossrefQuery::works(
        m_options.api, issns, m_from, m_options.rows, cursor, m_options.client.mailto);
    m_client.get(
        url, [this, batch](const CrossrefClient::Answer &answer) { handlePage(batch, answer); });
}

void FeedBuild::handlePage(qsizetype batch, const CrossrefClient::Answer &answer)
{
    Batch &current = m_batches[batch];
    const QString where
        = u"[%1/%2] %3"_qs.arg(batch + 1).arg(m_batches.size()).arg(labelsOf(current));
    CrossrefPageResult parsed;
    if (answer.ok)
        parsed = parseWorksPage(answer.body);
    if (!parsed.page) {
        current.failed = true;
        writeLine(m_progress, where + u": failed: "_qs + (answer.ok ? parsed.error : answer.error));
        if (m_client.gaveUp()) {
            writeLine(
                m_progress, u"quillet-feed: more than one request in ten failed; stopping"_qs);
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
                items.append(FeedItem {item->key, FeedWriter::shown(item->paper)});
            break;
        }
    }
    m_recordsInBatch += int(parsed.page->items.size());
    m_newInBatch += m_state.merge(items, m_now);
    // A short page is the last; a full one may have more behind its cursor.
    const bool more
        = parsed.page->items.size() >= m_options.rows && !parsed.page->nextCursor.isEmpty();
    const QString refusal = more ? m_paging.refusal(*parsed.page) : QString();
    if (more && refusal.isEmpty())
        return fetchPage(batch, parsed.page->nextCursor);
    m_newTotal += m_newInBatch;
    QString summary = u"%1 records, %2 new"_qs.arg(m_recordsInBatch).arg(m_newInBatch);
    if (!refusal.isEmpty()) {
        // What came is kept, but the window does not move on past a batch cut short.
        current.failed = true;
        summary = u"failed: stopped after %1 pages: %2 (%3)"_qs.arg(m_paging.pages())
                      .arg(refusal, summary);
    }
    writeLine(m_progress, where + u": "_qs + summary);
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
    const FeedWriter::Document document = FeedWriter::document(papers, m_options.maxDocumentBytes);
    if (!document.error.isEmpty())
        return finish(WriteFailed, document.error);
    if (document.papers < papers.size())
        writeLine(m_progress,
            u"quillet-feed: the %1 oldest papers left out: the document would be larger than %2 KiB"_qs
                .arg(papers.size() - document.papers)
                .arg(m_options.maxDocumentBytes / 1024));
    const int success = failed > 0 ? WrittenPartly : Written;
    const QString summary = u"%1 new, %2 in the feed, %3 requests"_qs.arg(m_newTotal)
                                .arg(document.papers)
                                .arg(m_client.requestsMade());
    if (m_options.dryRun) {
        QTextStream(stdout) << document.bytes;
        return finish(success, summary + u" (dry run: nothing written)"_qs);
    }
    const FeedWriter::Result written = FeedWriter::write(
        m_options.outPath, document.bytes, m_options.statePath, m_state.serialised());
    if (written.outcome == FeedWriter::Outcome::Failed)
        return finish(WriteFailed, written.error);
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
        writeLine(m_progress, u"quillet-feed: "_qs + message);
    m_lock.reset();
    if (onFinished)
        onFinished(code);
}

// A run must never write over its own inputs, nor read a device as a file.
QString FeedBuild::refusedPaths() const
{
    const auto canonical = [](const QString &path) {
        const QFileInfo info(path);
        // A file not yet made: its folder's real place, and its name.
        if (info.exists())
            return info.canonicalFilePath();
        const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
    };
    const QString out = canonical(m_options.outPath);
    for (const QString &input : {m_options.sourcesPath, m_options.statePath}) {
        if (canonical(input) == out)
            return u"the output %1 is the same file as %2"_qs.arg(m_options.outPath, input);
    }
    return BoundedFile::notRegular(m_options.statePath);
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
