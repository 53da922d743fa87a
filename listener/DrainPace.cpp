#include "listener/DrainPace.h"

#include <algorithm>

namespace quillet {

void DrainPace::SetBuffer(std::int64_t bufferBytes, int batch) {
    if (bufferBytes > 0) bufferBytes_ = bufferBytes;
    if (batch > 0) batch_ = batch;
}

void DrainPace::Taken(int count, std::int64_t bytes, std::int64_t nowUs) {
    // The receiving thread's own gathering pause is no pause of the stream:
    // counted as one, it would measure afresh after every gathering, at the
    // unmeasured pace meanwhile, and wake the thread several times as often.
    const std::int64_t quietUs = kWindowUs + gatherUs_.load(std::memory_order_relaxed);
    if (windowStartUs_ < 0 || nowUs < lastTakenUs_ || nowUs - lastTakenUs_ > quietUs) {
        // After a pause the old rate says nothing: measure afresh, and until
        // then assume the socket must be drained soon.
        windowStartUs_ = nowUs;
        windowCount_ = 0;
        windowBytes_ = 0;
        intervalUs_.store(kUnmeasuredUs, std::memory_order_relaxed);
        gatherUs_.store(kUnmeasuredUs, std::memory_order_relaxed);
    }
    lastTakenUs_ = nowUs;
    windowCount_ += count;
    windowBytes_ += bytes;
    const std::int64_t elapsedUs = nowUs - windowStartUs_;
    if (elapsedUs < kWindowUs) return;
    std::int64_t intervalUs = kLongestUs;
    std::int64_t gatherUs = kLongestGatherUs;
    if (windowCount_ > 0) {
        // Buffer bytes charged per microsecond at this window's rate; the
        // buffer fills in bufferBytes_ / charged microseconds.
        const std::int64_t charged = windowBytes_ + windowCount_ * kChargePerDatagram;
        intervalUs = bufferBytes_ * elapsedUs / charged / kIntervalsPerFill;
        gatherUs = kGatherBatches * batch_ * elapsedUs / windowCount_;
    }
    intervalUs = std::clamp(intervalUs, kShortestUs, kLongestUs);
    intervalUs_.store(intervalUs, std::memory_order_relaxed);
    gatherUs_.store(std::clamp(gatherUs, kShortestUs, std::min(intervalUs, kLongestGatherUs)),
                    std::memory_order_relaxed);
    windowStartUs_ = nowUs;
    windowCount_ = 0;
    windowBytes_ = 0;
}

}  // namespace quillet
