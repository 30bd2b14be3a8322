// The retry schedule and how polls, refreshes and retries meet, in virtual time
// against a loopback HTTPS server.
#include "core/paper_service.h"
#include "support/fake_timers.h"
#include "support/stdout_capture.h"
#include "support/test_https_server.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

constexpr auto kPollInterval = 1800s;
const QByteArray kOnePaper
    = R"({"papers": [{"title": "T", "link": "L", "journal": "J", "tier": "1", "author": "A", "date": "D"}]})";

TestHttpsServer::Response answer(int status, const QByteArray &body)
{
    TestHttpsServer::Response response;
    response.status = status;
    response.body = body;
    return response;
}

// A failure that costs exactly one request (Qt re-sends a GET once when the
// server hangs up without answering, which would blur request counts).
TestHttpsServer::Response serverError()
{
    return answer(500, "<html><body>Service unavailable</body></html>");
}

// One service against one server, with its callbacks recorded.
struct Harness
{
    TestHttpsServer server;
    FakeTimers *timers = nullptr;
    std::unique_ptr<PaperService> service;
    QStringList errors;
    QList<QList<Paper>> updates;

    Harness()
    {
        if (!server.start())
            qFatal("cannot start the test server");
        auto fake = std::make_unique<FakeTimers>();
        timers = fake.get();
        PaperService::Config config;
        config.apiURL = server.url();
        config.extraCaCertificates = TestHttpsServer::caCertificates();
        service = std::make_unique<PaperService>(config, std::move(fake));
        service->onError = [this](const QString &message) { errors.append(message); };
        service->onUpdate = [this](const QList<Paper> &papers) { updates.append(papers); };
    }
    int outcomes() const { return int(errors.size() + updates.size()); }
};

QString retrying(const char *message, int seconds)
{
    return QString::fromUtf8(message)
        + QStringLiteral(" \u2014 retrying in %1s\u2026").arg(seconds);
}

} // namespace

class TestPaperService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runOfFailuresFollowsTheSchedule();
    void successResetsTheRun();
    void refreshWhileRetryPendingKeepsTheCount();
    void pollFetchContinuesTheRun();
    void callbacksComeAfterFetchReturns();
};

void TestPaperService::runOfFailuresFollowsTheSchedule()
{
    StdoutCapture log;
    Harness h;
    h.server.setDefaultResponse(serverError());
    h.service->startPolling(kPollInterval);

    const int delays[] = {30, 60, 120, 240};
    for (int retry = 1; retry <= 4; ++retry) {
        QTRY_COMPARE(h.errors.size(), retry);
        QCOMPARE(h.errors.last(), retrying("Failed to parse papers", delays[retry - 1]));
        QCOMPARE(h.service->retryCount(), retry);
        QCOMPARE(h.timers->untilNext(),
            std::chrono::milliseconds(std::chrono::seconds(delays[retry - 1])));
        // Nothing fires a moment early.
        h.timers->advance(std::chrono::seconds(delays[retry - 1]) - 1ms);
        QCOMPARE(h.server.requestCount(), retry);
        h.timers->advance(1ms);
        QTRY_COMPARE(h.server.requestCount(), retry + 1);
    }
    QTRY_COMPARE(h.errors.size(), 5);
    QCOMPARE(
        h.errors.last(), QStringLiteral("Failed to parse papers \u2014 check your connection"));
    QCOMPARE(h.service->retryCount(), 0);
    QVERIFY(!h.service->hasPendingRetry());

    // The next poll comes 1800 s after the start (450 s of retry waits already
    // passed) and starts a new run.
    h.timers->advance(kPollInterval - 450s - 1ms);
    QCOMPARE(h.server.requestCount(), 5);
    h.timers->advance(1ms);
    QTRY_COMPARE(h.errors.size(), 6);
    QCOMPARE(h.errors.last(), retrying("Failed to parse papers", 30));

    const QStringList steps = log.linesStartingWith(QStringLiteral("[Quillet] Retry "))
        + log.linesStartingWith(QStringLiteral("[Quillet] All retries"));
    QCOMPARE(steps,
        (QStringList {u"[Quillet] Retry 1/4 in 30s"_qs, u"[Quillet] Retry 2/4 in 60s"_qs,
            u"[Quillet] Retry 3/4 in 120s"_qs, u"[Quillet] Retry 4/4 in 240s"_qs,
            u"[Quillet] Retry 1/4 in 30s"_qs, u"[Quillet] All retries exhausted"_qs}));
    // Each outcome line comes before its failure step's line.
    const QStringList lines = log.lines();
    QVERIFY(lines.indexOf(QRegularExpression(u"^\\[Quillet\\] Decode error: .+"_qs))
        < lines.indexOf(u"[Quillet] Retry 1/4 in 30s"_qs));
    QCOMPARE(log.linesStartingWith(u"[Quillet] Decode error: "_qs).size(), 6);
}

