// On virtual time: wakes only when the picture changes, showing what 60 steps a second would.
#include "core/ticker_model.h"
#include "support/fake_timers.h"
#include "ui/frame_driver.h"

#include <QTest>

struct VirtualClock final : FrameClock
{
    FakeTimers timers;
    Timers::Id pending = 0;
    Nanoseconds now() const override { return timers.now(); }
    void wakeAt(Nanoseconds when, std::function<void()> wake) override
    {
        cancel();
        pending
            = timers.startOnce(std::chrono::ceil<std::chrono::milliseconds>(when - now()), wake);
    }
    void cancel() override { timers.cancel(pending); }
};

static TickerModel ticker()
{
    TickerModel model([](const QString &text) { return 10.0 * double(text.size()); }); // 2 titles
    model.setContainerWidth(190);
    model.setAllPapers({Paper {u"Dues"_qs, {}, {}, {}, {}, {}},
        Paper {u"Tolls under Lumpy Harvests"_qs, {}, {}, {}, {}, {}}});
    model.applyFilters({});
    return model.restart(), model;
}

class TestFrameDriver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wakesAtEveryChangeOnly_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("newSpeed");
        QTest::newRow("default") << 0.8 << 0.8;
        QTest::newRow("slow, then fast") << 0.1 << 5.0;
        QTest::newRow("fast, then a third of a pixel") << 2.5 << 0.3;
    }
    void wakesAtEveryChangeOnly()
    {
        QFETCH(double, speed);
        QFETCH(double, newSpeed);
        const double firstSpeed = speed, origin = 5;
        VirtualClock clock;
        TickerModel shown = ticker();
        std::map<std::int64_t, std::pair<double, QString>> wakes; // by the frame woken in
        FrameDriver driver(clock, [&](std::int64_t frames) {
            const std::int64_t ahead = shown.advance(frames, speed, origin, 60);
            wakes[clock.now().count() * 60 / 1'000'000'000] = {shown.x(), shown.text()};
            return ahead;
        });
        // Frame 150 is at 2500 ms, 151 at 2516.7 ms: the speed changes between the two.
        clock.timers.advance(std::chrono::milliseconds(2508));
        driver.catchUp();
        speed = newSpeed;
        driver.replan();
        clock.timers.advance(std::chrono::seconds(10) - clock.timers.now());
        // The same ticker stepped 60 times a second, at the new speed from frame 151:
        TickerModel reference = ticker();
        for (std::int64_t frame = 1; frame <= 600; ++frame) {
            const auto before = std::pair(std::lround(origin + reference.x()), reference.text());
            reference.tick(frame <= 150 ? firstSpeed : newSpeed);
            const auto wake = wakes.find(frame);
            const bool changed
                = std::pair(std::lround(origin + reference.x()), reference.text()) != before;
            QVERIFY(changed == (wake != wakes.end()) || frame == 150);
            if (wake != wakes.end())
                QCOMPARE(wake->second, std::pair(reference.x(), reference.text()));
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameDriver)
#include "test_frame_driver.moc"
