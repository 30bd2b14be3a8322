#pragma once

#include "crossref/crossref_client.h"
#include "crossref/crossref_query.h"
#include "crossref/paging_bound.h"
#include "crossref/record_normaliser.h"
#include "crossref/sources.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// One walk over Crossref for a list of journals: the journals in requests of a
// few each, every request followed along its cursor within the paging bound,
// each page's records turned into feed items. What becomes of the items (a
// state, a document) is the caller's: the run only asks, parses and reports.
class CrossrefRun : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QUrl api {QStringLiteral("https://api.crossref.org/")};
        QDate from; // records first deposited on or after this day
        int journalsPerRequest = CrossrefQuery::journalsPerRequest;
        int rows = CrossrefQuery::rowsPerPage;
        PagingBound::Limits paging;
    };

    struct Outcome
    {
        int batches = 0;
        int failedBatches = 0;
        int failedJournals = 0;
        int newItems = 0;
        QString lastError; // one line, from the last batch that failed
        bool stoppedEarly = false; // too many requests failed to go on
        bool reachedAll() const { return failedBatches == 0; }
        bool reachedNone() const { return batches > 0 && failedBatches == batches; }
    };

    // `client` paces and retries every request; it must outlive the run.
    CrossrefRun(CrossrefClient &client, QList<Journal> journals, Options options,
        QObject *parent = nullptr);

    qsizetype batchCount() const { return m_batches.size(); }

    // Starts the walk; everything is reported later, from the event loop.
    void start();

    // Each page's items; returns how many of them were new to the caller.
    std::function<int(const QList<FeedItem> &items)> onItems;
    // One line per request: its journals and how it went.
    std::function<void(const QString &line)> onProgress;
    // After the last page of a request, whether or not it failed.
    std::function<void(qsizetype batch)> onBatchDone;
    std::function<void(const Outcome &outcome)> onFinished;

    // Each page's share of the records: the journal whose ISSNs a record carries.
    static QList<FeedItem> itemsOf(const CrossrefPage &page, const QList<Journal> &journals);
    // The paper with its title and authors cut as Quillet cuts the text it shows:
    // longer ones could never be read in a menu.
    static Paper shown(const Paper &paper);

private:
    struct Batch
    {
        QList<Journal> journals;
        bool failed = false;
    };

    void fetchPage(qsizetype batch, const QString &cursor);
    void handlePage(qsizetype batch, const CrossrefClient::Answer &answer);
    void endBatch(qsizetype batch, const QString &line);
    void nextBatch(qsizetype batch);
    void complete();
    QString labelsOf(const Batch &batch) const;

    CrossrefClient &m_client;
    Options m_options;
    QList<Batch> m_batches;
    PagingBound m_paging;
    Outcome m_outcome;
    int m_newInBatch = 0;
    int m_recordsInBatch = 0;
};
