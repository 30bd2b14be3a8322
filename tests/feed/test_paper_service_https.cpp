// What one fetch makes of each kind of answer from a real HTTPS server.
#include "feed/paper_service.h"
#include "support/fake_timers.h"
#include "support/stdout_capture.h"
#include "support/test_https_server.h"

#include <QTest>

using namespace std::chrono_literals;
using Mode = TestHttpsServer::Mode;
using Identity = TestHttpsServer::Identity;

namespace {

// Two papers, the second with an empty date.
const QByteArray kTwoPapers
    = R"({"papers": [{"title": "Sticky Wages in Small Harbours", "link": "https://example.org/p/1", )"
      R"("journal": "JPE Just Accepted", "tier": "1", "author": "Ana Ortiz", "date": "2026-12-01"}, )"
      R"({"title": "Lotteries and Labour Supply", "link": "https://example.org/p/2", "journal": "JDE in Press", )"
      R"("tier": "2", "author": "Kwame Mensah", "date": ""}]})";

TestHttpsServer::Response response(
    int status, const QByteArray &body, Mode mode = Mode::Normal, qint64 streamBytes = 0)
{
    TestHttpsServer::Response r;
    r.status = status;
    r.reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Internal Server Error";
    r.body = body;
    r.mode = mode;
    r.streamBytes = streamBytes;
    return r;
}

constexpr qint64 kCap = 1024 * 1024;

} // namespace

Q_DECLARE_METATYPE(TestHttpsServer::Response)

class TestPaperServiceHttps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fetchOutcome_data();
    void fetchOutcome();
    void refusedConnectionIsAFetchError();
};

void TestPaperServiceHttps::fetchOutcome_data()
{
    QTest::addColumn<TestHttpsServer::Response>("answer");
    QTest::addColumn<bool>("untrusted");
    QTest::addColumn<QString>("logLine"); // the outcome's log line, as a prefix
    QTest::addColumn<QString>("errorText"); // given to onError; empty for a success

    const QString retry = QStringLiteral(" \u2014 retrying in 30s\u2026");
    const QString load = u"Failed to load papers"_qs + retry;
    const QString parse = u"Failed to parse papers"_qs + retry;

    QTest::addRow("200 with a feed")
        << response(200, kTwoPapers) << false << u"[Quillet] Loaded 2 papers"_qs << QString();
    QTest::addRow("404 with a feed")
        << response(404, kTwoPapers) << false << u"[Quillet] Loaded 2 papers"_qs << QString();
    QTest::addRow("200 with an empty feed") << response(200, "{\"papers\": []}") << false
                                            << u"[Quillet] Loaded 0 papers"_qs << QString();
    QTest::addRow("500 with HTML") << response(500, "<html><h1>Internal error</h1></html>") << false
                                   << u"[Quillet] Decode error: "_qs << parse;
    QTest::addRow("200 with an empty body")
        << response(200, QByteArray()) << false
        << u"[Quillet] Decode error: not a valid JSON document"_qs << parse;
    QTest::addRow("stall before headers")
        << response(200, kTwoPapers, Mode::StallBeforeHeaders) << false
        << u"[Quillet] Fetch error: Timed out: nothing received for 400 ms"_qs << load;
    QTest::addRow("stall mid body")
        << response(200, kTwoPapers, Mode::StallMidBody) << false
        << u"[Quillet] Fetch error: Timed out: nothing received for 400 ms"_qs << load;
    QTest::addRow("hang up without an answer") << response(200, {}, Mode::CloseImmediately) << false
                                               << u"[Quillet] Fetch error: "_qs << load;
    QTest::addRow("untrusted certificate")
        << response(200, kTwoPapers) << true << u"[Quillet] Fetch error: "_qs << load;
    QTest::addRow("oversized, declared length")
        << response(200, {}, Mode::Oversized, 64 * kCap) << false
        << u"[Quillet] Fetch error: Response larger than the 1 MiB limit"_qs << load;
    QTest::addRow("oversized, no length")
        << response(200, {}, Mode::OversizedNoLength, 64 * kCap) << false
        << u"[Quillet] Fetch error: Response larger than the 1 MiB limit"_qs << load;
}

void TestPaperServiceHttps::fetchOutcome()
{
    QFETCH(TestHttpsServer::Response, answer);
    QFETCH(bool, untrusted);
    QFETCH(QString, logLine);
    QFETCH(QString, errorText);

    StdoutCapture log;
    TestHttpsServer server(untrusted ? Identity::Untrusted : Identity::Trusted);
    QVERIFY(server.start());
    server.setDefaultResponse(answer);
    PaperService::Config config;
    config.apiURL = server.url();
    config.extraCaCertificates = TestHttpsServer::caCertificates();
    config.idleTimeout = 400ms;
    config.maxBodyBytes = kCap;
    PaperService service(config, std::make_unique<FakeTimers>());
    QStringList errors;
    QList<QList<Paper>> updates;
    service.onError = [&](const QString &message) { errors.append(message); };
    service.onUpdate = [&](const QList<Paper> &papers) { updates.append(papers); };

    service.fetch();
    QTRY_COMPARE_WITH_TIMEOUT(errors.size() + updates.size(), 1, 10000);

    const QStringList outcome = log.linesStartingWith(logLine);
    QVERIFY2(outcome.size() == 1, qPrintable(log.lines().join(u'\n')));
    QVERIFY2(outcome.first().size() > logLine.size() || !logLine.endsWith(u' '),
        "the failure's description is missing");
    if (errorText.isEmpty()) {
        QCOMPARE(service.retryCount(), 0);
        QCOMPARE(service.papers(), updates.first());
        if (!updates.first().isEmpty())
            QCOMPARE(updates.first().at(1).journal(), u"JDE in Press"_qs);
    } else {
        QCOMPARE(errors.first(), errorText);
        QCOMPARE(service.retryCount(), 1);
        QVERIFY(service.papers().isEmpty());
        QVERIFY(log.lines().contains(u"[Quillet] Retry 1/4 in 30s"_qs));
    }
    if (answer.mode == Mode::Oversized || answer.mode == Mode::OversizedNoLength)
        QVERIFY2(server.bodyBytesSent() < 16 * kCap,
            "the oversized body was read much further than the cap");
}

void TestPaperServiceHttps::refusedConnectionIsAFetchError()
{
    StdoutCapture log;
    QUrl closedPort;
    {
        TestHttpsServer server;
        QVERIFY(server.start());
        closedPort = server.url();
    }
    PaperService::Config config;
    config.apiURL = closedPort;
    PaperService service(config, std::make_unique<FakeTimers>());
    QStringList errors;
    service.onError = [&](const QString &message) { errors.append(message); };
    service.fetch();
    QTRY_COMPARE(errors.size(), 1);
    QCOMPARE(errors.first(), QStringLiteral("Failed to load papers \u2014 retrying in 30s\u2026"));
    QCOMPARE(log.linesStartingWith(u"[Quillet] Fetch error: Connection refused"_qs).size(), 1);
}

QTEST_GUILESS_MAIN(TestPaperServiceHttps)
#include "test_paper_service_https.moc"
