#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringDecoder>

#include <array>
#include <optional>

// One paper of the feed: six text fields, each exactly as decoded.
//
// The fields are kept as UTF-8, back to back in one buffer that all papers of a
// document share, and converted when read: decoding a feed then costs one copy
// of its strings instead of six allocations and conversions per paper.
class Paper
{
public:
    enum Field { Title, Link, Journal, Tier, Author, Date, FieldCount };

    Paper() = default;
    Paper(const QString &title, const QString &link, const QString &journal, const QString &tier,
        const QString &author, const QString &date);

    QString title() const { return text(Title); }
    QString link() const { return text(Link); }
    QString journal() const { return text(Journal); }
    QString tier() const { return text(Tier); }
    QString author() const { return text(Author); }
    QString date() const { return text(Date); }

    QString text(Field field) const { return fromUtf8(utf8(field)); }
    QByteArrayView utf8(Field field) const
    {
        return QByteArrayView(m_text).sliced(
            m_bounds[field], m_bounds[field + 1] - m_bounds[field]);
    }

    // The record's identity: title immediately followed by link.
    // Title and link lie next to each other in the buffer.
    QString id() const
    {
        return fromUtf8(
            QByteArrayView(m_text).sliced(m_bounds[Title], m_bounds[Journal] - m_bounds[Title]));
    }

    friend bool operator==(const Paper &a, const Paper &b);

private:
    friend class PaperBuilder;

    // Not QString::fromUtf8, which drops a leading U+FEFF: in a field that is
    // text the feed sent, not a byte order mark.
    static QString fromUtf8(QByteArrayView utf8)
    {
        return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(utf8);
    }

    QByteArray m_text;
    // Field i is m_text[m_bounds[i], m_bounds[i + 1]).
    std::array<qsizetype, FieldCount + 1> m_bounds {};
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

// The largest feed document Quillet takes: a feed is a few hundred KiB.
constexpr qint64 maxDocumentBytes = 32 * 1024 * 1024;

// Decodes a response body by the feed's strict rules: one UTF-8 JSON object
// whose "papers" is an array of objects that each hold the six members as
// strings. Extra members are ignored; any violation rejects the whole document.
// A leading UTF-8 byte order mark is tolerated.
PaperDecodeResult decodePaperResponse(QByteArrayView body);
// The same verdict for a body the caller gives up: parsed where it lies, and its
// buffer reused for the papers' text, so decoding needs no second copy of it.
PaperDecodeResult decodePaperBody(QByteArray body);

// JSON with the same member names, in field order.
QByteArray encodePaper(const Paper &paper);
QByteArray encodePaperResponse(const PaperResponse &response);
