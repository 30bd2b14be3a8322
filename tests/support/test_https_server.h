#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QQueue>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QUrl>

#include <utility>

class QSslSocket;

// A one-request-per-connection HTTPS server on 127.0.0.1 for exercising the feed
// client against real TLS: scripted answers, stalls, early closes and endless
// bodies. The certificates come from tests/data/tls (make-test-certs.sh).
class TestHttpsServer : public QTcpServer
{
    Q_OBJECT

public:
    // Which certificate the server presents.
    enum class Identity {
        Trusted, // server.pem, signed by the test CA
        Untrusted, // untrusted.pem, self-signed: a client trusting the test CA must refuse it
        Expired, // expired.pem, signed by the test CA but valid only in 2000
        WrongHost, // wronghost.pem, signed by the test CA for another host name
    };

    enum class Mode {
        // Status line, headers (Content-Length, Content-Type, Connection: close), body, then close.
        Normal,
        // Completes TLS and reads the request, then never answers; the socket stays open.
        StallBeforeHeaders,
        // Headers with Content-Length = body size, then only the first half of the body, then
        // nothing; the socket stays open.
        StallMidBody,
        // Reads the request, then closes the connection (TLS close_notify, then FIN) without a
        // byte of answer. Qt's HTTP client may silently resend a request whose connection
        // closed before any answer, so one failed fetch can use up more than one queued
        // answer: set this as the default response rather than queueing it.
        CloseImmediately,
        // Headers with Content-Length = streamBytes, then zeros written as the socket drains
        // until streamBytes are sent (then close) or the client goes away.
        Oversized,
        // As Oversized but without Content-Length: the body ends when the server closes.
        OversizedNoLength,
        // Headers with Content-Length = body size and the first half of the body; once that
        // has left the process, the connection is reset (RST, no TLS close_notify).
        ResetMidBody,
        // Headers without Content-Length and the first half of the body, then an orderly
        // close: to the client a complete, close-delimited answer.
        TruncatedNoLength,
        // Headers with Content-Length = body size, then trickleBytes of the body every
        // trickleInterval until it is all sent.
        Trickle,
    };

    struct Response
    {
        int status = 200;
        QByteArray reason = "OK";
        QByteArray body;
        // Sent after the defaults; one with the name of a default header (Content-Type,
        // Content-Length, Connection) replaces that default instead.
        QList<std::pair<QByteArray, QByteArray>> headers;
        Mode mode = Mode::Normal;
        qint64 streamBytes = 0; // body size for the two oversized modes
        qint64 trickleBytes = 1;
        int trickleIntervalMs = 100;

        // Shorthands, since designated initializers that skip members warn under
        // -Wextra with GCC 12.
        static Response ok(QByteArray body);
        static Response withStatus(int status, QByteArray reason, QByteArray body = {});
        static Response withMode(Mode mode, QByteArray body = {});
        static Response oversized(qint64 streamBytes, bool withContentLength = true);
        static Response trickle(QByteArray body, qint64 bytes, int intervalMs);
        Response withHeader(QByteArray name, QByteArray value) const;
    };

    explicit TestHttpsServer(Identity identity = Identity::Trusted, QObject *parent = nullptr);
    ~TestHttpsServer() override;

    // Listens on 127.0.0.1 with a port picked by the system; false (with a warning) if the
    // certificate files can't be loaded or listening fails.
    bool start();
    // The certificate presented from the next connection on.
    void setIdentity(Identity identity);
    // "https://127.0.0.1:<port>/"
    QUrl url() const;

    // The test CA, for a client's trust store.
    static QList<QSslCertificate> caCertificates();

    // Answers the next request; queued answers are served in order.
    void enqueue(Response response);
    // Answers requests once the queue is empty; initially 200 with body {"papers": []}.
    void setDefaultResponse(Response response);
    int queuedCount() const { return int(m_queue.size()); }

    // Complete requests received (request head parsed).
    int requestCount() const { return m_requestCount; }
    // Body bytes handed to sockets in total, over all connections. Counted when written
    // rather than when acknowledged, so it's an upper bound on what the client got.
    qint64 bodyBytesSent() const { return m_bodyBytesSent; }
    // Request line and headers of the last request, byte for byte, including the
    // blank line that ends them.
    QByteArray lastRequestHead() const { return m_lastRequestHead; }
    // Value of a header in the last request (name matched case-insensitively), or a
    // null QByteArray if absent.
    QByteArray lastRequestHeader(const QByteArray &name) const;

    // Connections accepted and not yet closed, whatever their state: lets tests check
    // that failed handshakes and abandoned transfers are cleaned up.
    int openConnectionCount() const { return int(m_connections.size()); }
    // Connections that completed the TLS handshake.
    int encryptedConnectionCount() const { return m_encryptedCount; }
    // Connections whose TLS handshake failed or that closed before it finished.
    int failedHandshakeCount() const { return m_failedHandshakeCount; }

Q_SIGNALS:
    // Once per request head, after the counters are updated and its answer (if any) has
    // been queued for writing.
    void requestReceived();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    struct Connection
    {
        QByteArray received;
        bool answered = false;
        bool encrypted = false;
        bool streaming = false;
        qint64 streamRemaining = 0;
        bool resetWhenFlushed = false;
    };

    bool loadIdentity();
    void handleReadyRead(QSslSocket *socket);
    void answer(QSslSocket *socket, const Response &response);
    void pump(QSslSocket *socket);
    void trickle(QSslSocket *socket, QByteArray rest, qint64 bytes, int intervalMs);
    void resetIfFlushed(QSslSocket *socket);
    void forget(QSslSocket *socket);

    Identity m_identity;
    QSslCertificate m_certificate;
    QSslKey m_key;
    QQueue<Response> m_queue;
    Response m_defaultResponse;
    QHash<QSslSocket *, Connection> m_connections;
    int m_requestCount = 0;
    int m_encryptedCount = 0;
    int m_failedHandshakeCount = 0;
    qint64 m_bodyBytesSent = 0;
    QByteArray m_lastRequestHead;
};
