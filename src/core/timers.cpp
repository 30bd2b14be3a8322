#include "core/timers.h"

#include <QTimer>

QtTimers::QtTimers() = default;
QtTimers::~QtTimers() = default;

Timers::Id QtTimers::startRepeating(std::chrono::milliseconds period, Callback callback)
{
    return start(period, false, std::move(callback));
}

Timers::Id QtTimers::startOnce(std::chrono::milliseconds delay, Callback callback)
{
    return start(delay, true, std::move(callback));
}

void QtTimers::cancel(Id id)
{
    const auto it = m_timers.find(id);
    if (it == m_timers.end())
        return;
    // Deferred: a timer may be cancelled from inside its own callback.
    auto *timer = static_cast<QTimer *>(it->second);
    timer->stop();
    timer->deleteLater();
    m_timers.erase(it);
}

Timers::Id QtTimers::start(std::chrono::milliseconds interval, bool once, Callback callback)
{
    const Id id = m_nextId++;
    auto *timer = new QTimer(&m_owner);
    // Long intervals (30 min polls) need no millisecond precision.
    timer->setTimerType(interval >= std::chrono::seconds(10) ? Qt::CoarseTimer : Qt::PreciseTimer);
    timer->setSingleShot(once);
    timer->setInterval(interval);
    QObject::connect(
        timer, &QTimer::timeout, timer, [this, id, once, callback = std::move(callback)] {
            if (once) {
                // Forget the timer before the callback, which may start new ones.
                const auto it = m_timers.find(id);
                if (it != m_timers.end()) {
                    it->second->deleteLater();
                    m_timers.erase(it);
                }
            }
            callback();
        });
    m_timers.emplace(id, timer);
    timer->start();
    return id;
}
