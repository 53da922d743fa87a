// The local date and time, and a millisecond tick counter.
#pragma once

#include <cstdint>

#include "output/LogRecord.h"

namespace quillet {

LocalDateTime CurrentLocalTime();
// The system's clock now, in nanoseconds since 1970 (what the kernel stamps
// received datagrams with).
std::int64_t RealtimeNs();
// The local time, to the millisecond, of `realtimeNs` as RealtimeNs gives it;
// of now when it is 0 (a datagram the kernel gave no stamp).
LocalDateTime LocalTimeOfNs(std::int64_t realtimeNs);
// Milliseconds from an arbitrary start; only differences are meaningful.
std::uint32_t TickCountMs();
void SleepMs(int milliseconds);

}  // namespace quillet
