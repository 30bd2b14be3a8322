#include "support/test_https_server.h"

#include <QFile>
#include <QSslKey>
#include <QTimer>

#include <sys/socket.h>

static const QString kTlsDir = u"" QUILLET_TEST_DATA_DIR "/tls/"_qs;

// Qt's ~QObject drops every connection before it deletes the sockets, so none
// signals into a half-destroyed server: no destructor of our own is needed.
TestHttpsServer::TestHttpsServer(Identity identity, QObject *parent) : QSslServer(parent)
{
    setIdentity(identity);
    connect(this, &QSslServer::startedEncryptionHandshake, this, [this](QSslSocket *socket) {
        ++m_connectionCount;
        m_open.insert(socket);
        connect(socket, &QObject::destroyed, this, [this](QObject *gone) { m_open.remove(gone); });
    });
    connect(this, &QTcpServer::pendingConnectionAvailable, this, &TestHttpsServer::accept);
}

bool TestHttpsServer::start(quint16 port)
{
    if (listen(QHostAddress::LocalHost, port))
        return true;
    qWarning("TestHttpsServer: port %d: %s", port, qPrintable(errorString()));
    return false;
}

void TestHttpsServer::setIdentity(Identity identity)
{
    const QString name = u"server untrusted expired wronghost"_qs.split(u' ')[int(identity)];
    QFile certificate(kTlsDir + name + u".pem"_qs), key(kTlsDir + name + u".key"_qs);
    if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
        qFatal("TestHttpsServer: cannot read %s", qPrintable(certificate.fileName()));
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(&certificate));
    configuration.setPrivateKey(QSslKey(&key, QSsl::Ec)); // make-test-certs.sh makes P-256 keys
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    setSslConfiguration(configuration);
}

QList<QSslCertificate> TestHttpsServer::caCertificates()
{
    return QSslCertificate::fromPath(kTlsDir + u"ca.pem"_qs);
}

QByteArray TestHttpsServer::lastRequestHeader(const QByteArray &name) const
{
    for (const QByteArray &line : m_lastRequestHead.split('\n').mid(1)) // after the request line
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    return {};
}

void TestHttpsServer::accept()
{
    while (auto *socket = static_cast<QSslSocket *>(nextPendingConnection())) {
        const auto read = [this, socket, head = std::make_shared<QByteArray>()] {
            if ((*head += socket->readAll()).indexOf("\r\n\r\n") < 0)
                return;
            // One request per connection: what follows its head goes unread.
            disconnect(socket, &QSslSocket::readyRead, this, nullptr);
            m_lastRequestHead = head->left(head->indexOf("\r\n\r\n") + 4);
            ++m_requestCount;
            answer(socket, m_queue.isEmpty() ? m_default : m_queue.dequeue());
        };
        connect(socket, &QSslSocket::readyRead, this, read);
        connect(socket, &QSslSocket::disconnected, this, [this, socket] { forget(socket); });
        connect(socket, &QSslSocket::errorOccurred, this, [this, socket] {
            if (socket->state() == QAbstractSocket::UnconnectedState) // a reset, say
                forget(socket);
        });
        read();
    }
}

void TestHttpsServer::answer(QSslSocket *socket, const Response &response)
{
    const Mode mode = response.mode;
    if (mode == Mode::StallBeforeHeaders)
        return;
    if (mode == Mode::CloseImmediately)
        return socket->disconnectFromHost();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason
        + "\r\nContent-Type: application/json\r\nConnection: close\r\n";
    if (mode != Mode::TruncatedNoLength && mode != Mode::OversizedNoLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    socket->write(head + "\r\n");
    const bool half = mode == Mode::StallMidBody || mode == Mode::ResetMidBody
        || mode == Mode::TruncatedNoLength;
    const QByteArray body = half ? response.body.left(response.body.size() / 2) : response.body;
    if (mode == Mode::Trickle)
        return trickle(socket, body, response.trickleBytes, response.trickleIntervalMs);
    socket->write(body);
    if (mode == Mode::ResetMidBody) {
        connect(socket, &QSslSocket::encryptedBytesWritten, this, [this, socket] {
            if (socket->bytesToWrite() > 0 || socket->encryptedBytesToWrite() > 0)
                return;
            // A zero linger time makes close() send RST instead of FIN.
            const linger hardClose {1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hardClose,
                sizeof hardClose);
            socket->abort();
            forget(socket);
        });
    } else if (mode != Mode::StallMidBody) {
        socket->disconnectFromHost(); // once what is buffered has gone out
    }
}

void TestHttpsServer::trickle(QSslSocket *socket, QByteArray rest, int bytes, int intervalMs)
{
    socket->write(rest.left(bytes));
    rest.remove(0, bytes);
    if (rest.isEmpty())
        return socket->disconnectFromHost();
    QTimer::singleShot(intervalMs, socket, [=, this] { trickle(socket, rest, bytes, intervalMs); });
}

void TestHttpsServer::forget(QSslSocket *socket)
{
    m_open.remove(socket);
    socket->disconnect(this);
    socket->deleteLater();
}
