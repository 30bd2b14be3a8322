// How often FrameDriver wakes for a text moving 0.8 px per 1/60 s, how many
// frames it covers per second (60 is right) and how evenly it wakes.
// Usage: bench_frame_driver_rate [seconds]   (default 10)
#include "ui/frame_driver.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    constexpr double step = 0.8;

    QtFrameClock clock;
    std::vector<qint64> stamps;
    stamps.reserve(size_t(seconds) * 70);
    double x = 1e6;
    FrameDriver driver(clock, [&](std::int64_t frames) -> std::int64_t {
        stamps.push_back(clock.now().count());
        for (std::int64_t i = 0; i < frames; ++i)
            x -= step;
        const long drawn = std::lround(x);
        double next = x;
        for (std::int64_t ahead = 1;; ++ahead)
            if (std::lround(next -= step) != drawn)
                return ahead;
    });
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    QCoreApplication::exec();

    std::vector<double> gaps;
    for (size_t i = 1; i < stamps.size(); ++i)
        gaps.push_back(double(stamps[i] - stamps[i - 1]) / 1e6);
    std::sort(gaps.begin(), gaps.end());
    const double elapsed = double(stamps.back() - stamps.front()) / 1e9;
    std::printf("wake-ups: %zu in %.3f s = %.2f per second (%.2f frames per second)\n",
        stamps.size(), elapsed, double(stamps.size() - 1) / elapsed,
        double(driver.frame()) / elapsed);
    std::printf("gap ms: min %.2f, median %.2f, p99 %.2f, max %.2f\n", gaps.front(),
        gaps[gaps.size() / 2], gaps[gaps.size() * 99 / 100], gaps.back());
    return 0;
}
