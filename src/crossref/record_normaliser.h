#pragma once

#include "core/paper.h"
#include "crossref/crossref_page.h"
#include "crossref/sources.h"

#include <QString>

#include <optional>

// A record made ready for the feed: the six strings, and the key it is kept under.
struct FeedItem
{
    QString key; // the DOI, lower-cased
    Paper paper;
};

// Turns Crossref records of one journal into feed items.
class RecordNormaliser
{
public:
    explicit RecordNormaliser(Journal journal) : m_journal(std::move(journal)) { }

    // The item for `record`, or nothing for a record the feed does not carry: an
    // update of another work, a non-paper, one without DOI or title, or one that
    // no enabled label of the journal takes.
    std::optional<FeedItem> normalise(const CrossrefRecord &record) const;

    static QString title(const CrossrefRecord &record);
    static QString authors(const CrossrefRecord &record);
    // The first full date of published-online, created and issued; else the
    // first partial one.
    static QString date(const CrossrefRecord &record);
    static QString link(const QString &doi);
    // Errata, retractions, front and back matter, issue information, boards.
    static bool isNonPaper(const QString &title);

private:
    Journal m_journal;
};
