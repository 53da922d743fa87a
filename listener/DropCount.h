// Datagrams lost before they could be reported: the kernel's drop counter of
// a socket turned into counts of newly lost datagrams, and the line that
// says how many were lost.
#pragma once

#include <cstdint>
#include <string_view>

#include "output/OutputBatch.h"

namespace quillet {

// Follows a socket's drop counter, a 32-bit count that the kernel keeps for
// the socket's whole life and that wraps past 4294967295. Each reading gives
// the datagrams dropped since the reading before. Readings may arrive out of
// step (a datagram carries the counter as it was when the datagram was
// queued, which can be older than a reading taken since): a reading behind
// the last one counts nothing and is otherwise ignored. Between two readings
// fewer than 2^31 drops are taken to have happened.
class DropCount {
public:
    // The counter starts at 0 with the socket.
    explicit DropCount(std::uint32_t start = 0) : last_(start) {}

    std::uint32_t Advance(std::uint32_t counter) {
        const auto step = static_cast<std::int32_t>(counter - last_);
        if (step <= 0) return 0;
        last_ = counter;
        return static_cast<std::uint32_t>(step);
    }

private:
    std::uint32_t last_ = 0;
};

// Appends the line that says `lost` datagrams were lost at this point:
// `head` followed by the count in decimal, a summary line charged like a
// value line. Nothing when `lost` is 0.
void AppendLossLine(OutputBatch& batch, std::string_view head, std::uint64_t lost);

}  // namespace quillet
