#include "core/preferences.h"
#include "support/scratch_files.h"
#include "support/stdout_capture.h"

#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestPreferences : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    // QSettings caches each file's parsed, still typed values per path for the
    // life of the process: a copy under a new name is parsed from disk, as on the
    // next launch.
    QString fileWith(const QByteArray &content)
    {
        const QString path = m_dir.filePath(u"p%1.conf"_qs.arg(++m_files));
        writeFile(path, content);
        return path;
    }

    // One hand-edited store, its [General] keys given; what it reads as.
    static void row(const char *name, const char *keys, double width, double speed, bool on)
    {
        QTest::newRow(name) << "[General]\n" + QByteArray(keys) << width << speed << on;
    }

public:
    // The user's store is looked for here, never in the real home.
    TestPreferences() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(u"home"_qs))); }

private Q_SLOTS:
    void userStoreTakesOverTheOldIniOnce()
    {
        const QString ini = m_dir.filePath(u"home/Quillet/Quillet.ini"_qs);
        const QString conf = m_dir.filePath(u"home/Quillet/Quillet.conf"_qs);
        writeFile(ini, "[General]\ntickerWidth=350\nhiddenJournals=@Invalid()\n");
        writeFile(conf, "[General]\ntickerWidth=250\ntickerSpeed=2.5\n");
        const Preferences &prefs = Preferences::standard();
        const Preferences reread(fileWith(readFile(conf)));
        for (const Preferences *p : {&prefs, &reread}) {
            QCOMPARE(p->tickerWidth(), 350.0); // what the program last ran with
            QCOMPARE(p->tickerSpeed(), 2.5);
            QVERIFY(p->contains(Preferences::hiddenJournalsKey) && p->hiddenJournals().isEmpty());
        }
        // Gone from its name, so deleting Quillet.conf afterwards really resets.
        QVERIFY(!QFile::exists(ini) && QFile::exists(ini + u".carried-over"_qs));
    }

    // Where the old file cannot be renamed, the next start must not copy it again
    // over what the user has changed since.
    void oldIniThatStaysIsReadOnce()
    {
        const QString ini = m_dir.filePath(u"stuck/Quillet.ini"_qs);
        writeFile(ini, "[General]\ntickerWidth=150\n");
        writeFile(ini + u".carried-over/kept"_qs, {}); // a full folder where it would go
        const QString conf = m_dir.filePath(u"stuck/Quillet.conf"_qs);
        Preferences(conf).carryOver(ini);
        Preferences(conf).setTickerWidth(500);
        Preferences next(fileWith(readFile(conf)));
        next.carryOver(ini);
        QCOMPARE(next.tickerWidth(), 500.0);
        QVERIFY(QFile::exists(ini));
    }

    void unsavedChangeIsReported_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("reason"); // empty: saved, no line
        QTest::newRow("saved") << QString() << QString();
        QTest::newRow("folder in its place") << u"folder"_qs << u"a folder is in its place"_qs;
        QTest::newRow("read-only file") << u"file"_qs << u"the file is read-only"_qs;
        QTest::newRow("read-only folder") << u"parent"_qs << u"its folder is read-only"_qs;
    }
    void unsavedChangeIsReported()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, reason);
        if ((obstacle == u"file" || obstacle == u"parent") && ::geteuid() == 0)
            QSKIP("permissions do not stop root");
        QTemporaryDir dir;
        const QString file = dir.filePath(u"Quillet.conf"_qs);
        if (obstacle == u"folder")
            QVERIFY(QDir().mkpath(file));
        if (obstacle == u"file")
            writeFile(file, "[General]\n");
        QFile::setPermissions(
            obstacle == u"parent" ? dir.path() : file, QFile::ReadOwner | QFile::ExeOwner);
        const QStringList names {u"Journal of Law, Economics, & Organization"_qs};
        StdoutCapture log;
        {
            Preferences prefs(file);
            prefs.setTickerWidth(300);
            prefs.setHiddenJournals(names);
            QCOMPARE(prefs.tickerWidth(), 300.0); // in effect for this run either way
            // On disk at once, not at exit (a killed process loses nothing), or
            // nothing at all when the save failed.
            QCOMPARE(Preferences(fileWith(readFile(file))).hiddenJournals(),
                reason.isEmpty() ? names : QStringList());
        }
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // One line for both changes.
        QCOMPARE(
            log.linesStartingWith(u"[Quillet] Preferences not saved to %1: %2"_qs.arg(file, reason))
                .size(),
            int(!reason.isEmpty()));
    }

    // Hand edits and stray values: 0 means the fallback, else the nearest working value.
    void storedValues_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("shownWidth");
        QTest::addColumn<double>("shownSpeed");
        QTest::addColumn<bool>("on");
        row("absent", "", 200, 0.8, false);
        row("zero", "tickerWidth=0\ntickerSpeed=-0.0\nlaunchAtLogin=1", 200, 0.8, true);
        row("ordinary", "tickerWidth= 350 \ntickerSpeed=2.5\nlaunchAtLogin=true", 350, 2.5, true);
        row("junk", "tickerWidth=350px\ntickerSpeed=2,5\nlaunchAtLogin=yes please", 200, 0.8,
            false);
        row("not finite", "tickerWidth=inf\ntickerSpeed=nan\nlaunchAtLogin=0", 200, 0.8, false);
        row("huge", "tickerWidth=100000\ntickerSpeed=1e308\nlaunchAtLogin=false", 600, 5, false);
        row("negative", "tickerWidth=-10\ntickerSpeed=-5", 100, 0.1, false);
    }
    void storedValues()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, shownWidth);
        QFETCH(double, shownSpeed);
        QFETCH(bool, on);
        const Preferences prefs(fileWith(text));
        QCOMPARE(prefs.tickerWidth(), shownWidth);
        QCOMPARE(prefs.tickerSpeed(), shownSpeed);
        QCOMPARE(prefs.launchAtLogin(), on);
    }

    void widthFitsTheScreen()
    {
        QCOMPARE(Preferences::boundedWidth(600, 480), 480.0);
        QCOMPARE(Preferences::boundedWidth(350, 1920), 350.0);
        QCOMPARE(Preferences::boundedWidth(350, 0), 350.0); // screen unknown
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "test_preferences.moc"
