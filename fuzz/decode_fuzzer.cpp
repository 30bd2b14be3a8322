// libFuzzer entry point for the feed decoder.
//
// Besides the sanitizers' own checks, every input is held to what the rest of
// the program relies on: a verdict is either a response or a reason, never
// both; a response survives encodePaperResponse and a second decoding intact;
// and the decoder accepts exactly what a separate, deliberately plain walk of
// the same simdjson tree says it should, with the same number of papers. Where
// Qt's own JSON parser also accepts the bytes, its count and strings must agree.

#include "core/paper.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <simdjson.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

namespace {

constexpr std::array<std::string_view, Paper::FieldCount> kMembers {
    "title", "link", "journal", "tier", "author", "date"};

QLatin1String latin1(std::string_view text)
{
    return QLatin1String(text.data(), qsizetype(text.size()));
}

[[noreturn]] void broken(const char *invariant, const QString &detail = {})
{
    std::fprintf(stderr, "decode_fuzzer: invariant broken: %s\n", invariant);
    if (!detail.isEmpty())
        std::fprintf(stderr, "decode_fuzzer: %s\n", detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

void check(bool holds, const char *invariant, const QString &detail = {})
{
    if (!holds)
        broken(invariant, detail);
}

// U+FEFF in UTF-8: a byte order mark before the document, plain text inside it.
constexpr QByteArrayView kFeff("\xEF\xBB\xBF", 3);

QByteArrayView withoutBom(QByteArrayView body)
{
    return body.startsWith(kFeff) ? body.sliced(kFeff.size()) : body;
}

// What a walk of the tree says about the document, written without the
// decoder's shortcuts (no at_key, no field table): members are matched in
// document order and the first of a name is the one that counts.
struct Expectation
{
    bool accept = false;
    size_t papers = 0;
    // How often "papers" is a top-level member; Qt keeps the last, we the first.
    int papersMembers = 0;
    // For each paper, whether every one of the six names occurs exactly once.
    std::vector<bool> unambiguous;
};

Expectation expect(QByteArrayView body)
{
    Expectation out;
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    const char *bytes = body.isNull() ? "" : body.data();
    if (parser.parse(bytes, size_t(body.size())).get(root) != simdjson::SUCCESS)
        return out;
    simdjson::dom::object top;
    if (root.get(top) != simdjson::SUCCESS)
        return out;

    std::optional<simdjson::dom::element> papers;
    for (const simdjson::dom::key_value_pair pair : top) {
        if (pair.key != "papers")
            continue;
        ++out.papersMembers;
        if (!papers)
            papers = pair.value;
    }
    simdjson::dom::array array;
    if (!papers || papers->get(array) != simdjson::SUCCESS)
        return out;

    for (const simdjson::dom::element value : array) {
        simdjson::dom::object object;
        if (value.get(object) != simdjson::SUCCESS)
            return out;
        bool unambiguous = true;
        for (const std::string_view name : kMembers) {
            int seen = 0;
            bool firstIsString = false;
            for (const simdjson::dom::key_value_pair pair : object) {
                if (pair.key != name)
                    continue;
                if (seen++ == 0)
                    firstIsString = pair.value.is_string();
            }
            if (!firstIsString)
                return out;
            unambiguous = unambiguous && seen == 1;
        }
        out.unambiguous.push_back(unambiguous);
        ++out.papers;
    }
    out.accept = true;
    return out;
}

// Qt's parser is a different implementation with different limits (numbers,
// nesting, duplicate names), so it only gets a say when it accepts the bytes
// too and the document leaves no doubt which member is meant.
void compareWithQt(QByteArrayView body, const Expectation &expected, const PaperResponse &response)
{
    if (expected.papersMembers != 1)
        return;
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(body.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return;
    const QJsonValue papers = document.object().value(QLatin1String("papers"));
    check(papers.isArray(), "Qt reads \"papers\" as something other than an array");
    const QJsonArray array = papers.toArray();
    check(array.size() == response.papers.size(), "paper count differs from Qt's parse",
        QStringLiteral("decoded %1, Qt %2").arg(response.papers.size()).arg(array.size()));

    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!expected.unambiguous[size_t(i)])
            continue;
        const QJsonObject object = array.at(i).toObject();
        for (int field = 0; field < Paper::FieldCount; ++field) {
            const std::string_view name = kMembers[size_t(field)];
            const QByteArray theirs = object.value(latin1(name)).toString().toUtf8();
            const QByteArrayView ours = response.papers[i].utf8(Paper::Field(field));
            // Qt's parser drops one raw (unescaped) U+FEFF at the start of a
            // string; that one difference is Qt's, not ours.
            const bool qtDroppedFeff
                = ours.startsWith(kFeff) && theirs == ours.sliced(kFeff.size());
            check(theirs == ours || qtDroppedFeff, "a field's bytes differ from Qt's parse",
                QStringLiteral("papers[%1].%2").arg(i).arg(latin1(name)));
        }
    }
}

void checkPaper(const Paper &paper, qsizetype index)
{
    QByteArray id;
    for (int field = 0; field < Paper::FieldCount; ++field) {
        const QByteArrayView utf8 = paper.utf8(Paper::Field(field));
        // The text a reader sees must be the bytes that were decoded, nothing dropped.
        check(paper.text(Paper::Field(field)).toUtf8() == utf8, "a field's text loses bytes",
            QStringLiteral("papers[%1].%2").arg(index).arg(latin1(kMembers[size_t(field)])));
        if (field == Paper::Title || field == Paper::Link)
            id += utf8;
    }
    // Bytes, not QString::fromUtf8(id): that would drop a leading U+FEFF itself.
    check(paper.id().toUtf8() == id, "id is not title followed by link");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An empty network reply is a null QByteArray, with no data pointer at all;
    // libFuzzer always passes a real one, so stand in for that case here.
    const QByteArrayView body = size == 0
        ? QByteArrayView()
        : QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size));
    const PaperDecodeResult result = decodePaperResponse(body);
    const Expectation expected = expect(withoutBom(body));

