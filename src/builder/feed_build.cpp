#include "builder/feed_build.h"

#include "builder/feed_writer.h"
#include "builder/output_line.h"
#include "crossref/bounded_file.h"
#include "crossref/crossref_query.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

FeedBuild::FeedBuild(Options options, QTextStream &progress, QObject *parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_progress(progress),
      m_client(m_options.client, this)
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
        CrossrefRun::Options run {m_options.api,
            m_state.lastSuccess().isValid()
                ? std::max(earliest, m_state.lastSuccess().date().addDays(-m_options.overlapDays))
                : earliest,
            m_options.journalsPerRequest, m_options.rows, m_options.paging};
        const QList<Journal> journals = journalsOf(sources.sources);
        m_run = std::make_unique<CrossrefRun>(m_client, journals, run);
        m_run->onItems
            = [this](const QList<FeedItem> &items) { return m_state.merge(items, m_now); };
        m_run->onProgress = [this](const QString &line) { writeLine(m_progress, line); };
        m_run->onFinished = [this](const CrossrefRun::Outcome &outcome) { complete(outcome); };
        writeLine(m_progress,
            u"quillet-feed: %1 journals in %2 requests, new since %3"_qs.arg(journals.size())
                .arg(m_run->batchCount())
                .arg(run.from.toString(Qt::ISODate)));
        m_run->start();
    });
}

void FeedBuild::complete(const CrossrefRun::Outcome &outcome)
{
    if (outcome.stoppedEarly)
        writeLine(m_progress, u"quillet-feed: more than one request in ten failed; stopping"_qs);
    if (outcome.reachedNone())
        return finish(
            NothingFetched, u"no source answered; %1 left as it was"_qs.arg(m_options.outPath));
    // Only a run that reached every source moves the window on.
    if (outcome.reachedAll())
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
    const int success = outcome.reachedAll() ? Written : WrittenPartly;
    const QString summary = u"%1 new, %2 in the feed, %3 requests"_qs.arg(outcome.newItems)
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
            + (outcome.reachedAll()
                    ? QString()
                    : u"; the journals of %1 of %2 requests failed"_qs.arg(outcome.failedBatches)
                          .arg(outcome.batches)));
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
