// How often a socket must be drained: a sixth of the time its receive buffer
// takes to fill at the measured rate, within bounds; and how long a stream
// may gather between receives: as long as a batch takes to arrive, never
// longer than that. On a clock the test moves by hand.
#include <gtest/gtest.h>

#include <cstdint>

#include "listener/DrainPace.h"

namespace quillet {
namespace {

// Feeds `pace` `seconds` of a steady stream: every 100 us, the datagrams of
// that tenth of a millisecond, each `size` bytes. Returns the clock after.
std::int64_t Stream(DrainPace& pace, std::int64_t startUs, double perSecond, int size, double seconds = 0.02) {
    std::int64_t now = startUs;
    double owed = 0;
    for (; now < startUs + static_cast<std::int64_t>(seconds * 1e6); now += 100) {
        owed += perSecond / 10000;
        const int count = static_cast<int>(owed);
        owed -= count;
        pace.Taken(count, std::int64_t{count} * size, now);
    }
    return now;
}

TEST(DrainPace, ASixthOfTheTimeTheBufferTakesToFillWithinBounds) {
    struct Case {
        std::int64_t buffer;
        double perSecond;
        int size;
        std::int64_t intervalUs;
        std::int64_t gatherUs;  // 8 x 64 datagrams' time, at most the interval
    };
    const Case cases[] = {
        // A stock buffer (425,984 bytes granted) and a 163-byte trap: about
        // 490 fit, 1.7 ms at 290,000 a second.
        {425984, 290000, 163, 282, 282},
        {425984, 60000, 163, 1364, 1364},
        // The 8 MiB the console asks for, where granted: the slowest pace,
        // and a gathering no longer than its bound.
        {8388608, 300000, 163, DrainPace::kLongestUs, 1707},
        {8388608, 60000, 163, DrainPace::kLongestUs, DrainPace::kLongestGatherUs},
        // A trickle: the slowest pace.
        {425984, 100, 163, DrainPace::kLongestUs, DrainPace::kLongestGatherUs},
        // Large datagrams at a fast rate: never busier than the bound.
        {425984, 200000, 8000, DrainPace::kShortestUs, DrainPace::kShortestUs},
        // A buffer the system could not tell: taken as a stock one.
        {0, 290000, 163, 282, 282},
    };
    for (const Case& c : cases) {
        DrainPace pace;
        pace.SetBuffer(c.buffer, 64);
        Stream(pace, 1'000'000, c.perSecond, c.size);
        EXPECT_NEAR(pace.IntervalUs(), c.intervalUs, c.intervalUs / 50 + 1) << c.buffer << " " << c.perSecond;
        EXPECT_NEAR(pace.GatherUs(), c.gatherUs, c.gatherUs / 50 + 1) << c.buffer << " " << c.perSecond;
    }
}

TEST(DrainPace, AfterAPauseTheRateIsMeasuredAfresh) {
    DrainPace pace;
    pace.SetBuffer(8388608, 64);
    // Unmeasured at first: assume the socket must be drained soon.
    EXPECT_EQ(pace.IntervalUs(), DrainPace::kUnmeasuredUs);
    std::int64_t now = Stream(pace, 1'000'000, 1000, 163);
    EXPECT_EQ(pace.IntervalUs(), DrainPace::kLongestUs);
    // A burst after a quiet spell: the slow rate of before says nothing.
    now += 50'000;
    pace.Taken(64, 64 * 163, now);
    EXPECT_EQ(pace.IntervalUs(), DrainPace::kUnmeasuredUs);
    EXPECT_EQ(pace.GatherUs(), DrainPace::kUnmeasuredUs);
    Stream(pace, now + 100, 2'000'000, 163);
    EXPECT_NEAR(pace.IntervalUs(), 8388608.0 / (2.0 * 867) / 6, 20);
}

TEST(DrainPace, TheReceiversOwnGatheringIsNoPause) {
    DrainPace pace;
    pace.SetBuffer(8388608, 64);
    std::int64_t now = Stream(pace, 1'000'000, 60000, 163);
    ASSERT_EQ(pace.GatherUs(), DrainPace::kLongestGatherUs);
    // The receiver took what gathered in the pause it was given: the stream
    // went on meanwhile, and so does its rate.
    for (int i = 0; i < 3; ++i) {
        now += DrainPace::kLongestGatherUs;
        pace.Taken(300, 300 * 163, now);
        EXPECT_EQ(pace.GatherUs(), DrainPace::kLongestGatherUs) << i;
    }
}

}  // namespace
}  // namespace quillet
