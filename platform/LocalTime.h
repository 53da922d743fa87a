// The local date and time, and a millisecond tick counter.
#pragma once

#include <cstdint>

#include "output/LogRecord.h"

namespace quillet {

LocalDateTime CurrentLocalTime();
// Milliseconds from an arbitrary start; only differences are meaningful.
std::uint32_t TickCountMs();
void SleepMs(int milliseconds);

}  // namespace quillet
