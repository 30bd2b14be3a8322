// The status menu as a user meets it: its lines in each state, the controls'
// start values, and what the actions store, open and print.
#include "core/login_item.h"
#include "core/paper_service.h"
#include "core/preferences.h"
#include "support/fake_timers.h"
#include "support/stdout_capture.h"
#include "ui/journal_filter_window.h"
#include "ui/status_item.h"
#include "ui/ticker_controller.h"

#include <QFile>
#include <QMenu>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWidgetAction>

namespace {

Paper paper(
    const QString &title, const QString &journal, const QString &date, const QString &link = {})
{
    return Paper {title, link.isEmpty() ? QStringLiteral("https://papers.example.org/1") : link,
        journal, QStringLiteral("1"),
        QStringLiteral("Mar\u00eda Ib\u00e1\u00f1ez, Tomasz Wr\u00f3bel"), date};
}

struct Fixture
{
    QTemporaryDir dir;
    Preferences preferences {dir.filePath(QStringLiteral("prefs.conf"))};
    PaperService service {PaperService::Config {}, std::make_unique<FakeTimers>()};
    JournalFilterWindow filterWindow {preferences};
    LoginItem loginItem {
        dir.filePath(QStringLiteral("config")), QStringLiteral("/usr/bin/quillet")};
    QList<QUrl> opened;
    int quits = 0;
    TickerController controller {
        TickerController::Environment {preferences, [this]() -> PaperService & { return service; },
            [this]() -> JournalFilterWindow & { return filterWindow; },
            [this]() -> LoginItem & { return loginItem; },
            [this](const QUrl &url) { opened.append(url); }, [this] { ++quits; }}};

    Fixture() { controller.setup(); }
    QMenu *menu() const { return controller.statusItem()->menu(); }
    // What opening the menu shows: each line's text ("-" for a separator).
    QStringList open()
    {
        menu()->aboutToShow();
        QStringList lines;
        for (QAction *action : menu()->actions())
            lines.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        return lines;
    }
    void close() { menu()->aboutToHide(); }
    QAction *action(const char *name) const
    {
        return menu()->findChild<QAction *>(QLatin1String(name));
    }
    QSlider *slider(const char *name) const
    {
        return menu()->findChild<QSlider *>(QLatin1String(name));
    }
};

const QStringList kControls {u"Journal Filters..."_qs, u"-"_qs, u"Display Settings"_qs, QString(),
    QString(), u"-"_qs, u"\u21BB Refresh Now"_qs, u"Launch at Login"_qs, u"-"_qs,
    u"Quit Quillet"_qs};

} // namespace

class TestStatusMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void linesInEachState_data();
    void linesInEachState();
    void titleIsPlainTextAndOpensTheLink();
    void slidersStoreAndApply();
    void openCurrentPaper_data();
    void openCurrentPaper();
    void failedRegistrationTurnsTheSwitchOff();
    void refreshRestartsCurrentPaperAndFetches();
};

void TestStatusMenu::linesInEachState_data()
{
    QTest::addColumn<QList<Paper>>("feed");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<QStringList>("block");

    const QString authors = u"Mar\u00eda Ib\u00e1\u00f1ez, Tomasz Wr\u00f3bel"_qs;
    QTest::addRow("before the first fetch")
        << QList<Paper>() << QStringList() << QStringList {u"No papers loaded yet"_qs};
    QTest::addRow("all hidden") << QList<Paper> {paper(u"T"_qs, u"JDE in Press"_qs,
        u"2026-12-01"_qs)} << QStringList {u"Journal of Development Economics"_qs}
                                << QStringList {u"All papers hidden by filter"_qs};
    QTest::addRow("with a date") << QList<Paper> {paper(u"Ports & Prices"_qs, u"JDE in Press"_qs,
        u"2026-12-01"_qs)} << QStringList()
                                 << QStringList {u"Journal of Development Economics"_qs,
                                        u"Ports && Prices"_qs, authors, u"2026-12-01"_qs, u"-"_qs};
    QTest::addRow("without a date")
        << QList<Paper> {paper(u"T"_qs, u"AER Forthcoming"_qs, QString())} << QStringList()
        << QStringList {u"American Economic Review"_qs, u"T"_qs, authors, u"-"_qs};
    QTest::addRow("blank date is shown")
        << QList<Paper> {paper(u"T"_qs, u"AER Forthcoming"_qs, u" "_qs)} << QStringList()
        << QStringList {u"American Economic Review"_qs, u"T"_qs, authors, u" "_qs, u"-"_qs};
    QTest::addRow("direction overrides and controls taken out")
        << QList<Paper> {paper(u"Rates\u202Eetar"_qs, u"Lab\u2066el"_qs, u"2026\u0007-12"_qs)}
        << QStringList()
        << QStringList {u"Label"_qs, u"Ratesetar"_qs, authors, u"2026 -12"_qs, u"-"_qs};
    QTest::addRow("label not in the table")
        << QList<Paper> {paper(u"T"_qs, u"jpe just accepted"_qs, QString())} << QStringList()
        << QStringList {u"jpe just accepted"_qs, u"T"_qs, authors, u"-"_qs};
}

