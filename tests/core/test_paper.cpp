#include "core/paper.h"

#include <QTest>

namespace {

// One paper; each argument is a member's raw JSON value.
QByteArray paper(const QByteArray &title = "\"T\"", const QByteArray &tier = "\"1\"",
    const QByteArray &author = "\"A\"", const QByteArray &date = "\"D\"")
{
    return "{\"title\": " + title + ", \"link\": \"L\", \"journal\": \"J\", \"tier\": " + tier
        + ", \"author\": " + author + ", \"date\": " + date + "}";
}

QByteArray feed(const QByteArray &papers)
{
    return "{\"papers\": [" + papers + "]}";
}

Paper titled(const QString &title)
{
    return {title, u"L"_qs, u"J"_qs, u"1"_qs, u"A"_qs, u"D"_qs};
}

} // namespace

class TestPaper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A document that breaks a rule anywhere is refused whole, with where and why.
    void decode_data();
    void decode()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        QFETCH(QList<Paper>, papers);
        const PaperDecodeResult result = decodePaperResponse(body);
        QVERIFY2(result.error.startsWith(error) && result.ok() == error.isEmpty(),
            qPrintable(result.error));
        if (result.ok())
            QCOMPARE(result.response->papers, papers);
        // As the service decodes: in the body's own buffer, with room to spare.
        QByteArray given = body;
        given.reserve(body.size() + 4096);
        const PaperDecodeResult inPlace = decodePaperBody(std::move(given));
        QCOMPARE(inPlace.error, result.error);
        QCOMPARE(inPlace.response, result.response);
    }
};

void TestPaper::decode_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error"); // how it starts; empty: accepted
    QTest::addColumn<QList<Paper>>("papers");
    const QString invalid = u"not a valid JSON document"_qs;
    auto refused = [](const char *name, const QByteArray &body, const QString &error) {
        QTest::newRow(name) << body << error << QList<Paper> {};
    };
    refused("papers null", "{\"papers\": null}", u"papers: null value"_qs);
    refused("no papers member", "{}", u"top level: missing \"papers\""_qs);
    refused("top level array", "[]", u"top level: type mismatch, expected object, found array"_qs);
    refused("papers an object", "{\"papers\": {}}",
        u"papers: type mismatch, expected array, found object"_qs);
    refused("element a string", feed("\"x\""),
        u"papers[0]: type mismatch, expected object, found string"_qs);
    refused("second of three lacks date",
        feed(paper() + ", " + paper().replace(", \"date\": \"D\"", "") + ", " + paper()),
        u"papers[1]: missing \"date\""_qs);
    refused("tier a number", feed(paper("\"T\"", "1")),
        u"papers[0].tier: type mismatch, expected string, found number"_qs);
    refused(
        "author null", feed(paper("\"T\"", "\"1\"", "null")), u"papers[0].author: null value"_qs);
    refused("date a boolean", feed(paper("\"T\"", "\"1\"", "\"A\"", "true")),
        u"papers[0].date: type mismatch, expected string, found boolean"_qs);
    refused("earliest bad member wins",
        feed(paper().replace("\"title\": \"T\", \"link\": \"L\"", "\"link\": 5")),
        u"papers[0]: missing \"title\""_qs);
    refused("names are case-sensitive", feed(paper().replace("title", "Title")),
        u"papers[0]: missing \"title\""_qs);
    refused("invalid UTF-8", feed(paper("\"caf\xC3\x28\"")), invalid);
    refused("lone surrogate escape", feed(paper("\"\\ud800\"")), invalid);
    refused("raw newline in a string", feed(paper("\"two\nlines\"")), invalid);
    refused("trailing garbage", feed(paper()) + " x", invalid);
    refused("truncated", feed(paper()).chopped(3), invalid);
    refused("deep nesting",
        "{\"x\": " + QByteArray(100000, '[') + QByteArray(100000, ']') + ", \"papers\": []}",
        invalid);
    refused("UTF-16", QByteArray("\xFF\xFE{\0}\0", 6), invalid);

    auto accepted = [](const char *name, const QByteArray &body, const QList<Paper> &papers) {
        QTest::newRow(name) << body << QString() << papers;
    };
    accepted("all members empty",
        feed(R"({"title": "", "link": "", "journal": "", "tier": "", )"
             R"("author": "", "date": ""})"),
        {Paper {}});
    accepted("other members ignored, any order",
        R"({"v": 3, "papers": [{"date": "D", "x": {"a": [1]}, "author": "A", "tier": "1", )"
        R"("journal": "J", "link": "L", "title": "T", "abstract": null}], "next": null})",
        {titled(u"T"_qs)});
    accepted("byte order mark", "\xEF\xBB\xBF" + feed(paper()), {titled(u"T"_qs)});
    accepted("escapes decoded", feed(paper(R"("a \"b\" \\ c\n\u00e9\ud83d\ude00")")),
        {titled(u"a \"b\" \\ c\n\u00e9\U0001F600"_qs)});
    accepted("blanks kept", feed(paper("\"  T \"", "\"\"", "\" \"")),
        {{u"  T "_qs, u"L"_qs, u"J"_qs, {}, u" "_qs, u"D"_qs}});
    // Decomposed and precomposed forms both survive: no normalisation.
    const QByteArray text = "O\xCC\x88konomie, \xC3\x96konometrie \xE7\xB5\x8C \xF0\x9F\x93\x88";
    QByteArray many;
    QList<Paper> manyPapers;
    for (int i = 0; i < 200; ++i) {
        many += (i ? "," : "") + paper('"' + QByteArray::number(i) + " \\u00e9t\\u00e9\"");
        manyPapers.append(titled(QString::number(i) + u" \u00e9t\u00e9"_qs));
    }
    accepted("200 papers with escapes", feed(many), manyPapers);
    accepted("order, duplicates and non-ASCII text kept",
        feed(paper('"' + text + '"') + "," + paper("\"Z\"") + "," + paper('"' + text + '"')),
        {titled(QString::fromUtf8(text)), titled(u"Z"_qs), titled(QString::fromUtf8(text))});
}

QTEST_GUILESS_MAIN(TestPaper)
#include "test_paper.moc"
