// What the strip shows and what the menu says, without a display: the ticker's
// model one step at a time, its filtering, and the menu's rows.
#include "core/menu_description.h"
#include "core/ticker_model.h"

#include <QTest>

namespace {

constexpr double kContainer = 190;

Paper paper(const QString &title, const QString &journal = QStringLiteral("JPE Just Accepted"),
    const QString &date = QStringLiteral("2026-12-01"))
{
    return Paper {title, QStringLiteral("https://papers.example.org/") + title, journal,
        QStringLiteral("1"), QStringLiteral("Mar\u00eda Ib\u00e1\u00f1ez, Tomasz Wr\u00f3bel"),
        date};
}

// Ten pixels a character: widths are easy to reason about.
struct Ticker : TickerModel
{
    Ticker() : TickerModel([](const QString &text) { return 10.0 * double(text.size()); })
    {
        setContainerWidth(kContainer);
    }
    void deliver(const QList<Paper> &papers, const QStringList &hidden = {})
    {
        setAllPapers(papers);
        applyFilters(hidden);
        restart();
    }
    // Ticks until another text shows.
    void tickUntilTextChanges(double step)
    {
        for (const QString before = text(); text() == before;)
            tick(step);
    }
};

} // namespace

class TestTickerModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void titlesCrossStrictlyPastTheEdgeInFeedOrder();
    void messageCrossesOnceThenRests();
    void errorsAndPausesKeepTheCurrentPaper();
    void hostileTitlesAreCleanedForDisplayOnly();
    void filtering_data();
    void filtering();
    void menuRows_data();
    void menuRows();
};

void TestTickerModel::titlesCrossStrictlyPastTheEdgeInFeedOrder()
{
    Ticker t;
    t.deliver({paper(u"First"_qs), paper(u"two"_qs), paper(u"three"_qs)});
    QCOMPARE(t.x(), kContainer);
    for (int i = 0; i < 190 + 50; ++i)
        QVERIFY(t.tick(1.0));
    QCOMPARE(t.x() + t.textWidth(), 0.0); // right edge exactly at 0: not finished
    QCOMPARE(t.text(), u"First"_qs);
    t.tick(1.0);
    QCOMPARE(t.text(), u"two"_qs);
    QCOMPARE(t.x(), kContainer);
    QCOMPARE(t.currentIndex(), 1);
    t.tickUntilTextChanges(5.0);
    t.tickUntilTextChanges(5.0);
    QCOMPARE(t.text(), u"First"_qs); // the last is followed by the first

    // A single paper repeats for ever: it re-enters, and never goes idle.
    t.deliver({paper(u"solo"_qs)});
    int reentries = 0;
    for (int i = 0; i < 100; ++i) {
        const double before = t.x();
        QVERIFY(t.tick(5.0));
        reentries += t.x() > before;
    }
    QCOMPARE(reentries, 2); // 47 steps of 5 px carry 40 px of text past 190 px
}

void TestTickerModel::messageCrossesOnceThenRests()
{
    Ticker t;
    const QString message = u"Failed to load papers \u2014 retrying in 30s\u2026"_qs;
    t.putMessage(message);
    QVERIFY(t.restart());
    int ticks = 0;
    while (t.tick(5.0))
        ++ticks;
    QCOMPARE(ticks, int((kContainer + t.textWidth()) / 5.0)); // crossed, then rested
    QVERIFY(t.isIdle());
    QCOMPARE(t.text(), message); // nothing brings it back

    t.deliver({});
    QCOMPARE(t.text(), u"No papers today"_qs);
    QCOMPARE(t.x(), kContainer);
    QVERIFY(!t.isIdle());
}

void TestTickerModel::errorsAndPausesKeepTheCurrentPaper()
{
    Ticker t;
    t.deliver({paper(u"one"_qs), paper(u"two"_qs), paper(u"three"_qs)});
    t.tickUntilTextChanges(5.0);
    t.tick(5.0);
    // An error while papers are on display restarts the current one; the message is never seen.
    t.putMessage(u"Failed"_qs);
    QVERIFY(t.restart());
    QCOMPARE(t.text(), u"two"_qs);
    QCOMPARE(t.x(), kContainer);
    QCOMPARE(t.currentIndex(), 1);

    // Paused: a restart places nothing and starts nothing; resuming restarts the current paper.
    t.tick(5.0);
    t.setPaused(true);
    QVERIFY(!t.restart());
    QCOMPARE(t.x(), kContainer - 5);
    t.setPaused(false);
    QVERIFY(t.restart());
    QCOMPARE(t.x(), kContainer);

    // A new feed starts again from the first paper.
    t.deliver({paper(u"new one"_qs), paper(u"new two"_qs)});
    QCOMPARE(t.text(), u"new one"_qs);
    QCOMPARE(t.currentIndex(), 0);
}

void TestTickerModel::hostileTitlesAreCleanedForDisplayOnly()
{
    Ticker t;
    const QString disguised = u"Annual report\u202Efdp.exe"_qs;
    t.deliver({paper(disguised), paper(QString(100000, u'W'))});
    QCOMPARE(t.text(), u"Annual reportfdp.exe"_qs);
    QCOMPARE(t.displayPapers().first().title(), disguised); // the record is untouched
    t.tickUntilTextChanges(50.0);
    QCOMPARE(t.text().size(), 1001); // cut with an ellipsis
}

