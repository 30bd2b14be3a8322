// The service revalidates the last good feed: it sends back the validators that
// came with it, and a 304 is a success with the papers it already holds.
#include "core/paper_service.h"
#include "support/fake_timers.h"
#include "support/fault_scenarios.h"
#include "support/stdout_capture.h"

#include <QTest>

using namespace faults;

class TestPaperServiceRevalidation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void notModifiedKeepsThePapers_data();
    void notModifiedKeepsThePapers();
};

void TestPaperServiceRevalidation::notModifiedKeepsThePapers_data()
{
    QTest::addColumn<QByteArray>("etag");
    QTest::addColumn<QByteArray>("lastModified");
    const QByteArray date = "Mon, 07 Dec 2026 10:00:00 GMT";
    QTest::newRow("ETag and Last-Modified") << QByteArray("\"v1\"") << date;
    QTest::newRow("ETag only") << QByteArray("W/\"v1\"") << QByteArray();
    QTest::newRow("Last-Modified only") << QByteArray() << date;
    // Nothing to revalidate against: a 304 is then an answer with no feed in it.
    QTest::newRow("no validators") << QByteArray() << QByteArray();
}

void TestPaperServiceRevalidation::notModifiedKeepsThePapers()
{
    QFETCH(QByteArray, etag);
    QFETCH(QByteArray, lastModified);
    const bool revalidates = !etag.isEmpty() || !lastModified.isEmpty();

    StdoutCapture log;
    TestHttpsServer server;
    QVERIFY(server.start());
    PaperService::Config config;
    config.apiURL = server.url();
    config.extraCaCertificates = TestHttpsServer::caCertificates();
    PaperService service(config, std::make_unique<FakeTimers>());
    int updates = 0;
    QStringList errors;
    service.onUpdate = [&](const QList<Paper> &) { ++updates; };
    service.onError = [&](const QString &message) { errors.append(message); };

    Response first = Response::ok(kTwoPapers);
    if (!etag.isEmpty())
        first = first.withHeader("ETag", etag);
    if (!lastModified.isEmpty())
        first = first.withHeader("Last-Modified", lastModified);
    server.enqueue(first);
    service.fetch();
    QTRY_COMPARE_WITH_TIMEOUT(updates, 1, 10000);
    QVERIFY(server.lastRequestHeader("If-None-Match").isNull());

    server.enqueue(Response::withStatus(304, "Not Modified"));
    service.fetch();
    QTRY_COMPARE_WITH_TIMEOUT(updates + errors.size(), 2, 10000);
    QCOMPARE(server.lastRequestHeader("If-None-Match"), etag.isEmpty() ? QByteArray() : etag);
    QCOMPARE(server.lastRequestHeader("If-Modified-Since"),
        lastModified.isEmpty() ? QByteArray() : lastModified);
    QCOMPARE(updates, revalidates ? 2 : 1);
    QCOMPARE(service.papers().size(), 2);
    QCOMPARE(service.papers().constFirst().title(), u"Sticky Wages in Small Harbours"_qs);
    QCOMPARE(log.linesStartingWith(u"[Quillet] Loaded 2 papers"_qs).size(), revalidates ? 2 : 1);
    QCOMPARE(service.retryCount(), revalidates ? 0 : 1);
}

QTEST_MAIN(TestPaperServiceRevalidation)
#include "test_paper_service_revalidation.moc"
