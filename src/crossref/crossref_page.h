#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One record of a works answer, with only the fields the feed maps.
struct CrossrefRecord
{
    struct Author
    {
        QString given;
        QString family;
        QString name; // an organisation
    };

    QString doi;
    QString type;
    QString title; // first title, raw (may hold markup)
    QString subtitle; // first subtitle, raw
    QString containerTitle; // the journal's name, raw
    QList<Author> authors;
    QStringList issns;
    QString volume;
    // Dates as YYYY-MM-DD, YYYY-MM or YYYY: as precise as the record is.
    QString publishedOnline;
    QString created;
    QString issued;
    bool updatesAnother = false; // an erratum, retraction, ... of another work
};

struct CrossrefPage
{
    QList<CrossrefRecord> items;
    QString nextCursor;
    qint64 totalResults = 0;
};

struct CrossrefPageResult
{
    std::optional<CrossrefPage> page;
    QString error;
};

// Parses the body of a /works answer; an answer that is not a work list fails.
CrossrefPageResult parseWorksPage(const QByteArray &body);
