#pragma once

#include <QByteArray>
#include <QString>

// Where the papers come from, fixed when the program is built: the feed
// document at `url`, or, when no feed is given, Crossref itself.
struct FeedEndpoint
{
    QString url; // empty: Crossref direct
    QByteArray extraCaPem; // PEM certificates trusted in addition to the system's; may be empty
    QString crossrefApi; // Crossref's address; a loopback stand-in in test builds
};

// Defined by a source that CMake generates for each executable
// (quillet_feed_endpoint in cmake/QuilletFeedEndpoint.cmake).
FeedEndpoint quilletFeedEndpoint();
