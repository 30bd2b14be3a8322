#pragma once

#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

// The service's clock: repeating and one-shot timers on the main thread.
// Production uses QTimer; tests substitute virtual time.
class Timers
{
public:
    using Id = std::uint64_t; // 0 is never a valid timer
    using Callback = std::function<void()>;

    virtual ~Timers() = default;
    virtual Id startRepeating(std::chrono::milliseconds period, Callback callback) = 0;
    virtual Id startOnce(std::chrono::milliseconds delay, Callback callback) = 0;
    // Cancelling an unknown or finished timer is harmless.
    virtual void cancel(Id id) = 0;
};

class QtTimers final : public Timers
{
public:
    QtTimers();
    ~QtTimers() override;

    Id startRepeating(std::chrono::milliseconds period, Callback callback) override;
    Id startOnce(std::chrono::milliseconds delay, Callback callback) override;
    void cancel(Id id) override;

private:
    Id start(std::chrono::milliseconds interval, bool once, Callback callback);

    QObject m_owner; // parent of every live QTimer
    std::map<Id, QObject *> m_timers;
    Id m_nextId = 1;
};