    // The program hands its reply body over instead: parsed in place and reused
    // for the papers' text, which must not change the verdict.
    const PaperDecodeResult given
        = decodePaperBody(body.isNull() ? QByteArray() : body.toByteArray());
    check(given.error == result.error, "decodePaperBody gives another reason", given.error);
    check(given.response == result.response, "decodePaperBody gives other papers");

    if (!result.ok()) {
        check(!result.error.isEmpty(), "a rejection without a reason");
        check(!expected.accept, "a valid feed was rejected", result.error);
        check(result.error.startsWith(QLatin1String("not a valid JSON document"))
                || result.error.startsWith(QLatin1String("top level"))
                || result.error.startsWith(QLatin1String("papers")),
            "a reason that names no place", result.error);
        return 0;
    }

    check(result.error.isEmpty(), "an accepted feed carries a reason", result.error);
    check(expected.accept, "an invalid feed was accepted");
    const PaperResponse &response = *result.response;
    check(size_t(response.papers.size()) == expected.papers, "paper count differs from the array",
        QStringLiteral("decoded %1, array %2").arg(response.papers.size()).arg(expected.papers));

    for (qsizetype i = 0; i < response.papers.size(); ++i)
        checkPaper(response.papers[i], i);

    const QByteArray encoded = encodePaperResponse(response);
    const PaperDecodeResult again = decodePaperResponse(encoded);
    check(again.ok(), "the encoded response does not decode", again.error);
    check(again.error.isEmpty(), "a re-decoded response carries a reason", again.error);
    check(*again.response == response, "the round trip changes the response",
        QString::fromUtf8(encoded.left(512)));

    compareWithQt(withoutBom(body), expected, response);
    return 0;
}
