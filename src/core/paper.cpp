#include "core/paper.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <simdjson.h>

#include <cstring>
#include <string_view>

// Lays papers out in one shared UTF-8 buffer.
class PaperBuilder
{
public:
    // The size of `storage` must bound the total size of every string appended; its
    // bytes are overwritten.
    explicit PaperBuilder(QByteArray storage) : m_text(std::move(storage)) { }

    void append(Paper &paper, Paper::Field field, std::string_view text)
    {
        paper.m_bounds[field] = m_used;
        std::memcpy(m_text.data() + m_used, text.data(), text.size());
        m_used += qsizetype(text.size());
        paper.m_bounds[field + 1] = m_used;
    }
    // Hands the finished buffer to every paper; they share it.
    void finish(QList<Paper> &papers)
    {
        // No squeeze: reallocating to save the JSON syntax's bytes costs more than it saves.
        m_text.truncate(m_used);
        for (Paper &paper : papers)
            paper.m_text = m_text;
    }

private:
    QByteArray m_text;
    qsizetype m_used = 0;
};

Paper::Paper(const QString &title, const QString &link, const QString &journal, const QString &tier,
    const QString &author, const QString &date)
{
    const std::array<const QString *, FieldCount> fields {
        &title, &link, &journal, &tier, &author, &date};
    for (int field = 0; field < FieldCount; ++field) {
        m_bounds[field] = m_text.size();
        m_text += fields[field]->toUtf8();
    }
    m_bounds[FieldCount] = m_text.size();
}

bool operator==(const Paper &a, const Paper &b)
{
    for (int field = 0; field < Paper::FieldCount; ++field)
        if (a.utf8(Paper::Field(field)) != b.utf8(Paper::Field(field)))
            return false;
    return true;
}

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

constexpr std::array<std::string_view, Paper::FieldCount> paperMembers {
    "title", "link", "journal", "tier", "author", "date"};

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

QString paperPlace(qsizetype index)
{
    return QStringLiteral("papers[%1]").arg(index);
}

QString memberPlace(qsizetype index, std::string_view member)
{
    return paperPlace(index) + u'.' + QLatin1String(member.data(), qsizetype(member.size()));
}

// The field a member name stands for, or FieldCount for any other member.
Paper::Field fieldOf(std::string_view key)
{
    const auto is = [key](Paper::Field field) { return key == paperMembers[size_t(field)]; };
    switch (key.size()) {
    case 4:
        return is(Paper::Link) ? Paper::Link
            : is(Paper::Tier)  ? Paper::Tier
            : is(Paper::Date)  ? Paper::Date
                               : Paper::FieldCount;
    case 5:
        return is(Paper::Title) ? Paper::Title : Paper::FieldCount;
    case 6:
        return is(Paper::Author) ? Paper::Author : Paper::FieldCount;
    case 7:
        return is(Paper::Journal) ? Paper::Journal : Paper::FieldCount;
    default:
        return Paper::FieldCount;
    }
}

// Fills `paper` from `value`, or returns the first failure in field order. The
// failure's text is only built when there is one: decoding is the hot path.
std::optional<QString> decodePaper(
    element value, qsizetype index, Paper &paper, PaperBuilder &builder)
{
    simdjson::dom::object object;
    if (value.get(object) != simdjson::SUCCESS)
        return typeMismatch(paperPlace(index), "object", value.type());

    // One pass over the members; a repeated name counts at its first occurrence.
    // Strings are taken out as they are met; an element is kept only for a
    // member that is not one, to describe it later.
    enum class Found : char { Nothing, Text, Other };
    std::array<Found, Paper::FieldCount> found {};
    std::array<std::string_view, Paper::FieldCount> texts;
    std::array<element, Paper::FieldCount> others;
    for (const simdjson::dom::key_value_pair pair : object) {
        const Paper::Field field = fieldOf(pair.key);
        if (field == Paper::FieldCount || found[field] != Found::Nothing)
            continue;
        if (pair.value.get(texts[field]) == simdjson::SUCCESS) {
            found[field] = Found::Text;
        } else {
            found[field] = Found::Other;
            others[field] = pair.value;
        }
    }
    for (int field = 0; field < Paper::FieldCount; ++field) {
        const std::string_view name = paperMembers[size_t(field)];
        if (found[size_t(field)] == Found::Nothing)
            return QStringLiteral("%1: missing \"%2\"")
                .arg(paperPlace(index), QLatin1String(name.data(), qsizetype(name.size())));
        if (found[size_t(field)] == Found::Other) {
            const element member = others[size_t(field)];
            if (member.is_null())
                return QStringLiteral("%1: null value, expected string")
                    .arg(memberPlace(index, name));
            return typeMismatch(memberPlace(index, name), "string", member.type());
        }
    }
    for (int field = 0; field < Paper::FieldCount; ++field)
        builder.append(paper, Paper::Field(field), texts[size_t(field)]);
    return std::nullopt;
}

PaperDecodeResult failure(QString description)
{
    return PaperDecodeResult {std::nullopt, std::move(description)};
}

// `padded`: SIMDJSON_PADDING readable bytes follow the body, so the parser needs
// no padded copy of it. `storage`, if at least as long as the body, receives the
// papers' text: the parser keeps its own copy of every string, so the body's
// bytes may be overwritten once it has run.
PaperDecodeResult decode(QByteArrayView body, bool padded, QByteArray storage)
{
    static constexpr QByteArrayView byteOrderMark("\xEF\xBB\xBF", 3);
    if (body.startsWith(byteOrderMark))
        body = body.sliced(byteOrderMark.size());

    // An empty reply may have no data pointer at all, and simdjson memcpy()s from it.
    if (body.isNull()) {
        body = QByteArrayView("", 0);
        padded = false;
    }
    // A fresh parser per document: nothing passes from one decoding to the next.
    simdjson::dom::parser parser;
    element root;
    if (const auto error = parser.parse(body.data(), size_t(body.size()), !padded).get(root))
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
    // The strings can never be longer than the body they came from.
    if (storage.size() < body.size())
        storage = QByteArray(body.size(), Qt::Uninitialized);
    PaperBuilder builder(std::move(storage));
    qsizetype index = 0;
    for (element value : array) {
        if (auto error = decodePaper(value, index, response.papers[index], builder))
            return failure(std::move(*error));
        ++index;
    }
    builder.finish(response.papers);
    return PaperDecodeResult {std::move(response), QString()};
}

} // namespace

PaperDecodeResult decodePaperResponse(QByteArrayView body)
{
    return decode(body, false, QByteArray());
}

PaperDecodeResult decodePaperBody(QByteArray body)
{
    const qsizetype size = body.size();
    // Zeroed room for the parser to read past the end; reallocates only when the
    // body has less spare capacity than that.
    body.resize(size + qsizetype(simdjson::SIMDJSON_PADDING), '\0');
    const QByteArrayView json(body.constData(), size);
    return decode(json, true, std::move(body));
}

QByteArray encodePaper(const Paper &paper)
{
    // QJsonObject sorts its keys; write the members in field order by hand.
    QByteArray out("{");
    for (int field = 0; field < Paper::FieldCount; ++field) {
        if (field > 0)
            out += ',';
        out += '"';
        out += QByteArrayView(
            paperMembers[size_t(field)].data(), qsizetype(paperMembers[size_t(field)].size()));
        out += "\":";
        // A one-element array serialises the string with JSON's escaping rules.
        const QByteArray quoted = QJsonDocument(QJsonArray {paper.text(Paper::Field(field))})
                                      .toJson(QJsonDocument::Compact);
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
