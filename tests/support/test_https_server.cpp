#include "support/test_https_server.h"

#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QtDebug>

#include <sys/socket.h>

#include <algorithm>

namespace {

// Small enough that an abandoned oversized body stops within a few chunks of the
// client going away, large enough not to crawl.
constexpr qint64 kChunkBytes = 64 * 1024;

QString tlsFilePath(const char *fileName)
{
    return QString::fromUtf8(QUILLET_TEST_DATA_DIR "/tls/") + QString::fromUtf8(fileName);
}

const QByteArray &zeroChunk()
{
    static const QByteArray chunk(kChunkBytes, '\0');
    return chunk;
}

bool sameHeaderName(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

TestHttpsServer::Response TestHttpsServer::Response::ok(QByteArray body)
{
    Response response;
    response.body = std::move(body);
    return response;
}

TestHttpsServer::Response TestHttpsServer::Response::withStatus(
    int status, QByteArray reason, QByteArray body)
{
    Response response;
    response.status = status;
    response.reason = std::move(reason);
    response.body = std::move(body);
    return response;
}

TestHttpsServer::Response TestHttpsServer::Response::withMode(Mode mode, QByteArray body)
{
    Response response;
    response.mode = mode;
    response.body = std::move(body);
    return response;
}

TestHttpsServer::Response TestHttpsServer::Response::oversized(
    qint64 streamBytes, bool withContentLength)
{
    Response response;
    response.mode = withContentLength ? Mode::Oversized : Mode::OversizedNoLength;
    response.streamBytes = streamBytes;
    return response;
}

TestHttpsServer::Response TestHttpsServer::Response::trickle(
    QByteArray body, qint64 bytes, int intervalMs)
{
    Response response;
    response.mode = Mode::Trickle;
    response.body = std::move(body);
    response.trickleBytes = bytes;
    response.trickleIntervalMs = intervalMs;
    return response;
}

TestHttpsServer::Response TestHttpsServer::Response::withHeader(
    QByteArray name, QByteArray value) const
{
    Response response = *this;
    response.headers.emplaceBack(std::move(name), std::move(value));
    return response;
}

TestHttpsServer::TestHttpsServer(Identity identity, QObject *parent)
    : QTcpServer(parent), m_identity(identity)
{
    m_defaultResponse.body = R"({"papers": []})";
}

TestHttpsServer::~TestHttpsServer()
{
    close();
    // Tear the sockets down while this object is still whole: left to ~QObject, an
    // open socket would abort during deletion and signal into a half-destroyed server.
    const QList<QSslSocket *> sockets = m_connections.keys();
    m_connections.clear();
    for (QSslSocket *socket : sockets) {
        disconnect(socket, nullptr, this, nullptr);
        socket->abort();
        delete socket;
    }
}

bool TestHttpsServer::start()
{
    if (!QSslSocket::supportsSsl()) {
        qWarning("TestHttpsServer: no TLS backend available");
        return false;
    }
    if (!loadIdentity())
        return false;
    if (!listen(QHostAddress::LocalHost, 0)) {
        qWarning() << "TestHttpsServer: listen failed:" << errorString();
        return false;
    }
    return true;
}

QUrl TestHttpsServer::url() const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(serverPort()));
}

QList<QSslCertificate> TestHttpsServer::caCertificates()
{
    const QList<QSslCertificate> certificates
        = QSslCertificate::fromPath(tlsFilePath("ca.pem"), QSsl::Pem);
    if (certificates.isEmpty())
        qWarning() << "TestHttpsServer: no certificate in" << tlsFilePath("ca.pem");
    return certificates;
}

void TestHttpsServer::enqueue(Response response)
{
    m_queue.enqueue(std::move(response));
}

void TestHttpsServer::setDefaultResponse(Response response)
{
    m_defaultResponse = std::move(response);
}

