#include "crossref/crossref_query.h"

#include <QUrlQuery>

namespace {

QString issnFilter(const QStringList &issns)
{
    QStringList filters;
    for (const QString &issn : issns)
        filters.append(u"issn:"_qs + issn);
    filters.append(u"type:journal-article"_qs);
    return filters.join(u',');
}

QUrl worksUrl(const QUrl &api, const QList<std::pair<QString, QString>> &items)
{
    QUrl url = api.resolved(QUrl(u"works"_qs));
    QUrlQuery query;
    // QUrlQuery leaves '+' alone, which servers read as a blank: cursors are
    // base64 and addresses may hold one.
    for (const auto &[key, value] : items) {
        // No address, no mailto: the public pool, rather than an empty parameter.
        if (key == u"mailto"_qs && value.isEmpty())
            continue;
        query.addQueryItem(key, QString(value).replace(u'+', u"%2B"_qs));
    }
    url.setQuery(query);
    return url;
}

} // namespace

QUrl CrossrefQuery::works(const QUrl &api, const QStringList &issns, QDate from, int rows,
    const QString &cursor, const QString &mailto)
{
    return worksUrl(api,
        {{u"filter"_qs, issnFilter(issns) + u",from-created-date:"_qs + from.toString(Qt::ISODate)},
            {u"select"_qs,
                u"DOI,title,subtitle,author,container-title,ISSN,created,published-online,"
                u"issued,type,update-to,volume"_qs},
            {u"rows"_qs, QString::number(rows)}, {u"cursor"_qs, cursor}, {u"mailto"_qs, mailto}});
}

QUrl CrossrefQuery::latest(const QUrl &api, const QStringList &issns, const QString &mailto)
{
    return worksUrl(api,
        {{u"filter"_qs, issnFilter(issns)}, {u"select"_qs, u"DOI,created,container-title"_qs},
            {u"sort"_qs, u"created"_qs}, {u"order"_qs, u"desc"_qs}, {u"rows"_qs, u"1"_qs},
            {u"mailto"_qs, mailto}});
}

QList<QList<Journal>> CrossrefQuery::batches(const QList<Journal> &journals, int size)
{
    QList<QList<Journal>> batches;
    for (qsizetype i = 0; i < journals.size(); i += size)
        batches.append(journals.mid(i, size));
    return batches;
}