void TestTickerModel::filtering_data()
{
    QTest::addColumn<QList<Paper>>("feed");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("label");

    const QList<Paper> threeJournals {paper(u"p1"_qs, u"JPE Just Accepted"_qs),
        paper(u"d1"_qs, u"JDE in Press"_qs), paper(u"p2"_qs, u"JPE Just Accepted"_qs),
        paper(u"a1"_qs, u"AER Forthcoming"_qs), paper(u"d2"_qs, u"JDE in Progress"_qs)};
    const QStringList all {u"p1"_qs, u"d1"_qs, u"p2"_qs, u"a1"_qs, u"d2"_qs};
    QTest::addRow("one of three journals hidden")
        << threeJournals << QStringList {u"Journal of Development Economics"_qs}
        << QStringList {u"p1"_qs, u"p2"_qs, u"a1"_qs} << u"p1"_qs;
    QTest::addRow("hiding by label does nothing")
        << threeJournals << QStringList {u"JPE Just Accepted"_qs} << all << u"p1"_qs;
    QTest::addRow("label not in the table hides under itself")
        << QList<Paper> {paper(u"w1"_qs, u"Working Paper Series"_qs), paper(u"p1"_qs)}
        << QStringList {u"Working Paper Series"_qs} << QStringList {u"p1"_qs} << u"p1"_qs;
    QTest::addRow("hidden name matching nothing")
        << threeJournals << QStringList {u"Economica"_qs} << all << u"p1"_qs;
    QTest::addRow("empty feed with hidden journals")
        << QList<Paper> {} << QStringList {u"Economica"_qs} << QStringList {}
        << u"No papers today"_qs;
    QTest::addRow("all hidden") << threeJournals
                                << QStringList {u"Journal of Development Economics"_qs,
                                       u"Journal of Political Economy"_qs,
                                       u"American Economic Review"_qs}
                                << QStringList {} << u"No papers match filter"_qs;
}

void TestTickerModel::filtering()
{
    QFETCH(QList<Paper>, feed);
    QFETCH(QStringList, hidden);
    QFETCH(QStringList, shown);
    QFETCH(QString, label);

    Ticker t;
    t.deliver(feed, hidden);
    QStringList titles;
    for (const Paper &p : t.displayPapers())
        titles.append(p.title());
    QCOMPARE(titles, shown);
    QCOMPARE(t.allPapers().size(), feed.size());
    QCOMPARE(t.text(), label);
    QCOMPARE(t.x(), kContainer);
}

void TestTickerModel::menuRows_data()
{
    QTest::addColumn<QList<Paper>>("feed");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<QStringList>("block");

    const QString authors = u"Mar\u00eda Ib\u00e1\u00f1ez, Tomasz Wr\u00f3bel"_qs;
    QTest::addRow("before the first fetch")
        << QList<Paper>() << QStringList() << QStringList {u"No papers loaded yet"_qs};
    QTest::addRow("all hidden") << QList<Paper> {paper(u"T"_qs, u"JDE in Press"_qs)}
                                << QStringList {u"Journal of Development Economics"_qs}
                                << QStringList {u"All papers hidden by filter"_qs};
    QTest::addRow("with a date") << QList<Paper> {paper(u"Ports & Prices"_qs, u"JDE in Press"_qs)}
                                 << QStringList()
                                 << QStringList {u"Journal of Development Economics"_qs,
                                        u"Ports & Prices"_qs, authors, u"2026-12-01"_qs, u"-"_qs};
    QTest::addRow("without a date")
        << QList<Paper> {paper(u"T"_qs, u"AER Forthcoming"_qs, QString())} << QStringList()
        << QStringList {u"American Economic Review"_qs, u"T"_qs, authors, u"-"_qs};
    QTest::addRow("blank date is shown")
        << QList<Paper> {paper(u"T"_qs, u"AER Forthcoming"_qs, u" "_qs)} << QStringList()
        << QStringList {u"American Economic Review"_qs, u"T"_qs, authors, u" "_qs, u"-"_qs};
    QTest::addRow("label not in the table, case differs")
        << QList<Paper> {paper(u"T"_qs, u"jpe just accepted"_qs, QString())} << QStringList()
        << QStringList {u"jpe just accepted"_qs, u"T"_qs, authors, u"-"_qs};
}

void TestTickerModel::menuRows()
{
    QFETCH(QList<Paper>, feed);
    QFETCH(QStringList, hidden);
    QFETCH(QStringList, block);

    Ticker t;
    t.deliver(feed, hidden);
    const QList<MenuRow> rows = MenuDescription::describe(t, {350, 2.5, true});
    QStringList lines;
    for (const MenuRow &row : rows)
        lines.append(row.kind == MenuRow::Kind::Separator ? u"-"_qs : row.text);
    const QStringList controls {u"Journal Filters..."_qs, u"-"_qs, u"Display Settings"_qs,
        u"Width:"_qs, u"Speed:"_qs, u"-"_qs, u"\u21BB Refresh Now"_qs, u"Launch at Login"_qs,
        u"-"_qs, u"Quit Quillet"_qs};
    QCOMPARE(lines, block + controls);
    // Only the title and the controls act; the sliders start at the stored values.
    for (const MenuRow &row : rows) {
        QCOMPARE(
            row.enabled, row.kind != MenuRow::Kind::Line && row.kind != MenuRow::Kind::Separator);
        if (row.command == MenuRow::Command::Width)
            QCOMPARE(row.value, 350);
        if (row.command == MenuRow::Command::Speed)
            QCOMPARE(row.value, 250);
        if (row.command == MenuRow::Command::LaunchAtLogin)
            QVERIFY(row.checked);
    }
}

QTEST_GUILESS_MAIN(TestTickerModel)
#include "test_ticker_model.moc"
