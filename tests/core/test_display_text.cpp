// Text from the feed as the strip shows it, as a diagnostic line prints it and
// as a link the menu opens.
#include "core/diagnostics.h"
#include "core/display_text.h"
#include "core/paper_link.h"
#include "support/stdout_capture.h"

#include <QTest>

class TestDisplayText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clean_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("logged"); // empty: as it came
        QTest::addRow("non-ASCII kept")
            << u"\u00d6konomie \u2014 \u7d4c\u6e08 \U0001F4C8"_qs
            << u"\u00d6konomie \u2014 \u7d4c\u6e08 \U0001F4C8"_qs << QString();
        // "txt.exe" disguised as "exe.txt" by a right-to-left override.
        QTest::addRow("override") << u"report\u202Etxt.exe"_qs << u"reporttxt.exe"_qs << QString();
        QTest::addRow("embeddings and isolates, marks and joiners")
            << u"\u202Aa\u202Bb\u202Cc\u202Dd\u2066e\u2067f\u2068g\u2069\u200Eh\u200Di"_qs
            << u"abcdefg\u200Eh\u200Di"_qs << QString();
        QTest::addRow("forged line")
            << u"x\n[Quillet] Loaded 999 papers\r"_qs << u"x [Quillet] Loaded 999 papers "_qs
            << u"x\\n[Quillet] Loaded 999 papers\\r"_qs;
        QTest::addRow("terminal escapes") << u"\u001B[2J\u001B]0;t\u0007\t"_qs << u" [2J ]0;t  "_qs
                                          << u"\\x1B[2J\\x1B]0;t\\x07\\t"_qs;
        QTest::addRow("NUL, DEL and C1")
            << u"a\u0000\u007F\u0085\u009B"_qs << u"a    "_qs << u"a\\x00\\x7F\\x85\\x9B"_qs;
        QTest::addRow("line and paragraph separators")
            << u"a\u2028b\u2029"_qs << u"a b "_qs << u"a\\u2028b\\u2029"_qs;
        QTest::addRow("a backslash cannot fake an escape")
            << u"a\\nb"_qs << u"a\\nb"_qs << u"a\\\\nb"_qs;
    }
    void clean()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(QString, logged);
        QCOMPARE(DisplayText::clean(text), shown);
        QCOMPARE(Diagnostics::escaped(text), logged.isEmpty() ? text : logged);
    }

    void cutsLongTextWithoutSplittingCharacters()
    {
        const QString cut = DisplayText::clean(QString(100000, u'x'));
        QCOMPARE(cut.size(), DisplayText::maxLength + 1);
        QVERIFY(cut.endsWith(QChar(0x2026)));
        // A surrogate pair straddling the limit goes whole or not at all.
        const QString emoji = QString(9, u'a') + u"\U0001F4C8b"_qs;
        QCOMPARE(DisplayText::clean(emoji, 10), QString(9, u'a') + QChar(0x2026));
        QCOMPARE(DisplayText::clean(emoji, 11), QString(9, u'a') + u"\U0001F4C8\u2026"_qs);
    }

    void linkCheck_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("opens");
        QTest::addRow("web page") << u"https://papers.example.org/a?id=1&v=2"_qs << true;
        QTest::addRow("user information dressed as the host")
            << u"https://papers.example.org@evil.example/"_qs << false;
        QTest::addRow("forged line") << u"javascript:x\n[Quillet] Loaded 999 papers"_qs << false;
    }
    void linkCheck()
    {
        QFETCH(QString, link);
        QFETCH(bool, opens);
        StdoutCapture log;
        const std::optional<QUrl> url = PaperLink::resolve(link);
        QCOMPARE(url ? url->toString() : QString(), opens ? link : QString());
        QCOMPARE(log.lines(),
            opens ? QStringList()
                  : QStringList {u"[Quillet] Refused to open a link that is not a web address: "_qs
                      + Diagnostics::escaped(link)});
    }
};

QTEST_GUILESS_MAIN(TestDisplayText)
#include "test_display_text.moc"
