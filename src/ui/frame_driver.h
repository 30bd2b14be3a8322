#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

// Where the frame driver gets its time and its wake-ups: the monotonic clock
// and one main-thread timer in the program, virtual time in tests. One driver
// uses a clock at a time.
class FrameClock
{
public:
    using Nanoseconds = std::chrono::nanoseconds;

    virtual ~FrameClock() = default;
    virtual Nanoseconds now() const = 0;
    // Calls `wake` once, at `when` or just after; replaces any pending wake-up.
    virtual void wakeAt(Nanoseconds when, std::function<void()> wake) = 0;
    virtual void cancel() = 0;
};

class QtFrameClock final : public FrameClock
{
public:
    QtFrameClock();

    Nanoseconds now() const override { return Nanoseconds(m_clock.nsecsElapsed()); }
    void wakeAt(Nanoseconds when, std::function<void()> wake) override;
    void cancel() override { m_timer.stop(); }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::function<void()> m_wake;
};

// Moves the ticker in 1/60-second frames, exactly as if called 60 times a
// second, but wakes only when the picture changes. `advance(frames)` moves the
// ticker on by that many frames, shows it and answers how many more frames may
// pass before anything drawn changes (0: nothing will until a restart).
class FrameDriver
{
public:
    static constexpr int framesPerSecond = 60;
    using Advance = std::function<std::int64_t(std::int64_t frames)>;

    FrameDriver(FrameClock &clock, Advance advance);
    ~FrameDriver();
    FrameDriver(const FrameDriver &) = delete;
    FrameDriver &operator=(const FrameDriver &) = delete;

    // For a change of step: catchUp() moves the frames already due at the old
    // step; replan(), once the new step is in place, plans the next wake-up by it.
    void catchUp();
    void replan();

    bool isRunning() const { return m_running; }
    // Frames moved since the start.
    std::int64_t frame() const { return m_done; }

private:
    FrameClock::Nanoseconds instant(std::int64_t frame) const;
    std::int64_t frameAt(FrameClock::Nanoseconds time) const;
    void wake();
    // Moves up to frame `upTo`; the frames until the next change.
    std::int64_t move(std::int64_t upTo);
    void schedule(std::int64_t framesAhead);

    FrameClock &m_clock;
    Advance m_advance;
    FrameClock::Nanoseconds m_start;
    std::int64_t m_done = 0;
    std::int64_t m_planned = 0;
    bool m_running = true;
};
