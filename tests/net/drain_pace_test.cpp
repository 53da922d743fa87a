// How often a socket must be drained: a sixth of the time its receive buffer
// takes to fill at the measured rate, within bounds, on a clock the test
// moves by hand.
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
        std::int64_t expectedUs;
    };
    const Case cases[] = {
        // A stock buffer (425,984 bytes granted) and a 163-byte trap: about
        // 490 fit, 1.7 ms at 290,000 a second.
        {425984, 290000, 163, 282},
        {425984, 60000, 163, 1364},
        // The 8 MiB the console asks for, where granted: the slowest pace.
        {8388608, 60000, 163, DrainPace::kLongestUs},
        // A trickle: the slowest pace.
        {425984, 100, 163, DrainPace::kLongestUs},
        // Large datagrams at a fast rate: never busier than the bound.
        {425984, 200000, 8000, DrainPace::kShortestUs},
        // A buffer the system could not tell: taken as a stock one.
        {0, 290000, 163, 282},
    };
    for (const Case& c : cases) {
        DrainPace pace;
        pace.SetBuffer(c.buffer);
        Stream(pace, 1'000'000, c.perSecond, c.size);
        EXPECT_NEAR(pace.IntervalUs(), c.expectedUs, c.expectedUs / 50 + 1) << c.buffer << " " << c.perSecond;
    }
}

TEST(DrainPace, AfterAPauseTheRateIsMeasuredAfresh) {
    DrainPace pace;
    pace.SetBuffer(8388608);
    // Unmeasured at first: assume the socket must be drained soon.
    EXPECT_EQ(pace.IntervalUs(), DrainPace::kUnmeasuredUs);
    std::int64_t now = Stream(pace, 1'000'000, 1000, 163);
    EXPECT_EQ(pace.IntervalUs(), DrainPace::kLongestUs);
    // A burst after a quiet spell: the slow rate of before says nothing.
    now += 50'000;
    pace.Taken(64, 64 * 163, now);
    EXPECT_EQ(pace.IntervalUs(), DrainPace::kUnmeasuredUs);
    Stream(pace, now + 100, 2'000'000, 163);
    EXPECT_NEAR(pace.IntervalUs(), 8388608.0 / (2.0 * 867) / 6, 20);
}

}  // namespace
}  // namespace quillet
