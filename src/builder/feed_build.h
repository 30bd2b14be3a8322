#pragma once

#include "builder/crossref_client.h"
#include "builder/crossref_query.h"
#include "builder/paging_bound.h"
#include "builder/sources.h"
#include "builder/state_store.h"

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
    struct Batch
    {
        QList<Journal> journals;
        bool failed = false;
    };

    void fetchPage(qsizetype batch, const QString &cursor);
    void handlePage(qsizetype batch, const CrossrefClient::Answer &answer);
    void nextBatch(qsizetype batch);
    void complete();
    void finish(int code, const QString &message = {});
    QString refusedPaths() const;
    QString labelsOf(const Batch &batch) const;

    Options m_options;
    QTextStream &m_progress;
    CrossrefClient m_client;
    std::unique_ptr<QLockFile> m_lock;
    StateStore m_state;
    QDateTime m_now;
    QDate m_from;
    QList<Batch> m_batches;
    PagingBound m_paging;
    int m_newInBatch = 0;
    int m_recordsInBatch = 0;
    int m_newTotal = 0;
};
