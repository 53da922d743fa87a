// Lost datagrams: the kernel's drop counter turned into counts, and the line
// that says them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "listener/DropCount.h"

namespace quillet {
namespace {

TEST(DropCount, EachReadingGivesTheDropsSinceTheLastOne) {
    // Readings of the 32-bit counter in the order they reach the listener,
    // and what each must add to the losses.
    struct Case {
        const char* what;
        std::uint32_t start;
        std::vector<std::uint32_t> readings;
        std::vector<std::uint32_t> lost;
    };
    const Case cases[] = {
        {"no drops: no control message, the counter reads 0", 0, {0, 0, 0}, {0, 0, 0}},
        {"drops between datagrams", 0, {0, 5, 5, 12}, {0, 5, 0, 7}},
        {"drops before the first datagram", 0, {3}, {3}},
        {"a datagram queued before a quiet-time reading arrives after it", 0, {10, 8, 10, 11}, {10, 0, 0, 1}},
        {"the counter wraps past 4294967295", 4294967290u, {4294967295u, 2u, 2u}, {5, 3, 0}},
        {"a wrap right at zero", 4294967295u, {0u, 1u}, {1, 1}},
        {"a step of 2^31 - 1 at once", 0, {2147483647u}, {2147483647u}},
    };
    for (const Case& c : cases) {
        DropCount count(c.start);
        std::vector<std::uint32_t> lost;
        for (std::uint32_t reading : c.readings) lost.push_back(count.Advance(reading));
        EXPECT_EQ(lost, c.lost) << c.what;
    }
}

TEST(DropCount, TheLossLineSaysTheCountAndIsChargedOnlyWhenSomethingWasLost) {
    OutputBatch batch;
    AppendLossLine(batch, "TRAP受信欠落  COUNT=", 0);
    EXPECT_TRUE(batch.Empty());
    AppendLossLine(batch, "TRAP受信欠落  COUNT=", 4294967301ull);
    ASSERT_EQ(batch.Size(), 2u);
    EXPECT_EQ(batch[0].type, OutputBatch::ItemType::Line);
    EXPECT_EQ(batch[0].value, SummaryLine);
    EXPECT_EQ(batch[0].text, "TRAP受信欠落  COUNT=4294967301");
    EXPECT_EQ(batch[1].type, OutputBatch::ItemType::Charge);
    EXPECT_EQ(batch[1].value, 30);
}

}  // namespace
}  // namespace quillet
