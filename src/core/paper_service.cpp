#include "core/paper_service.h"

#include "core/diagnostics.h"
#include "core/feed_endpoint.h"
#include "core/paper_source.h"
#include "core/reply_guard.h"

#include <QFutureWatcher>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslConfiguration>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <tuple>
#include <utility>

using namespace std::chrono_literals;
using ReplyGuard::abortReasonProperty;

namespace {

// A feed moves rarely; a longer chain than this is a misconfigured loop, not a move.
constexpr int maxRedirects = 5;

} // namespace

PaperService::Config PaperService::Config::fromEndpoint(const FeedEndpoint &endpoint)
{
    Config config;
    config.apiURL = QUrl(endpoint.url, QUrl::StrictMode);
    config.extraCaCertificates = QSslCertificate::fromData(endpoint.extraCaPem, QSsl::Pem);
    return config;
}

PaperService::PaperService(Config config, std::unique_ptr<Timers> timers, QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_timers(std::move(timers)), m_session(this)
{
    m_session.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_session.setAutoDeleteReplies(false);
    // A fetch every half hour gains nothing from resuming TLS sessions, and a shared
    // session cache would keep every server certificate for as long as Qt keeps the
    // connection object.
    m_sslConfiguration = QSslConfiguration::defaultConfiguration();
    m_sslConfiguration.setSslOption(QSsl::SslOptionDisableSessionSharing, true);
    // Any CA list of our own stops Qt from looking the system's CAs up on demand,
    // and parsing the whole system store costs megabytes: the extra CAs are tried
    // alone until a handshake shows that they are not enough.
    if (!m_config.extraCaCertificates.isEmpty())
        m_sslConfiguration.setCaCertificates(m_config.extraCaCertificates);
}

PaperService::PaperService(
    std::unique_ptr<PaperSource> source, std::unique_ptr<Timers> timers, QObject *parent)
    : QObject(parent), m_timers(std::move(timers)), m_source(std::move(source)), m_session(this)
{
    m_source->onPapers = [this](const QList<Paper> &papers) { handleSuccess(papers); };
    m_source->onFailure = [this](const QString &message) { handleFetchFailure(message); };
}

PaperService::~PaperService() = default;

void PaperService::startPolling(std::chrono::milliseconds interval)
{
    stopPolling();
    fetch();
    m_pollingTimer = m_timers->startRepeating(interval, [self = QPointer(this)] {
        if (self)
            self->fetch();
    });
}

void PaperService::stopPolling()
{
    if (m_pollingTimer != 0) {
        m_timers->cancel(m_pollingTimer);
        m_pollingTimer = 0;
    }
    cancelRetry();
    m_retryCount = 0;
}

void PaperService::cancelRetry()
{
    if (m_retryTimer != 0) {
        m_timers->cancel(m_retryTimer);
        m_retryTimer = 0;
    }
}

void PaperService::fetch()
{
    cancelRetry();
    if (m_source)
        return m_source->poll();

    QNetworkRequest request(m_config.apiURL);
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setMaximumRedirectsAllowed(maxRedirects);
    request.setSslConfiguration(m_sslConfiguration);
    if (!m_etag.isEmpty())
        request.setRawHeader("If-None-Match", m_etag);
    if (!m_lastModified.isEmpty())
        request.setRawHeader("If-Modified-Since", m_lastModified);
    // Only the latest request may answer: an older one still in flight would
    // otherwise land later and put its stale list and validators back.
    const std::uint64_t serial = ++m_latestRequest;
    if (m_replyInFlight && !m_replyInFlight->isFinished())
        m_replyInFlight->abort();
    // TLS errors are never ignored: no handler for sslErrors exists.
    QNetworkReply *reply = m_session.get(request);
    m_replyInFlight = reply;
    ++m_fetchesInFlight;
    ReplyGuard::guard(
        reply, {m_config.idleTimeout, m_config.transferTimeout, m_config.maxBodyBytes});
    connect(reply, &QNetworkReply::finished, this,
        [this, reply, serial] { handleReplyFinished(reply, serial); });
}

void PaperService::handleReplyFinished(QNetworkReply *reply, std::uint64_t serial)
{
    reply->deleteLater();
    // Qt keeps a finished connection, with its TLS state, for two minutes in case
    // another request follows; the next poll is half an hour away, and a burst of
    // refreshes would pile such state up.
    if (--m_fetchesInFlight == 0)
        m_session.clearConnectionCache();
    if (serial != m_latestRequest)
        return; // superseded: a later fetch answers for both
    // Outcomes are handled on a later turn of the event loop, unless a fetch
    // started by then answers instead.
    const auto later = [this, serial](auto step) {
        QMetaObject::invokeMethod(
            this,
            [this, serial, step] {
                if (serial == m_latestRequest)
                    step();
            },
            Qt::QueuedConnection);
    };
    const QString abortReason = reply->property(abortReasonProperty).toString();
    const bool hasHttpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();

    if (abortReason.isEmpty() && reply->error() == QNetworkReply::SslHandshakeFailedError
        && !m_trustsSystemCas && !m_config.extraCaCertificates.isEmpty()) {
        // The extra CAs alone did not vouch for the server; the system's may. Not a
        // failed fetch yet: ask again at once, trusting both from now on.
        m_trustsSystemCas = true;
        m_sslConfiguration.setCaCertificates(
            QSslConfiguration::systemCaCertificates() + m_config.extraCaCertificates);
        fetch();
        return;
    }
    if (!abortReason.isEmpty() || ReplyGuard::isTransportError(reply->error(), hasHttpStatus)) {
        Diagnostics::log(QStringLiteral("Fetch error: ")
            + (abortReason.isEmpty() ? reply->errorString() : abortReason));
        later([this] { handleFetchFailure(QStringLiteral("Failed to load papers")); });
        return;
    }
    if (!hasHttpStatus) {
        // No fault reported, yet no HTTP answer either: nothing to decode.
        Diagnostics::log(QStringLiteral("No data received"));
        later([this] { handleFetchFailure(QStringLiteral("No data received")); });
        return;
    }

    const bool revalidating = !m_etag.isEmpty() || !m_lastModified.isEmpty();
    if (revalidating && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 304) {
        // Not modified since the last good answer: a success with what we hold.
        later([this] { handleSuccess(m_papers); });
        return;
    }

    // Decoding a large feed must not stall the ticker: do it on a worker and
    // hand the result back to the main thread.
    auto validators = std::pair(reply->rawHeader("ETag"), reply->rawHeader("Last-Modified"));
    // The watcher, not a continuation, brings the result back: it dies with the
    // service, so a decode that outlives the service is dropped instead of
    // being handed to a destroyed object.
    auto *watcher = new QFutureWatcher<PaperDecodeResult>(this);
    connect(watcher, &QFutureWatcherBase::finished, this,
        [this, watcher, serial, validators = std::move(validators)] {
            watcher->deleteLater();
            if (serial != m_latestRequest)
                return; // a fetch started while this decoded answers instead
            PaperDecodeResult result = watcher->result();
            if (!result.ok())
                return handleFetchFailure(QStringLiteral("Failed to parse papers"));
            std::tie(m_etag, m_lastModified) = validators;
            handleSuccess(std::move(result.response->papers));
        });
    watcher->setFuture(QtConcurrent::run([body = reply->readAll()]() mutable {
        PaperDecodeResult result = decodePaperBody(std::move(body));
        if (!result.ok())
            Diagnostics::log(QStringLiteral("Decode error: ") + result.error);
        return result;
    }));
}

void PaperService::handleSuccess(QList<Paper> papers)
{
    m_retryCount = 0;
    m_papers = std::move(papers);
    if (onUpdate)
        onUpdate(m_papers);
    Diagnostics::log(QStringLiteral("Loaded %1 papers").arg(m_papers.size()));
}

void PaperService::handleFetchFailure(const QString &message)
{
    if (m_retryCount < retryLimit) {
        const std::chrono::seconds delay = baseRetryDelay * (std::int64_t(1) << m_retryCount);
        ++m_retryCount;
        const QString seconds = QString::number(delay.count());
        Diagnostics::log(
            QStringLiteral("Retry %1/%2 in %3s").arg(m_retryCount).arg(retryLimit).arg(seconds));
        if (onError)
            onError(message + QStringLiteral(" \u2014 retrying in ") + seconds
                + QStringLiteral("s\u2026"));
        // An earlier retry timer, if any, is deliberately left running: the fetch it
        // starts cancels this one.
        m_retryTimer = m_timers->startOnce(delay, [self = QPointer(this)] {
            if (self)
                self->fetch();
        });
        return;
    }
    Diagnostics::log(QStringLiteral("All retries exhausted"));
    if (onError)
        onError(message + QStringLiteral(" \u2014 check your connection"));
    m_retryCount = 0;
}
