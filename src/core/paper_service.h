#pragma once

#include "core/paper.h"
#include "core/timers.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class PaperSource;
class QNetworkReply;
struct FeedEndpoint;

// The one client of the feed: polls it, decodes each answer, keeps the last good
// list, reports every outcome through onUpdate / onError (on the main thread,
// always after the call that started the fetch has returned), and retries
// failures after 30, 60, 120 and 240 seconds. It revalidates: a 304 answer to
// the last good answer's ETag / Last-Modified is a success with the papers it has.
// Built on a PaperSource instead, it leaves each fetch to the source and keeps
// the rest: callbacks, lines, timers and retries.
class PaperService : public QObject
{
    Q_OBJECT

public:
    struct Config
    {
        QUrl apiURL;
        QList<QSslCertificate> extraCaCertificates;
        // No byte for this long (connecting included) fails the fetch.
        std::chrono::milliseconds idleTimeout {std::chrono::seconds(30)};
        // The whole transfer must finish within this.
        std::chrono::milliseconds transferTimeout {std::chrono::seconds(60)};
        // Larger bodies are refused while downloading.
        std::int64_t maxBodyBytes = maxDocumentBytes;

        static Config fromEndpoint(const FeedEndpoint &endpoint);
    };

    static constexpr int retryLimit = 4;
    static constexpr std::chrono::seconds baseRetryDelay {30};

    // The instance for the program, built on first use from the build's endpoint.
    // Defined where the program is wired (src/app), which chooses the source.
    static PaperService &shared();

    PaperService(Config config, std::unique_ptr<Timers> timers, QObject *parent = nullptr);
    PaperService(std::unique_ptr<PaperSource> source, std::unique_ptr<Timers> timers,
        QObject *parent = nullptr);
    ~PaperService() override;

    // Fetches now, then every `interval`; cancels earlier polling and any pending
    // retry and starts a new run of failures.
    void startPolling(std::chrono::milliseconds interval);
    void stopPolling();
    // Fetches now, cancelling a pending retry; the run of failures goes on.
    void fetch();

    std::function<void(const QList<Paper> &)> onUpdate;
    std::function<void(const QString &)> onError;

    const QList<Paper> &papers() const { return m_papers; }
    std::int64_t retryCount() const { return m_retryCount; }
    bool hasPendingRetry() const { return m_retryTimer != 0; }

private:
    void handleReplyFinished(QNetworkReply *reply, std::uint64_t serial);
    void handleFetchFailure(const QString &message);
    void handleSuccess(QList<Paper> papers);
    void cancelRetry();

    Config m_config;
    std::unique_ptr<Timers> m_timers;
    std::unique_ptr<PaperSource> m_source; // none: the feed document at apiURL
    QNetworkAccessManager m_session;
    QSslConfiguration m_sslConfiguration;
    int m_fetchesInFlight = 0;
    // Numbers each fetch; an answer to any but the latest is dropped.
    std::uint64_t m_latestRequest = 0;
    QPointer<QNetworkReply> m_replyInFlight;
    bool m_trustsSystemCas = false; // besides the extra CAs, once they alone failed
    Timers::Id m_pollingTimer = 0;
    QList<Paper> m_papers;
    // The last good answer's validators, sent back so an unchanged feed costs a 304.
    QByteArray m_etag;
    QByteArray m_lastModified;
    std::int64_t m_retryCount = 0;
    Timers::Id m_retryTimer = 0;
};
