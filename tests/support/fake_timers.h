#pragma once

#include "core/timers.h"

#include <chrono>
#include <map>
#include <optional>

// Virtual time: timers fire only when the test advances the clock, in due order.
class FakeTimers final : public Timers
{
public:
    Id startRepeating(std::chrono::milliseconds period, Callback callback) override;
    Id startOnce(std::chrono::milliseconds delay, Callback callback) override;
    void cancel(Id id) override;

    // Moves the clock forward, firing every timer that falls due on the way.
    void advance(std::chrono::milliseconds by);

    std::chrono::milliseconds now() const { return m_now; }
    int activeCount() const { return int(m_timers.size()); }
    int activeOnceCount() const;
    // Time from now until the earliest timer falls due.
    std::optional<std::chrono::milliseconds> untilNext() const;

private:
    struct Entry
    {
        std::chrono::milliseconds due;
        std::chrono::milliseconds period; // zero for one-shot timers
        Callback callback;
    };
    std::map<Id, Entry> m_timers;
    std::chrono::milliseconds m_now {0};
    Id m_nextId = 1;
};
