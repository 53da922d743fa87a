// What an SNMPv3 datagram on the trap port is, and the answer it gets.
//
// A message with the reportable flag set asks for an answer, so it is
// addressed to us as its authoritative engine (RFC 3412 7.2, RFC 3414 3.2):
//   - with an empty engine ID it is a sender's discovery probe: one line
//     says so, it is not counted as a trap, and it gets the unknownEngineIDs
//     Report that tells our engine ID;
//   - naming another engine, it gets the unknownEngineIDs Report (RFC 3414
//     3.2 step 3) and is shown refused;
//   - authenticated but with boots and time 0, it is a sender's time probe:
//     one line, not a trap, and the authenticated notInTimeWindows Report
//     that tells our clock;
//   - opened in our time window, an inform is shown and acknowledged;
//     refused otherwise, with the Report RFC 3414 asks for.
// A message without the flag is a trap whose sender is the authoritative
// engine: opened with the user's keys localised to the sender's engine ID,
// and, when authenticated, judged by that engine's clock (RemoteClocks): an
// older boots, or a time far behind what the engine said before, is refused
// (a replayed trap).
// Either way the security level set for a user is the least accepted from
// it. Reports are bounded per source (ReportLimiter), said once when that
// bites.
//
// One thread (the trap listener's reporting thread) owns an instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "exchange/RemoteClocks.h"
#include "exchange/ReportLimiter.h"
#include "exchange/V3Users.h"
#include "output/DetailLines.h"
#include "output/Endpoint.h"
#include "output/OutputBatch.h"
#include "snmpv3/LocalEngine.h"
#include "snmpv3/MessageOpen.h"
#include "snmpv3/MessageScan.h"
#include "trap/TrapReport.h"

namespace quillet {

class V3Notifications {
public:
    // Our engine `engineId` with `engineBoots`, its time counted from
    // `startMs` of the caller's monotonic clock.
    V3Notifications(const V3Users& users, ByteSpan engineId, std::uint32_t engineBoots, std::int64_t startMs);

    // Appends the lines of the SNMPv3 datagram (`scan` of it, as the inbound
    // scan made it) from `from` to `out` (with
    // `details` for the details lines, null when off); `scratch` and
    // `equipmentFlag` are the trap report's. Returns the length of the
    // answer to send to `from` once the lines are committed (Answer()), 0
    // when none.
    std::size_t Take(const std::uint8_t* data, std::size_t size, const V3MessageScan& scan, const Endpoint& from,
                     std::int64_t nowMs,
                     const PeerDetails* details, TrapReportScratch& scratch, std::int32_t& equipmentFlag,
                     OutputBatch& out);
    const std::uint8_t* Answer() const { return answer_.data(); }

    ByteSpan EngineId() const { return engine_.EngineId(); }

private:
    std::size_t Report(const std::uint8_t* data, const Endpoint& from, std::int64_t nowMs, OutputBatch& out);
    void ProbeLine(const char* what, std::size_t size, const Endpoint& from, OutputBatch& out);
    // Starts the salts at a random value the first time; false while the
    // random source fails.
    bool SeedSalts();

    const V3Users& users_;
    LocalEngine engine_;
    RemoteClocks senders_;
    ReportLimiter limiter_;
    SaltSource salts_;
    bool seeded_ = false;
    V3MessageScan scan_{};
    OpenedV3Message opened_{};
    std::vector<std::uint8_t> plain_;
    std::vector<std::uint8_t> answer_;
};

}  // namespace quillet
