#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

class QNetworkReply;

// A polite client of the Crossref API: one request at a time, no faster than its
// rate (or the rate the API announces), each tried at most `maxTries` times with
// exponential back-off and Retry-After honoured. Every try counts as a request;
// from the tenth on, the client gives up for good once more than one in ten failed.
class CrossrefClient : public QObject
{
    Q_OBJECT

public:
    struct Config
    {
        QString product = QStringLiteral("quillet-feed"); // names the program to the API
        QString mailto; // for the polite pool
        QList<QSslCertificate> extraCaCertificates; // trusted besides the system's
        std::chrono::milliseconds interval {1000}; // between the starts of two requests
        std::chrono::milliseconds backoff {2000}; // before the second try; doubles
        std::chrono::milliseconds maxWait {std::chrono::minutes(2)}; // longest Retry-After obeyed
        // Longest spacing taken from X-Rate-Limit-*: Crossref announces 50 a second.
        std::chrono::milliseconds maxInterval {std::chrono::seconds(10)};
        // Waits longer than this are announced through onWait.
        std::chrono::milliseconds quietWait {std::chrono::seconds(5)};
        std::chrono::milliseconds timeout {std::chrono::seconds(60)}; // silence that fails a try
        qint64 maxBodyBytes = 64 * 1024 * 1024;
        int maxTries = 3;
    };

    struct Answer
    {
        bool ok = false;
        QByteArray body;
        QString error; // when !ok: one line
    };
    using Callback = std::function<void(const Answer &)>;

    explicit CrossrefClient(Config config, QObject *parent = nullptr);

    // Fetches `url`; `done` is called once, later, from the event loop. One
    // request at a time: call again only from or after `done`.
    void get(const QUrl &url, Callback done);

    // One line for each wait longer than Config::quietWait, so a run never stalls unexplained.
    std::function<void(const QString &line)> onWait;

    const Config &config() const { return m_config; }
    int requestsMade() const { return m_made; }
    int requestsFailed() const { return m_failed; }
    bool gaveUp() const { return m_made >= 10 && m_failed * 10 > m_made; }
    std::chrono::milliseconds interval() const { return m_interval; }

    // An e-mail address fit for a request header: one '@', no space or control
    // character (a CR LF would start a header of the caller's choosing).
    static bool validMailto(const QString &address);
    // "Retry-After: 30" or an HTTP date; negative when absent or unreadable.
    static std::chrono::milliseconds retryAfter(const QByteArray &value, const QDateTime &now);
    // X-Rate-Limit-Limit and X-Rate-Limit-Interval ("50", "1s") as the spacing they allow.
    static std::chrono::milliseconds announcedInterval(
        const QByteArray &limit, const QByteArray &interval);

private:
    void startTry();
    void waitThen(std::chrono::milliseconds wait, const QString &why);
    void handleFinished(QNetworkReply *reply);
    void finish(Answer answer);

    Config m_config;
    QNetworkAccessManager m_network;
    QSslConfiguration m_ssl;
    bool m_trustsSystemCas = false; // besides the extra CAs, once they alone failed
    std::chrono::milliseconds m_interval;
    QElapsedTimer m_sinceLastStart;
    QUrl m_url;
    Callback m_done;
    int m_try = 0;
    int m_made = 0;
    int m_failed = 0;
};
