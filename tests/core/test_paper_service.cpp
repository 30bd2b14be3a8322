// The retry schedule and how polls, refreshes and retries meet, in virtual time,
// and every answer and fault a real HTTPS server can give one fetch.
#include "core/paper_service.h"
#include "support/fake_timers.h"
#include "support/service_harness.h"
#include "support/stdout_capture.h"

#include <QNetworkReply>
#include <QTest>

using namespace faults;
using namespace std::chrono_literals;

namespace {

// Costs exactly one request: Qt re-sends a GET once when the server hangs up
// without answering, which would blur request counts.
const Response kServerError = Response::withStatus(500, "Internal Server Error", "<html></html>");

QString retrying(int seconds, const QString &message = u"Failed to parse papers"_qs)
{
    return message + u" \u2014 retrying in %1s\u2026"_qs.arg(seconds);
}

} // namespace

class TestPaperService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runOfFailuresFollowsTheSchedule()
    {
        StdoutCapture log;
        Harness h;
        h.server.setDefaultResponse(kServerError);
        h.service->startPolling(1800s);
        int retry = 0;
        for (const int delay : {30, 60, 120, 240}) {
            ++retry;
            QTRY_COMPARE(h.errors.size(), retry);
            QCOMPARE(h.errors.last(), retrying(delay));
            QCOMPARE(h.service->retryCount(), retry);
            h.timers->advance(std::chrono::seconds(delay) - 1ms); // nothing fires early
            QCOMPARE(h.server.requestCount(), retry);
            h.timers->advance(1ms);
            QTRY_COMPARE(h.server.requestCount(), retry + 1);
        }
        QTRY_COMPARE(h.errors.size(), 5);
        QCOMPARE(h.errors.last(), u"Failed to parse papers \u2014 check your connection"_qs);
        QCOMPARE(h.service->retryCount(), 0);
        QVERIFY(!h.service->hasPendingRetry());
        // The next poll, 1800 s after the start (450 s of waits passed), starts a new run.
        h.timers->advance(1800s - 450s);
        QTRY_COMPARE(h.errors.size(), 6);
        QCOMPARE(h.errors.last(), retrying(30));
        const QStringList lines = log.linesStartingWith(u"[Quillet] "_qs);
        QCOMPARE(lines.size(), 12); // each outcome's line, then the step it leads to
        const QStringList steps {u"Retry 1/4 in 30s"_qs, u"Retry 2/4 in 60s"_qs,
            u"Retry 3/4 in 120s"_qs, u"Retry 4/4 in 240s"_qs, u"All retries exhausted"_qs,
            u"Retry 1/4 in 30s"_qs};
        for (int i = 0; i < 6; ++i) {
            QVERIFY2(
                lines[2 * i].startsWith(u"[Quillet] Decode error: "_qs), qPrintable(lines[2 * i]));
            QCOMPARE(lines[2 * i + 1], u"[Quillet] "_qs + steps[i]);
        }
    }

    // A refresh or a poll during a run cancels the pending retry and goes on with
    // the run; only a success ends it.
    void refreshPollAndSuccessDuringARun()
    {
        StdoutCapture log;
        Harness h;
        h.server.setDefaultResponse(kServerError);
        h.service->startPolling(100s);
        QTRY_COMPARE(h.errors.size(), 1); // retry 1 due at 30 s
        h.service->fetch(); // the refresh command
        QVERIFY(!h.service->hasPendingRetry());
        QTRY_COMPARE(h.errors.size(), 2);
        QCOMPARE(h.server.requestCount(), 2);
        QCOMPARE(h.errors.last(), retrying(60)); // due at 60 s
        h.timers->advance(59s);
        QCOMPARE(h.server.requestCount(), 2);
        h.timers->advance(1s);
        QTRY_COMPARE(h.errors.size(), 3);
        QCOMPARE(h.errors.last(), retrying(120)); // due at 180 s
        h.timers->advance(40s); // the poll at 100 s
        QTRY_COMPARE(h.errors.size(), 4);
        QCOMPARE(h.errors.last(), retrying(240));
        h.timers->advance(99s);
        QCOMPARE(h.server.requestCount(), 4);
        h.server.enqueue(Response::ok(kOnePaper));
        h.timers->advance(1s); // the poll at 200 s
        QTRY_COMPARE(h.updates, 1);
        QCOMPARE(h.service->retryCount(), 0);
        QVERIFY(!h.service->hasPendingRetry());
        h.service->fetch();
        QTRY_COMPARE(h.errors.size(), 5);
        QCOMPARE(h.errors.last(), retrying(30));
    }

    void systemCasJoinOnlyWhenTheExtraOnesFail_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::newRow("extra CA vouches") << true;
        QTest::newRow("no CA vouches") << false;
    }
    void systemCasJoinOnlyWhenTheExtraOnesFail()
    {
        QFETCH(bool, trusted);
        StdoutCapture log;
        Harness h;
        h.server.setIdentity(trusted ? Identity::Trusted : Identity::Untrusted);
        for (int fetch = 1; fetch <= 2; ++fetch) {
            h.service->fetch();
            QTRY_COMPARE(h.outcomes(), fetch);
        }
        // Untrusted: the extra CA alone, then with the system's, which stay for the next fetch.
        QTRY_COMPARE(h.server.connectionCount(), trusted ? 2 : 3);
        QCOMPARE(h.updates, trusted ? 2 : 0);
    }

    void faultMatrix_data()
    {
        QTest::addColumn<int>("row");
        int row = 0;
        for (const Scenario &scenario : scenarios())
            QTest::newRow(scenario.name) << row++;
    }
    // After a good fetch: what one fetch logs, reports and keeps, and that it
    // leaves nothing behind.
    void faultMatrix()
    {
        QFETCH(int, row);
        const Scenario scenario = scenarios().at(row);
        StdoutCapture log;
        Harness h;
        h.server.setDefaultResponse(Response::ok(kTwoPapers));
        h.service->startPolling(1800s);
        QCOMPARE(h.outcomes(), 0); // never from inside the call
        QTRY_COMPARE(h.updates, 1);
        const qsizetype linesBefore = log.lines().size();
        serve(h.server, scenario);
        if (scenario.refused)
            h.server.close();
        h.service->fetch();
        QCOMPARE(h.outcomes(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(h.outcomes(), 2, 10000);

        QTRY_COMPARE(h.server.openConnectionCount(), 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(h.service->findChildren<QNetworkReply *>().size(), 0);
        QCOMPARE(h.outcomes(), 2); // one outcome for the fetch
        const bool failed = !scenario.error.isEmpty();
        QCOMPARE(h.timers->activeCount(), failed ? 2 : 1); // the poll, and a retry
        QCOMPARE(h.service->retryCount(), failed ? 1 : 0);
        QStringList titles;
        for (const Paper &paper : h.service->papers())
            titles.append(paper.title());
        if (failed) {
            QCOMPARE(h.errors, QStringList {retrying(30, scenario.error)});
            QCOMPARE(log.lines().mid(linesBefore),
                (QStringList {scenario.logLine, u"[Quillet] Retry 1/4 in 30s"_qs}));
            QCOMPARE(titles,
                (QStringList {
                    u"Sticky Wages in Small Harbours"_qs, u"Lotteries and Labour Supply"_qs}));
        } else {
            QCOMPARE(log.lines().mid(linesBefore), QStringList {scenario.logLine});
            QCOMPARE(titles, scenario.titles);
        }
    }
};

QTEST_GUILESS_MAIN(TestPaperService)
#include "test_paper_service.moc"
