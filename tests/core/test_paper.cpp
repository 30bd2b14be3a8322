#include "core/paper.h"

#include <QTest>

namespace {

QByteArray paperJson(const QByteArray &title = "\"T\"", const QByteArray &link = "\"L\"",
    const QByteArray &journal = "\"J\"", const QByteArray &tier = "\"1\"",
    const QByteArray &author = "\"A\"", const QByteArray &date = "\"D\"")
{
    return "{\"title\": " + title + ", \"link\": " + link + ", \"journal\": " + journal
        + ", \"tier\": " + tier + ", \"author\": " + author + ", \"date\": " + date + "}";
}

QByteArray feed(const QByteArray &papers)
{
    return "{\"papers\": [" + papers + "]}";
}

} // namespace

class TestPaper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rejectsWholeDocument_data();
    void rejectsWholeDocument();
    void acceptsValidDocuments_data();
    void acceptsValidDocuments();
    void givenBodyWithRoomIsReused();
    void keepsOrderDuplicatesAndIdentity();
    void keepsNonAsciiTextByteForByte();
    void encodesInFieldOrderAndRoundTrips();
};

void TestPaper::rejectsWholeDocument_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("description");

    QTest::addRow("empty body") << QByteArray() << "not a valid JSON document";
    QTest::addRow("papers null") << QByteArray("{\"papers\": null}") << "papers: null value";
    QTest::addRow("no papers member") << QByteArray("{}") << "top level: missing \"papers\"";
    QTest::addRow("top level array")
        << QByteArray("[]") << "top level: type mismatch, expected object, found array";
    QTest::addRow("top level string") << QByteArray("\"papers\"") << "top level: type mismatch";
    QTest::addRow("papers is an object")
        << QByteArray("{\"papers\": {}}") << "papers: type mismatch, expected array, found object";
    QTest::addRow("element not an object")
        << feed("\"x\"") << "papers[0]: type mismatch, expected object, found string";
    QTest::addRow("second of three lacks date") << feed(paperJson() + ","
        + "{\"title\": \"T\", \"link\": \"L\", \"journal\": \"J\", \"tier\": \"1\", \"author\": "
          "\"A\"}"
        + "," + paperJson()) << "papers[1]: missing \"date\"";
    QTest::addRow("tier is a number")
        << feed(paperJson("\"T\"", "\"L\"", "\"J\"", "1"))
        << "papers[0].tier: type mismatch, expected string, found number";
    QTest::addRow("author is null") << feed(paperJson("\"T\"", "\"L\"", "\"J\"", "\"1\"", "null"))
                                    << "papers[0].author: null value";
    QTest::addRow("date is a boolean")
        << feed(paperJson("\"T\"", "\"L\"", "\"J\"", "\"1\"", "\"A\"", "true"))
        << "papers[0].date: type mismatch, expected string, found boolean";
    QTest::addRow("journal is an array")
        << feed(paperJson("\"T\"", "\"L\"", "[]"))
        << "papers[0].journal: type mismatch, expected string, found array";
    QTest::addRow("earliest bad member wins") << feed(
        "{\"link\": 5, \"journal\": \"J\", \"tier\": \"1\", \"author\": \"A\", \"date\": \"D\"}")
                                              << "papers[0]: missing \"title\"";
    QTest::addRow("member names are case-sensitive") << feed(
        "{\"Title\": \"T\", \"link\": \"L\", \"journal\": \"J\", \"tier\": \"1\", \"author\": "
        "\"A\", \"date\": \"D\"}") << "papers[0]: missing \"title\"";
    QTest::addRow("invalid UTF-8")
        << feed(paperJson("\"caf\xC3\x28\"")) << "not a valid JSON document";
    QTest::addRow("overlong UTF-8")
        << feed(paperJson("\"\xC0\xAF\"")) << "not a valid JSON document";
    QTest::addRow("lone high surrogate escape")
        << feed(paperJson("\"\\ud800\"")) << "not a valid JSON document";
    QTest::addRow("lone low surrogate escape")
        << feed(paperJson("\"\\udc00x\"")) << "not a valid JSON document";
    QTest::addRow("raw newline in a string")
        << feed(paperJson("\"two\nlines\"")) << "not a valid JSON document";
    QTest::addRow("raw control byte in a string")
        << feed(paperJson("\"bell\x07\"")) << "not a valid JSON document";
    QTest::addRow("trailing garbage")
        << QByteArray(feed(paperJson()) + " x") << "not a valid JSON document";
    QTest::addRow("two documents")
        << QByteArray(feed("") + feed("")) << "not a valid JSON document";
    QTest::addRow("truncated") << feed(paperJson()).chopped(3) << "not a valid JSON document";
    QTest::addRow("deep nesting") << QByteArray(
        "{\"x\": " + QByteArray(100000, '[') + QByteArray(100000, ']') + ", \"papers\": []}")
                                  << "not a valid JSON document";
    QTest::addRow("HTML error page")
        << QByteArray("<html><body>502 Bad Gateway</body></html>") << "not a valid JSON document";
    QTest::addRow("UTF-16 body") << QByteArray("\xFF\xFE{\0}\0", 6) << "not a valid JSON document";
}

void TestPaper::rejectsWholeDocument()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, description);
    const PaperDecodeResult result = decodePaperResponse(body);
    QVERIFY(!result.ok());
    QVERIFY2(result.error.startsWith(description), qPrintable(result.error));
}

