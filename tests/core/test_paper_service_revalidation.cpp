// The service revalidates the last good feed: it sends back the validators that
// came with it, and a 304 is a success with the papers it already holds.
#include "support/service_harness.h"

#include <QTest>

using namespace faults;

class TestPaperServiceRevalidation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void notModifiedKeepsThePapers_data()
    {
        QTest::addColumn<QByteArray>("etag");
        QTest::addColumn<QByteArray>("date");
        QTest::newRow("both") << QByteArray("\"7\"") << QByteArray("Mon, 07 Dec 2026 10:00:00 GMT");
        QTest::newRow("ETag only") << QByteArray("W/\"v1\"") << QByteArray();
        QTest::newRow("date only") << QByteArray() << QByteArray("Sun, 06 Dec 2026 09:30:00 GMT");
        // Nothing to revalidate against: a 304 is then an answer with no feed in it.
        QTest::newRow("no validators") << QByteArray() << QByteArray();
    }
    void notModifiedKeepsThePapers()
    {
        QFETCH(QByteArray, etag);
        QFETCH(QByteArray, date);
        Harness h;
        Response first = Response::ok(kTwoPapers);
        for (const auto &[name, value] : {std::pair {"ETag", etag}, {"Last-Modified", date}})
            if (!value.isEmpty())
                first = first.withHeader(name, value);
        h.server.enqueue(first);
        h.server.enqueue(Response::withStatus(304, "Not Modified"));
        h.service->fetch();
        QTRY_COMPARE_WITH_TIMEOUT(h.updates, 1, 10000);
        QVERIFY(h.server.lastRequestHeader("If-None-Match").isNull());
        h.service->fetch();
        QTRY_COMPARE_WITH_TIMEOUT(h.outcomes(), 2, 10000);
        QCOMPARE(h.server.lastRequestHeader("If-None-Match"), etag);
        QCOMPARE(h.server.lastRequestHeader("If-Modified-Since"), date);
        // A 304 answers a revalidation only: then it updates, else it fails.
        QCOMPARE(h.updates, etag.isEmpty() && date.isEmpty() ? 1 : 2);
        QCOMPARE(h.service->papers().size(), 2);
    }

    // A refresh while a slow poll is in flight: the poll's older list, landing
    // last, must replace neither the papers nor the validators.
    void onlyTheLatestFetchAnswers()
    {
        Harness h;
        h.server.enqueue(Response::trickle(kTwoPapers, 70, 150).withHeader("ETag", "\"old\""));
        h.server.enqueue(Response::ok(kOnePaper).withHeader("ETag", "\"new\""));
        h.server.enqueue(Response::withStatus(304, "Not Modified"));
        h.service->fetch();
        QTRY_COMPARE(h.server.requestCount(), 1);
        h.service->fetch();
        QTRY_VERIFY_WITH_TIMEOUT(h.updates == 1 && h.server.openConnectionCount() == 0, 10000);
        h.service->fetch();
        QTRY_COMPARE_WITH_TIMEOUT(h.outcomes(), 2, 10000);
        QCOMPARE(h.server.lastRequestHeader("If-None-Match"), QByteArray("\"new\""));
        QCOMPARE(h.updates, 2);
        QCOMPARE(h.service->papers().size(), 1);
    }
};

QTEST_MAIN(TestPaperServiceRevalidation)
#include "test_paper_service_revalidation.moc"
