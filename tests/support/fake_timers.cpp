#include "support/fake_timers.h"

using std::chrono::milliseconds;

Timers::Id FakeTimers::startRepeating(milliseconds period, Callback callback)
{
    const Id id = m_nextId++;
    m_timers.emplace(id, Entry {m_now + period, period, std::move(callback)});
    return id;
}

Timers::Id FakeTimers::startOnce(milliseconds delay, Callback callback)
{
    const Id id = m_nextId++;
    m_timers.emplace(id, Entry {m_now + delay, milliseconds(0), std::move(callback)});
    return id;
}

void FakeTimers::cancel(Id id)
{
    m_timers.erase(id);
}

void FakeTimers::advance(milliseconds by)
{
    const milliseconds target = m_now + by;
    for (;;) {
        // Earliest due first; ties go to the older timer.
        auto next = m_timers.end();
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
            if (it->second.due <= target
                && (next == m_timers.end() || it->second.due < next->second.due))
                next = it;
        if (next == m_timers.end())
            break;
        m_now = next->second.due;
        if (next->second.period == milliseconds(0)) {
            Callback callback = std::move(next->second.callback);
            m_timers.erase(next);
            callback();
        } else {
            next->second.due += next->second.period;
            Callback callback = next->second.callback; // the callback may cancel its own timer
            callback();
        }
    }
    m_now = target;
}

int FakeTimers::activeOnceCount() const
{
    int count = 0;
    for (const auto &[id, entry] : m_timers)
        count += entry.period == milliseconds(0) ? 1 : 0;
    return count;
}

std::optional<milliseconds> FakeTimers::untilNext() const
{
    std::optional<milliseconds> earliest;
    for (const auto &[id, entry] : m_timers)
        if (!earliest || entry.due < *earliest)
            earliest = entry.due;
    if (!earliest)
        return std::nullopt;
    return *earliest - m_now;
}
