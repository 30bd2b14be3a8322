// The ticker's behaviour, one frame at a time: tick() is called directly and
// feed results arrive through the service's callbacks.
#include "core/paper_service.h"
#include "core/preferences.h"
#include "support/fake_timers.h"
#include "ui/frame_driver.h"
#include "ui/status_item.h"
#include "ui/ticker_controller.h"

#include <QAccessible>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

Paper paper(const QString &title, const QString &journal = QStringLiteral("JPE Just Accepted"))
{
    return Paper {title, QStringLiteral("https://papers.example.org/") + title, journal,
        QStringLiteral("1"), QStringLiteral("A. Author"), QStringLiteral("2026-12-01")};
}

struct Fixture
{
    QTemporaryDir dir;
    Preferences preferences {dir.filePath(QStringLiteral("prefs.conf"))};
    PaperService service {PaperService::Config {}, std::make_unique<FakeTimers>()};
    TickerController controller {TickerController::Environment {preferences,
        [this]() -> PaperService & { return service; }, nullptr, nullptr, nullptr, nullptr}};

    explicit Fixture(double width = 0)
    {
        if (width != 0)
            preferences.setTickerWidth(width);
        controller.setup();
    }
    const ScrollingLabel &label() const { return controller.statusItem()->label(); }
    double containerWidth() const { return controller.statusItem()->containerFrame().width(); }
    void deliver(const QList<Paper> &papers) { service.onUpdate(papers); }
    void fail(const QString &message) { service.onError(message); }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            controller.tick();
    }
    // Ticks until the label shows another text; returns the number of ticks.
    int ticksUntilTextChanges(int limit = 100000)
    {
        const QString before = label().text();
        for (int i = 1; i <= limit; ++i) {
            controller.tick();
            if (label().text() != before)
                return i;
        }
        return -1;
    }
};

} // namespace

class TestTickerController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void titleFinishesOnlyWhenStrictlyPastTheEdge();
    void titlesCycleInFeedOrder();
    void menuPausesAndRestartsCurrentPaper();
    void errorsNeverHideTitlesOnDisplay();
    void messageCrossesOnceThenDriverRests();
    void hostileTitlesAreShownSafely();
    void screenReadersHearTheTitle();
    void filtering_data();
    void filtering();
};

void TestTickerController::titleFinishesOnlyWhenStrictlyPastTheEdge()
{
    Fixture f;
    f.preferences.setTickerSpeed(1.0); // whole steps land exactly on 0
    f.deliver({paper(QStringLiteral("First")), paper(QStringLiteral("Second"))});
    const int width = int(f.label().frame().width());
    QVERIFY(width > 0);
    f.ticks(190 + width); // right edge exactly at 0: not finished
    QCOMPARE(f.label().x() + f.label().frame().width(), 0.0);
    QCOMPARE(f.label().text(), u"First"_qs);
    f.controller.tick();
    QCOMPARE(f.label().text(), u"Second"_qs);
    QCOMPARE(f.label().x(), 190.0);
    QCOMPARE(f.controller.currentIndex(), 1);
}

void TestTickerController::titlesCycleInFeedOrder()
{
    Fixture f;
    f.preferences.setTickerSpeed(5.0);
    f.deliver({paper(u"one"_qs), paper(u"two"_qs), paper(u"three"_qs)});
    QStringList seen {f.label().text()};
    for (int i = 0; i < 3; ++i) {
        QVERIFY(f.ticksUntilTextChanges() > 0);
        seen.append(f.label().text());
    }
    QCOMPARE(seen, (QStringList {u"one"_qs, u"two"_qs, u"three"_qs, u"one"_qs}));

    // A single paper repeats for ever.
    f.deliver({paper(u"solo"_qs)});
    const int firstCrossing = f.ticksUntilTextChanges(2000);
    QCOMPARE(firstCrossing, -1);
    QCOMPARE(f.label().text(), u"solo"_qs);
}

