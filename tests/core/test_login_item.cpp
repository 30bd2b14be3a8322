// The autostart entry as a desktop session sees it: real files under a scratch
// config home, and the switch's stored value and log line.
#include "core/login_item.h"
#include "core/preferences.h"
#include "support/stdout_capture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Switching on from a clean slate or with a file in the way, or off with an entry in place.
enum class Setup { Nothing, AutostartIsFile, OwnEntry, Unmarked, Foreign };

} // namespace

class TestLoginItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void execIsQuoted_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::addRow("space") << u"/opt/My Apps/quillet"_qs << u"\"/opt/My Apps/quillet\""_qs;
        QTest::addRow("percent") << u"/opt/100%/quillet"_qs << u"/opt/100%%/quillet"_qs;
        QTest::addRow("newline cannot inject a key")
            << u"/opt/a\nHidden=true/quillet"_qs
            << QStringLiteral(R"("/opt/a\nHidden=true/quillet")");
    }
    void execIsQuoted()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QTemporaryDir home;
        LoginItem item(home.path(), program);
        QVERIFY(item.registerItem().ok);
        const QStringList lines = QString::fromUtf8(contents(item.desktopFilePath())).split(u'\n');
        QVERIFY(lines.contains(u"Exec="_qs + exec));
        QCOMPARE(lines.size(), 15); // 14 lines, the last one ended
    }

    void switchTellsTheTruth_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("error"); // how the one error line goes on; empty: no line
        QTest::addRow("on") << Setup::Nothing << QString();
        QTest::addRow("on, a file where autostart goes")
            << Setup::AutostartIsFile << u"Cannot create "_qs;
        QTest::addRow("off removes our entry") << Setup::OwnEntry << QString();
        QTest::addRow("off removes an entry from before the mark") << Setup::Unmarked << QString();
        QTest::addRow("off keeps a hand-written entry") << Setup::Foreign << u"Left "_qs;
    }
    void switchTellsTheTruth()
    {
        QFETCH(Setup, setup);
        QFETCH(QString, error);
        const bool on = setup == Setup::Nothing || setup == Setup::AutostartIsFile;
        const bool stored = setup == Setup::Nothing;
        QTemporaryDir home;
        Preferences prefs(home.filePath(QStringLiteral("prefs.conf")));
        prefs.setLaunchAtLogin(!on);
        LoginItem item(home.path(), u"/usr/bin/quillet"_qs);
        const QString autostart = home.filePath(QStringLiteral("autostart"));
        const QString path = item.desktopFilePath();
        const QByteArray foreign = "[Desktop Entry]\nType=Application\nExec=quillet --mine\n";
        if (setup == Setup::AutostartIsFile)
            writeFile(autostart, "not a folder");
        else
            QVERIFY(QDir().mkpath(autostart));
        if (setup == Setup::OwnEntry || setup == Setup::Unmarked)
            QVERIFY(item.registerItem().ok);
        if (setup == Setup::Unmarked) // as written before entries were marked, elsewhere
            writeFile(path,
                contents(path)
                    .replace("/usr/bin/", "/opt/old/")
                    .replace(LoginItem::ManagedKey + QByteArray("\n"), ""));
        if (setup == Setup::Foreign)
            writeFile(path, foreign);

        StdoutCapture log;
        QCOMPARE(item.apply(on, prefs), stored);
        QCOMPARE(prefs.launchAtLogin(), stored);
        QCOMPARE(contents(path).contains(LoginItem::ManagedKey), stored);
        QCOMPARE(QFileInfo::exists(path), stored || setup == Setup::Foreign);
        QCOMPARE(contents(path) == foreign, setup == Setup::Foreign);
        const QStringList lines = log.linesStartingWith(u"[Quillet] Launch at Login error: "_qs);
        QCOMPARE(lines.size(), error.isEmpty() ? 0 : 1);
        if (!error.isEmpty())
            QVERIFY2(lines.first().startsWith(u"[Quillet] Launch at Login error: "_qs + error),
                qPrintable(lines.first()));
    }
};

QTEST_GUILESS_MAIN(TestLoginItem)
#include "test_login_item.moc"
