#pragma once

#include "crossref/crossref_client.h"
#include "crossref/crossref_query.h"
#include "crossref/crossref_run.h"
#include "crossref/paging_bound.h"
#include "crossref/sources.h"
#include "crossref/state_store.h"

#include <QDateTime>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QTextStream>
#include <QUrl>

#include <functional>
#include <memory>

// One run of the builder: reads the sources, asks Crossref for what is new since
// the last successful run, keeps it in the state and writes the feed document.
class FeedBuild : public QObject
{
    Q_OBJECT

public:
    // The program's exit codes.
    enum Exit {
        Written = 0, // or left untouched because nothing changed
        WrittenPartly = 1, // some sources failed; the rest is in
        UsageError = 2, // bad arguments, sources or state file
        NothingFetched = 3, // no source answered, or another run is on; output left alone
        WriteFailed = 4,
    };

    struct Options
    {
        QString sourcesPath;
        QString statePath;
        QString outPath;
        QUrl api {QStringLiteral("https://api.crossref.org/")};
        StateStore::Limits limits;
        PagingBound::Limits paging;
        qint64 maxDocumentBytes = ::maxDocumentBytes;
        CrossrefClient::Config client;
        bool dryRun = false; // print the document; write neither it nor the state
        int journalsPerRequest = CrossrefQuery::journalsPerRequest;
        int rows = CrossrefQuery::rowsPerPage;
        // The window reaches this far before the last successful run.
        int overlapDays = 2;
    };

    FeedBuild(Options options, QTextStream &progress, QObject *parent = nullptr);
    ~FeedBuild() override;

    // Runs; `onFinished` gets the exit code, later, from the event loop.
    void start();
    std::function<void(int exitCode)> onFinished;

    const CrossrefClient &client() const { return m_client; }

private:
    void complete(const CrossrefRun::Outcome &outcome);
    void finish(int code, const QString &message = {});
    QString refusedPaths() const;

    Options m_options;
    QTextStream &m_progress;
    CrossrefClient m_client;
    std::unique_ptr<QLockFile> m_lock;
    StateStore m_state;
    QDateTime m_now;
    std::unique_ptr<CrossrefRun> m_run;
};
