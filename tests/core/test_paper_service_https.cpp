// Every kind of answer and fault a real HTTPS server can give one fetch, after a
// good fetch: what is logged, what the listener hears, where the retry count
// stands and which list the service keeps.
#include "core/fault_scenarios.h"
#include "core/paper_service.h"
#include "support/fake_timers.h"
#include "support/stdout_capture.h"

#include <QTest>

using namespace faults;

class TestPaperServiceHttps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void faultMatrix_data();
    void faultMatrix();
    void systemCasJoinOnlyWhenTheExtraOnesFail();
};

void TestPaperServiceHttps::faultMatrix_data()
{
    QTest::addColumn<int>("index");
    const QList<Scenario> all = scenarios();
    for (int i = 0; i < all.size(); ++i)
        QTest::newRow(all.at(i).name) << i;
}

void TestPaperServiceHttps::faultMatrix()
{
    QFETCH(int, index);
    const Scenario scenario = scenarios().at(index);

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

    serve(server, scenario);
    if (scenario.refused)
        server.close();
    service.fetch();
    QTRY_COMPARE_WITH_TIMEOUT(errors.size() + updates, 2, 10000);

    const QStringList lines = log.lines().mid(linesBefore);
    QStringList titles;
    for (const Paper &paper : service.papers())
        titles.append(paper.title());
    if (scenario.errorText.isEmpty()) {
        QVERIFY(errors.isEmpty());
        QCOMPARE(lines, QStringList {scenario.logLine});
        QCOMPARE(service.retryCount(), 0);
        QCOMPARE(titles, scenario.titles);
    } else {
        QCOMPARE(errors, QStringList {scenario.errorText + u" \u2014 retrying in 30s\u2026"_qs});
        QCOMPARE(lines, (QStringList {scenario.logLine, u"[Quillet] Retry 1/4 in 30s"_qs}));
        QCOMPARE(service.retryCount(), 1);
        QCOMPARE(titles,
            (QStringList {
                u"Sticky Wages in Small Harbours"_qs, u"Lotteries and Labour Supply"_qs}));
    }
    if (scenario.answer.mode == Mode::Oversized || scenario.answer.mode == Mode::OversizedNoLength)
        QVERIFY2(server.bodyBytesSent() < 16 * kCap,
            "the oversized body was read much further than the cap");
}

void TestPaperServiceHttps::systemCasJoinOnlyWhenTheExtraOnesFail()
{
    for (const Identity identity : {Identity::Trusted, Identity::Untrusted}) {
        StdoutCapture log;
        TestHttpsServer server(identity);
        QVERIFY(server.start());
        PaperService::Config config;
        config.apiURL = server.url();
        config.extraCaCertificates = TestHttpsServer::caCertificates();
        PaperService service(config, std::make_unique<FakeTimers>());
        int outcomes = 0;
        service.onError = [&](const QString &) { ++outcomes; };
        service.onUpdate = [&](const QList<Paper> &) { ++outcomes; };

        for (int fetch = 1; fetch <= 2; ++fetch) {
            service.fetch();
            QTRY_COMPARE_WITH_TIMEOUT(outcomes, fetch, 10000);
        }
        if (identity == Identity::Trusted) {
            // The extra CA vouches for the server: never a second try.
            QCOMPARE(server.failedHandshakeCount(), 0);
            QCOMPARE(server.requestCount(), 2);
        } else {
            // Refused with the extra CA alone, then with the system's added; only the
            // second refusal is the fetch's failure, and the next fetch tries once.
            QTRY_COMPARE(server.failedHandshakeCount(), 3);
            QCOMPARE(log.linesStartingWith(u"[Quillet] Fetch error: "_qs).size(), 2);
        }
    }
}

QTEST_GUILESS_MAIN(TestPaperServiceHttps)
#include "test_paper_service_https.moc"
