#include "crossref/state_store.h"

#include "crossref/bounded_file.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

const std::array<QString, Paper::FieldCount> &fieldNames()
{
    static const std::array<QString, Paper::FieldCount> names {
        u"title"_qs, u"link"_qs, u"journal"_qs, u"tier"_qs, u"author"_qs, u"date"_qs};
    return names;
}

// `text` (UTF-8) as a JSON string: quotes, backslashes and control characters escaped.
void appendJsonString(QByteArray &out, QByteArrayView text)
{
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += "\\u00"
                    + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            else
                out += c;
        }
    }
    out += '"';
}

} // namespace

bool StateStore::load(const QString &path, const QDateTime &now, QString *error)
{
    m_items.clear();
    m_lastSuccess = {};
    if (!QFileInfo::exists(path))
        return true;
    const BoundedFile::Read file = BoundedFile::read(path, maxFileBytes);
    if (!file.bytes) {
        *error = file.error;
        return false;
    }
    QJsonParseError parseError;
    const QJsonObject root = QJsonDocument::fromJson(*file.bytes, &parseError).object();
    if (parseError.error != QJsonParseError::NoError || !root.value(u"papers"_qs).isArray()) {
        *error = path + u": not a state file of this program"_qs;
        return false;
    }
    m_lastSuccess = QDateTime::fromString(root.value(u"lastSuccess"_qs).toString(), Qt::ISODate);
    if (m_lastSuccess.isValid())
        m_lastSuccess = std::min(m_lastSuccess, now);
    for (const QJsonValue &value : root.value(u"papers"_qs).toArray()) {
        const QJsonObject object = value.toObject();
        std::array<QString, Paper::FieldCount> fields;
        for (int i = 0; i < Paper::FieldCount; ++i)
            fields[size_t(i)] = object.value(fieldNames()[size_t(i)]).toString();
        const QDateTime firstSeen
            = QDateTime::fromString(object.value(u"firstSeen"_qs).toString(), Qt::ISODate);
        const QString key = object.value(u"doi"_qs).toString().toLower();
        if (key.isEmpty() || !firstSeen.isValid())
            continue;
        m_items.insert(key,
            Entry {std::min(firstSeen, now),
                Paper(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5])});
    }
    return true;
}

QByteArray StateStore::serialised() const
{
    // Written out directly, not through QJsonDocument: for a full state its tree
    // of objects costs a desktop's Quillet megabytes at the peak of every poll.
    QStringList keys = m_items.keys();
    // Sorted, so an unchanged state is an unchanged file.
    keys.sort();
    QByteArray out;
    out.reserve(64 + keys.size() * 512);
    out += "{\n    \"lastSuccess\": ";
    appendJsonString(out,
        m_lastSuccess.isValid() ? m_lastSuccess.toUTC().toString(Qt::ISODateWithMs).toUtf8()
                                : QByteArray());
    out += ",\n    \"papers\": [";
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const Entry &entry = m_items[keys[i]];
        out += i == 0 ? "\n        {" : ",\n        {";
        // Members in name order, one paper a line.
        const auto member = [&out](const char *name, QByteArrayView value, bool last = false) {
            out += '"';
            out += name;
            out += "\": ";
            appendJsonString(out, value);
            if (!last)
                out += ", ";
        };
        member("author", entry.paper.utf8(Paper::Author));
        member("date", entry.paper.utf8(Paper::Date));
        member("doi", keys[i].toUtf8());
        member("firstSeen", entry.firstSeen.toUTC().toString(Qt::ISODateWithMs).toUtf8());
        member("journal", entry.paper.utf8(Paper::Journal));
        member("link", entry.paper.utf8(Paper::Link));
        member("tier", entry.paper.utf8(Paper::Tier));
        member("title", entry.paper.utf8(Paper::Title), true);
        out += '}';
    }
    out += keys.isEmpty() ? "]," : "\n    ],";
    out += "\n    \"version\": 1\n}\n";
    return out;
}

int StateStore::merge(const QList<FeedItem> &items, const QDateTime &now)
{
    int added = 0;
    for (const FeedItem &item : items) {
        const auto found = m_items.find(item.key);
        if (found != m_items.end()) {
            found->paper = item.paper;
            continue;
        }
        m_items.insert(item.key, Entry {now, item.paper});
        ++added;
    }
    return added;
}

QList<Paper> StateStore::retain(const QDateTime &now, const Limits &limits)
{
    const QDateTime oldest = now.addDays(-limits.days);
    QList<std::pair<QString, const Entry *>> kept;
    for (auto it = m_items.cbegin(); it != m_items.cend(); ++it) {
        if (it->firstSeen >= oldest)
            kept.append({it.key(), &it.value()});
    }
    // Newest first: first seen, then the paper's own date, then the DOI for a fixed order.
    std::sort(kept.begin(), kept.end(), [](const auto &a, const auto &b) {
        if (a.second->firstSeen != b.second->firstSeen)
            return a.second->firstSeen > b.second->firstSeen;
        const QByteArrayView dateA = a.second->paper.utf8(Paper::Date);
        const QByteArrayView dateB = b.second->paper.utf8(Paper::Date);
        return dateA != dateB ? dateA > dateB : a.first < b.first;
    });
    QHash<QString, Entry> retained;
    QHash<QString, int> perJournal;
    QList<Paper> papers;
    for (const auto &[key, entry] : kept) {
        // Still remembered when over a cap, or the next run would take it for new.
        retained.insert(key, *entry);
        int &count = perJournal[entry->paper.journal()];
        if (count >= limits.perJournal || papers.size() >= limits.overall)
            continue;
        ++count;
        papers.append(entry->paper);
    }
    m_items = std::move(retained);
    return papers;
}
