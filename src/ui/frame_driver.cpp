#include "ui/frame_driver.h"

#include <algorithm>
#include <utility>

using namespace std::chrono_literals;

namespace {

constexpr std::int64_t nsPerSecond = 1'000'000'000;

} // namespace

QtFrameClock::QtFrameClock()
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        // Taken out first: the wake-up usually asks for the next one.
        if (const std::function<void()> wake = std::exchange(m_wake, nullptr))
            wake();
    });
}

void QtFrameClock::wakeAt(Nanoseconds when, std::function<void()> wake)
{
    m_wake = std::move(wake);
    // Timers count whole milliseconds: round up, never wake before the frame.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(when - now());
    m_timer.start(std::clamp<std::chrono::milliseconds>(wait, 0ms, 1000ms));
}

FrameDriver::FrameDriver(FrameClock &clock, Advance advance)
    : m_clock(clock), m_advance(std::move(advance)), m_start(clock.now())
{
    schedule(m_advance(0));
}

FrameDriver::~FrameDriver()
{
    m_clock.cancel();
}

FrameClock::Nanoseconds FrameDriver::instant(std::int64_t frame) const
{
    return m_start + FrameClock::Nanoseconds(frame * nsPerSecond / framesPerSecond);
}

std::int64_t FrameDriver::frameAt(FrameClock::Nanoseconds time) const
{
    // The frame whose instant is the last at or before `time`.
    const std::int64_t ns = (time - m_start).count();
    std::int64_t frame = ns * framesPerSecond / nsPerSecond;
    while (instant(frame + 1) <= time)
        ++frame;
    return frame;
}

void FrameDriver::wake()
{
    const FrameClock::Nanoseconds now = m_clock.now();
    // After a long stall (suspend, a busy main thread) go on from the planned
    // frame instead of moving a burst of frames at once.
    if (now - instant(m_planned) > 250ms)
        m_start = now - (instant(m_planned) - m_start);
    // A timer a fraction of a millisecond early still counts as the planned frame.
    schedule(move(std::max(m_planned, frameAt(now))));
}

std::int64_t FrameDriver::move(std::int64_t upTo)
{
    const std::int64_t frames = std::max<std::int64_t>(0, upTo - m_done);
    m_done += frames;
    return m_advance(frames);
}

void FrameDriver::catchUp()
{
    const std::int64_t due = frameAt(m_clock.now());
    if (m_running && due > m_done && move(due) <= 0)
        schedule(0);
}

void FrameDriver::replan()
{
    if (m_running)
        schedule(m_advance(0));
}

void FrameDriver::schedule(std::int64_t framesAhead)
{
    if (framesAhead <= 0) {
        m_running = false;
        m_clock.cancel();
        return;
    }
    m_planned = m_done + framesAhead;
    m_clock.wakeAt(instant(m_planned), [this] { wake(); });
}
