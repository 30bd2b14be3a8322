#pragma once

#include "core/timers.h"

#include <chrono>
#include <map>
#include <optional>

// Virtual time: timers fire only when the test advances the clock, in due order.
class FakeTimers final : public Timers
{
    using ms = std::chrono::milliseconds;

public:
    Id startRepeating(ms period, Callback call) override { return start(period, period, call); }
    Id startOnce(ms delay, Callback call) override { return start(delay, {}, call); }
    void cancel(Id id) override
    {
        std::erase_if(m_timers, [id](const auto &timer) { return timer.first.second == id; });
    }

    std::chrono::milliseconds now() const { return m_now; }
    // Moves the clock forward, firing every timer that falls due on the way.
    void advance(ms by)
    {
        const auto target = m_now + by;
        while (!m_timers.empty() && m_timers.begin()->first.first <= target) {
            auto timer = m_timers.extract(m_timers.begin());
            m_now = timer.key().first;
            const auto [period, callback] = timer.mapped(); // period zero: one-shot
            if (period.count() != 0) { // back in before the call, which may cancel it
                timer.key().first += period;
                m_timers.insert(std::move(timer));
            }
            callback();
        }
        m_now = target;
    }

    int activeCount() const { return int(m_timers.size()); }
    // Time until the earliest timer falls due.
    std::optional<ms> untilNext() const
    {
        return m_timers.empty() ? std::nullopt
                                : std::optional(m_timers.begin()->first.first - m_now);
    }

private:
    Id start(ms delay, ms period, Callback callback)
    {
        m_timers.emplace(std::pair {m_now + delay, m_nextId}, std::pair {period, callback});
        return m_nextId++;
    }
    // (due, id) to (period, callback): the earliest first, ties to the older timer.
    std::map<std::pair<ms, Id>, std::pair<ms, Callback>> m_timers;
    ms m_now {0};
    Id m_nextId = 1;
};
