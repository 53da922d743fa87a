// The pace of the pane updates, on a clock the test moves by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "output/PanePacer.h"

namespace quillet {
namespace {

using namespace std::chrono_literals;
using Clock = PanePacer::Clock;

// A pacer whose updates are applied the moment they are due, each costing
// `cost` per line; returns the times (ms from the start) at which the
// updates of `lines` each were made, for `updates` updates.
std::vector<long> PacedUpdates(int updates, std::size_t lines, std::chrono::nanoseconds costPerLine) {
    PanePacer pacer;
    const Clock::time_point start{1h};
    Clock::time_point now = start;
    std::vector<long> at;
    for (int made = 0; made < updates;) {
        const int wait = pacer.DelayMs(lines, false, now);
        EXPECT_LE(wait, PanePacer::kMinFrameMs);
        if (wait > 0) {
            now += std::chrono::milliseconds(wait);
            continue;
        }
        at.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count());
        const auto cost = costPerLine * static_cast<long>(lines);
        pacer.Applied(lines, false, now, cost);
        pacer.Paced(now);
        now += cost;
        ++made;
    }
    return at;
}

TEST(PanePacer, UpdatesComeInBurstsThenAtTheSteadyRateThenAsTheirCostAllows) {
    struct Case {
        const char* rule;
        std::size_t lines;
        std::chrono::nanoseconds costPerLine;
        std::vector<long> expectedMs;
    };
    const Case cases[] = {
        // Cheap updates: three at once (each still rests its 24 us, a
        // millisecond on the timer), then one per 15 ms.
        {"burst and steady rate", 1, 1us, {0, 1, 2, 15, 30, 45}},
        // 100 lines at 100 us: 10 ms each, then 24 x their cost of rest. The
        // cost of a line is learnt by a quarter per update from 2 us:
        // 26.5 us a line after the first, so 10 + 63.6 ms -> due at 74 ms;
        // then 44.9 us -> 84 + 107.7 -> 192; ...
        {"cost factor", 100, 100us, {0, 74, 192, 343, 519}},
        // 100 lines at 1 ms: 100 + 24 x 100 x 251.5 us after the first
        // (the learnt cost), 704 ms; then the rest would pass 1 s and is cut.
        {"max wait", 100, 1ms, {0, 704, 1804, 2904}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PacedUpdates(static_cast<int>(c.expectedMs.size()), c.lines, c.costPerLine), c.expectedMs) << c.rule;
}

TEST(PanePacer, AnUpdateCountsTheLinesItRemoves) {
    PanePacer pacer;
    const Clock::time_point t0{1h};
    // 1000 lines shown at 10 us a line: the cost learnt is
    // (2 us x 3 + 10 us) / 4 = 4 us a line.
    pacer.Applied(1000, false, t0, 10ms);
    EXPECT_EQ(pacer.ShownLines(), 1000u);
    EXPECT_EQ(pacer.LineCost(), 4us);
    const Clock::time_point end = t0 + 10ms;
    // Adding 10 lines: 10 x 4 us x 24 = 0.96 ms of rest.
    EXPECT_EQ(pacer.DelayMs(10, false, end), 1);
    // Removing the oldest 500 first touches them too: 48.96 ms.
    EXPECT_EQ(pacer.DelayMs(10, false, end + 48ms, 500), 1);
    // Emptying first touches the 1000 shown as well: 96.96 ms of rest, asked
    // again after at most a frame.
    EXPECT_EQ(pacer.DelayMs(10, true, end), PanePacer::kMinFrameMs);
    EXPECT_EQ(pacer.DelayMs(10, true, end + 90ms), 7);
    EXPECT_EQ(pacer.DelayMs(10, true, end + 97ms), 0);
    pacer.Applied(10, true, end + 97ms, 1ms);
    EXPECT_EQ(pacer.ShownLines(), 10u);
    pacer.Applied(100, false, end + 200ms, 1ms, 4);
    EXPECT_EQ(pacer.ShownLines(), 106u);
}

TEST(PanePacer, UpdatesTooSmallToMeasureKeepTheLearntCost) {
    PanePacer pacer;
    const Clock::time_point t0{1h};
    pacer.Applied(PanePacer::kMeasurableLines - 1, false, t0, 50ms);
    EXPECT_EQ(pacer.LineCost(), PanePacer::kFirstLineCost);
    pacer.Applied(PanePacer::kMeasurableLines, false, t0, PanePacer::kMeasurableLines * 6us);
    EXPECT_EQ(pacer.LineCost(), 3us);
}

}  // namespace
}  // namespace quillet
