// The feed builder against recorded Crossref answers on the loopback HTTPS
// server: what reaches the feed, how it asks, how it copes with a struggling
// API, and what it leaves on disk.
#include "builder/command_line.h"
#include "builder/feed_build.h"
#include "builder/source_check.h"
#include "core/journal_constants.h"
#include "crossref/crossref_client.h"
#include "crossref/markup_text.h"
#include "crossref/record_normaliser.h"
#include "support/scratch_files.h"
#include "support/test_https_server.h"

#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using Response = TestHttpsServer::Response;
using namespace std::chrono_literals;

static const QString kCrossref = u"" QUILLET_TEST_DATA_DIR "/crossref/"_qs;
static const QByteArray kNoWorks = R"({"status":"ok","message":{"items":[]}})";

class TestFeedBuilder : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHttpsServer> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;

    FeedBuild::Options m_options; // fresh in init()
    QString m_text; // the builds' and checks' output
    QTextStream m_out {&m_text};

    static QByteArray recorded(const char *f) { return readFile(kCrossref + QLatin1String(f)); }

    // One row of a _data() table.
    template<typename... Values> static void row(const char *name, const Values &...values)
    {
        (QTest::newRow(name) << ... << values);
    }
    // Runs a build or a check to its end: the exit code, or -1 if it never ended.
    template<typename Job> static int finish(Job &&job)
    {
        int code = -1;
        job.onFinished = [&](int exitCode) { code = exitCode; };
        job.start();
        return QTest::qWaitFor([&] { return code != -1; }, 30000) ? code : -1;
    }
    int run() { return finish(FeedBuild(m_options, m_out)); }
    // The recorded page of two AER papers, their DOIs ending in <tag>1 and <tag>2.
    static QByteArray page(const QByteArray &cursor, const QByteArray &tag)
    {
        QByteArray body = recorded("works-page1.json").replace("aer.2026130", "aer." + tag);
        const qsizetype at = body.indexOf("\"next-cursor\":\"") + 15;
        return body.replace(at, body.indexOf('"', at) - at, cursor);
    }
    QStringList titles() const
    {
        const PaperResponse feed
            = decodePaperResponse(readFile(m_options.outPath)).response.value();
        QStringList titles;
        for (const Paper &paper : feed.papers)
            titles.append(paper.title());
        return titles;
    }