QByteArray TestHttpsServer::lastRequestHeader(const QByteArray &name) const
{
    const QList<QByteArray> lines = m_lastRequestHead.split('\n');
    // The first line is the request line, not a header.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && sameHeaderName(line.left(colon).trimmed(), name))
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

void TestHttpsServer::setIdentity(Identity identity)
{
    m_identity = identity;
    if (!loadIdentity())
        qFatal("TestHttpsServer: cannot load the certificate");
}

bool TestHttpsServer::loadIdentity()
{
    const char *name = "server";
    switch (m_identity) {
    case Identity::Trusted:
        break;
    case Identity::Untrusted:
        name = "untrusted";
        break;
    case Identity::Expired:
        name = "expired";
        break;
    case Identity::WrongHost:
        name = "wronghost";
        break;
    }
    const QString certificatePath = tlsFilePath(name) + QStringLiteral(".pem");
    const QString keyPath = tlsFilePath(name) + QStringLiteral(".key");

    QFile certificateFile(certificatePath);
    QFile keyFile(keyPath);
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        qWarning() << "TestHttpsServer: cannot read" << certificatePath << "or" << keyPath;
        return false;
    }
    m_certificate = QSslCertificate(&certificateFile, QSsl::Pem);
    // make-test-certs.sh makes P-256 keys.
    m_key = QSslKey(&keyFile, QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    if (m_certificate.isNull() || m_key.isNull()) {
        qWarning() << "TestHttpsServer: cannot parse" << certificatePath << "or" << keyPath;
        return false;
    }
    return true;
}

void TestHttpsServer::incomingConnection(qintptr socketDescriptor)
{
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        qWarning() << "TestHttpsServer: cannot adopt connection:" << socket->errorString();
        delete socket;
        return;
    }

    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(m_certificate);
    configuration.setPrivateKey(m_key);
    // Clients present no certificate; don't ask for one.
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket->setSslConfiguration(configuration);

    m_connections.insert(socket, Connection {});

    connect(socket, &QSslSocket::encrypted, this, [this, socket] {
        const auto it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        it->encrypted = true;
        ++m_encryptedCount;
    });
    connect(socket, &QSslSocket::readyRead, this, [this, socket] { handleReadyRead(socket); });
    // The plaintext signal fires when data enters TLS, the encrypted one when it
    // reaches the kernel; refilling on both keeps a streamed body moving without
    // queueing more than a chunk or two in the process.
    connect(socket, &QSslSocket::bytesWritten, this, [this, socket] { pump(socket); });
    connect(socket, &QSslSocket::encryptedBytesWritten, this, [this, socket] {
        pump(socket);
        resetIfFlushed(socket);
    });
    connect(socket, &QSslSocket::disconnected, this, [this, socket] { forget(socket); });
    // A failed handshake or a reset may leave the socket closed without ever having
    // emitted disconnected(); don't let it linger.
    connect(socket, &QSslSocket::errorOccurred, this, [this, socket] {
        if (socket->state() == QAbstractSocket::UnconnectedState)
            forget(socket);
    });

    socket->startServerEncryption();
}

void TestHttpsServer::handleReadyRead(QSslSocket *socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    // One request per connection: whatever follows the first head (a GET has no
    // body) is drained and ignored.
    if (it->answered) {
        socket->readAll();
        return;
    }
    it->received += socket->readAll();
    const qsizetype headEnd = it->received.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;

    it->answered = true;
    m_lastRequestHead = it->received.left(headEnd + 4);
    it->received.clear();
    ++m_requestCount;

    const Response response = m_queue.isEmpty() ? m_defaultResponse : m_queue.dequeue();
    // May close the socket and drop its entry, so `it` is not used past here.
    answer(socket, response);
    Q_EMIT requestReceived();
}

