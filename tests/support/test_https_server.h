#pragma once

#include <QQueue>
#include <QSet>
#include <QSslServer>
#include <QUrl>

// A one-request-per-connection HTTPS server on 127.0.0.1 for the tests, the demo
// and the benches: scripted answers, stalls, resets and endless bodies. The
// certificates come from tests/data/tls (make-test-certs.sh).
class TestHttpsServer : public QSslServer
{
    Q_OBJECT

public:
    // Trusted: signed by the test CA. Untrusted: self-signed. Expired: signed by
    // the test CA, valid only in 2000. WrongHost: signed by it for another name.
    enum class Identity { Trusted, Untrusted, Expired, WrongHost };

    // Normal: headers, the body, an orderly close. StallBeforeHeaders: reads the
    // request, never answers. StallMidBody: half the counted body, then nothing.
    // CloseImmediately: hangs up without a byte; Qt may resend such a request, so
    // one fetch can use up more than one queued answer (make it the default).
    // Oversized(NoLength): a body of zeros, its length given (or not).
    // ResetMidBody: half the counted body, then RST once it has left.
    // TruncatedNoLength: half the body, no Content-Length, an orderly close.
    // Trickle: trickleBytes of the body every trickleIntervalMs.
    enum class Mode {
        Normal,
        StallBeforeHeaders,
        StallMidBody,
        CloseImmediately,
        Oversized,
        OversizedNoLength,
        ResetMidBody,
        TruncatedNoLength,
        Trickle
    };

    struct Response
    {
        int status = 200;
        QByteArray reason = "OK", body = {};
        QList<std::pair<QByteArray, QByteArray>> headers = {}; // after the defaults
        Mode mode = Mode::Normal;
        int trickleBytes = 1, trickleIntervalMs = 100;

        static Response ok(QByteArray body) { return {200, "OK", std::move(body)}; }
        static Response withStatus(int status, QByteArray reason, QByteArray body = {})
        {
            return {status, std::move(reason), std::move(body)};
        }
        static Response withMode(Mode m, QByteArray body = {}) { return {200, "OK", body, {}, m}; }
        static Response oversized(qint64 bytes, bool withContentLength = true)
        {
            return withMode(withContentLength ? Mode::Oversized : Mode::OversizedNoLength,
                QByteArray(bytes, '\0'));
        }
        static Response trickle(QByteArray body, int bytes, int intervalMs)
        {
            return {200, "OK", std::move(body), {}, Mode::Trickle, bytes, intervalMs};
        }
        Response withHeader(QByteArray name, QByteArray value) const
        {
            Response response = *this;
            response.headers.emplaceBack(std::move(name), std::move(value));
            return response;
        }
    };

    explicit TestHttpsServer(Identity identity = Identity::Trusted, QObject *parent = nullptr);

    bool start(quint16 port = 0); // on 127.0.0.1; 0: the system picks the port
    void setIdentity(Identity identity); // from the next connection on
    QUrl url() const { return QUrl(u"https://127.0.0.1:%1/"_qs.arg(serverPort())); }
    static QList<QSslCertificate> caCertificates();

    // Queued answers go out in order, then the default (initially {"papers": []}).
    void enqueue(Response response) { m_queue.enqueue(std::move(response)); }
    void setDefaultResponse(Response response) { m_default = std::move(response); }

    int requestCount() const { return m_requestCount; }
    // Request line and headers of the last request, blank line included.
    QByteArray lastRequestHead() const { return m_lastRequestHead; }
    QByteArray lastRequestHeader(const QByteArray &name) const; // null if absent
    // TLS connections begun, and those not yet closed whatever their state.
    int connectionCount() const { return m_connectionCount; }
    int openConnectionCount() const { return int(m_open.size()); }

private:
    void accept();
    void answer(QSslSocket *socket, const Response &response);
    void trickle(QSslSocket *socket, QByteArray rest, int bytes, int intervalMs);
    void forget(QSslSocket *socket);

    QQueue<Response> m_queue;
    Response m_default = Response::ok(R"({"papers": []})");
    QSet<QObject *> m_open;
    int m_requestCount = 0, m_connectionCount = 0;
    QByteArray m_lastRequestHead;
};
