#include "crossref/crossref_page.h"

#include <simdjson.h>

#include <string_view>

using simdjson::dom::element;

namespace {

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), qsizetype(view.size()));
}

// A string member, or empty when absent or of another type.
QString stringAt(element object, std::string_view key)
{
    std::string_view value;
    if (object[key].get(value) != simdjson::SUCCESS)
        return {};
    return text(value);
}

// The first non-blank string of an array member ("title": ["", "..."]).
QString firstStringAt(element object, std::string_view key)
{
    simdjson::dom::array array;
    if (object[key].get(array) != simdjson::SUCCESS)
        return {};
    for (element entry : array) {
        std::string_view value;
        if (entry.get(value) == simdjson::SUCCESS && !text(value).trimmed().isEmpty())
            return text(value);
    }
    return {};
}

// Whether an "update-to" entry makes the record a notice about another work.
// A new version of the record's own DOI is the paper itself, reissued.
bool isNoticeOfAnother(element update, const QString &ownDoi)
{
    static const QStringList notices {u"correction"_qs, u"erratum"_qs, u"corrigendum"_qs,
        u"retraction"_qs, u"partial retraction"_qs, u"withdrawal"_qs, u"removal"_qs,
        u"expression of concern"_qs, u"addendum"_qs, u"clarification"_qs};
    const QString type
        = stringAt(update, "type").toLower().replace(u'_', u' ').replace(u'-', u' ').trimmed();
    const QString doi = stringAt(update, "DOI");
    return notices.contains(type) && doi.compare(ownDoi, Qt::CaseInsensitive) != 0;
}

// {"date-parts": [[2026, 11, 3]]} as "2026-11-03"; [[2026, 11]] stays "2026-11".
QString dateAt(element object, std::string_view key)
{
    simdjson::dom::array parts;
    if (object[key]["date-parts"].at(0).get(parts) != simdjson::SUCCESS)
        return {};
    QString date;
    int index = 0;
    for (element part : parts) {
        int64_t number = 0;
        if (part.get(number) != simdjson::SUCCESS || index > 2 || number < 0)
            break;
        if (index > 0)
            date += u'-';
        date += QString::number(number).rightJustified(index == 0 ? 4 : 2, u'0');
        ++index;
    }
    return date;
}

CrossrefRecord recordOf(element item)
{
    CrossrefRecord record;
    record.doi = stringAt(item, "DOI");
    record.type = stringAt(item, "type");
    record.title = firstStringAt(item, "title");
    record.subtitle = firstStringAt(item, "subtitle");
    record.containerTitle = firstStringAt(item, "container-title");
    record.volume = stringAt(item, "volume");
    record.publishedOnline = dateAt(item, "published-online");
    record.created = dateAt(item, "created");
    record.issued = dateAt(item, "issued");
    simdjson::dom::array array;
    if (item["update-to"].get(array) == simdjson::SUCCESS)
        for (element update : array)
            record.updatesAnother = record.updatesAnother || isNoticeOfAnother(update, record.doi);
    if (item["ISSN"].get(array) == simdjson::SUCCESS) {
        for (element issn : array) {
            std::string_view value;
            if (issn.get(value) == simdjson::SUCCESS)
                record.issns.append(text(value).toUpper());
        }
    }
    if (item["author"].get(array) == simdjson::SUCCESS) {
        for (element author : array)
            record.authors.append(
                {stringAt(author, "given"), stringAt(author, "family"), stringAt(author, "name")});
    }
    return record;
}

} // namespace

CrossrefPageResult parseWorksPage(const QByteArray &body)
{
    simdjson::dom::parser parser;
    element root;
    if (const auto error = parser.parse(body.constData(), size_t(body.size())).get(root))
        return {std::nullopt,
            u"answer is not JSON: "_qs + QLatin1String(simdjson::error_message(error))};
    if (stringAt(root, "status") != u"ok"_qs)
        return {std::nullopt, u"answer's status is not \"ok\""_qs};
    element message;
    simdjson::dom::array items;
    if (root["message"].get(message) != simdjson::SUCCESS
        || message["items"].get(items) != simdjson::SUCCESS)
        return {std::nullopt, u"answer holds no list of works"_qs};

    CrossrefPage page;
    page.nextCursor = stringAt(message, "next-cursor");
    int64_t total = 0;
    if (message["total-results"].get(total) == simdjson::SUCCESS)
        page.totalResults = total;
    page.items.reserve(qsizetype(items.size()));
    for (element item : items) {
        if (item.is_object())
            page.items.append(recordOf(item));
    }
    return {std::move(page), QString()};
}
