#pragma once

#include "core/timers.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>

// Virtual time: timers fire only when the test advances the clock, in due order.
class FakeTimers final : public Timers
{
public:
    Id startRepeating(std::chrono::milliseconds period, Callback callback) override
    {
        return start(period, period, std::move(callback));
    }
    Id startOnce(std::chrono::milliseconds delay, Callback callback) override
    {
        return start(delay, {}, std::move(callback));
    }
    void cancel(Id id) override { m_timers.erase(id); }

    std::chrono::milliseconds now() const { return m_now; }
    // Moves the clock forward, firing every timer that falls due on the way.
    void advance(std::chrono::milliseconds by)
    {
        const auto target = m_now + by;
        while (!m_timers.empty()) {
            // Earliest due first; ties go to the older timer.
            const auto next = std::min_element(m_timers.begin(), m_timers.end(),
                [](const auto &a, const auto &b) { return a.second.due < b.second.due; });
            if (next->second.due > target)
                break;
            m_now = next->second.due;
            Callback callback = next->second.callback; // it may cancel its own timer
            if (next->second.period.count() == 0)
                m_timers.erase(next);
            else
                next->second.due += next->second.period;
            callback();
        }
        m_now = target;
    }

    int activeCount() const { return int(m_timers.size()); }
    // Time until the earliest timer falls due.
    std::optional<std::chrono::milliseconds> untilNext() const
    {
        if (m_timers.empty())
            return std::nullopt;
        return std::min_element(m_timers.begin(), m_timers.end(),
                   [](const auto &a, const auto &b) { return a.second.due < b.second.due; })
                   ->second.due
            - m_now;
    }

private:
    struct Entry
    {
        std::chrono::milliseconds due, period; // period zero: one-shot
        Callback callback;
    };
    Id start(std::chrono::milliseconds delay, std::chrono::milliseconds period, Callback callback)
    {
        m_timers.emplace(m_nextId, Entry {m_now + delay, period, std::move(callback)});
        return m_nextId++;
    }
    std::map<Id, Entry> m_timers;
    std::chrono::milliseconds m_now {0};
    Id m_nextId = 1;
};
