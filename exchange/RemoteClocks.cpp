#include "exchange/RemoteClocks.h"

#include <algorithm>

#include "snmpv3/MessageOpen.h"

namespace quillet {

std::uint32_t RemoteClock::TimeAt(std::int64_t nowMs) const {
    const std::int64_t elapsed = std::max<std::int64_t>(0, nowMs - learntAtMs) / 1000;
    const std::int64_t now = std::int64_t{time} + elapsed;
    return now > kMaxEngineCounter ? kMaxEngineCounter : static_cast<std::uint32_t>(now);
}

bool RemoteClocks::Find(ByteSpan engineId, RemoteClock& clock) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = clocks_.find(std::vector<std::uint8_t>(engineId.begin(), engineId.end()));
    if (found == clocks_.end()) return false;
    clock = found->second;
    return true;
}

bool RemoteClocks::Authenticated(ByteSpan engineId, std::uint32_t boots, std::uint32_t time, std::int64_t nowMs) {
    if (boots >= kMaxEngineCounter) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::uint8_t> key(engineId.begin(), engineId.end());
    auto found = clocks_.find(key);
    if (found == clocks_.end()) {
        if (clocks_.size() >= kMaxEngines) {
            const auto oldest = std::min_element(clocks_.begin(), clocks_.end(), [](const auto& a, const auto& b) {
                return a.second.learntAtMs < b.second.learntAtMs;
            });
            clocks_.erase(oldest);
        }
        clocks_.emplace(std::move(key), RemoteClock{boots, time, time, nowMs});
        return true;
    }
    RemoteClock& clock = found->second;
    if (boots > clock.boots || (boots == clock.boots && time > clock.latestReceived)) {
        clock = RemoteClock{boots, time, time, nowMs};
        return true;
    }
    if (boots < clock.boots) return false;
    // Equal boots, and no newer than the latest received: a copy of an
    // earlier message, or one late on its way. RFC 3414 takes it within
    // 150 seconds of the engine's time now.
    const std::uint32_t now = clock.TimeAt(nowMs);
    return now <= time || now - time <= kTimeWindowSeconds;
}

void RemoteClocks::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    clocks_.clear();
}

}  // namespace quillet