void TestPaperService::successResetsTheRun()
{
    StdoutCapture log;
    Harness h;
    h.server.enqueue(answer(200, "{\"papers\": {}}"));
    h.server.enqueue(serverError());
    h.server.enqueue(answer(200, kOnePaper));
    h.server.setDefaultResponse(serverError());

    h.service->startPolling(kPollInterval);
    QTRY_COMPARE(h.errors.size(), 1);
    h.timers->advance(30s);
    QTRY_COMPARE(h.errors.size(), 2);
    QCOMPARE(h.errors.last(), retrying("Failed to parse papers", 60));
    h.timers->advance(60s);
    QTRY_COMPARE(h.updates.size(), 1);
    QCOMPARE(h.service->retryCount(), 0);
    QVERIFY(!h.service->hasPendingRetry());
    QCOMPARE(h.service->papers().size(), 1);
    QVERIFY(log.lines().contains(u"[Quillet] Loaded 1 papers"_qs));

    h.service->fetch();
    QTRY_COMPARE(h.errors.size(), 3);
    QCOMPARE(h.errors.last(), retrying("Failed to parse papers", 30));
    // A failure keeps the last good list.
    QCOMPARE(h.service->papers().size(), 1);
}

void TestPaperService::refreshWhileRetryPendingKeepsTheCount()
{
    Harness h;
    h.server.setDefaultResponse(serverError());
    h.service->startPolling(kPollInterval);
    QTRY_COMPARE(h.errors.size(), 1);

    h.service->fetch(); // the refresh command
    QVERIFY(!h.service->hasPendingRetry());
    QCOMPARE(h.service->retryCount(), 1);
    QTRY_COMPARE(h.errors.size(), 2);
    QCOMPARE(h.errors.last(), retrying("Failed to parse papers", 60));

    // The cancelled 30 s retry never fires; the new one does at 60 s.
    h.timers->advance(59s);
    QCOMPARE(h.server.requestCount(), 2);
    h.timers->advance(1s);
    QTRY_COMPARE(h.server.requestCount(), 3);
}

void TestPaperService::pollFetchContinuesTheRun()
{
    StdoutCapture log;
    Harness h;
    h.server.setDefaultResponse(serverError());
    h.service->startPolling(60s); // a short poll so it lands while a retry is pending
    QTRY_COMPARE(h.errors.size(), 1); // retry 1 in 30 s
    h.timers->advance(30s);
    QTRY_COMPARE(h.errors.size(), 2); // retry 2 in 60 s, due at 90 s
    h.timers->advance(30s); // the poll at 60 s cancels it
    QTRY_COMPARE(h.errors.size(), 3);
    QCOMPARE(h.errors.last(), retrying("Failed to parse papers", 120));
    QVERIFY(log.lines().contains(u"[Quillet] Retry 3/4 in 120s"_qs));
    h.timers->advance(30s); // 90 s: the cancelled retry stays silent
    QCOMPARE(h.server.requestCount(), 3);
}

void TestPaperService::callbacksComeAfterFetchReturns()
{
    Harness h;
    bool insideFetch = false;
    int reportedInside = 0;
    h.service->onError = [&](const QString &) { reportedInside += insideFetch; };
    h.service->onUpdate = [&](const QList<Paper> &) { reportedInside += insideFetch; };

    h.server.enqueue(answer(200, kOnePaper));
    h.server.enqueue(serverError());
    for (int i = 0; i < 2; ++i) {
        insideFetch = true;
        h.service->fetch();
        insideFetch = false;
        QTRY_COMPARE(h.server.requestCount(), i + 1);
    }
    QTRY_COMPARE(h.service->retryCount(), 1);
    QCOMPARE(reportedInside, 0);
    QCOMPARE(h.service->papers().size(), 1);
}

QTEST_GUILESS_MAIN(TestPaperService)
#include "test_paper_service.moc"
