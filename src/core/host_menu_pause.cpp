#include "core/host_menu_pause.h"

HostMenuPause::HostMenuPause(Timers &timers) : m_timers(timers) { }

HostMenuPause::~HostMenuPause()
{
    m_timers.cancel(m_bound);
}

void HostMenuPause::opened(const QString &host, int menuId)
{
    const bool wasPaused = isPaused();
    m_open.emplace(host, menuId);
    changed(wasPaused);
}

void HostMenuPause::closed(const QString &host, int menuId)
{
    const bool wasPaused = isPaused();
    m_open.erase({host, menuId});
    changed(wasPaused);
}

void HostMenuPause::hostGone(const QString &host)
{
    const bool wasPaused = isPaused();
    std::erase_if(m_open, [&host](const auto &open) { return open.first == host; });
    changed(wasPaused);
}

void HostMenuPause::reset()
{
    const bool wasPaused = isPaused();
    m_open.clear();
    changed(wasPaused);
}

void HostMenuPause::changed(bool wasPaused)
{
    if (wasPaused == isPaused())
        return;
    m_timers.cancel(m_bound);
    m_bound = 0;
    if (isPaused())
        m_bound = m_timers.startOnce(longestPause, [this] {
            m_bound = 0;
            reset();
        });
    if (onPausedChanged)
        onPausedChanged(isPaused());
}
