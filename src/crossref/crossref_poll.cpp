#include "crossref/crossref_poll.h"

#include "core/diagnostics.h"
#include "crossref/staged_file.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

CrossrefPoll::CrossrefPoll(Config config, QObject *parent)
    : QObject(parent), m_config(std::move(config))
{
    m_config.client.product = u"Quillet"_qs;
}

CrossrefPoll::~CrossrefPoll() = default;

QString CrossrefPoll::defaultStatePath()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // The base directory rules ignore a relative path.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + u"/.local/state"_qs;
    return base + u"/Quillet/papers.json"_qs;
}

void CrossrefPoll::poll()
{
    if (m_busy)
        return; // the poll under way answers for this one too
    m_busy = true;
    QTimer::singleShot(0, this, &CrossrefPoll::begin);
}

bool CrossrefPoll::prepare()
{
    const SourcesResult sources = readSources(m_config.sourcesPath);
    if (!sources.error.isEmpty()) {
        Diagnostics::log(u"Fetch error: "_qs + sources.error);
        return false;
    }
    m_journals = journalsOf(sources.sources);
    std::stable_sort(m_journals.begin(), m_journals.end(), [](const Journal &a, const Journal &b) {
        return a.sources.first().tier < b.sources.first().tier;
    });
    QString error;
    if (!m_config.statePath.isEmpty() && !m_state.load(m_config.statePath, m_now, &error)) {
        Diagnostics::log(u"Kept papers unreadable, starting afresh: "_qs + error);
        m_state = StateStore();
    }
    m_prepared = true;
    // A returning user's strip is never empty while the first poll runs.
    if (const QList<Paper> kept = m_state.retain(m_now, m_config.limits); !kept.isEmpty()) {
        m_onDisplay = true;
        if (onPapers)
            onPapers(kept);
    }
    return true;
}

void CrossrefPoll::begin()
{
    m_now = QDateTime::currentDateTimeUtc();
    if (!m_prepared && !prepare()) {
        m_busy = false;
        if (onFailure)
            onFailure(u"Failed to load papers"_qs);
        return;
    }
    const QDate earliest = m_now.date().addDays(-m_config.firstDays);
    const QDateTime last = m_state.lastSuccess();
    CrossrefRun::Options options;
    options.api = m_config.api;
    options.from = last.isValid() ? std::max(earliest, last.date().addDays(-m_config.overlapDays))
                                  : earliest;
    options.journalsPerRequest = m_config.journalsPerRequest;
    // A client per poll: its count of failures, and its connections, end with the poll.
    m_client = std::make_unique<CrossrefClient>(m_config.client);
    m_run = std::make_unique<CrossrefRun>(*m_client, m_journals, options);
    m_run->onItems = [this](const QList<FeedItem> &items) { return m_state.merge(items, m_now); };
    m_run->onBatchDone = [this](qsizetype) {
        if (!m_onDisplay)
            handOverEarly();
    };
    m_run->onFinished = [this](const CrossrefRun::Outcome &outcome) { complete(outcome); };
    m_run->start();
}

// A new machine shows the first answers at once instead of after every journal.
void CrossrefPoll::handOverEarly()
{
    const QList<Paper> papers = m_state.retain(m_now, m_config.limits);
    if (papers.isEmpty())
        return;
    m_onDisplay = true;
    if (onPapers)
        onPapers(papers);
}

void CrossrefPoll::complete(const CrossrefRun::Outcome &outcome)
{
    // The run and its client are still on the stack that called this.
    m_run.release()->deleteLater();
    m_client.release()->deleteLater();
    m_busy = false;
    if (outcome.reachedNone()) {
        Diagnostics::log(u"Fetch error: "_qs + outcome.lastError);
        if (onFailure)
            onFailure(u"Failed to load papers"_qs);
        return;
    }
    // Only a poll that reached every journal moves the window on.
    if (outcome.reachedAll())
        m_state.setLastSuccess(m_now);
    else
        Diagnostics::log(u"%1 of %2 journals did not answer: %3"_qs.arg(outcome.failedJournals)
                             .arg(m_journals.size())
                             .arg(outcome.lastError));
    const QList<Paper> papers = m_state.retain(m_now, m_config.limits);
    save();
#if defined(__GLIBC__)
    // A poll leaves the heap full of holes (pages, records, the state's bytes);
    // giving them back before the list is handed over keeps the peak down.
    malloc_trim(0);
#endif
    m_onDisplay = m_onDisplay || !papers.isEmpty();
    if (onPapers)
        onPapers(papers);
}

void CrossrefPoll::save()
{
    const QString &path = m_config.statePath;
    if (path.isEmpty())
        return;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        Diagnostics::log(u"Cannot keep papers: no folder for "_qs + path);
        return;
    }
    StagedFile file(path);
    if (!file.stage(m_state.serialised()) || !file.commit())
        Diagnostics::log(u"Cannot keep papers in %1: %2"_qs.arg(path, file.error()));
}
