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
        QTest::addColumn<QString>("shown"); // empty: as it came
        QTest::addColumn<QString>("logged"); // empty: as it came
        // Backslashes double in the log, so the text cannot fake an escape of its own.
        QTest::addRow("non-ASCII kept, backslash")
            << u"\u00d6konomie \u2014 \u7d4c\u6e08 \U0001F4C8 a\\nb"_qs << QString()
            << u"\u00d6konomie \u2014 \u7d4c\u6e08 \U0001F4C8 a\\\\nb"_qs;
        // "txt.exe" disguised as "exe.txt" by a right-to-left override (U+202E).
        QTest::addRow("overrides, embeddings and isolates go; marks and joiners stay")
            << u"report\u202Etxt\u202Aa\u202Bb\u202Cc\u202Dd\u2066e\u2067f\u2068g\u2069\u200Eh\u200Di\uFEFF"_qs
            << u"reporttxtabcdefg\u200Eh\u200Di"_qs
            << u"report\\u202Etxt\\u202Aa\\u202Bb\\u202Cc\\u202Dd\\u2066e\\u2067f\\u2068g\\u2069\\u200Eh\u200Di\uFEFF"_qs;
        QTest::addRow("forged line, line and paragraph separators")
            << u"x\n[Quillet] Loaded 999 papers\r\u2028\u2029"_qs
            << u"x [Quillet] Loaded 999 papers   "_qs
            << u"x\\n[Quillet] Loaded 999 papers\\r\\u2028\\u2029"_qs;
        QTest::addRow("terminal escapes, NUL, DEL and C1")
            << u"\u001B[2J\u001B]0;t\u0007\t\u0000\u007F\u0085\u009B"_qs << u" [2J ]0;t      "_qs
            << u"\\x1B[2J\\x1B]0;t\\x07\\t\\x00\\x7F\\x85\\x9B"_qs;
    }
    void clean()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(QString, logged);
        QCOMPARE(DisplayText::clean(text), shown.isEmpty() ? text : shown);
        QCOMPARE(Diagnostics::escaped(text), logged.isEmpty() ? text : logged);
    }

    void cutsLongTextWithoutSplittingCharacters()
    {
        const QString cut = DisplayText::clean(QString(100000, u'x'));
        QCOMPARE(cut, QString(DisplayText::maxLength, u'x') + QChar(0x2026));
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
        QTest::addRow("encoded @ in the host")
            << u"https://papers.example.org%40evil.example/"_qs << false;
        QTest::addRow("tab inside the scheme") << u"java\tscript:alert(1)"_qs << false;
    }
    void linkCheck()
    {
        QFETCH(QString, link);
        QFETCH(bool, opens);
        StdoutCapture log;
        const std::optional<QUrl> url = PaperLink::resolve(link);
        QCOMPARE(url ? url->toString() : QString(), opens ? link : QString());
        QCOMPARE(log.lines().join(u'\n'),
            opens ? QString()
                  : u"[Quillet] Refused to open a link that is not a web address: "_qs
                    + Diagnostics::escaped(link));
    }
};

QTEST_GUILESS_MAIN(TestDisplayText)
#include "test_display_text.moc"
