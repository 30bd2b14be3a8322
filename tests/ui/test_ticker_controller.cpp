// The program as a user meets it: the strip, its menus and what their rows
// store, open and fetch, wired as main() wires them.
#include "app_fixture.h"
#include "support/stdout_capture.h"
#include "ui/tray_icon.h"

#include <QAccessible>
#include <QApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QWidgetAction>

namespace {

int runningTimers(const QObject *owner)
{
    int running = 0;
    for (const QTimer *timer : owner->findChildren<QTimer *>())
        running += timer->isActive();
    return running;
}

} // namespace

class TestTickerController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stripScrollsAtTheStoredWidth();
    void stripFollowsThePalette();
    void openMenuPausesEverything();
    void slidersStartFromTheStoreAndApply();
    void refreshFetches();
    void unchangedListKeepsThePlace();
    void menuFitsTheScreen();
    void launchAtLoginTellsTheTruth();
    void titleOpensThePaperTheMenuShows();
    void shortcutsNeedCtrl();
    void trayMenuHasNoBlankEntries();
};

void TestTickerController::stripScrollsAtTheStoredWidth()
{
    {
        // A width that cannot work is bounded: never wider than what the screen shows.
        AppFixture huge(100000);
        QCOMPARE(huge.strip().width(), 600);
        QVERIFY(huge.strip().screen()->availableGeometry().contains(huge.strip().geometry()));
    }
    AppFixture f(350);
    QCOMPARE(f.strip().width(), 350);
    QCOMPARE(f.strip().containerFrame().width(), 340.0);
    f.ticker().onUpdate({testPaper(u"Tariffs \u202Eand Tides"_qs), testPaper(u"two"_qs)});
    QCOMPARE(f.label().text(), u"Tariffs and Tides"_qs);
    QCOMPARE(f.label().x(), 340.0);
    QTRY_VERIFY(f.label().x() < 340.0); // the frame driver moves it

    // Screen readers: a button named after the title on display; pressing opens the menu.
    QAccessibleInterface *strip = QAccessible::queryAccessibleInterface(&f.strip());
    QVERIFY(strip && strip->actionInterface());
    QCOMPARE(strip->role(), QAccessible::Button);
    QCOMPARE(strip->text(QAccessible::Name), u"Tariffs and Tides"_qs);
    QVERIFY(QApplication::topLevelWidgets().isEmpty()); // the menu is built on the first press

    f.menu()->hide();
}

void TestTickerController::stripFollowsThePalette()
{
    AppFixture f;
    f.ticker().onUpdate({testPaper(u"one"_qs)});
    const QPalette light = QGuiApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    // A pixel of the margin, outside the box the moving text repaints.
    const auto corner = [&f] {
        return f.strip().screen()->grabWindow(f.strip().winId()).toImage().pixelColor(1, 1);
    };
    QTRY_COMPARE(corner(), light.color(QPalette::Window));
    QGuiApplication::setPalette(dark);
    QTRY_COMPARE(corner(), dark.color(QPalette::Window));
    QGuiApplication::setPalette(light);
    QTRY_COMPARE(corner(), light.color(QPalette::Window));
}

void TestTickerController::openMenuPausesEverything()
{
    AppFixture f;
    f.ticker().onUpdate({testPaper(u"one"_qs), testPaper(u"two"_qs)});
    QTRY_VERIFY(f.label().x() < 150);
    f.openMenu();
    QVERIFY(!f.ticker().isFrameDriverRunning());
    QCOMPARE(runningTimers(f.app->trayIcon()), 0); // not even the look for a tray
    f.closeMenu();
    QVERIFY(f.ticker().isFrameDriverRunning());
    QCOMPARE(runningTimers(f.app->trayIcon()), 1);
    QCOMPARE(f.label().text(), u"one"_qs); // the current paper, from the right edge
    QCOMPARE(f.label().x(), 190.0);
}

void TestTickerController::slidersStartFromTheStoreAndApply()
{
    AppFixture f;
    f.openMenu();
    QCOMPARE(f.slider("widthSlider")->value(), 200);
    QCOMPARE(f.slider("speedSlider")->value(), 80);
    f.slider("widthSlider")->setValue(420);
    QCOMPARE(f.preferences.tickerWidth(), 420.0);
    QCOMPARE(f.strip().width(), 420);
    QCOMPARE(f.strip().containerFrame().width(), 410.0);
    f.slider("speedSlider")->setValue(125);
    QCOMPARE(f.preferences.tickerSpeed(), 1.25);
    f.closeMenu();
    f.ticker().onUpdate({testPaper(u"Rents"_qs)});
    const double x = f.ticker().model().x();
    f.ticker().advance(1); // the very next step moves at the new speed
    QCOMPARE(f.ticker().model().x(), x - 1.25);
    f.openMenu(); // rebuilt from the store
    QCOMPARE(f.slider("widthSlider")->value(), 420);
    QCOMPARE(f.slider("speedSlider")->value(), 125);
}

