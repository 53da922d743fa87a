#include "request/RequestTracker.h"

#include <algorithm>

namespace quillet {

void RequestTracker::Sent(std::int32_t requestId, const std::uint8_t address[4], std::uint16_t port,
                          std::int64_t sentNs, std::span<const std::uint8_t> datagram, int retries) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A request id used again (the counter wraps) replaces its old entry.
    for (Entry& entry : entries_)
        if (entry.waiting && entry.requestId == requestId) entry.waiting = false;
    Entry& entry = entries_[next_];
    next_ = (next_ + 1) % kTracked;
    entry.waiting = true;
    entry.requestId = requestId;
    std::copy(address, address + 4, entry.address.begin());
    entry.port = port;
    entry.sentNs = sentNs;
    entry.tries = 1;
    entry.retries = std::max(0, retries);
    if (entry.retries > 0)
        entry.datagram.assign(datagram.begin(), datagram.end());
    else
        entry.datagram.clear();
}

std::int64_t RequestTracker::Answered(std::uint32_t requestId, const std::uint8_t address[4], std::uint16_t port,
                                      std::int64_t arrivalNs) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& entry : entries_) {
        if (!entry.waiting || static_cast<std::uint32_t>(entry.requestId) != requestId || entry.port != port ||
            !std::equal(entry.address.begin(), entry.address.end(), address))
            continue;
        entry.waiting = false;
        entry.datagram.clear();
        return std::max<std::int64_t>(0, (arrivalNs - entry.sentNs) / 1000);
    }
    return -1;
}

RequestTracker::Expiry RequestTracker::Expire(std::int32_t requestId, std::int64_t sentNs,
                                              std::vector<std::uint8_t>& again, int& tries) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& entry : entries_) {
        if (!entry.waiting || entry.requestId != requestId) continue;
        if (entry.tries <= entry.retries && !entry.datagram.empty()) {
            ++entry.tries;
            entry.sentNs = sentNs;
            again = entry.datagram;
            tries = entry.tries;
            return Expiry::Retry;
        }
        entry.waiting = false;
        entry.datagram.clear();
        tries = entry.tries;
        return Expiry::NoAnswer;
    }
    return Expiry::NotWaiting;
}

void RequestTracker::Forget(std::int32_t requestId) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& entry : entries_)
        if (entry.waiting && entry.requestId == requestId) {
            entry.waiting = false;
            entry.datagram.clear();
        }
}

}  // namespace quillet
