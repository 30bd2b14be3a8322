// Weeks of polling in virtual time: thousands of fetches against a loopback HTTPS
// server, mixing good answers with every fault of the unit tests' fault matrix.
// Prints the rate and how far the heap and resident memory grew after a warm-up,
// against the targets (a leak of 30 bytes a fetch would not fit); exits non-zero
// if a fetch has other than one outcome, or anything piles up.
//
// Usage: bench_fetch_soak [--cycles N]   (default 10000)
#include "core/paper_service.h"
#include "support/fake_timers.h"
#include "support/fault_scenarios.h"
#include "support/stdout_capture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkReply>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

using namespace faults;
using namespace std::chrono_literals;

namespace {

constexpr qint64 kHeapTargetBytes = 256 * 1024;
constexpr qint64 kResidentTargetBytes = 8 * 1024 * 1024;

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// Bytes the program holds from malloc, over all arenas.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

int fail(const char *what, int cycle)
{
    std::fprintf(stderr, "bench_fetch_soak: %s (cycle %d)\n", what, cycle);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int cycles = 10000;
    if (argc == 3 && std::strcmp(argv[1], "--cycles") == 0)
        cycles = std::max(20, std::atoi(argv[2]));
    const int warmUp = cycles / 10;

    TestHttpsServer server;
    if (!server.start())
        return 1;
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
    QObject::connect(&guard, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
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

    QList<Scenario> fast, slow;
    for (Scenario scenario : scenarios()) {
        // Oversized by the same factor as in the tests, against this smaller cap.
        if (scenario.answer.mode == Mode::Oversized
            || scenario.answer.mode == Mode::OversizedNoLength)
            scenario.answer.body.resize(4 * config.maxBodyBytes);
        const Mode mode = scenario.answer.mode; // these cost a timeout's worth of real time
        const bool isSlow = mode == Mode::StallBeforeHeaders || mode == Mode::StallMidBody
            || mode == Mode::Trickle;
        (isSlow ? slow : fast).append(scenario);
    }

    std::optional<StdoutCapture> log(std::in_place); // keeps the outcome lines out of the report
    server.setDefaultResponse(Response::ok(kTwoPapers));
    service.startPolling(1800s);
    if (!waitForOutcome(1))
        return fail("no outcome for the first fetch", 0);

    QElapsedTimer clock;
    clock.start();
    qint64 residentAfterWarmUp = 0, heapAfterWarmUp = 0;
    Scenario success {"success", Response::ok(kOnePaper), {}, {}};
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        // A good answer every seventh fetch lets some runs of failures run out and
        // others end in a success; the slow faults come rarely but every one comes.
        const Scenario &scenario = cycle % 7 == 0 ? success
            : cycle % 50 == 0                     ? slow.at((cycle / 50) % slow.size())
                                                  : fast.at(cycle % fast.size());
        serve(server, scenario);
        if (scenario.refused)
            server.close();
        timers->advance(timers->untilNext().value_or(0ms));
        if (!waitForOutcome(cycle + 1))
            return fail("no outcome", cycle);
        if (scenario.refused && !server.listen(QHostAddress::LocalHost, port))
            return fail("cannot listen again", cycle);
        if (service.retryCount() < 0 || service.retryCount() > PaperService::retryLimit)
            return fail("retry count out of range", cycle);
        if (timers->activeCount() > 2) // the poll, and at most one retry
            return fail("timers pile up", cycle);
        if (cycle % 1000 == 0 && liveReplies() != 0)
            return fail("replies pile up", cycle);
        if (cycle == warmUp) {
            residentAfterWarmUp = residentBytes();
            heapAfterWarmUp = heapInUse();
        }
    }
    const double seconds = clock.elapsed() / 1000.0;
    QCoreApplication::processEvents();
    if (outcomes != cycles + 1 || liveReplies() != 0)
        return fail("outcomes or replies left over", cycles);
    for (int i = 0; i < 100 && server.openConnectionCount() > 0; ++i)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (server.openConnectionCount() != 0)
        return fail("connections left open", cycles);

    const qint64 heapGrowth = heapInUse() - heapAfterWarmUp;
    const qint64 residentGrowth = residentBytes() - residentAfterWarmUp;
    const int exhausted = int(log->linesStartingWith(u"[Quillet] All retries exhausted"_qs).size());
    log.reset();
    std::printf("fetches: %d in %.1f s (%.0f/s), %d successes, %d runs of failures ran out\n"
                "heap in use since cycle %d: %+lld bytes (target < %lld) %s\n"
                "resident since cycle %d: %+lld bytes (target < %lld) %s\n",
        cycles, seconds, cycles / seconds, successes, exhausted, warmUp,
        static_cast<long long>(heapGrowth), static_cast<long long>(kHeapTargetBytes),
        heapGrowth < kHeapTargetBytes ? "met" : "MISSED", warmUp,
        static_cast<long long>(residentGrowth), static_cast<long long>(kResidentTargetBytes),
        residentGrowth < kResidentTargetBytes ? "met" : "MISSED");
    return 0;
}
