// What this console, as a non-authoritative engine, knows of the clocks of
// the authoritative engines it hears from (RFC 3414 2.3 and 3.2 step 7b):
// for each engine ID its boots, its time and the latest time a message of
// it carried. Agents answering our requests and trap senders both are such
// engines. Only authenticated messages teach or move a clock, so a forged
// message can neither set a clock back nor push it forward.
//
// Times are a monotonic clock of the caller in milliseconds, so that
// everything here is a pure function of its inputs. Any thread; each call
// takes a lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "snmpv3/UsmTypes.h"

namespace quillet {

// An engine's clock as last learnt.
struct RemoteClock {
    std::uint32_t boots = 0;
    std::uint32_t time = 0;           // engineTime when learnt
    std::uint32_t latestReceived = 0;  // latestReceivedEngineTime
    std::int64_t learntAtMs = 0;
    // Its engineTime at `nowMs`: the learnt time plus the seconds since,
    // at most 2^31-1.
    std::uint32_t TimeAt(std::int64_t nowMs) const;
};

class RemoteClocks {
public:
    // The most engines remembered; the one heard from longest ago goes first.
    static constexpr std::size_t kMaxEngines = 1024;

    // The clock of `engineId`; false when none was learnt.
    bool Find(ByteSpan engineId, RemoteClock& clock) const;

    // An authenticated message of `engineId` carried `boots` and `time`.
    // The clock is learnt or moved on when the message is newer than what
    // is known (greater boots, or equal boots and a time past the latest
    // received), then the message is judged: false (not in the time window)
    // when boots is 2^31-1, older than the known boots, or equal and its
    // time more than 150 seconds behind the engine's time now. The first
    // message of an engine is always in time.
    bool Authenticated(ByteSpan engineId, std::uint32_t boots, std::uint32_t time, std::int64_t nowMs);

    // Forgets every engine (a new set of users).
    void Clear();

private:
    mutable std::mutex mutex_;
    std::map<std::vector<std::uint8_t>, RemoteClock> clocks_;
};

}  // namespace quillet