void TestTickerController::refreshFetches()
{
    AppFixture f;
    const int before = f.server.requestCount();
    f.openMenu();
    f.action("refresh")->trigger();
    QCOMPARE(f.label().text(), u"Refreshing..."_qs); // nothing on display: the word crosses
    QCOMPARE(f.label().x(), 190.0);
    f.closeMenu();
    QTRY_COMPARE(f.server.requestCount(), before + 1);
    QTRY_COMPARE(f.label().text(), u"No papers today"_qs); // what the fetch brought

    f.ticker().onUpdate({testPaper(u"one"_qs)});
    QTRY_VERIFY(f.label().x() < 150);
    f.ticker().refreshPapers();
    QCOMPARE(f.label().text(), u"one"_qs); // the current paper starts again instead
    QCOMPARE(f.label().x(), 190.0);
    QTRY_COMPARE(f.server.requestCount(), before + 2);
}

void TestTickerController::unchangedListKeepsThePlace()
{
    AppFixture f;
    const QList<Paper> papers {testPaper(u"one"_qs), testPaper(u"two"_qs)};
    f.ticker().onUpdate(papers);
    while (f.ticker().model().currentIndex() == 0)
        f.ticker().advance(60);
    f.ticker().advance(10);
    const double x = f.ticker().model().x();
    f.ticker().onUpdate(papers); // a 304, or the same document again
    QCOMPARE(f.ticker().model().currentIndex(), 1);
    QCOMPARE(f.ticker().model().x(), x);
    f.ticker().onUpdate({testPaper(u"one"_qs), testPaper(u"three"_qs)});
    QCOMPARE(f.ticker().model().currentIndex(), 0);
    QCOMPARE(f.label().text(), u"one"_qs);
}

// Feed text as long as the menu allows still leaves the shortcuts on the screen.
void TestTickerController::menuFitsTheScreen()
{
    AppFixture f;
    const QString long1000(1000, u'W');
    f.ticker().onUpdate({Paper {long1000, {}, long1000, u"1"_qs, long1000, long1000}});
    f.openMenu();
    const int screenWidth = f.menu()->screen()->availableGeometry().width();
    QVERIFY2(f.menu()->sizeHint().width() <= screenWidth,
        qPrintable(QString::number(f.menu()->sizeHint().width())));
    f.closeMenu();
}

void TestTickerController::launchAtLoginTellsTheTruth()
{
    StdoutCapture log;
    AppFixture f;
    // A file where the autostart folder should be: registration fails even for root.
    QFile blocker(f.folder + u"/config/autostart"_qs);
    QVERIFY(QDir().mkpath(f.folder + u"/config"_qs) && blocker.open(QIODevice::WriteOnly));
    blocker.close();
    f.openMenu();
    f.action("launchAtLogin")->trigger();
    QVERIFY(!f.preferences.launchAtLogin());
    QVERIFY(!f.action("launchAtLogin")->isChecked());
    QCOMPARE(log.linesStartingWith(u"[Quillet] Launch at Login error: "_qs).size(), 1);
}

void TestTickerController::titleOpensThePaperTheMenuShows()
{
    AppFixture f;
    QSignalSpy opened(&f.ticker(), &TickerController::openUrlRequested);
    f.ticker().onUpdate(
        {testPaper(u"<b>Bold</b> & brave"_qs, u"https://papers.example.org/b?x=1&y=2"_qs),
            testPaper(u"two"_qs)});
    f.openMenu();
    QAction *title = f.action("titleLine");
    QCOMPARE(title->text(), u"<b>Bold</b> && brave"_qs); // plain text, no mnemonic
    // A fetch lands while the menu is open: the click still opens what it shows.
    f.ticker().onUpdate({testPaper(u"other"_qs)});
    title->trigger();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.first().first().toUrl(), QUrl(u"https://papers.example.org/b?x=1&y=2"_qs));
}

void TestTickerController::shortcutsNeedCtrl()
{
    AppFixture f;
    QSignalSpy quits(&f.ticker(), &TickerController::quitRequested);
    f.menu()->popup(QPoint(0, 0));
    QTRY_VERIFY(f.menu()->isVisible());
    QCOMPARE(f.action("quit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QTest::keyClick(f.menu(), Qt::Key_Q); // a stray key quits nothing
    QCoreApplication::processEvents();
    QCOMPARE(quits.size(), 0);
    QVERIFY(f.menu()->isVisible());
    QTest::keyClick(f.menu(), Qt::Key_Q, Qt::ControlModifier);
    QTRY_COMPARE(quits.size(), 1);
    QVERIFY(!f.menu()->isVisible());
}

void TestTickerController::trayMenuHasNoBlankEntries()
{
    AppFixture f(350);
    f.ticker().onUpdate({testPaper(u"one"_qs)});
    QMenu *tray = f.app->trayMenu();
    f.openMenu(tray);
    QStringList texts;
    for (QAction *action : tray->actions()) {
        if (!action->isSeparator())
            QVERIFY2(!action->text().isEmpty(), qPrintable(texts.join(u'|')));
        texts.append(action->text());
    }
    QVERIFY(texts.contains(u"Width: 350"_qs));
    QVERIFY(texts.contains(u"Speed: 0.80"_qs));
    const QList<QAction *> widths = f.action("widthSliderMenu", tray)->menu()->actions();
    QCOMPARE(
        std::count_if(widths.begin(), widths.end(), [](QAction *a) { return a->isChecked(); }), 1);
    QVERIFY(widths.at(5)->isChecked() && widths.at(5)->text() == u"350"_qs);
    widths.first()->trigger();
    QCOMPARE(f.preferences.tickerWidth(), 100.0);
    QCOMPARE(f.strip().width(), 100);
    f.closeMenu(tray);
}

QTEST_MAIN(TestTickerController)
#include "test_ticker_controller.moc"
