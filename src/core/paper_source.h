#pragma once

#include "core/paper.h"

#include <QList>
#include <QString>

#include <functional>

// Where the paper service gets its papers when it does not fetch a feed
// document itself: a poll that ends in a list of papers or in a failure.
class PaperSource
{
public:
    virtual ~PaperSource() = default;

    // Starts a poll, unless one is under way (which then answers for both).
    // Outcomes come later, from the event loop.
    virtual void poll() = 0;

    // A list to show: at the end of every poll that reached anyone, and before
    // that whenever papers can be shown sooner (those kept from the last run, the
    // first answers of a poll while nothing is on display).
    std::function<void(const QList<Paper> &papers)> onPapers;
    // A poll in which no request succeeded; the line naming the fault is logged.
    std::function<void(const QString &message)> onFailure;
};
