// The feed builder against recorded Crossref answers on the loopback HTTPS
// server: what reaches the feed, how it asks, how it copes with a struggling
// API, and what it leaves on disk.
#include "builder/command_line.h"
#include "builder/crossref_client.h"
#include "builder/feed_build.h"
#include "builder/markup_text.h"
#include "builder/record_normaliser.h"
#include "builder/source_check.h"
#include "core/journal_constants.h"
#include "support/scratch_files.h"
#include "support/test_https_server.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

using Response = TestHttpsServer::Response;
using namespace std::chrono_literals;

namespace {

QByteArray recorded(const char *name)
{
    return readFile(
        QString::fromUtf8(QUILLET_TEST_DATA_DIR "/crossref/") + QString::fromUtf8(name));
}

const QByteArray kNoWorks = R"({"status":"ok","message":{"items":[]}})";

} // namespace

class TestFeedBuilder : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHttpsServer> m_server;
    QTemporaryDir m_dir;
    int m_requests = 0;

    FeedBuild::Options options() const
    {
        FeedBuild::Options options;
        options.sourcesPath = QString::fromUtf8(QUILLET_TEST_DATA_DIR "/crossref/sources.json");
        options.statePath = m_dir.filePath(u"state.json"_qs);
        options.outPath = m_dir.filePath(u"feed.json"_qs);
        options.api = m_server->url();
        options.client.mailto = u"tests+feed@example.org"_qs;
        options.client.extraCaCertificates = TestHttpsServer::caCertificates();
        options.client.interval = 0ms;
        options.client.backoff = 10ms;
        // Room for a slow handshake under the sanitizers; the stall still ends in 2 s.
        options.client.timeout = 2000ms;
        return options;
    }
    // Runs one build to its end; the exit code, or -1 if it never ended.
    int run(const FeedBuild::Options &options)
    {
        QString progressText;
        QTextStream progress(&progressText);
        FeedBuild build(options, progress);
        int code = -1;
        build.onFinished = [&](int exitCode) { code = exitCode; };
        build.start();
        if (!QTest::qWaitFor([&] { return code != -1; }, 30000))
            return -1;
        m_requests = build.client().requestsMade();
        return code;
    }
    QStringList titles() const
    {
        const PaperDecodeResult decoded = decodePaperResponse(readFile(options().outPath));
        QStringList titles;
        for (const Paper &paper : decoded.ok() ? decoded.response->papers : QList<Paper> {})
            titles.append(paper.title());
        return titles;
    }

