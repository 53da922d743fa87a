// Datagrams taken from one socket by two threads, put back in arrival order.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "listener/RescuedDatagrams.h"

namespace quillet {
namespace {

TEST(MergeInArrivalOrder, InterleavesTheTwoRunsByArrivalTheBatchFirstOnATie) {
    struct Case {
        std::vector<std::int64_t> own;
        std::vector<std::int64_t> rescued;
        std::string order;  // o<i> / r<j> in turn
    };
    const Case cases[] = {
        // The holder was kept from running after taking its batch: all of
        // it came before the rescue.
        {{10, 20, 30}, {40, 50}, "o0 o1 o2 r0 r1"},
        // The holder was kept from running before taking anything.
        {{40, 50}, {10, 20, 30}, "r0 r1 r2 o0 o1"},
        // Both took at once (a kernel that preempts a receive half-way).
        {{10, 25, 30}, {5, 20, 40}, "r0 o0 r1 o1 o2 r2"},
        // Equal times, or none given: the batch first.
        {{7, 7}, {7}, "o0 o1 r0"},
        {{0, 0}, {0, 0}, "o0 o1 r0 r1"},
        // Only rescued datagrams (queued when the socket went quiet).
        {{}, {3, 4}, "r0 r1"},
        {{3}, {}, "o0"},
    };
    for (const Case& c : cases) {
        std::string order;
        MergeInArrivalOrder(
            static_cast<int>(c.own.size()), [&](int i) { return c.own[static_cast<std::size_t>(i)]; },
            c.rescued.size(), [&](std::size_t j) { return c.rescued[j]; },
            [&](int i) { order += (order.empty() ? "o" : " o") + std::to_string(i); },
            [&](std::size_t j) { order += (order.empty() ? "r" : " r") + std::to_string(j); });
        EXPECT_EQ(order, c.order) << c.order;
    }
}

}  // namespace
}  // namespace quillet
