// The SNMPv1/v2c requests this console sent that wait for their answer: an
// answer is matched to its request (for its round-trip time); a request that
// none answers within its time goes again, the same datagram, as often as
// its retries allow, and then is said unanswered. Any thread; each call
// takes a lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace quillet {

class RequestTracker {
public:
    // The most requests waited for at once; older ones are forgotten first.
    static constexpr std::size_t kTracked = 64;
    // How long a request waits for its answer unless told otherwise (as
    // net-snmp's tools wait by default).
    static constexpr int kAnswerWaitMs = 5000;

    // A request with `requestId` went to `address`:`port` at `sentNs`
    // (nanoseconds of the system's clock), as `datagram`, which goes again
    // up to `retries` times when no answer comes.
    void Sent(std::int32_t requestId, const std::uint8_t address[4], std::uint16_t port, std::int64_t sentNs,
              std::span<const std::uint8_t> datagram = {}, int retries = 0);
    // A Response PDU with `requestId` came from `address`:`port` at
    // `arrivalNs`. Returns the round trip in microseconds (at least 0) when
    // it answers a request still waited for, which then is no longer; else -1.
    std::int64_t Answered(std::uint32_t requestId, const std::uint8_t address[4], std::uint16_t port,
                          std::int64_t arrivalNs);
    // The wait for request `requestId` is over.
    enum class Expiry : std::uint8_t {
        NotWaiting,  // answered meanwhile, or forgotten
        Retry,       // `again` is the datagram to send once more; it is waited for again from `sentNs`
        NoAnswer,    // every try went unanswered; the request is forgotten
    };
    // `tries`: for Retry the number of the send about to be made (2 for the
    // first retry), for NoAnswer how many sends went unanswered.
    Expiry Expire(std::int32_t requestId, std::int64_t sentNs, std::vector<std::uint8_t>& again, int& tries);
    // Forgets request `requestId` (its datagram could not be sent).
    void Forget(std::int32_t requestId);

private:
    struct Entry {
        bool waiting = false;
        std::int32_t requestId = 0;
        std::array<std::uint8_t, 4> address{};
        std::uint16_t port = 0;
        std::int64_t sentNs = 0;
        std::vector<std::uint8_t> datagram;  // kept only while retries are left
        int tries = 1;
        int retries = 0;
    };
    std::mutex mutex_;
    std::array<Entry, kTracked> entries_{};
    std::size_t next_ = 0;
};

}  // namespace quillet
