// Preferences survive the process being killed outright: a child process
// changes every preference through the program's own controls and is killed
// with SIGKILL once they are on disk; a fresh reader finds every value.
#include "app_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QProcess>

#include <csignal>
#include <cstdio>

namespace {

// The child: the program as wired, on the given folder.
int runChild(const QString &folder)
{
    AppFixture f(0, folder);
    f.openMenu();
    f.slider("widthSlider")->setValue(321);
    f.slider("speedSlider")->setValue(175);
    f.action("launchAtLogin")->trigger();
    f.action("journalFilters")->trigger();
    f.filterWindow.window()
        ->findChild<QCheckBox *>(QStringLiteral("journal:World Economy"))
        ->click();
    f.closeMenu();
    std::printf("ready\n");
    std::fflush(stdout);
    return QApplication::exec();
}

bool everyValueStored(const QString &store)
{
    const Preferences reread(store);
    return reread.tickerWidth() == 321.0 && reread.tickerSpeed() == 1.75 && reread.launchAtLogin()
        && reread.hiddenJournals() == QStringList {u"World Economy"_qs};
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
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), dir.path()});
    QVERIFY(child.waitForStarted());
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += child.readAllStandardOutput()).contains("ready"), 20000);
    // Written while the program runs, not at exit: then no chance to clean up.
    QTRY_VERIFY_WITH_TIMEOUT(everyValueStored(store), 10000);
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QVERIFY(everyValueStored(store));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(QString::fromLocal8Bit(argv[2]));
    TestPreferencesDurability test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_preferences_durability.moc"
