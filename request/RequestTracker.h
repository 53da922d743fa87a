// The requests this console sent that wait for their answer: an answer is
// matched to its request (for its round-trip time), and a request that none
// answers within its time is said. Any thread; each call takes a lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace quillet {

class RequestTracker {
public:
    // The most requests waited for at once; older ones are forgotten first.
    static constexpr std::size_t kTracked = 64;
    // How long a request waits for its answer.
    static constexpr int kAnswerWaitMs = 5000;

    // A request with `requestId` went to `address`:`port` at `sentNs`
    // (nanoseconds of the system's clock).
    void Sent(std::int32_t requestId, const std::uint8_t address[4], std::uint16_t port, std::int64_t sentNs);
    // A Response PDU with `requestId` came from `address`:`port` at
    // `arrivalNs`. Returns the round trip in microseconds (at least 0) when
    // it answers a request still waited for, which then is no longer; else -1.
    std::int64_t Answered(std::uint32_t requestId, const std::uint8_t address[4], std::uint16_t port,
                          std::int64_t arrivalNs);
    // Whether request `requestId` is still waited for; forgets it.
    bool Expire(std::int32_t requestId);

private:
    struct Entry {
        bool waiting = false;
        std::int32_t requestId = 0;
        std::array<std::uint8_t, 4> address{};
        std::uint16_t port = 0;
        std::int64_t sentNs = 0;
    };
    std::mutex mutex_;
    std::array<Entry, kTracked> entries_{};
    std::size_t next_ = 0;
};

}  // namespace quillet
