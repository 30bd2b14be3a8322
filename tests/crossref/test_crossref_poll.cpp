// Quillet's built-in source against recorded Crossref answers on the loopback
// HTTPS server: what a poll hands over, when it counts as failed, and what it
// keeps for the next start.
#include "crossref/crossref_poll.h"
#include "support/scratch_files.h"
#include "support/stdout_capture.h"
#include "support/test_https_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using Response = TestHttpsServer::Response;
using namespace std::chrono_literals;

static const QString kCrossref = u"" QUILLET_TEST_DATA_DIR "/crossref/"_qs;

class TestCrossrefPoll : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHttpsServer> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<QList<Paper>> m_handedOver;
    QStringList m_failures;

    // One poll of a source on the test's state, to its end: false if it never ended.
    bool poll(CrossrefPoll &source, const std::function<void()> &beforeAnyAnswer = {})
    {
        m_handedOver.clear();
        m_failures.clear();
        source.onPapers = [&](const QList<Paper> &papers) {
            if (m_handedOver.isEmpty() && beforeAnyAnswer)
                beforeAnyAnswer();
            m_handedOver.append(papers);
        };
        source.onFailure = [&](const QString &message) { m_failures.append(message); };
        source.poll();
        return QTest::qWaitFor([&] { return !source.busy(); }, 20000);
    }
    CrossrefPoll::Config config()
    {
        CrossrefPoll::Config config;
        config.api = m_server->url();
        config.sourcesPath = kCrossref + u"sources.json"_qs;
        config.statePath = m_dir->filePath(u"Quillet/papers.json"_qs);
        config.journalsPerRequest = 1; // one request per journal: AER, JDE, JF
        config.client.extraCaCertificates = TestHttpsServer::caCertificates();
        config.client.interval = 0ms;
        config.client.backoff = 10ms;
        return config;
    }
    QJsonObject state() const
    {
        return QJsonDocument::fromJson(readFile(m_dir->filePath(u"Quillet/papers.json"_qs)))
            .object();
    }

private Q_SLOTS:
    void init()
    {
        // A server and a folder per test: no answer or state left over from the last.
        m_server = std::make_unique<TestHttpsServer>();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_server->start() && m_dir->isValid());
    }

    void aPollSucceedsIfAnyJournalAnswers_data()
    {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<QString>("line"); // the poll's one diagnostic line
        QTest::newRow("all answer") << QList<int> {200, 200, 200} << QString();
        QTest::newRow("one refuses") << QList<int> {
            200, 400, 200} << u"[Quillet] 1 of 3 journals did not answer: HTTP 400 Bad Request"_qs;
        QTest::newRow("none answers")
            << QList<int> {400, 400, 400} << u"[Quillet] Fetch error: HTTP 400 Bad Request"_qs;
    }
    void aPollSucceedsIfAnyJournalAnswers()
    {
        QFETCH(QList<int>, statuses);
        QFETCH(QString, line);
        for (int status : statuses)
            m_server->enqueue(status == 200
                    ? Response::ok(readFile(kCrossref + u"works-markup.json"_qs))
                    : Response::withStatus(status, "Bad Request"));
        StdoutCapture capture;
        CrossrefPoll source(config());
        QVERIFY(poll(source));
        QCOMPARE(m_server->requestCount(), 3); // each journal once, none retried
        QVERIFY(m_server->lastRequestHeader("User-Agent").startsWith("Quillet/"));
        QVERIFY(!m_server->lastRequestHead().contains("mailto"));
        QCOMPARE(capture.lines().filter(u"[Quillet] "_qs),
            line.isEmpty() ? QStringList() : QStringList {line});
        if (statuses.count(400) == 3) {
            QCOMPARE(m_failures, QStringList {u"Failed to load papers"_qs});
            QVERIFY2(m_handedOver.isEmpty(), "nothing handed over, nothing kept");
            QVERIFY(!QFile::exists(m_dir->filePath(u"Quillet/papers.json"_qs)));
            return;
        }
        QVERIFY(m_failures.isEmpty());
        // A new machine sees the first journal's papers at once, and then the rest.
        QCOMPARE(m_handedOver.size(), 2);
        QVERIFY(m_handedOver.first().size() < m_handedOver.last().size());
        QCOMPARE(state().value(u"papers"_qs).toArray().size(), m_handedOver.last().size());
        // Only a poll that reached every journal moves the window on.
        QCOMPARE(state().value(u"lastSuccess"_qs).toString().isEmpty(), statuses.contains(400));
    }

    void aReturningUserSeesTheKeptPapersAndAsksOnlyForWhatIsNew()
    {
        m_server->setDefaultResponse(Response::ok(readFile(kCrossref + u"works-markup.json"_qs)));
        {
            CrossrefPoll first(config());
            QVERIFY(poll(first));
        }
        const QList<Paper> kept = m_handedOver.last();
        CrossrefPoll again(config());
        int answeredBefore = -1;
        QVERIFY(poll(again, [&] { answeredBefore = m_server->requestCount() - 3; }));
        QCOMPARE(answeredBefore, 0);
        QCOMPARE(m_handedOver.first(), kept);
        QCOMPARE(m_handedOver.last(), kept);
        const QByteArray since
            = QDateTime::currentDateTimeUtc().date().addDays(-1).toString(Qt::ISODate).toUtf8();
        QVERIFY(QByteArray::fromPercentEncoding(m_server->lastRequestHead())
                    .contains("from-created-date:" + since));
    }
};

QTEST_GUILESS_MAIN(TestCrossrefPoll)
#include "test_crossref_poll.moc"
