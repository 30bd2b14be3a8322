// The autostart entry as a desktop session sees it: real files under a scratch
// config home, read back line by line.
#include "core/login_item.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Program = QStringLiteral("/usr/bin/quillet");

// The entry's lines, or nothing when the file is missing, starts with a BOM or
// leaves its last line unterminated.
QStringList entryLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray raw = file.readAll();
    if (raw.startsWith("\xEF\xBB\xBF") || !raw.endsWith('\n'))
        return {};
    QStringList lines = QString::fromUtf8(raw).split(u'\n');
    lines.removeLast();
    return lines;
}

QString execLine(const QStringList &lines)
{
    for (const QString &line : lines) {
        if (line.startsWith(QStringLiteral("Exec=")))
            return line;
    }
    return {};
}

// Takes write access away from dir. False when that does not stop writes
// (running as root), with the access given back.
bool makeReadOnly(const QString &dir)
{
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(dir + QStringLiteral("/probe"));
    if (!probe.open(QIODevice::WriteOnly))
        return true;
    probe.remove();
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return false;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

class TestLoginItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registersAndUnregisters();
    void execIsQuoted_data();
    void execIsQuoted();
    void registerFailures_data();
    void registerFailures();
};

void TestLoginItem::registersAndUnregisters()
{
    QTemporaryDir home;
    LoginItem item(home.path(), Program);
    const QString path = item.desktopFilePath();
    QCOMPARE(path, home.filePath(QStringLiteral("autostart/quillet.desktop")));
    QVERIFY(!item.isRegistered());

    const LoginItem::Result result = item.registerItem();
    QVERIFY2(result.ok, qPrintable(result.errorDescription));
    QVERIFY(result.errorDescription.isEmpty());
    QVERIFY(item.isRegistered());

    QStringList lines = entryLines(path);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.takeFirst(), u"[Desktop Entry]"_qs);
    lines.sort();
    QStringList expected {
        u"Type=Application"_qs,
        u"Name=Quillet"_qs,
        u"Comment=Scrolls newly accepted economics papers across the top bar"_qs,
        u"Exec=/usr/bin/quillet"_qs,
        u"Icon=quillet"_qs,
        u"Terminal=false"_qs,
        u"StartupNotify=false"_qs,
        u"NoDisplay=false"_qs,
        u"X-GNOME-Autostart-enabled=true"_qs,
        u"X-GNOME-Autostart-Delay=5"_qs,
        u"X-KDE-autostart-after=panel"_qs,
        u"X-LXQt-Need-Tray=true"_qs,
    };
    expected.sort();
    QCOMPARE(lines, expected);

    QVERIFY(item.unregisterItem().ok);
    QVERIFY(!item.isRegistered());
    QVERIFY(!QFileInfo::exists(path));
    const LoginItem::Result again = item.unregisterItem();
    QVERIFY(again.ok);
    QVERIFY(again.errorDescription.isEmpty());

    // A dangling link left by a moved home is no registration, but must still go.
    QVERIFY(QFile::link(home.filePath(QStringLiteral("gone")), path));
    QVERIFY(!item.isRegistered());
    QVERIFY(item.unregisterItem().ok);
    QVERIFY(!QFileInfo(path).isSymLink());
}

void TestLoginItem::execIsQuoted_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");
    QTest::addRow("plain") << Program << Program;
    QTest::addRow("space") << u"/opt/My Apps/quillet"_qs << u"\"/opt/My Apps/quillet\""_qs;
    QTest::addRow("double quote") << u"/opt/a\"b/quillet"_qs
                                  << QStringLiteral(R"("/opt/a\\"b/quillet")");
    QTest::addRow("dollar") << u"/opt/$HOME/quillet"_qs
                            << QStringLiteral(R"("/opt/\\$HOME/quillet")");
    QTest::addRow("percent") << u"/opt/100%/quillet"_qs << u"/opt/100%%/quillet"_qs;
    QTest::addRow("newline cannot inject a key")
        << u"/opt/a\nHidden=true/quillet"_qs << QStringLiteral(R"("/opt/a\nHidden=true/quillet")");
}

void TestLoginItem::execIsQuoted()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QTemporaryDir home;
    LoginItem item(home.path(), program);
    QVERIFY(item.registerItem().ok);
    const QStringList lines = entryLines(item.desktopFilePath());
    QCOMPARE(execLine(lines), QStringLiteral("Exec=") + exec);
    QCOMPARE(lines.size(), 13);
}

enum class Obstacle { ReadOnlyConfig, ReadOnlyAutostart, AutostartIsFile, RelativeProgram };

void TestLoginItem::registerFailures_data()
{
    QTest::addColumn<Obstacle>("obstacle");
    QTest::addRow("config home read-only") << Obstacle::ReadOnlyConfig;
    QTest::addRow("autostart read-only") << Obstacle::ReadOnlyAutostart;
    QTest::addRow("autostart is a file") << Obstacle::AutostartIsFile;
    QTest::addRow("relative program path") << Obstacle::RelativeProgram;
}

void TestLoginItem::registerFailures()
{
    QFETCH(Obstacle, obstacle);
    QTemporaryDir home;
    const QString config = home.filePath(QStringLiteral("config"));
    const QString autostart = config + QStringLiteral("/autostart");
    const auto restore = qScopeGuard([&] {
        const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        QFile::setPermissions(config, all);
        QFile::setPermissions(autostart, all);
    });
    QVERIFY(QDir().mkpath(config));
    LoginItem item(config, obstacle == Obstacle::RelativeProgram ? u"quillet"_qs : Program);
    const QString path = item.desktopFilePath();

    QString expectedStart;
    switch (obstacle) {
    case Obstacle::ReadOnlyConfig:
        if (!makeReadOnly(config))
            writeFile(autostart, "not a directory");
        expectedStart = QStringLiteral("Cannot create ") + autostart + QStringLiteral(": ");
        break;
    case Obstacle::ReadOnlyAutostart:
        QVERIFY(QDir().mkpath(autostart));
        if (!makeReadOnly(autostart))
            QVERIFY(QDir().mkpath(path + QStringLiteral("/keep")));
        expectedStart = QStringLiteral("Cannot write ") + path + QStringLiteral(": ");
        break;
    case Obstacle::AutostartIsFile:
        writeFile(autostart, "not a directory");
        expectedStart = QStringLiteral("Cannot create ") + autostart + QStringLiteral(": ");
        break;
    case Obstacle::RelativeProgram:
        expectedStart = QStringLiteral("Cannot register \"quillet\"");
        break;
    }

    const LoginItem::Result result = item.registerItem();
    QVERIFY(!result.ok);
    QVERIFY2(
        result.errorDescription.startsWith(expectedStart), qPrintable(result.errorDescription));
    QVERIFY2(result.errorDescription.size() > expectedStart.size(), "the reason is missing");
    QVERIFY(!item.isRegistered());
    // A failed atomic write must not leave its temporary file behind.
    QCOMPARE(QDir(autostart).entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_GUILESS_MAIN(TestLoginItem)
#include "test_login_item.moc"
