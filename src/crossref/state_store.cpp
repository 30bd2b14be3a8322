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
    // Sorted, so an unchanged state is an unchanged file.
    QStringList keys = m_items.keys();
    keys.sort();
    QJsonArray papers;
    for (const QString &key : std::as_const(keys)) {
        const Entry &entry = m_items[key];
        QJsonObject object {{u"doi"_qs, key},
            {u"firstSeen"_qs, entry.firstSeen.toUTC().toString(Qt::ISODateWithMs)}};
        for (int i = 0; i < Paper::FieldCount; ++i)
            object.insert(fieldNames()[size_t(i)], entry.paper.text(Paper::Field(i)));
        papers.append(object);
    }
    const QJsonObject root {{u"version"_qs, 1},
        {u"lastSuccess"_qs,
            m_lastSuccess.isValid() ? m_lastSuccess.toUTC().toString(Qt::ISODateWithMs)
                                    : QString()},
        {u"papers"_qs, papers}};
    return QJsonDocument(root).toJson();
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
