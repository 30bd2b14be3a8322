#pragma once

#include "crossref/record_normaliser.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// What the builder remembers between runs: every paper it has seen, keyed by
// its lower-cased DOI, with the time it was first seen; and when the last run
// that reached every source ended.
class StateStore
{
public:
    struct Limits
    {
        int days = 30; // papers first seen longer ago leave the feed
        int perJournal = 50; // newest papers kept per label
        int overall = 1500;
    };

    // Past this, a state file is not one of ours: a full state is a few MiB.
    static constexpr qint64 maxFileBytes = 64 * 1024 * 1024;

    // A missing file is an empty state; anything unreadable is an error. A paper
    // first seen after `now` (a clock set wrong once) counts as first seen now.
    bool load(const QString &path, const QDateTime &now, QString *error);
    // The file's content; the same state always gives the same bytes.
    QByteArray serialised() const;

    // Adds the items not seen before (first seen `now`) and refreshes the known
    // ones (a paper that gains a volume moves to its journal's other label).
    // Returns how many were new.
    int merge(const QList<FeedItem> &items, const QDateTime &now);
    // Forgets what has left the window; the rest, within the caps, as the
    // feed's papers, newest first.
    QList<Paper> retain(const QDateTime &now, const Limits &limits);

    QDateTime lastSuccess() const { return m_lastSuccess; }
    void setLastSuccess(const QDateTime &when) { m_lastSuccess = when; }
    qsizetype size() const { return m_items.size(); }

private:
    struct Entry
    {
        QDateTime firstSeen;
        Paper paper;
    };

    QHash<QString, Entry> m_items;
    QDateTime m_lastSuccess;
};
