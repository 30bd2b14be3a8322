#include "crossref/record_normaliser.h"

#include "crossref/markup_text.h"

#include <QRegularExpression>
#include <QUrl>

std::optional<FeedItem> RecordNormaliser::normalise(const CrossrefRecord &record) const
{
    if (record.updatesAnother || record.doi.isEmpty())
        return std::nullopt;
    const QString title = RecordNormaliser::title(record);
    if (title.isEmpty() || isNonPaper(title))
        return std::nullopt;
    // Volume is free text, and some deposits spell a missing one "null".
    const QString volume = record.volume.trimmed();
    const bool hasVolume
        = !volume.isEmpty() && volume.compare(u"null"_qs, Qt::CaseInsensitive) != 0;
    for (const Source &source : m_journal.sources) {
        if (!source.takes(hasVolume))
            continue;
        return FeedItem {record.doi.toLower(),
            Paper(
                title, link(record.doi), source.label, source.tier, authors(record), date(record))};
    }
    return std::nullopt;
}

QString RecordNormaliser::title(const CrossrefRecord &record)
{
    const QString title = plainText(record.title);
    const QString subtitle = plainText(record.subtitle);
    if (subtitle.isEmpty() || title.isEmpty())
        return title;
    // Some publishers end the title with the colon already.
    return title.endsWith(u':') ? title + u' ' + subtitle : title + u": "_qs + subtitle;
}

QString RecordNormaliser::authors(const CrossrefRecord &record)
{
    QStringList names;
    for (const CrossrefRecord::Author &author : record.authors) {
        const QString name
            = plainText(author.name.isEmpty() ? author.given + u' ' + author.family : author.name);
        if (!name.isEmpty())
            names.append(name);
    }
    return names.join(u", "_qs);
}

QString RecordNormaliser::date(const CrossrefRecord &record)
{
    // Some publishers deposit a year alone beside a full date elsewhere: the
    // first full date wins, a partial one only when none is full.
    const std::initializer_list<const QString *> dates {
        &record.publishedOnline, &record.created, &record.issued};
    for (const QString *date : dates) {
        if (date->size() == 10)
            return *date;
    }
    for (const QString *date : dates) {
        if (!date->isEmpty())
            return *date;
    }
    return {};
}

QString RecordNormaliser::link(const QString &doi)
{
    // Everything a path segment may not hold is escaped; '/' and the
    // sub-delimiters that DOIs use, such as '(' and ';', stay readable.
    return u"https://doi.org/"_qs
        + QString::fromLatin1(QUrl::toPercentEncoding(doi, "/:;()!$&'*+,=@"));
}

bool RecordNormaliser::isNonPaper(const QString &title)
{
    // Whole titles that name a page, not a paper...
    static const QRegularExpression page(
        uR"(^(editorial board|issue information|front matter|back matter|front cover|)"
        uR"(back cover|cover|covers|table of contents|contents|masthead|index|title page|)"
        uR"(copyright|editorial|ifc|ibc|list of reviewers|reviewers|acknowledgment of )"
        uR"(reviewers|acknowledgement of reviewers|announcements?|in this issue)\W*$)"_qs,
        QRegularExpression::CaseInsensitiveOption);
    // ...and the openings of notices about another work.
    static const QRegularExpression notice(
        uR"(^((erratum|errata|corrigendum|corrigenda|addendum|retraction|retracted|withdrawn|)"
        uR"(expression of concern|publisher'?s note|notice of retraction)\b|)"
        uR"(corrections?(\s+to\b|\s*:|\s*$)))"_qs,
        QRegularExpression::CaseInsensitiveOption);
    return page.match(title).hasMatch() || notice.match(title).hasMatch();
}
