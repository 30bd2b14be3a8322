#include "crossref/crossref_client.h"

#include <QDateTime>
#include <QLocale>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

using namespace std::chrono_literals;
using std::chrono::milliseconds;

namespace {

// Set on a reply aborted for its size.
constexpr const char *tooLargeProperty = "quilletFeedTooLarge";

QString describe(QNetworkReply *reply, int status, std::chrono::milliseconds timeout)
{
    if (status >= 300)
        return u"HTTP %1 %2"_qs.arg(status).arg(
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    // The transfer timeout is the only thing that cancels a reply short of its size.
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return u"no answer for %1 ms"_qs.arg(timeout.count());
    return reply->errorString();
}

} // namespace

CrossrefClient::CrossrefClient(Config config, QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_network(this), m_interval(m_config.interval)
{
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_ssl = QSslConfiguration::defaultConfiguration();
    // Parsing the whole system store costs megabytes, and any CA list of our own
    // stops Qt from looking the system's up on demand: the extra CAs are tried
    // alone until a handshake shows that they are not enough.
    if (!m_config.extraCaCertificates.isEmpty())
        m_ssl.setCaCertificates(m_config.extraCaCertificates);
}

void CrossrefClient::get(const QUrl &url, Callback done)
{
    m_url = url;
    m_done = std::move(done);
    m_try = 0;
    startTry();
}

void CrossrefClient::startTry()
{
    // Keep the pace even across retries and across callers.
    if (m_sinceLastStart.isValid()) {
        const milliseconds wait = m_interval - milliseconds(m_sinceLastStart.elapsed());
        if (wait > 0ms)
            return waitThen(wait,
                m_interval > m_config.interval ? u"the pace the API announced"_qs
                                               : u"the pace set for this run"_qs);
    }
    m_sinceLastStart.start();
    ++m_try;
    ++m_made;
    QNetworkRequest request(m_url);
    request.setSslConfiguration(m_ssl);
    request.setTransferTimeout(int(m_config.timeout.count()));
    const QString product = m_config.product + u"/" QUILLET_VERSION ""_qs;
    request.setHeader(QNetworkRequest::UserAgentHeader,
        validMailto(m_config.mailto) ? u"%1 (mailto:%2)"_qs.arg(product, m_config.mailto)
                                     : product);
    request.setRawHeader("Accept", "application/json");
    QNetworkReply *reply = m_network.get(request);
    // A page of works is a few MiB; past the cap something is wrong with the server.
    connect(reply, &QNetworkReply::readyRead, reply, [reply, cap = m_config.maxBodyBytes] {
        if (reply->bytesAvailable() > cap && !reply->property(tooLargeProperty).toBool()) {
            reply->setProperty(tooLargeProperty, true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { handleFinished(reply); });
}

void CrossrefClient::handleFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const milliseconds announced = announcedInterval(
        reply->rawHeader("X-Rate-Limit-Limit"), reply->rawHeader("X-Rate-Limit-Interval"));
    if (announced > m_interval)
        m_interval = std::min(announced, std::max(m_config.maxInterval, m_config.interval));
    const bool tooLarge = reply->property(tooLargeProperty).toBool();
    if (reply->error() == QNetworkReply::SslHandshakeFailedError && !m_trustsSystemCas
        && !m_config.extraCaCertificates.isEmpty()) {
        // Not a failed try: the same one again, trusting the system's CAs too.
        m_trustsSystemCas = true;
        m_ssl.setCaCertificates(
            QSslConfiguration::systemCaCertificates() + m_config.extraCaCertificates);
        --m_try;
        --m_made;
        return startTry();
    }
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        finish(Answer {true, reply->readAll(), QString()});
        return;
    }

    ++m_failed;
    const QString error = tooLarge
        ? u"answer larger than %1 MiB"_qs.arg(m_config.maxBodyBytes / (1024 * 1024))
        : describe(reply, status, m_config.timeout);
    // Transport faults, throttling and server trouble may pass; other refusals
    // (a malformed filter, say) and oversized answers will not.
    const bool retryable = !tooLarge && (status < 300 || status == 429 || status >= 500);
    if (!retryable || m_try >= m_config.maxTries || gaveUp()) {
        finish(Answer {
            false, {}, m_try > 1 ? u"%1 (after %2 tries)"_qs.arg(error).arg(m_try) : error});
        return;
    }
    milliseconds wait = m_config.backoff * (1 << (m_try - 1));
    const milliseconds asked
        = retryAfter(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
    if (asked > m_config.maxWait) {
        finish(Answer {false, {},
            u"%1; asked to wait %2 s, longer than this run waits"_qs.arg(error).arg(
                asked.count() / 1000)});
        return;
    }
    waitThen(std::max(wait, asked),
        asked > wait ? u"the API asked for it (Retry-After)"_qs
                     : u"a try failed: %1"_qs.arg(error));
}

void CrossrefClient::waitThen(milliseconds wait, const QString &why)
{
    if (wait > m_config.quietWait && onWait)
        onWait(u"waiting %1 s before the next request: %2"_qs.arg((wait.count() + 999) / 1000)
                   .arg(why));
    QTimer::singleShot(wait, this, &CrossrefClient::startTry);
}

void CrossrefClient::finish(Answer answer)
{
    // Moved out first: the callback may start the next request.
    Callback done = std::move(m_done);
    m_done = nullptr;
    done(answer);
}

bool CrossrefClient::validMailto(const QString &address)
{
    const auto unfit = [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; };
    return address.count(u'@') == 1 && std::none_of(address.cbegin(), address.cend(), unfit);
}

milliseconds CrossrefClient::retryAfter(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return -1ms;
    bool isNumber = false;
    const qint64 seconds = text.toLongLong(&isNumber);
    if (isNumber)
        return seconds >= 0 ? milliseconds(seconds * 1000) : -1ms;
    // IMF-fixdate, e.g. "Wed, 09 Dec 2026 10:15:00 GMT".
    QDateTime when = QLocale::c().toDateTime(
        QString::fromLatin1(text).chopped(4), u"ddd, dd MMM yyyy HH:mm:ss"_qs);
    if (!when.isValid() || !text.endsWith(" GMT"))
        return -1ms;
    when.setTimeSpec(Qt::UTC);
    return milliseconds(std::max<qint64>(0, now.msecsTo(when)));
}

milliseconds CrossrefClient::announcedInterval(const QByteArray &limit, const QByteArray &interval)
{
    bool ok = false;
    const qint64 requests = limit.trimmed().toLongLong(&ok);
    QByteArray span = interval.trimmed();
    if (!ok || requests <= 0 || !span.endsWith('s'))
        return 0ms;
    span.chop(1);
    const qint64 seconds = span.toLongLong(&ok);
    if (!ok || seconds <= 0)
        return 0ms;
    return milliseconds(seconds * 1000 / requests);
}
