#include "core/display_text.h"

#include <QTest>

class TestDisplayText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clean_data();
    void clean();
    void cutsLongTextWithoutSplittingCharacters();
};

void TestDisplayText::clean_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::addRow("plain") << u"Trade and Tariffs"_qs << u"Trade and Tariffs"_qs;
    QTest::addRow("non-ASCII kept") << u"\u00d6konomie \u2014 \u7d4c\u6e08 \U0001F4C8"_qs
                                    << u"\u00d6konomie \u2014 \u7d4c\u6e08 \U0001F4C8"_qs;
    // "txt.exe" disguised as "exe.txt" by a right-to-left override.
    QTest::addRow("override") << u"report\u202Etxt.exe"_qs << u"reporttxt.exe"_qs;
    QTest::addRow("embeddings and isolates")
        << u"\u202Aa\u202Bb\u202Cc\u202Dd\u2066e\u2067f\u2068g\u2069"_qs << u"abcdefg"_qs;
    QTest::addRow("line breaks and tabs")
        << u"two\nlines\r\tand\u2028more\u2029"_qs << u"two lines  and more "_qs;
    QTest::addRow("C0, DEL and C1 controls")
        << u"a\u0000b\u0007c\u007Fd\u0085e\u009Bf"_qs << u"a b c d e f"_qs;
    QTest::addRow("byte order mark") << u"\uFEFFTitle"_qs << u"Title"_qs;
    QTest::addRow("marks and joiners kept") << u"a\u200Eb\u200Dc"_qs << u"a\u200Eb\u200Dc"_qs;
    QTest::addRow("empty") << QString() << QString();
}

void TestDisplayText::clean()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(DisplayText::clean(text), shown);
}

void TestDisplayText::cutsLongTextWithoutSplittingCharacters()
{
    const QString huge(100000, u'x');
    const QString cut = DisplayText::clean(huge);
    QCOMPARE(cut.size(), DisplayText::maxLength + 1);
    QVERIFY(cut.endsWith(QChar(0x2026)));

    // A surrogate pair straddling the limit goes whole or not at all.
    const QString emoji = QString(9, u'a') + u"\U0001F4C8"_qs + u"b"_qs;
    const QString shown = DisplayText::clean(emoji, 10);
    QCOMPARE(shown, QString(9, u'a') + QChar(0x2026));
    QCOMPARE(DisplayText::clean(emoji, 11), QString(9, u'a') + u"\U0001F4C8"_qs + QChar(0x2026));
    QCOMPARE(DisplayText::clean(u"short"_qs, 5), u"short"_qs);
}

QTEST_GUILESS_MAIN(TestDisplayText)
#include "test_display_text.moc"
