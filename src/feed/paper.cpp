#include "feed/paper.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <simdjson.h>

#include <array>
#include <string_view>

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

constexpr std::array<std::string_view, 6> kPaperMembers{"title", "link",   "journal",
                                                        "tier",  "author", "date"};

QString typeName(element_type type)
{
    switch (type) {
    case element_type::ARRAY:
        return QStringLiteral("array");
    case element_type::OBJECT:
        return QStringLiteral("object");
    case element_type::INT64:
    case element_type::UINT64:
    case element_type::DOUBLE:
        return QStringLiteral("number");
    case element_type::STRING:
        return QStringLiteral("string");
    case element_type::BOOL:
        return QStringLiteral("boolean");
    case element_type::NULL_VALUE:
        return QStringLiteral("null");
    }
    return QStringLiteral("unknown");
}

QString typeMismatch(const QString &where, const char *expected, element_type found)
{
    return QStringLiteral("%1: type mismatch, expected %2, found %3")
        .arg(where, QLatin1String(expected), typeName(found));
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Fills `paper` from `value`, or returns the first failure in field order.
std::optional<QString> decodePaper(element value, qsizetype index, Paper &paper)
{
    const QString where = QStringLiteral("papers[%1]").arg(index);
    simdjson::dom::object object;
    if (value.get(object) != simdjson::SUCCESS)
        return typeMismatch(where, "object", value.type());

    const std::array<QString *, 6> fields{&paper.title,  &paper.link,   &paper.journal,
                                          &paper.tier,   &paper.author, &paper.date};
    for (size_t i = 0; i < kPaperMembers.size(); ++i) {
        const std::string_view name = kPaperMembers[i];
        element member;
        if (object.at_key(name).get(member) != simdjson::SUCCESS)
            return QStringLiteral("%1: missing \"%2\"").arg(where, fromUtf8(name));
        std::string_view text;
        if (member.get(text) != simdjson::SUCCESS) {
            const QString memberWhere = where + u'.' + fromUtf8(name);
            if (member.is_null())
                return QStringLiteral("%1: null value, expected string").arg(memberWhere);
            return typeMismatch(memberWhere, "string", member.type());
        }
        *fields[i] = fromUtf8(text);
    }
    return std::nullopt;
}

PaperDecodeResult failure(QString description)
{
    return PaperDecodeResult{std::nullopt, std::move(description)};
}

} // namespace

PaperDecodeResult decodePaperResponse(QByteArrayView body)
{
    static constexpr QByteArrayView kBom("\xEF\xBB\xBF", 3);
    if (body.startsWith(kBom))
        body = body.sliced(kBom.size());

    // A fresh parser per document: nothing passes from one decoding to the next.
    simdjson::dom::parser parser;
    element root;
    if (const auto error = parser.parse(body.data(), size_t(body.size())).get(root))
        return failure(QStringLiteral("not a valid JSON document: %1")
                           .arg(QLatin1String(simdjson::error_message(error))));

    simdjson::dom::object top;
    if (root.get(top) != simdjson::SUCCESS)
        return failure(typeMismatch(QStringLiteral("top level"), "object", root.type()));

    element papersValue;
    if (top.at_key("papers").get(papersValue) != simdjson::SUCCESS)
        return failure(QStringLiteral("top level: missing \"papers\""));
    if (papersValue.is_null())
        return failure(QStringLiteral("papers: null value, expected array"));
    simdjson::dom::array array;
    if (papersValue.get(array) != simdjson::SUCCESS)
        return failure(typeMismatch(QStringLiteral("papers"), "array", papersValue.type()));

    PaperResponse response;
    response.papers.resize(qsizetype(array.size()));
    qsizetype index = 0;
    for (element value : array) {
        if (auto error = decodePaper(value, index, response.papers[index]))
            return failure(std::move(*error));
        ++index;
    }
    return PaperDecodeResult{std::move(response), QString()};
}

QByteArray encodePaper(const Paper &paper)
{
    // QJsonObject sorts its keys; write the members in field order by hand.
    const std::array<const QString *, 6> fields{&paper.title,  &paper.link,   &paper.journal,
                                                &paper.tier,   &paper.author, &paper.date};
    QByteArray out("{");
    for (size_t i = 0; i < kPaperMembers.size(); ++i) {
        if (i > 0)
            out += ',';
        out += '"';
        out += QByteArrayView(kPaperMembers[i].data(), qsizetype(kPaperMembers[i].size()));
        out += "\":";
        // A one-element array serialises the string with JSON's escaping rules.
        const QByteArray quoted = QJsonDocument(QJsonArray{*fields[i]}).toJson(QJsonDocument::Compact);
        out += QByteArrayView(quoted).sliced(1, quoted.size() - 2);
    }
    out += '}';
    return out;
}

QByteArray encodePaperResponse(const PaperResponse &response)
{
    QByteArray out("{\"papers\":[");
    for (qsizetype i = 0; i < response.papers.size(); ++i) {
        if (i > 0)
            out += ',';
        out += encodePaper(response.papers[i]);
    }
    out += "]}";
    return out;
}
