// Every kind of answer and fault a real HTTPS server can give one fetch, after a
// good fetch: what is logged, what the listener hears, where the retry count
// stands and which list the service keeps.
#include "feed/paper_service.h"
#include "support/fake_timers.h"
#include "support/stdout_capture.h"
#include "support/test_https_server.h"

#include <QTest>

using namespace std::chrono_literals;
using Mode = TestHttpsServer::Mode;
using Identity = TestHttpsServer::Identity;
using Response = TestHttpsServer::Response;

namespace {

// Two papers, the second with an empty date: the good list every row starts from.
const QByteArray kTwoPapers
    = R"({"papers": [{"title": "Sticky Wages in Small Harbours", "link": "https://example.org/p/1", )"
      R"("journal": "JPE Just Accepted", "tier": "1", "author": "Ana Ortiz", "date": "2026-12-01"}, )"
      R"({"title": "Lotteries and Labour Supply", "link": "https://example.org/p/2", "journal": "JDE in Press", )"
      R"("tier": "2", "author": "Kwame Mensah", "date": ""}]})";
const QByteArray kOnePaper
    = R"({"papers": [{"title": "Ferry Timetables as Contracts", "link": "https://example.org/p/3", )"
      R"("journal": "AER: Insights", "tier": "1", "author": "Lena Brandt", "date": "2026-12-05"}]})";

constexpr qint64 kCap = 1024 * 1024;
constexpr auto kIdleTimeout = 400ms;
constexpr auto kTransferTimeout = 1500ms;

// Where the fault is: in the server's answer, its certificate, or no server at all.
enum class Target { Server, ClosedPort };

} // namespace

Q_DECLARE_METATYPE(Response)
Q_DECLARE_METATYPE(Identity)
Q_DECLARE_METATYPE(Target)

class TestPaperServiceHttps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void faultMatrix_data();
    void faultMatrix();
};

void TestPaperServiceHttps::faultMatrix_data()
{
    QTest::addColumn<Response>("answer");
    QTest::addColumn<Identity>("identity");
    QTest::addColumn<Target>("target");
    // The outcome's log line (texts after "Fetch error: " are Qt's).
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("errorText"); // given to onError; empty for a success
    QTest::addColumn<int>("retryCount"); // afterwards
    QTest::addColumn<QStringList>("titles"); // papers() afterwards

    const QString load = u"Failed to load papers \u2014 retrying in 30s\u2026"_qs;
    const QString parse = u"Failed to parse papers \u2014 retrying in 30s\u2026"_qs;
    const QStringList kept {
        u"Sticky Wages in Small Harbours"_qs, u"Lotteries and Labour Supply"_qs};
    const QStringList replaced {u"Ferry Timetables as Contracts"_qs};
    const QString badStructure = u"[Quillet] Decode error: not a valid JSON document: The JSON "
                                 "document has an improper structure: missing or superfluous "
                                 "commas, braces, missing keys, etc."_qs;
    const QString idle = u"[Quillet] Fetch error: Timed out: nothing received for 400 ms"_qs;
    const auto trusted = Identity::Trusted;
    const auto server = Target::Server;

    QTest::addRow("connection refused")
        << Response::ok(kOnePaper) << trusted << Target::ClosedPort
        << u"[Quillet] Fetch error: Connection refused"_qs << load << 1 << kept;
    QTest::addRow("reset mid body")
        << Response::withMode(Mode::ResetMidBody, kOnePaper) << trusted << server
        << u"[Quillet] Fetch error: Connection closed"_qs << load << 1 << kept;
    QTest::addRow("stall before headers") << Response::withMode(Mode::StallBeforeHeaders, kOnePaper)
                                          << trusted << server << idle << load << 1 << kept;
    QTest::addRow("stall mid body") << Response::withMode(Mode::StallMidBody, kOnePaper) << trusted
                                    << server << idle << load << 1 << kept;
    QTest::addRow("untrusted certificate")
        << Response::ok(kOnePaper) << Identity::Untrusted << server
        << u"[Quillet] Fetch error: SSL handshake failed: The certificate is self-signed, and untrusted"_qs
        << load << 1 << kept;
    QTest::addRow("expired certificate")
        << Response::ok(kOnePaper) << Identity::Expired << server
        << u"[Quillet] Fetch error: SSL handshake failed: The certificate has expired"_qs << load
        << 1 << kept;
    QTest::addRow("hostname mismatch")
        << Response::ok(kOnePaper) << Identity::WrongHost << server
        << u"[Quillet] Fetch error: SSL handshake failed: The host name did not match any of the valid hosts for this certificate"_qs
        << load << 1 << kept;
    QTest::addRow("https to http redirect")
        << Response::withStatus(302, "Found").withHeader("Location", "http://127.0.0.1:{port}/")
        << trusted << server << u"[Quillet] Fetch error: Insecure redirect"_qs << load << 1 << kept;
    QTest::addRow("redirect loop")
        << Response::withStatus(302, "Found").withHeader("Location", "https://127.0.0.1:{port}/")
        << trusted << server << u"[Quillet] Fetch error: Too many redirects"_qs << load << 1
        << kept;
    QTest::addRow("404 with a feed")
        << Response::withStatus(404, "Not Found", kOnePaper) << trusted << server
        << u"[Quillet] Loaded 1 papers"_qs << QString() << 0 << replaced;
    QTest::addRow("500 with HTML")
        << Response::withStatus(500, "Internal Server Error", "<html><h1>Oops</h1></html>")
        << trusted << server << badStructure << parse << 1 << kept;
    QTest::addRow("200 empty")
        << Response::ok({}) << trusted << server
        << u"[Quillet] Decode error: not a valid JSON document: Empty: no JSON found"_qs << parse
        << 1 << kept;
    QTest::addRow("200 empty feed")
        << Response::ok(R"({"papers": []})") << trusted << server << u"[Quillet] Loaded 0 papers"_qs
        << QString() << 0 << QStringList();
    QTest::addRow("truncated body without a length")
        << Response::withMode(Mode::TruncatedNoLength, kOnePaper) << trusted << server
        << badStructure << parse << 1 << kept;
    QTest::addRow("oversized, declared length")
        << Response::oversized(64 * kCap) << trusted << server
        << u"[Quillet] Fetch error: Response larger than the 1 MiB limit"_qs << load << 1 << kept;
    QTest::addRow("oversized, no length")
        << Response::oversized(64 * kCap, false) << trusted << server
        << u"[Quillet] Fetch error: Response larger than the 1 MiB limit"_qs << load << 1 << kept;
    // A byte now and then keeps the idle timer quiet; the whole-transfer limit ends it.
    QTest::addRow("slow trickle")
        << Response::trickle(kOnePaper, 8, 100) << trusted << server
        << u"[Quillet] Fetch error: Timed out: the transfer took longer than 1500 ms"_qs << load
        << 1 << kept;
}

