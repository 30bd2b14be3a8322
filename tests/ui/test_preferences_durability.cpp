// Preferences survive the process being killed outright: a child process
// changes every preference through the program's own controls, is killed with
// SIGKILL a second later, and a fresh reader finds every value on disk.
#include "core/login_item.h"
#include "core/paper_service.h"
#include "core/preferences.h"
#include "support/fake_timers.h"
#include "ui/journal_filter_window.h"
#include "ui/status_item.h"
#include "ui/ticker_controller.h"

#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <cstdio>

namespace {

// The child: the real controller, menu and filter panel on the given store.
int runChild(const QString &store, const QString &configDir)
{
    Preferences preferences(store);
    PaperService service(PaperService::Config {}, std::make_unique<FakeTimers>());
    JournalFilterWindow filters(preferences);
    LoginItem loginItem(configDir, QStringLiteral("/usr/bin/quillet"));
    TickerController controller(
        TickerController::Environment {preferences, [&]() -> PaperService & { return service; },
            [&]() -> JournalFilterWindow & { return filters; },
            [&]() -> LoginItem & { return loginItem; }, [](const QUrl &) {}, [] {}});
    controller.setup();

    QMenu *menu = controller.statusItem()->menu();
    menu->aboutToShow();
    menu->findChild<QSlider *>(QStringLiteral("widthSlider"))->setValue(321);
    menu->findChild<QSlider *>(QStringLiteral("speedSlider"))->setValue(175);
    menu->findChild<QAction *>(QStringLiteral("launchAtLogin"))->trigger();
    menu->findChild<QAction *>(QStringLiteral("journalFilters"))->trigger();
    filters.window()->findChild<QCheckBox *>(QStringLiteral("journal:World Economy"))->click();
    menu->aboutToHide();

    std::printf("ready\n");
    std::fflush(stdout);
    return QApplication::exec();
}

} // namespace

class TestPreferencesDurability : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyChangeSurvivesSigkill();
};

void TestPreferencesDurability::everyChangeSurvivesSigkill()
{
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("Quillet.conf"));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
        {QStringLiteral("--child"), store, dir.filePath(QStringLiteral("config"))});
    QVERIFY(child.waitForStarted());
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += child.readAllStandardOutput()).contains("ready"), 20000);

    // The scenario itself: a second of ordinary running, then no chance to clean up.
    QTest::qWait(1000);
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    const Preferences reread(store);
    QCOMPARE(reread.tickerWidth(), 321.0);
    QCOMPARE(reread.tickerSpeed(), 1.75);
    QVERIFY(reread.launchAtLogin());
    QCOMPARE(reread.hiddenJournals(), QStringList {u"World Economy"_qs});
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0)
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestPreferencesDurability test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_preferences_durability.moc"