void TestHttpsServer::answer(QSslSocket *socket, const Response &response)
{
    switch (response.mode) {
    case Mode::StallBeforeHeaders:
        return;
    case Mode::CloseImmediately:
        socket->disconnectFromHost();
        return;
    case Mode::Normal:
    case Mode::StallMidBody:
    case Mode::Oversized:
    case Mode::OversizedNoLength:
    case Mode::ResetMidBody:
    case Mode::TruncatedNoLength:
    case Mode::Trickle:
        break;
    }

    const bool streamed
        = response.mode == Mode::Oversized || response.mode == Mode::OversizedNoLength;

    QList<std::pair<QByteArray, QByteArray>> headers;
    headers.emplaceBack("Content-Type", "application/json");
    if (response.mode == Mode::Oversized)
        headers.emplaceBack("Content-Length", QByteArray::number(response.streamBytes));
    else if (!streamed && response.mode != Mode::TruncatedNoLength)
        headers.emplaceBack("Content-Length", QByteArray::number(response.body.size()));
    headers.emplaceBack("Connection", "close");
    const qsizetype defaultCount = headers.size();
    for (const auto &extra : response.headers) {
        const auto defaultsEnd = headers.begin() + defaultCount;
        const auto replaced = std::find_if(headers.begin(), defaultsEnd,
            [&](const auto &header) { return sameHeaderName(header.first, extra.first); });
        if (replaced != defaultsEnd)
            *replaced = extra;
        else
            headers.append(extra);
    }

    QByteArray head
        = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
    for (const auto &[name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    socket->write(head);

    const auto it = m_connections.find(socket);
    switch (response.mode) {
    case Mode::Normal:
        socket->write(response.body);
        m_bodyBytesSent += response.body.size();
        // Waits for the buffered answer to go out before closing.
        socket->disconnectFromHost();
        break;
    case Mode::StallMidBody:
    case Mode::ResetMidBody:
    case Mode::TruncatedNoLength: {
        const QByteArray half = response.body.left(response.body.size() / 2);
        socket->write(half);
        m_bodyBytesSent += half.size();
        if (response.mode == Mode::TruncatedNoLength) {
            socket->disconnectFromHost();
        } else if (response.mode == Mode::ResetMidBody && it != m_connections.end()) {
            it->resetWhenFlushed = true;
            resetIfFlushed(socket);
        }
        break;
    }
    case Mode::Trickle:
        trickle(socket, response.body, response.trickleBytes, response.trickleIntervalMs);
        break;
    case Mode::Oversized:
    case Mode::OversizedNoLength:
        if (it == m_connections.end())
            return;
        it->streaming = true;
        it->streamRemaining = response.streamBytes;
        pump(socket);
        break;
    case Mode::StallBeforeHeaders:
    case Mode::CloseImmediately:
        break;
    }
}

void TestHttpsServer::pump(QSslSocket *socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end() || !it->streaming)
        return;
    while (it->streamRemaining > 0
        && socket->bytesToWrite() + socket->encryptedBytesToWrite() < kChunkBytes) {
        const qint64 size = std::min(kChunkBytes, it->streamRemaining);
        const qint64 written = socket->write(zeroChunk().constData(), size);
        // The client went away; disconnected() will clean up.
        if (written <= 0)
            return;
        it->streamRemaining -= written;
        m_bodyBytesSent += written;
    }
    if (it->streamRemaining == 0) {
        it->streaming = false;
        // Ends a close-delimited body; for the counted one it's just the usual close.
        socket->disconnectFromHost();
    }
}

void TestHttpsServer::trickle(QSslSocket *socket, QByteArray rest, qint64 bytes, int intervalMs)
{
    if (!m_connections.contains(socket))
        return;
    if (rest.isEmpty()) {
        socket->disconnectFromHost();
        return;
    }
    socket->write(rest.left(bytes));
    m_bodyBytesSent += std::min(bytes, qint64(rest.size()));
    rest.remove(0, bytes);
    QTimer::singleShot(
        intervalMs, this, [this, socket = QPointer(socket), rest, bytes, intervalMs] {
            if (socket)
                trickle(socket, rest, bytes, intervalMs);
        });
}

void TestHttpsServer::resetIfFlushed(QSslSocket *socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end() || !it->resetWhenFlushed || socket->bytesToWrite() > 0
        || socket->encryptedBytesToWrite() > 0)
        return;
    it->resetWhenFlushed = false;
    // A zero linger time makes close() send RST instead of FIN.
    const linger hardClose {1, 0};
    ::setsockopt(
        int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hardClose, sizeof hardClose);
    socket->abort();
    forget(socket);
}

void TestHttpsServer::forget(QSslSocket *socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    if (!it->encrypted)
        ++m_failedHandshakeCount;
    m_connections.erase(it);
    // Nothing more from this socket concerns us, including anything it says while
    // being deleted.
    disconnect(socket, nullptr, this, nullptr);
    socket->deleteLater();
}
