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
#include "support/test_https_server.h"

#include <QElapsedTimer>
#include <QFile>
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
    QFile file(QString::fromUtf8(QUILLET_TEST_DATA_DIR "/crossref/") + QString::fromUtf8(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
    QList<Paper> feed() const
    {
        const PaperDecodeResult decoded
            = decodePaperResponse(readAll(m_dir.filePath(u"feed.json"_qs)));
        return decoded.ok() ? decoded.response->papers : QList<Paper> {};
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
        // Every ISSN of every enabled journal, in one request.
        const QByteArray head = QByteArray::fromPercentEncoding(m_server->lastRequestHead());
        for (const char *issn : {"0002-8282", "1944-7981", "0304-3878", "1872-6089", "1540-6261"})
            QVERIFY2(head.contains(QByteArray("issn:") + issn), issn);
        QVERIFY(!head.contains("0013-0133")); // disabled
        QVERIFY(head.contains("type:journal-article"));
        QVERIFY(head.contains("mailto=tests+feed@example.org"));
        QVERIFY(head.contains("from-created-date:"
            + QDate::currentDate().addDays(-30).toString(Qt::ISODate).toUtf8()));
        QVERIFY(
            m_server->lastRequestHeader("User-Agent").contains("mailto:tests+feed@example.org"));

        // The correction and the editorial board are dropped, as is the journal
        // not asked for; newest date first.
        const QList<Paper> expected {
            {u"Irrigation Rights and Tenancy Contracts"_qs,
                u"https://doi.org/10.1016/j.jdeveco.2026.103655"_qs, u"JDE in Progress"_qs, u"2"_qs,
                u"Lucía Ferreyra"_qs, u"2027"_qs},
            {u"Ferry Fares and the Geography of Island Labour Markets: Evidence from Seventy Crossings"_qs,
                u"https://doi.org/10.1257/aer.20261187"_qs, u"AER Forthcoming"_qs, u"1"_qs,
                u"Maren Oddsdóttir, Tobiah Quennell"_qs, u"2026-12-02"_qs},
            {u"Optimal Levies with n>2 Goods and a<b Consumers"_qs,
                u"https://doi.org/10.1257/aer.20260912"_qs, u"AER Forthcoming"_qs, u"1"_qs,
                u"Ines Valtonen"_qs, u"2026-11-29"_qs},
            {u"Risk & Return in \u201cSafe\u201d Assets"_qs,
                u"https://doi.org/10.1111/jofi.13%3C502%3E"_qs, u"JF Early View"_qs, u"2"_qs,
                u"Hallvard Brekke, Okonkwo"_qs, u"2026-11-28"_qs},
            {u"Mobile Money Agents and Remittance Timing"_qs,
                u"https://doi.org/10.1016/J.JDEVECO.2026.103650"_qs, u"JDE in Progress"_qs, u"2"_qs,
                u"Priya Sundarajan"_qs, u"2026-11-25"_qs},
            {u"Grain Banks, Rainfall and Village Credit"_qs,
                u"https://doi.org/10.1016/j.jdeveco.2026.103702"_qs, u"JDE in Press"_qs, u"2"_qs,
                u"Rural Credit Survey Consortium, Kofi Ampomah-Lindqvist"_qs, u"2026-11"_qs},
        };
        const QList<Paper> papers = feed();
        QCOMPARE(papers.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QCOMPARE(encodePaper(papers[i]), encodePaper(expected[i]));
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
        QCOMPARE(feed().size(), 3);
    }

    void copesWithAStrugglingApi_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("atLeastMs");
        QTest::newRow("429 with Retry-After")
            << QStringList {u"429"_qs, u"ok"_qs} << 0 << 2 << 1000;
        QTest::newRow("503, then an answer") << QStringList {u"503"_qs, u"ok"_qs} << 0 << 2 << 0;
        QTest::newRow("stalled, then an answer")
            << QStringList {u"stall"_qs, u"ok"_qs} << 0 << 2 << 0;
        QTest::newRow("400 is not asked again") << QStringList {u"400"_qs} << 3 << 1 << 0;
        QTest::newRow("three tries at most")
            << QStringList {u"503"_qs, u"503"_qs, u"503"_qs, u"ok"_qs} << 3 << 3 << 0;
    }
    void copesWithAStrugglingApi()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, exitCode);
        QFETCH(int, requests);
        QFETCH(int, atLeastMs);
        for (const QString &answer : answers) {
            if (answer == u"ok"_qs)
                m_server->enqueue(Response::ok(recorded("works-page1.json")));
            else if (answer == u"stall"_qs)
                m_server->enqueue(Response::withMode(TestHttpsServer::Mode::StallBeforeHeaders));
            else if (answer == u"429"_qs)
                m_server->enqueue(
                    Response::withStatus(429, "Too Many Requests").withHeader("Retry-After", "1"));
            else
                m_server->enqueue(Response::withStatus(answer.toInt(), "Refused"));
        }
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run(options()), exitCode);
        QCOMPARE(m_requests, requests);
        QVERIFY(clock.elapsed() >= atLeastMs);
        QCOMPARE(QFile::exists(m_dir.filePath(u"feed.json"_qs)), exitCode == 0);
    }

    void everySourceFailingKeepsTheOldDocument()
    {
        const QByteArray old = R"({"papers": []})"
                               "\n";
        QFile out(m_dir.filePath(u"feed.json"_qs));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(old) == old.size());
        out.close();
        m_server->setDefaultResponse(Response::withStatus(503, "Service Unavailable"));
        FeedBuild::Options options = this->options();
        options.sourcesPath = QString::fromUtf8(QUILLET_SOURCES_FILE);
        options.journalsPerRequest = 1;
        QCOMPARE(run(options), int(FeedBuild::NothingFetched));
        // Three journals of three tries, then the tenth request: one in ten failed.
        QCOMPARE(m_requests, 10);
        QCOMPARE(readAll(out.fileName()), old);
        QVERIFY(!QFile::exists(options.statePath));
    }

    void keepsEachPaperOnceAndForgetsOldOnes()
    {
        m_server->enqueue(Response::ok(recorded("works-page1.json")));
        QCOMPARE(run(options()), 0);
        // The same paper again under an upper-case DOI, retitled; and a new one.
        m_server->enqueue(Response::ok(recorded("works-later.json")));
        QCOMPARE(run(options()), 0);
        QStringList titles;
        for (const Paper &paper : feed())
            titles.append(paper.title());
        QCOMPARE(titles,
            (QStringList {u"Seed Vouchers and Crop Choice"_qs,
                u"Tariff Pass-Through at Small Harbours"_qs,
                u"Orchard Insurance and Frost Risk"_qs}));

        // One paper first seen 31 days ago leaves the feed and the state.
        QJsonObject state = QJsonDocument::fromJson(readAll(options().statePath)).object();
        QJsonArray papers = state.value(u"papers"_qs).toArray();
        for (qsizetype i = 0; i < papers.size(); ++i) {
            QJsonObject paper = papers[i].toObject();
            if (paper.value(u"doi"_qs) == u"10.1257/aer.20261302"_qs)
                paper.insert(u"firstSeen"_qs,
                    QDateTime::currentDateTimeUtc().addDays(-31).toString(Qt::ISODate));
            papers[i] = paper;
        }
        state.insert(u"papers"_qs, papers);
        QFile file(options().statePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(state).toJson());
        file.close();
        QCOMPARE(run(options()), 0);
        QCOMPARE(feed().size(), 2);
        QVERIFY(!readAll(options().statePath).contains("aer.20261302"));
    }

    void anUnchangedRunLeavesTheFileAlone()
    {
        m_server->setDefaultResponse(Response::ok(recorded("works-markup.json")));
        QCOMPARE(run(options()), 0);
        QFile out(options().outPath);
        const QByteArray before = readAll(out.fileName());
        const QDateTime past = QDateTime::currentDateTimeUtc().addDays(-3);
        QVERIFY(out.open(QIODevice::ReadWrite)
            && out.setFileTime(past, QFileDevice::FileModificationTime));
        out.close();
        QCOMPARE(run(options()), 0);
        QCOMPARE(readAll(out.fileName()), before);
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
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("sources");
        QTest::addColumn<QString>("error");
        const QStringList good {u"quillet-feed"_qs, u"--sources"_qs, u"s.json"_qs, u"--state"_qs,
            u"st.json"_qs, u"--out"_qs, u"o.json"_qs, u"--mailto"_qs, u"me@example.org"_qs};
        const auto with = [&](QStringList extra) { return good + extra; };
        QTest::newRow("no --out") << good.mid(0, 5) + good.mid(7) << QByteArray()
                                  << u"--out is required"_qs;
        QTest::newRow("days") << with({u"--days"_qs, u"0"_qs}) << QByteArray()
                              << u"--days must be"_qs;
        QTest::newRow("http api") << with({u"--api"_qs, u"http://example.org/"_qs}) << QByteArray()
                                  << u"--api must be an https"_qs;
        QTest::newRow("fast Crossref") << with({u"--interval"_qs, u"10"_qs}) << QByteArray()
                                       << u"--interval must be from 1000"_qs;
        QTest::newRow("unknown") << with({u"--fast"_qs}) << QByteArray()
                                 << u"Unknown option 'fast'"_qs;
        const auto source = [](const char *extra) {
            return QByteArray(
                       R"({"journals": [{"label": "A", "tier": "1", "issn": ["0002-8282"]},)")
                + extra + "]}";
        };
        QTest::newRow("same label")
            << good << source(R"({"label": "A", "tier": "1", "issn": ["0033-5533"]})")
            << u"label \"A\" appears twice"_qs;
        QTest::newRow("check digit")
            << good << source(R"({"label": "B", "tier": "1", "issn": ["0002-8283"]})")
            << u"0002-8283 is not an ISSN"_qs;
        QTest::newRow("shared, no rule")
            << good << source(R"({"label": "B", "tier": "1", "issn": ["0002-8282"]})")
            << u"give both a different \"volume\""_qs;
    }
    void refusesBadInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, sources);
        QFETCH(QString, error);
        const QString found = sources.isEmpty() ? CommandLine::parse(arguments).error
                                                : parseSources(sources, u"s.json"_qs).error;
        QVERIFY2(found.contains(error), qPrintable(found));
        QVERIFY(!found.contains(u'\n'));
    }

    void stripsMarkupTolerantly_data()
    {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("text");
        QTest::newRow("a<b") << u"When a<b"_qs << u"When a<b"_qs;
        QTest::newRow("spaced comparisons") << u"x < y and y > z"_qs << u"x < y and y > z"_qs;
        QTest::newRow("unknown tag stays") << u"<Cities> Growth"_qs << u"<Cities> Growth"_qs;
        QTest::newRow("unclosed face tag") << u"<i>Homo economicus"_qs << u"Homo economicus"_qs;
        QTest::newRow("sub and small caps")
            << u"CO<sub>2</sub> and <scp>ols</scp>"_qs << u"CO2 and ols"_qs;
        QTest::newRow("attributes with >") << u"<span title=\"a>b\">Tax</span>"_qs << u"Tax"_qs;
        QTest::newRow("decoded once") << u"&amp;lt;i&amp;gt;"_qs << u"&lt;i&gt;"_qs;
        QTest::newRow("escaped tag is text") << u"&lt;i&gt;Bold&lt;/i&gt;"_qs << u"<i>Bold</i>"_qs;
        QTest::newRow("bad references stay")
            << u"&#xZZ; &bogus; &#0;"_qs << u"&#xZZ; &bogus; &#0;"_qs;
        QTest::newRow("comment and break")
            << u"Two<!-- x -->Parts<br/>Here"_qs << u"TwoParts Here"_qs;
    }
    void stripsMarkupTolerantly()
    {
        QFETCH(QString, markup);
        QFETCH(QString, text);
        QCOMPARE(plainText(markup), text);
    }

    void tellsPapersFromNotices_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("nonPaper");
        QTest::newRow("erratum") << u"Erratum: Sticky Prices"_qs << true;
        QTest::newRow("correction to") << u"Correction to \"Bank Runs\""_qs << true;
        QTest::newRow("issue information") << u"Issue Information"_qs << true;
        QTest::newRow("index") << u"Index"_qs << true;
        QTest::newRow("a paper on corrections")
            << u"Correction of Misperceptions and Turnout"_qs << false;
        QTest::newRow("a paper on indexation") << u"Indexation and Inflation"_qs << false;
        QTest::newRow("a paper on boards") << u"Editorial Boards and Citations"_qs << false;
    }
    void tellsPapersFromNotices()
    {
        QFETCH(QString, title);
        QFETCH(bool, nonPaper);
        QCOMPARE(RecordNormaliser::isNonPaper(title), nonPaper);
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
