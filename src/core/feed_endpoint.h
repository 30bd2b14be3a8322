#pragma once

#include <QByteArray>
#include <QString>

// Where the feed lives, fixed when the program is built.
struct FeedEndpoint
{
    QString url;
    QByteArray extraCaPem; // PEM certificates trusted in addition to the system's; may be empty
};

// Defined by a source that CMake generates for each executable
// (quillet_feed_endpoint in cmake/QuilletFeedEndpoint.cmake).
FeedEndpoint quilletFeedEndpoint();
