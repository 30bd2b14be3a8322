// How many callbacks per second FrameDriver really delivers, and how evenly.
// Usage: bench_frame_driver_rate [seconds]   (default 10)
#include "ui/frame_driver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    QElapsedTimer clock;
    std::vector<qint64> stamps;
    stamps.reserve(size_t(seconds) * 70);
    clock.start();
    FrameDriver driver([&] { stamps.push_back(clock.nsecsElapsed()); });
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    QCoreApplication::exec();

    std::vector<double> gaps;
    for (size_t i = 1; i < stamps.size(); ++i)
        gaps.push_back(double(stamps[i] - stamps[i - 1]) / 1e6);
    std::sort(gaps.begin(), gaps.end());
    const double elapsed = double(stamps.back() - stamps.front()) / 1e9;
    std::printf("callbacks: %zu in %.3f s = %.2f per second\n", stamps.size(), elapsed,
        double(stamps.size() - 1) / elapsed);
    std::printf("gap ms: min %.2f, median %.2f, p99 %.2f, max %.2f\n", gaps.front(),
        gaps[gaps.size() / 2], gaps[gaps.size() * 99 / 100], gaps.back());
    return 0;
}
