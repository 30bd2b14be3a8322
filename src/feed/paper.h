#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// One paper of the feed. Every field is the JSON string exactly as decoded.
struct Paper
{
    QString title;
    QString link;
    QString journal;
    QString tier;
    QString author;
    QString date;

    // The record's identity: title immediately followed by link.
    QString id() const { return title + link; }

    friend bool operator==(const Paper &, const Paper &) = default;
};

// The feed document: the papers in the order of the JSON array.
struct PaperResponse
{
    QList<Paper> papers;

    friend bool operator==(const PaperResponse &, const PaperResponse &) = default;
};

// A decoded document, or the description of the first thing that was wrong
// with it (e.g. `papers[1]: missing "date"`).
struct PaperDecodeResult
{
    std::optional<PaperResponse> response;
    QString error;

    bool ok() const { return response.has_value(); }
};

// Decodes a response body by the feed's strict rules: one UTF-8 JSON object
// whose "papers" is an array of objects that each hold the six members as
// strings. Extra members are ignored; any violation rejects the whole document.
// A leading UTF-8 byte order mark is tolerated.
PaperDecodeResult decodePaperResponse(QByteArrayView body);

// JSON with the same member names, in field order.
QByteArray encodePaper(const Paper &paper);
QByteArray encodePaperResponse(const PaperResponse &response);
