#include "ui/frame_driver.h"

#include <algorithm>

FrameDriver::FrameDriver(std::function<void()> callback, QObject *parent)
    : QObject(parent), m_callback(std::move(callback))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FrameDriver::fire);
    m_clock.start();
    scheduleNext();
}

FrameDriver::~FrameDriver() = default;

void FrameDriver::halt()
{
    m_halted = true;
    m_timer.stop();
}

void FrameDriver::fire()
{
    ++m_frame;
    const qint64 dueNs = m_frame * 1'000'000'000 / framesPerSecond;
    // After a long stall (suspend, a busy main thread) start counting afresh
    // instead of firing a burst of catch-up frames.
    if (m_clock.nsecsElapsed() - dueNs > 250'000'000) {
        m_clock.restart();
        m_frame = 0;
    }
    scheduleNext();
    m_callback();
}

void FrameDriver::scheduleNext()
{
    const qint64 dueNs = (m_frame + 1) * 1'000'000'000 / framesPerSecond;
    const qint64 waitNs = dueNs - m_clock.nsecsElapsed();
    m_timer.start(int(std::clamp<qint64>((waitNs + 500'000) / 1'000'000, 0, 1000)));
}
