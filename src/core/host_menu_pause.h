#pragma once

#include "core/timers.h"

#include <QString>

#include <chrono>
#include <functional>
#include <set>
#include <utility>

// Whether a tray host shows the exported menu. Hosts fetch the menu ahead of
// time (GetLayout, AboutToShow) without showing it, so only the host's own
// "opened" and "closed" events count. A host that leaves the bus, an item
// registered anew or a host that never says "closed" cannot freeze the ticker:
// the pause ends at the latest after `longestPause`.
class HostMenuPause
{
public:
    static constexpr std::chrono::minutes longestPause {5};

    explicit HostMenuPause(Timers &timers);
    ~HostMenuPause();
    HostMenuPause(const HostMenuPause &) = delete;
    HostMenuPause &operator=(const HostMenuPause &) = delete;

    // Called with true when the first menu opens, false when the last one is gone.
    std::function<void(bool paused)> onPausedChanged;

    void opened(const QString &host, int menuId);
    void closed(const QString &host, int menuId);
    // The host left the bus: whatever it had open is closed.
    void hostGone(const QString &host);
    // The item was registered anew: no host shows its menu yet.
    void reset();

    bool isPaused() const { return !m_open.empty(); }

private:
    void changed(bool wasPaused);

    Timers &m_timers;
    Timers::Id m_bound = 0;
    std::set<std::pair<QString, int>> m_open;
};