private Q_SLOTS:
    void init()
    {
        // A server per test: no answer or count left over from the last.
        m_server = std::make_unique<TestHttpsServer>();
        QVERIFY(m_server->start());
        QVERIFY(m_dir.isValid());
        m_server->setDefaultResponse(Response::ok(kNoWorks));
    }
    void cleanup()
    {
        m_server.reset();
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(name));
    }

    void recordsBecomeTheFeedQuilletDecodes()
    {
        m_server->enqueue(Response::ok(recorded("works-markup.json")));
        QCOMPARE(run(options()), int(FeedBuild::Written));
        QCOMPARE(m_requests, 1);
        // Every ISSN of every enabled journal in one request, the disabled one not.
        const QByteArray head = QByteArray::fromPercentEncoding(m_server->lastRequestHead());
        const QByteArray from = QDate::currentDate().addDays(-30).toString(Qt::ISODate).toUtf8();
        for (const QByteArray &part : QByteArrayList {"issn:0002-8282", "issn:1944-7981",
                 "issn:0304-3878", "issn:1872-6089", "issn:1540-6261", "type:journal-article",
                 "mailto=tests+feed@example.org", "from-created-date:" + from})
            QVERIFY2(head.contains(part), part.constData());
        QVERIFY(!head.contains("0013-0133"));
        QVERIFY(
            m_server->lastRequestHeader("User-Agent").contains("mailto:tests+feed@example.org"));
        // The correction and the editorial board are dropped, as is the journal
        // not asked for; newest date first. The expected document is written by
        // hand beside the recorded answer.
        QCOMPARE(readFile(options().outPath), recorded("works-markup.feed.json"));
    }

    void followsTheCursor()
    {
        FeedBuild::Options options = this->options();
        options.rows = 2;
        m_server->enqueue(Response::ok(recorded("works-page1.json")));
        m_server->enqueue(Response::ok(recorded("works-page2.json")));
        QCOMPARE(run(options), int(FeedBuild::Written));
        QCOMPARE(m_requests, 2); // the second page is short: no third
        QVERIFY(m_server->lastRequestHead().contains("cursor=AoJ%2B8q3/next%3D%3D")
            || m_server->lastRequestHead().contains("cursor=AoJ%2B8q3%2Fnext%3D%3D"));
        QCOMPARE(titles().size(), 3);
    }

    void copesWithAStrugglingApi_data()
    {
        QTest::addColumn<QString>("answers");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("atLeastMs");
        QTest::newRow("429 with Retry-After") << u"429 ok"_qs << 0 << 2 << 1000;
        QTest::newRow("503, then an answer") << u"503 ok"_qs << 0 << 2 << 0;
        QTest::newRow("stalled, then an answer") << u"stall ok"_qs << 0 << 2 << 0;
        QTest::newRow("400 is not asked again") << u"400"_qs << 3 << 1 << 0;
        QTest::newRow("three tries at most") << u"503 503 503 ok"_qs << 3 << 3 << 0;
    }
    void copesWithAStrugglingApi()
    {
        QFETCH(QString, answers);
        QFETCH(int, exitCode);
        QFETCH(int, requests);
        QFETCH(int, atLeastMs);
        for (const QString &answer : answers.split(u' '))
            m_server->enqueue(answer == u"ok"_qs ? Response::ok(recorded("works-page1.json"))
                    : answer == u"stall"_qs
                    ? Response::withMode(TestHttpsServer::Mode::StallBeforeHeaders)
                    : answer == u"429"_qs
                    ? Response::withStatus(429, "Too Many Requests").withHeader("Retry-After", "1")
                    : Response::withStatus(answer.toInt(), "Refused"));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run(options()), exitCode);
        QCOMPARE(m_requests, requests);
        QVERIFY(clock.elapsed() >= atLeastMs);
        QCOMPARE(QFile::exists(options().outPath), exitCode == 0);
    }

    void everySourceFailingKeepsTheOldDocument()
    {
        const QByteArray old = "{\"papers\": []}\n";
        writeFile(options().outPath, old);
        m_server->setDefaultResponse(Response::withStatus(503, "Service Unavailable"));
        FeedBuild::Options options = this->options();
        options.sourcesPath = QString::fromUtf8(QUILLET_SOURCES_FILE);
        options.journalsPerRequest = 1;
        QCOMPARE(run(options), int(FeedBuild::NothingFetched));
        // Three journals of three tries, then the tenth request: one in ten failed.
        QCOMPARE(m_requests, 10);
        QCOMPARE(readFile(options.outPath), old);
        QVERIFY(!QFile::exists(options.statePath));
    }

    void keepsEachPaperOnceAndForgetsOldOnes()
    {
        const QString statePath = options().statePath;
        m_server->enqueue(Response::ok(recorded("works-page1.json")));
        QCOMPARE(run(options()), 0);
        // The same paper again under an upper-case DOI, retitled; and a new one.
        m_server->enqueue(Response::ok(recorded("works-later.json")));
        QCOMPARE(run(options()), 0);
        QCOMPARE(titles(),
            (QStringList {u"Seed Vouchers and Crop Choice"_qs,
                u"Tariff Pass-Through at Small Harbours"_qs,
                u"Orchard Insurance and Frost Risk"_qs}));
        // One paper first seen 31 days ago leaves the feed and the state.
        QJsonObject state = QJsonDocument::fromJson(readFile(statePath)).object();
        QJsonArray papers = state.value(u"papers"_qs).toArray();
        for (QJsonValueRef entry : papers) {
            QJsonObject paper = entry.toObject();
            if (paper.value(u"doi"_qs) == u"10.1257/aer.20261302"_qs)
                paper.insert(u"firstSeen"_qs,
                    QDateTime::currentDateTimeUtc().addDays(-31).toString(Qt::ISODate));
            entry = paper;
        }
        state.insert(u"papers"_qs, papers);
        writeFile(statePath, QJsonDocument(state).toJson());
        QCOMPARE(run(options()), 0);
        QCOMPARE(titles().size(), 2);
        QVERIFY(!readFile(statePath).contains("aer.20261302"));
    }

    void anUnchangedRunLeavesTheFileAlone()
    {
        m_server->setDefaultResponse(Response::ok(recorded("works-markup.json")));
        QCOMPARE(run(options()), 0);
        QFile out(options().outPath);
        const QByteArray before = readFile(out.fileName());
        const QDateTime past = QDateTime::currentDateTimeUtc().addDays(-3);
        QVERIFY(out.open(QIODevice::ReadWrite)
            && out.setFileTime(past, QFileDevice::FileModificationTime));
        out.close();
        QCOMPARE(run(options()), 0);
        QCOMPARE(readFile(out.fileName()), before);
        QCOMPARE(QFileInfo(out.fileName()).lastModified().toUTC(), past);
    }

    void aSecondRunWaitsItsTurn()
    {
        QLockFile held(options().statePath + u".lock"_qs);
        QVERIFY(held.tryLock(0));
        QCOMPARE(run(options()), int(FeedBuild::NothingFetched));
        QCOMPARE(m_server->requestCount(), 0);
        QVERIFY(!QFile::exists(options().outPath));
    }

    void checkListsTheSilentLabels()
    {
        m_server->enqueue(Response::ok(kNoWorks)); // AER's ISSNs answer nothing
        m_server->setDefaultResponse(Response::ok(recorded("works-page2.json")));
        const FeedBuild::Options options = this->options();
        QString text;
        QTextStream out(&text);
        SourceCheck check(
            readSources(options.sourcesPath).sources, options.api, options.client, out);
        int code = -1;
        check.onFinished = [&](int exitCode) { code = exitCode; };
        check.start();
        QTRY_COMPARE_WITH_TIMEOUT(code, 1, 20000);
        // The disabled journal is asked too: a check is how to learn whether to enable it.
        QCOMPARE(m_server->requestCount(), 4);
        QVERIFY2(text.startsWith(u"AER Forthcoming: nothing for ISSN 0002-8282, 1944-7981\n"_qs),
            qPrintable(text));
        QCOMPARE(text.count(u"nothing for"_qs), 1);
    }

    void sourcesFileCoversTheJournalTable()
    {
        const SourcesResult sources = readSources(QString::fromUtf8(QUILLET_SOURCES_FILE));
        QVERIFY2(sources.error.isEmpty(), qPrintable(sources.error));
        QStringList labels;
        for (const Source &source : sources.sources)
            labels.append(source.label);
        QStringList table = JournalConstants::mapping().keys();
        labels.sort();
        table.sort();
        QCOMPARE(labels, table);
    }

    void refusesBadInput_data()
    {
        QTest::addColumn<QString>("arguments"); // after --sources, --state and --mailto
        QTest::addColumn<QString>("journal"); // else a second journal's label and ISSN beside A's
        QTest::addColumn<QString>("error");
        QTest::newRow("no --out") << QString() << QString() << u"--out is required"_qs;
        QTest::newRow("days") << u"--out o.json --days 0"_qs << QString() << u"--days must be"_qs;
        QTest::newRow("http api") << u"--out o.json --api http://example.org/"_qs << QString()
                                  << u"--api must be an https"_qs;
        QTest::newRow("fast Crossref")
            << u"--out o.json --interval 10"_qs << QString() << u"--interval must be from 1000"_qs;
        QTest::newRow("unknown") << u"--out o.json --fast"_qs << QString()
                                 << u"Unknown option 'fast'"_qs;
        QTest::newRow("same label")
            << QString() << u"A 0033-5533"_qs << u"label \"A\" appears twice"_qs;
        QTest::newRow("check digit")
            << QString() << u"B 0002-8283"_qs << u"0002-8283 is not an ISSN"_qs;
        QTest::newRow("shared, no rule")
            << QString() << u"B 0002-8282"_qs << u"give both a different \"volume\""_qs;
    }
    void refusesBadInput()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, journal);
        QFETCH(QString, error);
        const QString line
            = u"quillet-feed --sources s.json --state st.json --mailto me@example.org "_qs
            + arguments;
        const QStringList second = journal.split(u' ');
        const QString sources
            = uR"({"journals": [{"label": "A", "tier": "1", "issn": ["0002-8282"]}, {"label": "%1", "tier": "1", "issn": ["%2"]}]})"_qs
                  .arg(second.value(0), second.value(1));
        const QString found = journal.isEmpty()
            ? CommandLine::parse(line.split(u' ', Qt::SkipEmptyParts)).error
            : parseSources(sources.toUtf8(), u"s.json"_qs).error;
        QVERIFY2(found.contains(error), qPrintable(found));
        QVERIFY(!found.contains(u'\n'));
    }

    // Titles as Crossref marks them up, as the feed shows them (empty: as they
    // came), and whether that names a notice or a page rather than a paper.
    static void title(const char *name, const QString &markup, const QString &text, bool nonPaper)
    {
        QTest::newRow(name) << markup << text << nonPaper;
    }
    void titlesAsShown_data()
    {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("nonPaper");
        title("a<b", u"When a<b"_qs, {}, false);
        title("spaced comparisons", u"x < y and y > z"_qs, {}, false);
        title("unknown tag stays", u"<Cities> Growth"_qs, {}, false);
        title("unclosed face tag, erratum", u"<i>Erratum: Sticky Prices"_qs,
            u"Erratum: Sticky Prices"_qs, true);
        title("sub and small caps", u"CO<sub>2</sub> and <scp>ols</scp>"_qs, u"CO2 and ols"_qs,
            false);
        title(
            "attributes with >, index", u"<span title=\"a>b\">Index</span>"_qs, u"Index"_qs, true);
        title("decoded once", u"&amp;lt;i&amp;gt;"_qs, u"&lt;i&gt;"_qs, false);
        title("escaped tag is text", u"&lt;i&gt;Bold&lt;/i&gt;"_qs, u"<i>Bold</i>"_qs, false);
        title("bad references stay", u"&#xZZ; &bogus; &#0;"_qs, {}, false);
        title("comment, break, issue information", u"Iss<!-- x -->ue<br/>Information"_qs,
            u"Issue Information"_qs, true);
        title("correction to", u"Correction to \"Bank Runs\""_qs, {}, true);
        title("a paper on corrections", u"Correction of Misperceptions and Turnout"_qs, {}, false);
        title("a paper on indexation", u"Indexation and Inflation"_qs, {}, false);
        title("a paper on boards", u"Editorial Boards and Citations"_qs, {}, false);
    }
    void titlesAsShown()
    {
        QFETCH(QString, markup);
        QFETCH(QString, text);
        QFETCH(bool, nonPaper);
        QCOMPARE(plainText(markup), text.isEmpty() ? markup : text);
        QCOMPARE(RecordNormaliser::isNonPaper(plainText(markup)), nonPaper);
    }

    void readsRetryAfter()
    {
        const QDateTime now(QDate(2026, 12, 9), QTime(10, 15), Qt::UTC);
        QCOMPARE(CrossrefClient::retryAfter("30", now), 30000ms);
        QCOMPARE(CrossrefClient::retryAfter("Wed, 09 Dec 2026 10:16:30 GMT", now), 90000ms);
        QCOMPARE(CrossrefClient::retryAfter("soon", now), -1ms);
        QCOMPARE(CrossrefClient::announcedInterval("50", "1s"), 20ms);
    }
};

QTEST_MAIN(TestFeedBuilder)
#include "test_feed_builder.moc"
