#include "core/preferences.h"
#include "support/stdout_capture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>
#include <utility>

class TestPreferences : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    QString fileWith(const QByteArray &content, QString path = {})
    {
        if (path.isEmpty())
            path = m_dir.filePath(QStringLiteral("p%1.conf").arg(++m_files));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // QSettings caches each file's parsed, still typed values per path for the
    // life of the process. A copy under a new name is parsed from disk, as on the
    // next launch.
    QString diskCopy(const QString &path)
    {
        QFile file(path);
        return fileWith(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }

    // One hand-edited store: the stored width, speed and launch at login (empty: absent).
    static void row(const char *name, const char *width, const char *speed, const char *launch,
        double shownWidth, double shownSpeed, bool on)
    {
        QByteArray text = "[General]\n";
        for (const auto &[key, value] : {std::pair {"tickerWidth=", width}, {"tickerSpeed=", speed},
                 {"launchAtLogin=", launch}})
            text += *value ? key + QByteArray(value) + '\n' : QByteArray();
        QTest::newRow(name) << text << shownWidth << shownSpeed << on;
    }

public:
    // The user's store is looked for here, never in the real home.
    TestPreferences() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(u"home"_qs))); }

private Q_SLOTS:

    void userStoreTakesOverTheOldIniOnce()
    {
        const QString folder = m_dir.filePath(QStringLiteral("home/Quillet/"));
        QVERIFY(QDir().mkpath(folder));
        const QString ini = fileWith(
            "[General]\ntickerWidth=350\nhiddenJournals=@Invalid()\n", folder + u"Quillet.ini"_qs);
        const QString conf = fileWith(
            "[General]\ntickerWidth=250\ntickerSpeed=2.5\n", folder + u"Quillet.conf"_qs);
        const Preferences &prefs = Preferences::standard();
        const Preferences reread(diskCopy(conf));
        for (const Preferences *p : {&prefs, &reread}) {
            QCOMPARE(p->tickerWidth(), 350.0); // what the program last ran with
            QCOMPARE(p->tickerSpeed(), 2.5);
            QVERIFY(p->contains(Preferences::HiddenJournals) && p->hiddenJournals().isEmpty());
        }
        // Gone from its name, so deleting Quillet.conf afterwards really resets.
        QVERIFY(!QFile::exists(ini) && QFile::exists(ini + u".carried-over"_qs));
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
        const QString file = dir.filePath(QStringLiteral("Quillet.conf"));
        if (obstacle == u"folder")
            QVERIFY(QDir().mkpath(file));
        if (obstacle == u"file")
            QFile::setPermissions(fileWith("[General]\n", file), QFile::ReadOwner);
        if (obstacle == u"parent")
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const QStringList names {QStringLiteral("Journal of Law, Economics, & Organization")};
        StdoutCapture log;
        {
            Preferences prefs(file);
            prefs.setTickerWidth(300);
            prefs.setHiddenJournals(names);
            QCOMPARE(prefs.tickerWidth(), 300.0); // in effect for this run either way
        }
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QStringList lines = log.linesStartingWith(
            u"[Quillet] Preferences not saved to "_qs + file + u": "_qs + reason);
        QCOMPARE(lines.size(), reason.isEmpty() ? 0 : 1);
        if (reason.isEmpty())
            QCOMPARE(Preferences(diskCopy(file)).hiddenJournals(), names);
    }

    // Hand edits and stray values: 0 means the fallback, else the nearest working value.
    void storedValues_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("shownWidth");
        QTest::addColumn<double>("shownSpeed");
        QTest::addColumn<bool>("on");
        row("absent", "", "", "", 200, 0.8, false);
        row("zero", "0", "-0.0", "1", 200, 0.8, true);
        row("ordinary", " 350 ", "2.5", "true", 350, 2.5, true);
        row("junk", "350px", "2,5", "yes please", 200, 0.8, false);
        row("not finite", "inf", "nan", "0", 200, 0.8, false);
        row("huge", "100000", "1e308", "false", 600, 5, false);
        row("negative", "-10", "-5", "", 100, 0.1, false);
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
