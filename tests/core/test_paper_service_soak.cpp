// Weeks of polling in virtual time: thousands of fetches mixing good answers with
// every fault, checking that nothing accumulates and the retry count stays sane.
#include "core/fault_scenarios.h"
#include "core/paper_service.h"
#include "support/fake_timers.h"
#include "support/stdout_capture.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkReply>
#include <QTest>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

using namespace faults;

namespace {

constexpr int kCycles = 10000;
constexpr int kWarmUpCycles = 1000;
// Live heap may move by a few KiB either way; a leak of 30 bytes a fetch would not fit.
constexpr qint64 kAllowedHeapGrowthBytes = 256 * 1024;
// Resident memory also moves with how the allocator's arenas fragment.
constexpr qint64 kAllowedResidentGrowthBytes = 8 * 1024 * 1024;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasureMemory = false; // AddressSanitizer's quarantine grows by design
#else
constexpr bool kMeasureMemory = true;
#endif

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// Bytes the program holds from malloc, over all arenas.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

} // namespace

class TestPaperServiceSoak : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void thousandsOfCyclesLeaveNothingBehind();
};

void TestPaperServiceSoak::thousandsOfCyclesLeaveNothingBehind()
{
    StdoutCapture log; // keeps 10 000 outcome lines out of the test output
    TestHttpsServer server;
    QVERIFY(server.start());
    const quint16 port = server.serverPort();
    PaperService::Config config;
    config.apiURL = server.url();
    config.extraCaCertificates = TestHttpsServer::caCertificates();
    // Short limits keep the stalls cheap; they apply to every fetch alike.
    config.idleTimeout = 50ms;
    config.transferTimeout = 250ms;
    config.maxBodyBytes = 64 * 1024;
    auto fake = std::make_unique<FakeTimers>();
    FakeTimers *timers = fake.get();
    PaperService service(config, std::move(fake));

    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
    int outcomes = 0;
    int successes = 0;
    service.onUpdate = [&](const QList<Paper> &) {
        ++outcomes;
        ++successes;
        loop.quit();
    };
    service.onError = [&](const QString &) {
        ++outcomes;
        loop.quit();
    };
    // Event-driven rather than polling: a polling wait would cost more than the fetch.
    auto waitForOutcome = [&](int expected) {
        guard.start(10000);
        while (outcomes < expected)
            if (loop.exec() != 0)
                return false;
        guard.stop();
        return true;
    };
    auto liveReplies = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return service.findChildren<QNetworkReply *>().size();
    };

    const QList<Scenario> all = scenarios();
    QList<Scenario> fast;
    QList<Scenario> slow;
    for (const Scenario &scenario : all)
        (scenario.slow() ? slow : fast).append(scenario);

    server.setDefaultResponse(Response::ok(kTwoPapers));
    service.startPolling(1800s);
    QVERIFY(waitForOutcome(1));

    qint64 residentAfterWarmUp = 0;
    qint64 heapAfterWarmUp = 0;
    int firstRetryDelays = 0;
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        // A good answer every seventh fetch lets some runs of failures run out and
        // others end in a success; the slow faults come rarely but every one comes.
        const Scenario *scenario = nullptr;
        Scenario success;
        success.answer = Response::ok(cycle % 2 ? kOnePaper : kTwoPapers);
        if (cycle % 7 == 0)
            scenario = &success;
        else if (cycle % 50 == 0)
            scenario = &slow.at((cycle / 50) % slow.size());
        else
            scenario = &fast.at(cycle % fast.size());
        serve(server, *scenario);
        if (scenario->refused)
            server.close();

        const std::optional<std::chrono::milliseconds> next = timers->untilNext();
        QVERIFY(next.has_value());
        firstRetryDelays += *next == 30s;
        timers->advance(*next);
        QVERIFY2(waitForOutcome(cycle + 1), qPrintable(QStringLiteral("cycle %1").arg(cycle)));

        if (scenario->refused)
            QVERIFY(server.listen(QHostAddress::LocalHost, port));
        QVERIFY2(service.retryCount() >= 0 && service.retryCount() <= PaperService::retryLimit,
            qPrintable(QString::number(service.retryCount())));
        // The poll timer, and at most one retry.
        QVERIFY(timers->activeCount() <= 2);
        if (cycle % 1000 == 0)
            QCOMPARE(liveReplies(), 0);
        if (cycle == kWarmUpCycles) {
            residentAfterWarmUp = residentBytes();
            heapAfterWarmUp = heapInUse();
        }
    }
    QCOMPARE(outcomes, kCycles + 1);
    QVERIFY(successes > kCycles / 7);
    // Runs ran out (a fresh run begins at the poll after "All retries exhausted").
    QVERIFY(log.linesStartingWith(u"[Quillet] All retries exhausted"_qs).size() > kCycles / 20);
    QVERIFY(firstRetryDelays > kCycles / 10);

    QCOMPARE(liveReplies(), 0);
    QTRY_COMPARE(server.openConnectionCount(), 0);
    if (kMeasureMemory) {
        const qint64 heapGrowth = heapInUse() - heapAfterWarmUp;
        const qint64 residentGrowth = residentBytes() - residentAfterWarmUp;
        qInfo("after %d cycles, since cycle %d: heap in use %+lld bytes, resident %+lld bytes",
            kCycles, kWarmUpCycles, static_cast<long long>(heapGrowth),
            static_cast<long long>(residentGrowth));
        QVERIFY(heapGrowth < kAllowedHeapGrowthBytes);
        QVERIFY(residentGrowth < kAllowedResidentGrowthBytes);
    }
}

QTEST_GUILESS_MAIN(TestPaperServiceSoak)
#include "test_paper_service_soak.moc"
