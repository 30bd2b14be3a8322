// The autostart entry as a desktop session sees it: real files under a scratch
// config home, and the switch's stored value and log line.
#include "core/login_item.h"
#include "core/preferences.h"
#include "support/scratch_files.h"
#include "support/stdout_capture.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

// Switching on from a clean slate, with a file in the way or on a full disk, or
// off with an entry in place.
enum class Setup { Nothing, AutostartIsFile, FullDisk, OwnEntry, Unmarked, Foreign };

// A tiny file system over the folder, filled up; false where mounting is not allowed.
bool fillUpOver(const QString &dir)
{
    if (!QDir().mkpath(dir)
        || ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, "size=16k") != 0)
        return false;
    QFile fill(dir + u"/fill"_qs);
    fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    while (fill.write(QByteArray(1024, 'x')) > 0) { }
    return true;
}

class TestLoginItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One path with every hazard: a space forces quotes, a bare % would start a
    // field code, and a raw newline would end the line and start a key of its own.
    void execIsQuoted()
    {
        QTemporaryDir home;
        LoginItem item(home.path(), u"/opt/My Apps/100%/a\nHidden=true/quillet"_qs);
        QVERIFY(item.registerItem().ok);
        QVERIFY(readFile(item.desktopFilePath())
                    .split('\n')
                    .contains(R"(Exec="/opt/My Apps/100%%/a\nHidden=true/quillet")"));
    }

    void switchTellsTheTruth_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("stored"); // and shown: whether an entry is there
        QTest::addColumn<QString>("error"); // how the one error line goes on; empty: no line
        QTest::addRow("on") << Setup::Nothing << true << true << QString();
        QTest::addRow("on, a file where autostart goes")
            << Setup::AutostartIsFile << true << false << u"Cannot create "_qs;
        QTest::addRow("on, disk full") << Setup::FullDisk << true << false << u"Cannot write "_qs;
        QTest::addRow("on keeps a hand-written entry")
            << Setup::Foreign << true << true << u"Left "_qs;
        QTest::addRow("off removes our entry") << Setup::OwnEntry << false << false << QString();
        QTest::addRow("off removes an entry from before the mark")
            << Setup::Unmarked << false << false << QString();
        QTest::addRow("off keeps a hand-written entry")
            << Setup::Foreign << false << true << u"Left "_qs;
    }
    void switchTellsTheTruth()
    {
        QFETCH(Setup, setup);
        QFETCH(bool, on);
        QFETCH(bool, stored);
        QFETCH(QString, error);
        QTemporaryDir home;
        Preferences prefs(home.filePath(u"prefs.conf"_qs));
        prefs.setLaunchAtLogin(!on);
        LoginItem item(home.path(), u"/usr/bin/quillet"_qs);
        const QString path = item.desktopFilePath();
        const QByteArray foreign = "[Desktop Entry]\nType=Application\nExec=quillet --mine\n";
        bool mounted = false;
        const auto unmount = qScopeGuard([&] {
            if (mounted)
                ::umount2(
                    QFile::encodeName(home.filePath(u"autostart"_qs)).constData(), MNT_DETACH);
        });
        if (setup == Setup::FullDisk && !(mounted = fillUpOver(home.filePath(u"autostart"_qs))))
            QSKIP("mounting a small file system needs root and a mount namespace that allows it");
        if (setup == Setup::AutostartIsFile)
            writeFile(home.filePath(u"autostart"_qs), "not a folder");
        if (setup == Setup::OwnEntry || setup == Setup::Unmarked)
            QVERIFY(item.registerItem().ok);
        if (setup == Setup::Unmarked) // as written before entries were marked, elsewhere
            writeFile(path,
                readFile(path)
                    .replace("/usr/bin/", "/opt/old/")
                    .replace(LoginItem::managedMark + QByteArray("\n"), ""));
        if (setup == Setup::Foreign)
            writeFile(path, foreign);

        StdoutCapture log;
        QCOMPARE(item.apply(on, prefs), stored);
        QCOMPARE(prefs.launchAtLogin(), stored);
        QCOMPARE(
            readFile(path).contains(LoginItem::managedMark), stored && setup != Setup::Foreign);
        QCOMPARE(QFileInfo::exists(path), stored);
        // Nor a half-written copy beside it.
        QCOMPARE(QDir(QFileInfo(path).path()).entryList({u"quillet*"_qs}, QDir::Files).size(),
            int(stored));
        QCOMPARE(readFile(path) == foreign, setup == Setup::Foreign);
        const QString line = u"[Quillet] Launch at Login error: "_qs;
        QCOMPARE(log.linesStartingWith(line).size(), int(!error.isEmpty()));
        QCOMPARE(log.linesStartingWith(line + error).size(), int(!error.isEmpty()));
    }
};

QTEST_GUILESS_MAIN(TestLoginItem)
#include "test_login_item.moc"