void TestPaperServiceHttps::faultMatrix()
{
    QFETCH(Response, answer);
    QFETCH(Identity, identity);
    QFETCH(Target, target);
    QFETCH(QString, logLine);
    QFETCH(QString, errorText);
    QFETCH(int, retryCount);
    QFETCH(QStringList, titles);

    StdoutCapture log;
    TestHttpsServer server;
    QVERIFY(server.start());
    PaperService::Config config;
    config.apiURL = server.url();
    config.extraCaCertificates = TestHttpsServer::caCertificates();
    config.idleTimeout = kIdleTimeout;
    config.transferTimeout = kTransferTimeout;
    config.maxBodyBytes = kCap;
    PaperService service(config, std::make_unique<FakeTimers>());
    QStringList errors;
    int updates = 0;
    service.onError = [&](const QString &message) { errors.append(message); };
    service.onUpdate = [&](const QList<Paper> &) { ++updates; };

    server.setDefaultResponse(Response::ok(kTwoPapers));
    service.fetch();
    QTRY_COMPARE_WITH_TIMEOUT(updates, 1, 10000);
    const qsizetype linesBefore = log.lines().size();

    for (auto &[name, value] : answer.headers)
        value.replace("{port}", QByteArray::number(server.serverPort()));
    server.setDefaultResponse(answer);
    server.setIdentity(identity);
    if (target == Target::ClosedPort)
        server.close();
    service.fetch();
    QTRY_COMPARE_WITH_TIMEOUT(errors.size() + updates, 2, 10000);

    const QStringList lines = log.lines().mid(linesBefore);
    if (errorText.isEmpty()) {
        QVERIFY(errors.isEmpty());
        QCOMPARE(lines, QStringList {logLine});
    } else {
        QCOMPARE(errors, QStringList {errorText});
        QCOMPARE(lines, (QStringList {logLine, u"[Quillet] Retry 1/4 in 30s"_qs}));
    }
    QCOMPARE(service.retryCount(), retryCount);
    QStringList titlesAfter;
    for (const Paper &paper : service.papers())
        titlesAfter.append(paper.title());
    QCOMPARE(titlesAfter, titles);

    if (answer.mode == Mode::Oversized || answer.mode == Mode::OversizedNoLength)
        QVERIFY2(server.bodyBytesSent() < 16 * kCap,
            "the oversized body was read much further than the cap");
}

QTEST_GUILESS_MAIN(TestPaperServiceHttps)
#include "test_paper_service_https.moc"
