#include "core/preferences.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <utility>

class TestPreferences : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    // Every case gets its own INI file.
    QString newIniFile() { return m_dir.filePath(QStringLiteral("p%1.ini").arg(++m_files)); }

    QString fileWith(const QByteArray &content)
    {
        const QString path = newIniFile();
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // QSettings keeps each file's parsed values, still typed, cached per path for
    // the life of the process, so a second object on the same path never re-reads
    // the text. A copy under a new name is parsed from disk, as on the next launch.
    QString diskCopy(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(path));
        return fileWith(file.readAll());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void emptyStoreFallsBack()
    {
        const Preferences prefs(newIniFile());
        QCOMPARE(prefs.tickerWidth(), 200.0);
        QCOMPARE(prefs.tickerSpeed(), 0.8);
        QVERIFY(prefs.hiddenJournals().isEmpty());
        QVERIFY(!prefs.contains(Preferences::HiddenJournals));
        QVERIFY(!prefs.launchAtLogin());
    }

    void numbersWritten_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("expectedWidth");
        QTest::addColumn<double>("expectedSpeed");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("zero is absent") << 0.0 << 0.0 << 200.0 << 0.8;
        QTest::newRow("minus zero is absent") << -0.0 << -0.0 << 200.0 << 0.8;
        QTest::newRow("ordinary") << 350.0 << 2.5 << 350.0 << 2.5;
        QTest::newRow("below slider kept") << 50.0 << 0.05 << 50.0 << 0.05;
        QTest::newRow("above slider kept") << 900.0 << 40.0 << 900.0 << 40.0;
        QTest::newRow("negative kept") << -10.0 << -0.5 << -10.0 << -0.5;
        QTest::newRow("not finite") << nan << inf << 200.0 << 0.8;
    }
    void numbersWritten()
    {
        QFETCH(double, width);
        QFETCH(double, speed);
        QFETCH(double, expectedWidth);
        QFETCH(double, expectedSpeed);
        const QString path = newIniFile();
        Preferences writer(path);
        writer.setTickerWidth(width);
        writer.setTickerSpeed(speed);
        writer.sync();
        const Preferences samePath(path);
        const Preferences fromDisk(diskCopy(path));
        for (const Preferences *p : {&std::as_const(writer), &samePath, &fromDisk}) {
            QCOMPARE(p->tickerWidth(), expectedWidth);
            QCOMPARE(p->tickerSpeed(), expectedSpeed);
        }
    }

    // Hand edits: one line under [General]; the other keys must keep their fallbacks.
    void handEdited_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("speed");
        QTest::addColumn<bool>("launch");
        QTest::newRow("width junk") << QByteArray("tickerWidth=abc") << 200.0 << 0.8 << false;
        QTest::newRow("width with unit")
            << QByteArray("tickerWidth=350px") << 200.0 << 0.8 << false;
        QTest::newRow("width empty") << QByteArray("tickerWidth=") << 200.0 << 0.8 << false;
        QTest::newRow("width -0") << QByteArray("tickerWidth=-0") << 200.0 << 0.8 << false;
        QTest::newRow("width blanks") << QByteArray("tickerWidth= 350 ") << 350.0 << 0.8 << false;
        QTest::newRow("width quoted blanks")
            << QByteArray("tickerWidth=\" 350 \"") << 350.0 << 0.8 << false;
        QTest::newRow("speed plain") << QByteArray("tickerSpeed=2.5") << 200.0 << 2.5 << false;
        QTest::newRow("speed 0.0") << QByteArray("tickerSpeed=0.0") << 200.0 << 0.8 << false;
        QTest::newRow("speed nan") << QByteArray("tickerSpeed=nan") << 200.0 << 0.8 << false;
        // INI splits an unquoted comma into a list.
        QTest::newRow("speed decimal comma")
            << QByteArray("tickerSpeed=2,5") << 200.0 << 0.8 << false;
        QTest::newRow("launch true") << QByteArray("launchAtLogin=true") << 200.0 << 0.8 << true;
        QTest::newRow("launch 1") << QByteArray("launchAtLogin=1") << 200.0 << 0.8 << true;
        QTest::newRow("launch false") << QByteArray("launchAtLogin=false") << 200.0 << 0.8 << false;
        QTest::newRow("launch 0") << QByteArray("launchAtLogin=0") << 200.0 << 0.8 << false;
        QTest::newRow("launch junk")
            << QByteArray("launchAtLogin=yes please") << 200.0 << 0.8 << false;
        QTest::newRow("launch empty") << QByteArray("launchAtLogin=") << 200.0 << 0.8 << false;
    }
    void handEdited()
    {
        QFETCH(QByteArray, line);
        QFETCH(double, width);
        QFETCH(double, speed);
        QFETCH(bool, launch);
        const Preferences prefs(fileWith("[General]\n" + line + "\n"));
        QCOMPARE(prefs.tickerWidth(), width);
        QCOMPARE(prefs.tickerSpeed(), speed);
        QCOMPARE(prefs.launchAtLogin(), launch);
    }

    void launchAtLoginRoundTrip()
    {
        const QString path = newIniFile();
        Preferences writer(path);
        for (const bool on : {true, false, true}) {
            writer.setLaunchAtLogin(on);
            writer.sync();
            QCOMPARE(writer.launchAtLogin(), on);
            QCOMPARE(Preferences(path).launchAtLogin(), on);
            QCOMPARE(Preferences(diskCopy(path)).launchAtLogin(), on);
        }
    }

    void hiddenJournalsRoundTrip_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::newRow("empty") << QStringList {};
        QTest::newRow("one") << QStringList {QStringLiteral("Economica")};
        QTest::newRow("one with commas and &")
            << QStringList {QStringLiteral("Journal of Law, Economics, & Organization")};
        QTest::newRow("several, order kept") << QStringList {QStringLiteral("World Economy"),
            QStringLiteral("Journal of Money, Credit and Banking"),
            QStringLiteral("Journal of Banking & Finance"),
            QStringLiteral("American Economic Journal: Applied Economics"),
            QStringLiteral("Revue d\u2019\u00e9conomie politique \u2013 \u7d4c\u6e08"),
            QStringLiteral("Accounting, Organizations and Society")};
    }
    void hiddenJournalsRoundTrip()
    {
        QFETCH(QStringList, names);
        const QString path = newIniFile();
        Preferences writer(path);
        writer.setHiddenJournals(names);
        writer.sync();
        QCOMPARE(writer.hiddenJournals(), names);
        QCOMPARE(Preferences(path).hiddenJournals(), names);
        const Preferences fromDisk(diskCopy(path));
        QVERIFY(fromDisk.contains(Preferences::HiddenJournals));
        QCOMPARE(fromDisk.hiddenJournals(), names);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "test_preferences.moc"