void TestPaper::acceptsValidDocuments_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QList<Paper>>("papers");

    const Paper plain {u"T"_qs, u"L"_qs, u"J"_qs, u"1"_qs, u"A"_qs, u"D"_qs};
    QTest::addRow("empty list") << QByteArray("{\"papers\": []}") << QList<Paper> {};
    QTest::addRow("all fields empty") << QByteArray(
        R"({"papers": [{"title": "", "link": "", "journal": "", "tier": "", "author": "", "date": ""}]})")
                                      << QList<Paper> {Paper {}};
    QTest::addRow("extra members ignored") << QByteArray(
        R"({"version": 3, "papers": [{"date": "D", "extra": {"a": [1]}, "author": "A", "tier": "1",)"
        R"( "journal": "J", "link": "L", "title": "T", "abstract": null}], "next": null})")
                                           << QList<Paper> {plain};
    QTest::addRow("byte order mark")
        << QByteArray("\xEF\xBB\xBF" + feed(paperJson())) << QList<Paper> {plain};
    QTest::addRow("escapes decoded") << feed(paperJson(R"("a \"b\" \\ c\n\u00e9\ud83d\ude00")"))
                                     << QList<Paper> {{u"a \"b\" \\ c\n\u00e9\U0001F600"_qs,
                                            u"L"_qs, u"J"_qs, u"1"_qs, u"A"_qs, u"D"_qs}};
    QTest::addRow("blanks kept") << feed(paperJson("\"  T  \"", "\" L\"", "\"J \"", "\"\"", "\"\"",
        "\" \"")) << QList<Paper> {{u"  T  "_qs, u" L"_qs, u"J "_qs, {}, {}, u" "_qs}};
}

void TestPaper::acceptsValidDocuments()
{
    QFETCH(QByteArray, body);
    QFETCH(QList<Paper>, papers);
    const PaperDecodeResult result = decodePaperResponse(body);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.response->papers, papers);
}

void TestPaper::givenBodyWithRoomIsReused()
{
    // Room for the parser past the end: the papers' text goes into the body's own
    // buffer, and none of the JSON it replaces may show through.
    QByteArray papers;
    for (int i = 0; i < 200; ++i)
        papers += (i ? "," : "")
            + paperJson('"' + QByteArray::number(i) + " \\u00e9t\\u00e9\"", "\"L\"");
    QByteArray body = feed(papers);
    const PaperDecodeResult expected = decodePaperResponse(body);
    QVERIFY2(expected.ok(), qPrintable(expected.error));
    body.reserve(body.size() + 1024);
    const char *const buffer = body.constData();

    const PaperDecodeResult result = decodePaperBody(std::move(body));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.response, expected.response);
    QCOMPARE(result.response->papers.size(), 200);
    QCOMPARE(result.response->papers[199].title(), u"199 \u00e9t\u00e9"_qs);
    QVERIFY2(result.response->papers[0].utf8(Paper::Title).data() == buffer,
        "the papers' text was copied out of the body's buffer");
}

void TestPaper::keepsOrderDuplicatesAndIdentity()
{
    const QByteArray body = feed(paperJson("\"A\"", "\"B\"") + "," + paperJson("\"Z\"", "\"Y\"")
        + "," + paperJson("\"A\"", "\"B\"", "\"other\""));
    const PaperDecodeResult result = decodePaperResponse(body);
    QVERIFY2(result.ok(), qPrintable(result.error));
    const QList<Paper> &papers = result.response->papers;
    QCOMPARE(papers.size(), 3);
    QCOMPARE(papers[0].id(), u"AB"_qs);
    QCOMPARE(papers[1].id(), u"ZY"_qs);
    QCOMPARE(papers[2].id(), papers[0].id());
    QCOMPARE(papers[2].journal(), u"other"_qs);
    QCOMPARE(Paper {}.id(), QString());
}

void TestPaper::keepsNonAsciiTextByteForByte()
{
    // Decomposed and precomposed forms must both survive untouched: no normalisation.
    const QByteArray title = "O\xCC\x88konomie und \xC3\x96konometrie \xE2\x80\x94 "
                             "\xE7\xB5\x8C\xE6\xB8\x88 \xF0\x9F\x93\x88";
    const QByteArray author
        = "Bj\xC3\xB8rn \xC3\x86sir, \xCE\x91\xCE\xBB\xCE\xAD\xCE\xBE\xCE\xB7\xCF\x82";
    const PaperDecodeResult result = decodePaperResponse(
        feed(paperJson('"' + title + '"', "\"L\"", "\"J\"", "\"1\"", '"' + author + '"')));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.response->papers[0].title().toUtf8(), title);
    QCOMPARE(result.response->papers[0].author().toUtf8(), author);
}

void TestPaper::encodesInFieldOrderAndRoundTrips()
{
    const Paper paper {u"Quote \" and \\ and\nnewline"_qs, u"https://example.org/p?a=1&b=2"_qs,
        u"JDE in Press"_qs, u"2"_qs, u"\u00c9mile Dupr\u00e9"_qs, u"2026-12-01"_qs};
    const QByteArray encoded
        = encodePaper(Paper {u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs, u"E"_qs, u"F"_qs});
    QCOMPARE(encoded,
        QByteArray(R"({"title":"A","link":"B","journal":"C","tier":"D","author":"E","date":"F"})"));

    const PaperResponse response {{paper, Paper {}, paper}};
    const PaperDecodeResult result = decodePaperResponse(encodePaperResponse(response));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(*result.response, response);
    QCOMPARE(encodePaperResponse(PaperResponse {}), QByteArray(R"({"papers":[]})"));
}

QTEST_GUILESS_MAIN(TestPaper)
#include "test_paper.moc"
