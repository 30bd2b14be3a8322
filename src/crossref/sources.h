#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One label of the feed: which journal's records it takes, and which of them.
struct Source
{
    // Which records of a journal a label takes, for a journal split over two
    // labels: its accepted papers ("in Press") have no volume yet, the papers
    // of its issue in progress have one.
    enum class Volume { Any, Absent, Present };

    QString label;
    QString tier;
    QStringList issns; // print and online, upper-case check digit
    bool enabled = true;
    Volume volume = Volume::Any;
    QStringList unconfirmed; // ISSNs no public reference confirmed

    bool takes(bool hasVolume) const
    {
        return volume == Volume::Any || (volume == Volume::Present) == hasVolume;
    }
};

// One journal as the API knows it: its ISSNs and the enabled labels fed from it.
struct Journal
{
    QStringList issns;
    QList<Source> sources;
};

struct SourcesResult
{
    QList<Source> sources;
    QString error; // one line naming the file and the place; empty on success
};

// The journal table compiled into the programs (feed/sources.json), so the
// builder and Quillet always follow the same journals.
inline QString builtInSources()
{
    return QStringLiteral(":/quillet/sources.json");
}

// Reads and checks a sources file (feed/README.md describes it).
SourcesResult readSources(const QString &path);
// Parses the bytes of a sources file; `name` prefixes errors.
SourcesResult parseSources(const QByteArray &bytes, const QString &name);
// The enabled sources grouped by journal, in the file's order.
QList<Journal> journalsOf(const QList<Source> &sources);
