#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// Calls a function 60 times per second on average, on the main thread, from the
// moment it is made until it is destroyed. Timer intervals are whole
// milliseconds, so each firing is scheduled against a clock rather than with a
// fixed 16 ms period (which would give 62.5 calls per second).
class FrameDriver : public QObject
{
    Q_OBJECT

public:
    static constexpr int framesPerSecond = 60;

    explicit FrameDriver(std::function<void()> callback, QObject *parent = nullptr);
    ~FrameDriver() override;

    // Stops calling for good, e.g. from inside the callback once nothing can move;
    // the owner replaces the driver to start again.
    void halt();
    bool isRunning() const { return !m_halted; }

private:
    void fire();
    void scheduleNext();

    std::function<void()> m_callback;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_frame = 0;
    bool m_halted = false;
};