void TestTickerController::menuPausesAndRestartsCurrentPaper()
{
    Fixture f;
    f.preferences.setTickerSpeed(5.0);
    f.deliver({paper(u"one"_qs), paper(u"two"_qs)});
    QVERIFY(f.ticksUntilTextChanges() > 0);
    f.ticks(20); // "two" half way
    f.controller.statusItem()->menu()->aboutToShow();
    QVERIFY(f.controller.isTickerPaused());
    QVERIFY(!f.controller.isFrameDriverRunning());
    QCOMPARE(FrameDriver::liveCount(), 0);
    // Nothing else keeps waking the program either (offscreen has no tray to look for).
    auto runningTimers = [&] {
        int running = 0;
        for (const QTimer *timer : f.controller.statusItem()->findChildren<QTimer *>())
            running += timer->isActive();
        return running;
    };
    QCOMPARE(runningTimers(), 0);
    f.controller.statusItem()->menu()->aboutToHide();
    QCOMPARE(runningTimers(), 1); // the look for a tray again
    QVERIFY(!f.controller.isTickerPaused());
    QVERIFY(f.controller.isFrameDriverRunning());
    QCOMPARE(f.label().text(), u"two"_qs);
    QCOMPARE(f.label().x(), 190.0);
    QCOMPARE(f.controller.currentIndex(), 1);
}

void TestTickerController::errorsNeverHideTitlesOnDisplay()
{
    Fixture f;
    f.preferences.setTickerSpeed(5.0);
    f.deliver({paper(u"one"_qs), paper(u"two"_qs), paper(u"three"_qs)});
    QVERIFY(f.ticksUntilTextChanges() > 0);
    f.ticks(7);
    f.fail(u"Failed to load papers \u2014 retrying in 30s\u2026"_qs);
    QCOMPARE(f.label().text(), u"two"_qs);
    QCOMPARE(f.label().x(), 190.0);
    QCOMPARE(f.controller.currentIndex(), 1);
    QVERIFY(f.controller.isFrameDriverRunning());

    // A new feed result starts again from the first paper.
    f.deliver({paper(u"new one"_qs), paper(u"new two"_qs)});
    QCOMPARE(f.label().text(), u"new one"_qs);
    QCOMPARE(f.controller.currentIndex(), 0);
}

void TestTickerController::messageCrossesOnceThenDriverRests()
{
    Fixture f;
    f.preferences.setTickerSpeed(5.0);
    const QString message = u"Failed to load papers \u2014 retrying in 30s\u2026"_qs;
    f.fail(message);
    QCOMPARE(f.label().text(), message);
    QCOMPARE(f.label().x(), 190.0);
    QVERIFY(f.controller.isFrameDriverRunning());
    const int crossing = int(std::ceil((190.0 + f.label().frame().width()) / 5.0)) + 1;
    f.ticks(crossing);
    QVERIFY(f.label().x() + f.label().frame().width() < 0);
    QCOMPARE(f.label().text(), message); // nothing brings it back...
    QVERIFY(!f.controller.isFrameDriverRunning()); // ...so nothing wakes up for it

    // The next restart runs again.
    f.deliver({});
    QCOMPARE(f.label().text(), u"No papers today"_qs);
    QCOMPARE(f.label().x(), 190.0);
    QVERIFY(f.controller.isFrameDriverRunning());
}

void TestTickerController::hostileTitlesAreShownSafely()
{
    Fixture f;
    const QString disguised = u"Annual report\u202Efdp.exe"_qs;
    const QString huge(100000, u'W');
    f.deliver({paper(disguised), paper(huge)});
    QCOMPARE(f.label().text(), u"Annual reportfdp.exe"_qs);
    QCOMPARE(f.controller.displayPapers().first().title(), disguised); // the record is untouched
    f.preferences.setTickerSpeed(5000.0);
    QVERIFY(f.ticksUntilTextChanges() > 0);
    QCOMPARE(f.label().text().size(), 1001);
    QVERIFY(f.label().frame().width() > 1000); // measured, not truncated further
}

