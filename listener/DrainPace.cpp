#include "listener/DrainPace.h"

#include <algorithm>

namespace quillet {

void DrainPace::SetBuffer(std::int64_t bufferBytes) {
    if (bufferBytes > 0) bufferBytes_ = bufferBytes;
}

void DrainPace::Taken(int count, std::int64_t bytes, std::int64_t nowUs) {
    if (windowStartUs_ < 0 || nowUs < lastTakenUs_ || nowUs - lastTakenUs_ > kWindowUs) {
        // After a pause the old rate says nothing: measure afresh, and until
        // then assume the socket must be drained soon.
        windowStartUs_ = nowUs;
        windowCount_ = 0;
        windowBytes_ = 0;
        intervalUs_.store(kUnmeasuredUs, std::memory_order_relaxed);
    }
    lastTakenUs_ = nowUs;
    windowCount_ += count;
    windowBytes_ += bytes;
    const std::int64_t elapsedUs = nowUs - windowStartUs_;
    if (elapsedUs < kWindowUs) return;
    std::int64_t intervalUs = kLongestUs;
    if (windowCount_ > 0) {
        // Buffer bytes charged per microsecond at this window's rate; the
        // buffer fills in bufferBytes_ / charged microseconds.
        const std::int64_t charged = windowBytes_ + windowCount_ * kChargePerDatagram;
        intervalUs = bufferBytes_ * elapsedUs / charged / kIntervalsPerFill;
    }
    intervalUs_.store(std::clamp(intervalUs, kShortestUs, kLongestUs), std::memory_order_relaxed);
    windowStartUs_ = nowUs;
    windowCount_ = 0;
    windowBytes_ = 0;
}

}  // namespace quillet