void TestStatusMenu::linesInEachState()
{
    QFETCH(QList<Paper>, feed);
    QFETCH(QStringList, hidden);
    QFETCH(QStringList, block);

    Fixture f;
    f.preferences.setHiddenJournals(hidden);
    if (!feed.isEmpty() || !hidden.isEmpty())
        f.service.onUpdate(feed);
    QCOMPARE(f.open(), block + kControls);
    QVERIFY(f.controller.isTickerPaused());
    // Rebuilt, not appended to, at the next opening.
    f.close();
    QCOMPARE(f.open(), block + kControls);
}

void TestStatusMenu::titleIsPlainTextAndOpensTheLink()
{
    Fixture f;
    f.service.onUpdate({paper(u"<b>Bold</b> & brave"_qs, u"JPE Just Accepted"_qs, QString(),
        u"https://papers.example.org/bold"_qs)});
    f.open();
    QAction *title = f.action("titleLine");
    QVERIFY(title && title->isEnabled());
    QCOMPARE(title->text(), u"<b>Bold</b> && brave"_qs);
    title->trigger();
    QCOMPARE(f.opened, QList<QUrl> {QUrl(u"https://papers.example.org/bold"_qs)});
    // Every other paper line is informational.
    for (const char *name : {"journalLine", "authorLine"})
        QVERIFY(!f.action(name)->isEnabled());
}

void TestStatusMenu::slidersStoreAndApply()
{
    Fixture f;
    f.open();
    f.slider("widthSlider")->setValue(420);
    QCOMPARE(f.preferences.tickerWidth(), 420.0);
    QCOMPARE(f.controller.statusItem()->width(), 420);
    QCOMPARE(f.controller.statusItem()->containerFrame().width(), 410.0);
    f.slider("speedSlider")->setValue(125);
    QCOMPARE(f.preferences.tickerSpeed(), 1.25);
}

void TestStatusMenu::openCurrentPaper_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("opened"); // empty: nothing may open
    QTest::addColumn<bool>("refusalLogged");

    QTest::addRow("valid with a query") << u"https://papers.example.org/p?id=7&v=2"_qs
                                        << u"https://papers.example.org/p?id=7&v=2"_qs << false;
    QTest::addRow("space, percent and number sign")
        << u"https://papers.example.org/a b%20c#d?x=1"_qs
        << u"https://papers.example.org/a%20b%2520c%23d?x=1"_qs << false;
    QTest::addRow("empty") << QString() << QString() << false;
    QTest::addRow("file") << u"file:///etc/passwd"_qs << QString() << true;
    QTest::addRow("javascript") << u"javascript:alert(1)"_qs << QString() << true;
    QTest::addRow("smb") << u"smb://host/share"_qs << QString() << true;
    QTest::addRow("custom scheme") << u"steam://run/1"_qs << QString() << true;
    QTest::addRow("relative") << u"papers/1"_qs << QString() << true;
    QTest::addRow("no host") << u"https:///path"_qs << QString() << true;
}

void TestStatusMenu::openCurrentPaper()
{
    QFETCH(QString, link);
    QFETCH(QString, opened);
    QFETCH(bool, refusalLogged);
    StdoutCapture log;
    Fixture f;
    f.service.onUpdate({paper(u"T"_qs, u"JPE Just Accepted"_qs, QString(), u"x"_qs)});
    f.service.onUpdate({Paper {u"T"_qs, link, u"J"_qs, {}, {}, {}}});
    f.controller.openCurrentPaper();
    if (opened.isEmpty()) {
        QVERIFY(f.opened.isEmpty());
    } else {
        QCOMPARE(f.opened.size(), 1);
        QCOMPARE(f.opened.first().toString(QUrl::FullyEncoded), opened);
    }
    QCOMPARE(log.linesStartingWith(u"[Quillet] Refused to open"_qs).size(), refusalLogged ? 1 : 0);
}

void TestStatusMenu::failedRegistrationTurnsTheSwitchOff()
{
    StdoutCapture log;
    Fixture f;
    // A file where the autostart folder should be: registration fails even for root.
    QVERIFY(QDir().mkpath(f.dir.filePath(u"config"_qs)));
    QFile blocker(f.dir.filePath(u"config/autostart"_qs));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    f.open();
    f.action("launchAtLogin")->trigger();
    QVERIFY(!f.preferences.launchAtLogin());
    QVERIFY(!f.action("launchAtLogin")->isChecked());
    const QStringList errors = log.linesStartingWith(u"[Quillet] Launch at Login error: "_qs);
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.first().size() > QStringLiteral("[Quillet] Launch at Login error: ").size());
    f.close();
    f.open();
    QVERIFY(!f.action("launchAtLogin")->isChecked());
}

void TestStatusMenu::refreshRestartsCurrentPaperAndFetches()
{
    Fixture f;
    const ScrollingLabel &label = f.controller.statusItem()->label();
    f.controller.refreshPapers(); // nothing on display: the word crosses
    QCOMPARE(label.text(), u"Refreshing..."_qs);
    QCOMPARE(label.x(), 190.0);

    f.service.onUpdate({paper(u"one"_qs, u"JPE Just Accepted"_qs, QString())});
    for (int i = 0; i < 30; ++i)
        f.controller.tick();
    f.controller.refreshPapers();
    QCOMPARE(label.text(), u"one"_qs);
    QCOMPARE(label.x(), 190.0);
    QVERIFY(f.controller.isFrameDriverRunning());
}

QTEST_MAIN(TestStatusMenu)
#include "test_status_menu.moc"