void TestTickerController::screenReadersHearTheTitle()
{
    Fixture f;
    QAccessibleInterface *strip = QAccessible::queryAccessibleInterface(f.controller.statusItem());
    QVERIFY(strip);
    QCOMPARE(strip->role(), QAccessible::Button);
    f.deliver({paper(u"Tariffs \u202Eand Tides"_qs), paper(u"Second"_qs)});
    QCOMPARE(strip->text(QAccessible::Name), u"Tariffs and Tides"_qs); // as shown, cleaned
    QVERIFY(f.ticksUntilTextChanges() > 0);
    QCOMPARE(strip->text(QAccessible::Name), u"Second"_qs);

    QAccessibleActionInterface *actions = strip->actionInterface();
    QVERIFY(actions);
    actions->doAction(QAccessibleActionInterface::pressAction());
    QTRY_VERIFY(f.controller.statusItem()->menu()->isVisible());
}

void TestTickerController::filtering_data()
{
    QTest::addColumn<QList<Paper>>("feed");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("label");

    const QList<Paper> threeJournals {paper(u"p1"_qs, u"JPE Just Accepted"_qs),
        paper(u"d1"_qs, u"JDE in Press"_qs), paper(u"p2"_qs, u"JPE Just Accepted"_qs),
        paper(u"a1"_qs, u"AER Forthcoming"_qs), paper(u"d2"_qs, u"JDE in Progress"_qs)};
    QTest::addRow("one of three journals hidden")
        << threeJournals << QStringList {u"Journal of Development Economics"_qs}
        << QStringList {u"p1"_qs, u"p2"_qs, u"a1"_qs} << u"p1"_qs;
    QTest::addRow("hiding by label does nothing")
        << threeJournals << QStringList {u"JPE Just Accepted"_qs}
        << QStringList {u"p1"_qs, u"d1"_qs, u"p2"_qs, u"a1"_qs, u"d2"_qs} << u"p1"_qs;
    QTest::addRow("label not in the table hides under itself")
        << QList<Paper> {paper(u"w1"_qs, u"Working Paper Series"_qs), paper(u"p1"_qs)}
        << QStringList {u"Working Paper Series"_qs} << QStringList {u"p1"_qs} << u"p1"_qs;
    QTest::addRow("hidden name matching nothing")
        << threeJournals << QStringList {u"Economica"_qs}
        << QStringList {u"p1"_qs, u"d1"_qs, u"p2"_qs, u"a1"_qs, u"d2"_qs} << u"p1"_qs;
    QTest::addRow("empty feed with hidden journals")
        << QList<Paper> {} << QStringList {u"Economica"_qs} << QStringList {}
        << u"No papers today"_qs;
    QTest::addRow("all hidden") << threeJournals
                                << QStringList {u"Journal of Development Economics"_qs,
                                       u"Journal of Political Economy"_qs,
                                       u"American Economic Review"_qs}
                                << QStringList {} << u"No papers match filter"_qs;
}

void TestTickerController::filtering()
{
    QFETCH(QList<Paper>, feed);
    QFETCH(QStringList, hidden);
    QFETCH(QStringList, shown);
    QFETCH(QString, label);

    Fixture f;
    f.preferences.setHiddenJournals(hidden);
    f.deliver(feed);
    QStringList titles;
    for (const Paper &p : f.controller.displayPapers())
        titles.append(p.title());
    QCOMPARE(titles, shown);
    QCOMPARE(f.controller.allPapers().size(), feed.size());
    QCOMPARE(f.label().text(), label);
    QCOMPARE(f.label().x(), 190.0);
    QVERIFY(f.controller.isFrameDriverRunning());

    // A filter change re-filters the same list at once.
    f.preferences.setHiddenJournals({});
    f.controller.applyFiltersAndRestart();
    QCOMPARE(f.controller.displayPapers().size(), feed.size());
}

QTEST_MAIN(TestTickerController)
#include "test_ticker_controller.moc"
