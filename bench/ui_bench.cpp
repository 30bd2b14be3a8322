// Start-up and interaction latencies of the real program, in process, on a real
// X display, against the loopback feed bench/run serves:
//   - start to the first frame that shows a title in the strip (from the moment
//     the caller launched the process, passed as CLOCK_REALTIME nanoseconds);
//   - rebuilding the status menu with the whole feed loaded (median of N);
//   - opening the journal panel until its first paint has run (median of N).
//
//   bench_ui [LAUNCH_NS] [--rounds N]
#include "app/app_delegate.h"
#include "core/paper_service.h"
#include "ui/journal_filter_window.h"
#include "ui/menu_builder.h"
#include "ui/status_item.h"
#include "ui/ticker_controller.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

namespace {

qint64 realtimeNs()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

double medianMs(std::vector<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    const std::size_t n = ns.size();
    const double mid = n % 2 ? double(ns[n / 2]) : (double(ns[n / 2 - 1]) + double(ns[n / 2])) / 2;
    return mid / 1e6;
}

// Spins the event loop until `done` holds or `timeoutMs` passes.
template<typename Predicate> bool waitFor(Predicate done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

// Resident and peak memory now, in MiB, from /proc/self/status.
std::pair<double, double> memoryMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    double rss = 0, peak = 0;
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n')) {
            const QList<QByteArray> cells = line.simplified().split(' ');
            if (cells.size() >= 2 && cells[0] == "VmRSS:")
                rss = cells[1].toDouble() / 1024;
            else if (cells.size() >= 2 && cells[0] == "VmHWM:")
                peak = cells[1].toDouble() / 1024;
        }
    return {rss, peak};
}

std::vector<std::pair<const char *, std::pair<double, double>>> g_phases;
void notePhase(const char *phase)
{
    g_phases.emplace_back(phase, memoryMiB());
}

// Notes when a widget's window has been painted.
class PaintWatch : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    qint64 launchNs = 0;
    int rounds = 20;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, atoi(argv[++i]));
        else
            launchNs = arg.toLongLong();
    }

    notePhase("process start");
    // As the program does before its application object exists.
    qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    notePhase("application object");
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setOrganizationName(QStringLiteral("Quillet"));
    AppDelegate delegate;
    QTimer::singleShot(0, &app, [&delegate] { delegate.applicationDidFinishLaunching(); });

    // The first title frame: the label has entered the strip and been painted there.
    qint64 firstFrameNs = 0;
    const bool shown = waitFor(
        [&] {
            const StatusItem *item = delegate.strip();
            if (item && g_phases.size() == 2)
                notePhase("strip and ticker set up");
            if (!item || PaperService::shared().papers().isEmpty())
                return false;
            if (g_phases.size() == 3)
                notePhase("papers fetched and decoded");
            const double labelLeft = item->containerFrame().x() + item->label().x();
            if (labelLeft >= item->containerFrame().right() || !item->isExposed())
                return false;
            firstFrameNs = realtimeNs();
            return true;
        },
        60000);
    if (!shown) {
        std::fprintf(stderr, "bench_ui: no title reached the strip within 60 s\n");
        return 1;
    }
    const qsizetype papers = PaperService::shared().papers().size();
    notePhase("first title frame");

    // What an opening costs: the rows described and rendered into the menu.
    QMenu *menu = delegate.menu();
    MenuBuilder builder;
    std::vector<qint64> rebuild;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        builder.render(
            menu, delegate.ticker()->menuNeedsUpdate(), MenuBuilder::SliderForm::Widgets);
        rebuild.push_back(clock.nsecsElapsed());
    }
    notePhase("status menu built");

    JournalFilterWindow &panel = JournalFilterWindow::shared();
    std::vector<qint64> open;
    for (int i = 0; i < rounds; ++i) {
        PaintWatch watch;
        QElapsedTimer clock;
        clock.start();
        panel.showWindow();
        QWidget *window = panel.window();
        if (!window) {
            std::fprintf(stderr, "bench_ui: the panel did not open\n");
            return 1;
        }
        window->installEventFilter(&watch);
        if (!waitFor([&] { return watch.painted; }, 10000)) {
            std::fprintf(stderr, "bench_ui: the panel was never painted\n");
            return 1;
        }
        open.push_back(clock.nsecsElapsed());
        window->removeEventFilter(&watch);
        window->close();
        waitFor([&] { return panel.window() == nullptr || !panel.window()->isVisible(); }, 10000);
    }

    notePhase("journal panel opened");
    std::printf("papers loaded: %lld\n", static_cast<long long>(papers));
    std::printf("memory by phase (MiB): resident, peak so far, resident added\n");
    double before = 0;
    for (const auto &[phase, memory] : g_phases) {
        std::printf("  %-26s %7.1f %7.1f %+7.1f\n", phase, memory.first, memory.second,
            memory.first - before);
        before = memory.first;
    }
    if (launchNs > 0)
        std::printf("start to first title frame: %.1f ms\n", double(firstFrameNs - launchNs) / 1e6);
    std::printf("menu rebuild: median %.2f ms of %d (min %.2f, max %.2f)\n", medianMs(rebuild),
        rounds, double(*std::min_element(rebuild.begin(), rebuild.end())) / 1e6,
        double(*std::max_element(rebuild.begin(), rebuild.end())) / 1e6);
    std::printf("panel open to first paint: median %.2f ms of %d (min %.2f, max %.2f)\n",
        medianMs(open), rounds, double(*std::min_element(open.begin(), open.end())) / 1e6,
        double(*std::max_element(open.begin(), open.end())) / 1e6);
    return 0;
}