private Q_SLOTS:
    void init()
    {
        // A server and a directory per test: no answer, count or file left over from the last.
        m_server = std::make_unique<TestHttpsServer>();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_server->start() && m_dir->isValid());
        m_server->setDefaultResponse(Response::ok(kNoWorks));
        m_text.clear();
        m_options = {};
        m_options.sourcesPath = kCrossref + u"sources.json"_qs;
        m_options.statePath = m_dir->filePath(u"state.json"_qs);
        m_options.outPath = m_dir->filePath(u"feed.json"_qs);
        m_options.api = m_server->url();
        m_options.client.mailto = u"tests+feed@example.org"_qs;
        m_options.client.extraCaCertificates = TestHttpsServer::caCertificates();
        m_options.client.interval = 0ms;
        m_options.client.backoff = 10ms;
        // Room for a slow handshake under the sanitizers; the stall still ends in 2 s.
        m_options.client.timeout = 2000ms;
        m_options.client.maxInterval = 1500ms;
        m_options.client.quietWait = 500ms;
    }

    void recordsBecomeTheFeedQuilletDecodes()
    {
        m_server->setDefaultResponse(Response::ok(recorded("works-markup.json")));
        QCOMPARE(run(), int(FeedBuild::Written));
        QCOMPARE(m_server->requestCount(), 1);
        // Every ISSN of every enabled journal in one request, the disabled one not.
        const QByteArray head = QByteArray::fromPercentEncoding(m_server->lastRequestHead());
        const QByteArray from = QDate::currentDate().addDays(-30).toString(Qt::ISODate).toUtf8();
        for (const QByteArray &part : QByteArrayList {"issn:0002-8282", "issn:1944-7981",
                 "issn:0304-3878", "issn:1872-6089", "issn:1540-6261", "type:journal-article",
                 "mailto=tests+feed@example.org", "from-created-date:" + from})
            QVERIFY2(head.contains(part), part.constData());
        QVERIFY(!head.contains("0013-0133"));
        QVERIFY(m_server->lastRequestHeader("User-Agent").contains("mailto:tests+feed@example"));
        // The correction and the editorial board are dropped, as is the journal
        // not asked for; newest date first. The expected document is written by
        // hand beside the recorded answer.
        QCOMPARE(readFile(m_options.outPath), recorded("works-markup.feed.json"));

        // The same answer again leaves the file alone.
        QFile out(m_options.outPath);
        const QDateTime past = QDateTime::currentDateTimeUtc().addDays(-3);
        QVERIFY(out.open(QIODevice::ReadWrite)
            && out.setFileTime(past, QFileDevice::FileModificationTime));
        QCOMPARE(run(), 0);
        QCOMPARE(QFileInfo(out.fileName()).lastModified().toUTC(), past);
    }

    // Records in the shapes publishers deposit (works-shapes.json) against the
    // feed written by hand beside them: each DOI's paper, or its absence.
    void recordsAsShown_data()
    {
        QTest::addColumn<QString>("doi");
        row("new version of itself", u"10.1257/aer.s01"_qs);
        row("correction of itself", u"10.1257/aer.s02"_qs);
        row("new version of another", u"10.1257/aer.s03"_qs);
        row("concern about another", u"10.1111/jofi.s05"_qs);
        row("escaped markup, subtitle", u"10.1111/jofi.s06"_qs);
        row("formulas glued to words", u"10.1111/jofi.s07"_qs);
        row("year-only online date", u"10.1257/aer.s08"_qs);
        row("date-parts [[null]]", u"10.1257/aer.s09"_qs);
        row("partial dates only", u"10.1257/aer.s10"_qs);
        row("volume NULL", u"10.1016/j.jdeveco.s12"_qs);
        row("volume blank", u"10.1016/j.jdeveco.s13"_qs);
        row("volume n° 95", u"10.1016/j.jdeveco.s15"_qs);
        row("no title", u"10.1257/aer.s16"_qs);
        row("two titles", u"10.1257/aer.s18"_qs);
        row("blank first title", u"10.1257/aer.s19"_qs);
        row("no author", u"10.1111/jofi.s20"_qs);
        row("family or name only", u"10.1111/jofi.s21"_qs);
        row("ISSNs reversed, raw &", u"10.1257/aer.s22"_qs);
        row("online ISSN only, &amp;", u"10.1111/jofi.s23"_qs);
    }
    void recordsAsShown()
    {
        QFETCH(QString, doi);
        QVERIFY(recorded("works-shapes.json").contains(doi.toUtf8()));
        m_server->setDefaultResponse(Response::ok(recorded("works-shapes.json")));
        QCOMPARE(run(), int(FeedBuild::Written));
        const auto paperIn = [&](const QByteArray &document) {
            const PaperResponse feed = decodePaperResponse(document).response.value();
            for (const Paper &p : feed.papers) {
                if (p.link() == RecordNormaliser::link(doi))
                    return QStringList {p.journal(), p.tier(), p.title(), p.author(), p.date()};
            }
            return QStringList();
        };
        QCOMPARE(paperIn(readFile(m_options.outPath)), paperIn(recorded("works-shapes.feed.json")));
    }

    void followsTheCursor()
    {
        m_options.rows = 2;
        m_server->enqueue(Response::ok(recorded("works-page1.json")));
        m_server->enqueue(Response::ok(recorded("works-page2.json")));
        QCOMPARE(run(), int(FeedBuild::Written));
        QCOMPARE(m_server->requestCount(), 2); // the second page is short: no third
        // A 1 500-character cursor goes back whole, '+' escaped: a server reads it as a blank.
        const QString cursor = parseWorksPage(recorded("works-page1.json")).page->nextCursor;
        QVERIFY(m_server->lastRequestHead().contains(
            "&cursor=" + QUrl::toPercentEncoding(cursor, "/") + '&'));
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
        QTest::newRow("an hour's pace, capped") << u"slow ok"_qs << 0 << 2 << 1500;
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
                    : answer == u"slow"_qs
                    ? Response {503, "Busy", {},
                        {{"X-Rate-Limit-Limit", "1"}, {"X-Rate-Limit-Interval", "3600s"}}}
                    : Response::withStatus(answer.toInt(), "Refused\x1b[2J"));
        const QDateTime start = QDateTime::currentDateTimeUtc();
        QCOMPARE(run(), exitCode);
        QCOMPARE(m_server->requestCount(), requests);
        QVERIFY(start.msecsTo(QDateTime::currentDateTimeUtc()) >= atLeastMs);
        QCOMPARE(QFile::exists(m_options.outPath), exitCode == 0);
        // A server's words reach the terminal escaped; long waits are announced.
        QCOMPARE(m_text.contains(u"Refused\\x1B[2J"_qs), exitCode == 3);
        QCOMPARE(m_text.contains(u"waiting "_qs), atLeastMs > 0);
    }

    // Pages as "cursor:tag", each full: two records, DOIs ending in <tag>1 and <tag>2.
    void stopsAnEndlessCursor_data()
    {
        QTest::addColumn<QString>("pages");
        QTest::addColumn<int>("requests");
        row("cursor comes back", u"A:a B:b A:c C:d"_qs, 3);
        row("nothing new", u"A:a B:a C:b"_qs, 2);
        row("past the page cap", u"A:a B:b C:c D:d E:e"_qs, 4);
    }
    void stopsAnEndlessCursor()
    {
        QFETCH(QString, pages);
        QFETCH(int, requests);
        m_options.rows = 2;
        m_options.paging.pages = 4;
        for (const QString &at : pages.split(u' '))
            m_server->enqueue(Response::ok(page(at.left(1).toUtf8(), at.right(1).toUtf8())));
        // The only batch failed: nothing is written.
        QCOMPARE(run(), int(FeedBuild::NothingFetched));
        QCOMPARE(m_server->requestCount(), requests);
        QVERIFY2(m_text.contains(u"stopped after %1 pages"_qs.arg(requests)), qPrintable(m_text));
    }

    void cutsWhatNoMenuShows()
    {
        m_options.maxDocumentBytes = 1300; // room for the first paper only
        const QByteArray title = "Tariff Pass-Through at Small Ports";
        m_server->enqueue(
            Response::ok(recorded("works-page1.json").replace(title, QByteArray(3000, 'x'))));
        QCOMPARE(run(), 0);
        QVERIFY(QFileInfo(m_options.outPath).size() <= 1300);
        QCOMPARE(titles(), QStringList {QString(1000, u'x') + QChar(0x2026)});
    }

    void aFullDiskLeavesBothFilesAsTheyWere_data()
    {
        QTest::addColumn<bool>("documentElsewhere");
        row("both on the full disk", false);
        row("only the state on it", true);
    }
    void aFullDiskLeavesBothFilesAsTheyWere()
    {
        QFETCH(bool, documentElsewhere);
        // The state, and the document unless elsewhere, on a small disk over the test's folder.
        const QString disk = m_dir->path();
        if (QProcess::execute(
                u"mount"_qs, u"-t tmpfs -o size=64k tmpfs %1"_qs.arg(disk).split(u' ')))
            QSKIP("mounting a small tmpfs needs root");
        const auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_qs, {disk}); });
        const QTemporaryDir roomy;
        if (documentElsewhere)
            m_options.outPath = roomy.filePath(u"feed.json"_qs);
        m_server->enqueue(Response::ok(recorded("works-page1.json")));
        QCOMPARE(run(), 0);
        const QByteArray out = readFile(m_options.outPath), state = readFile(m_options.statePath);
        // One page left, for the lock file.
        QFile filler(disk + u"/filler"_qs);
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'x')) == 4096) { }
        QVERIFY(filler.resize(filler.size() - 4096));
        m_text.clear();
        m_server->enqueue(Response::ok(recorded("works-later.json")));
        QCOMPARE(run(), int(FeedBuild::WriteFailed));
        QCOMPARE(readFile(m_options.outPath), out);
        QCOMPARE(readFile(m_options.statePath), state);
        QVERIFY2(!m_text.contains(u"wrote"_qs), qPrintable(m_text));
    }

    void failedRunsKeepTheOldDocument()
    {
        const QByteArray old = "{\"papers\": []}\n";
        writeFile(m_options.outPath, old);
        m_server->setDefaultResponse(Response::withStatus(503, "Service Unavailable"));
        m_options.sourcesPath = QString::fromUtf8(QUILLET_SOURCES_FILE);
        m_options.journalsPerRequest = 1;
        // A second run waits its turn: it asks nothing while another holds the lock.
        QLockFile held(m_options.statePath + u".lock"_qs);
        QVERIFY(held.tryLock(0));
        QCOMPARE(run(), int(FeedBuild::NothingFetched));
        QCOMPARE(m_server->requestCount(), 0);
        held.unlock();
        QCOMPARE(run(), int(FeedBuild::NothingFetched));
        // Three journals of three tries, then the tenth request: one in ten failed.
        QCOMPARE(m_server->requestCount(), 10);
        QCOMPARE(readFile(m_options.outPath), old);
        QVERIFY(!QFile::exists(m_options.statePath));
    }

    void keepsEachPaperOnceAndForgetsOldOnes()
    {
        m_server->enqueue(Response::ok(recorded("works-page1.json")));
        QCOMPARE(run(), 0);
        // The same paper again under an upper-case DOI, retitled; and a new one.
        m_server->enqueue(Response::ok(recorded("works-later.json")));
        QCOMPARE(run(), 0);
        QCOMPARE(titles(),
            (QStringList {u"Seed Vouchers and Crop Choice"_qs,
                u"Tariff Pass-Through at Small Harbours"_qs,
                u"Orchard Insurance and Frost Risk"_qs}));
        // One paper first seen 31 days ago leaves the feed and the state.
        const QString aged = QDateTime::currentDateTimeUtc().addDays(-31).toString(Qt::ISODate);
        const QRegularExpression entry(u"(aer.20261302\",\\s*\"firstSeen\":\\s*\")[^\"]*"_qs);
        QString state = QString::fromUtf8(readFile(m_options.statePath));
        writeFile(m_options.statePath, state.replace(entry, u"\\1"_qs + aged).toUtf8());
        QCOMPARE(run(), 0);
        QCOMPARE(titles().size(), 2);
        QVERIFY(!readFile(m_options.statePath).contains("aer.20261302"));
        // A paper first seen in the year 9999 counts as first seen now.
        state = QString::fromUtf8(readFile(m_options.statePath));
        state.replace(QRegularExpression(u"\"firstSeen\": \"[^\"]*"_qs),
            u"\"firstSeen\": \"9999-01-01T00:00:00Z"_qs);
        writeFile(m_options.statePath, state.toUtf8());
        QCOMPARE(run(), 0);
        QVERIFY(!readFile(m_options.statePath).contains("9999-"));
    }

    void checkListsTheSilentLabels()
    {
        // Each ISSN is asked alone: AER's online one answers nothing, JDE's two
        // answer with works of different journals.
        for (const char *answer : {"works-page2.json", "", "works-page2.json", "works-page1.json"})
            m_server->enqueue(Response::ok(*answer ? recorded(answer) : kNoWorks));
        m_server->setDefaultResponse(Response::ok(recorded("works-page2.json")));
        SourceCheck check(
            readSources(m_options.sourcesPath).sources, m_server->url(), m_options.client, m_out);
        QCOMPARE(finish(check), 1);
        // The disabled journal is asked too: a check is how to learn whether to enable it.
        QCOMPARE(m_server->requestCount(), 8);
        QCOMPARE(m_text.section(u'\n', 0, 1),
            u"AER Forthcoming: nothing for ISSN 1944-7981\nJDE in Press, JDE in Progress: ISSNs "
            u"answer for different journals: 0304-3878 \"The Journal of Finance\", 1872-6089 "
            u"\"American Economic Review\""_qs);
        QVERIFY(m_text.contains(u"checked 4 journals: 2 with"_qs));
    }

    void sourcesFileCoversTheJournalTable()
    {
        const SourcesResult sources = readSources(QString::fromUtf8(QUILLET_SOURCES_FILE));
        QVERIFY2(sources.error.isEmpty(), qPrintable(sources.error));
        QSet<QString> labels;
        for (const Source &source : sources.sources)
            labels.insert(source.label);
        const auto &table = JournalConstants::mapping();
        QCOMPARE(labels, QSet<QString>(table.keyBegin(), table.keyEnd()));
    }

    // Arguments after --sources, --state and --mailto; a whole sources file; "run"
    // and the sources, state and output of a run, in the test's folder (which
    // holds sub/) unless absolute; or a second journal's label and ISSN beside
    // journal A's.
    void refusesBadInput_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("error");
        row("no --out", QString(), u"--out is required"_qs);
        row("days", u"--out o --days 0"_qs, u"--days must be"_qs);
        row("http api", u"--out o --api http://example.org/"_qs, u"--api must be an https"_qs);
        row("fast Crossref", u"--out o --interval 10"_qs, u"--interval must be from 1000"_qs);
        row("unknown", u"--out o --fast"_qs, u"Unknown option 'fast'"_qs);
        row("same label", u"A 0033-5533"_qs, u"label \"A\" appears twice"_qs);
        row("check digit", u"B 0002-8283"_qs, u"0002-8283 is not an ISSN"_qs);
        row("shared, no rule", u"B 0002-8282"_qs, u"give both a different \"volume\""_qs);
        row("mailto CR LF", u"--out o --mailto me@example.org\r\nX:1"_qs, u"--mailto needs"_qs);
        row("misspelt key", uR"({"journals": [{"enabeld": false}]})"_qs, u"key \"enabeld\""_qs);
        row("other version", uR"({"version": 2, "journals": []})"_qs, u"\"version\" must be 1"_qs);
        row("output is the state", u"run s st sub/../st"_qs, u"is the same file as"_qs);
        row("state is a device", u"run s /dev/zero o"_qs, u"/dev/zero: not a regular file"_qs);
        row("sources is a device", u"run /dev/zero st o"_qs, u"/dev/zero: not a regular file"_qs);
    }
    void refusesBadInput()
    {
        QFETCH(QString, input);
        QFETCH(QString, error);
        const QStringList words = input.split(u' ', Qt::SkipEmptyParts);
        const QDir dir(m_dir->path());
        QString found;
        if (input.isEmpty() || input.startsWith(u"--"_qs)) {
            const QString line = u"quillet-feed --sources s --state st --mailto me@example.org "_qs;
            found = CommandLine::parse((line + input).split(u' ', Qt::SkipEmptyParts)).error;
        } else if (words.value(0) == u"run"_qs) {
            QVERIFY(dir.mkdir(u"sub"_qs));
            m_options.sourcesPath = dir.filePath(words[1]);
            m_options.statePath = dir.filePath(words[2]);
            m_options.outPath = dir.filePath(words[3]);
            QCOMPARE(run(), int(FeedBuild::UsageError));
            QCOMPARE(m_server->requestCount(), 0);
            found = m_text.chopped(1); // the line without its end
        } else {
            const QString sources = input.startsWith(u'{')
                ? input
                : uR"({"journals": [{"label": "A", "tier": "1", "issn": ["0002-8282"]}, {"label": "%1", "tier": "1", "issn": ["%2"]}]})"_qs
                      .arg(words.value(0), words.value(1));
            found = parseSources(sources.toUtf8(), u"s.json"_qs).error;
        }
        QVERIFY2(found.contains(error) && !found.contains(u'\n'), qPrintable(found)); // one line
    }

    // Titles as Crossref marks them up, as the feed shows them (empty: as they
    // came), and whether that names a notice or a page rather than a paper.
    void titlesAsShown_data()
    {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("nonPaper");
        row("a<b", u"When a<b"_qs, QString(), false);
        row("spaced comparisons", u"x < y and y > z"_qs, QString(), false);
        row("unknown tag stays", u"<Cities> Growth"_qs, QString(), false);
        row("unclosed i, erratum", u"<i>Erratum: Wages"_qs, u"Erratum: Wages"_qs, true);
        row("sub, small caps", u"CO<sub>2</sub> and <scp>ols</scp>"_qs, u"CO2 and ols"_qs, false);
        row("attribute with >, index", u"<span title=\"a>b\">Index</span>"_qs, u"Index"_qs, true);
        row("decoded once", u"&amp;lt;i&amp;gt;"_qs, u"&lt;i&gt;"_qs, false);
        row("escaped tags", u"&lt;i&gt;R&lt;/i&gt;&lt;scp&gt;s&lt;/scp&gt;"_qs, u"Rs"_qs, false);
        row("inner subtitle", u"Wages<subtitle>A Note</subtitle>"_qs, u"Wages: A Note"_qs, false);
        row("formula in a word", u"x<inline-formula>y</inline-formula>z"_qs, u"x y z"_qs, false);
        row("bad references stay", u"&#xZZ; &bogus; &#0;"_qs, QString(), false);
        row("comment, break", u"Iss<!-- x -->ue<br/>Information"_qs, u"Issue Information"_qs, true);
        row("correction to", u"Correction to \"Bank Runs\""_qs, QString(), true);
        row("on corrections", u"Correction of Misperceptions and Turnout"_qs, QString(), false);
        row("a paper on indexation", u"Indexation and Inflation"_qs, QString(), false);
        row("a paper on boards", u"Editorial Boards and Citations"_qs, QString(), false);
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
