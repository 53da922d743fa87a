// Our own SNMP engine, authoritative for the informs sent to us on the trap
// port: its engine ID, boots and time, the usmStats counters it reports,
// and the messages it answers with: the Reports of RFC 3414 3.2 (discovery
// among them) and the acknowledgement of an inform.
//
// One LocalEngine belongs to the thread that answers on the trap port; it
// is not shared. Time is given by the caller in whole seconds of a
// monotonic clock, so that everything here is a pure function of its inputs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "snmpv3/MessageOpen.h"
#include "snmpv3/MessageScan.h"
#include "snmpv3/Privacy.h"
#include "snmpv3/UsmReports.h"
#include "snmpv3/UsmUser.h"

namespace quillet {

// Our engine ID has the RFC 3411 form 80 00 00 00 | 05 | 8 random octets:
// the top bit says "RFC 3411 form", the enterprise number is 0 (the console
// has no enterprise number of its own, and the ID only has to be unique),
// format 5 is "administratively assigned octets". 64 random bits make two
// consoles on one network share an ID with a chance of about 2^-64, and 13
// octets pass every peer's check (net-snmp takes 5 to 32).
constexpr std::size_t kLocalEngineIdLength = 13;
using LocalEngineId = std::array<std::uint8_t, kLocalEngineIdLength>;
using RandomSource = bool (*)(std::uint8_t* out, std::size_t length);

// Makes a new engine ID from `random` (libcrypto's generator by default).
// Made once and kept by the caller: a peer that learnt our ID localised its
// keys to it. False when `random` fails.
bool MakeLocalEngineId(LocalEngineId& id, RandomSource random = nullptr);

class LocalEngine {
public:
    // `engineId` of 5..32 octets (longer is cut at 32); `boots` as the caller
    // keeps it (raised by one at each start, RFC 3414 2.2.2); `startSeconds`
    // the monotonic second engineTime counts from.
    LocalEngine(ByteSpan engineId, std::uint32_t boots, std::int64_t startSeconds);

    ByteSpan EngineId() const { return {id_.data(), idLength_}; }
    // Boots and time at `nowSeconds`: time is the seconds since the start;
    // each 2^31 of them add one to boots and start time again (RFC 3414
    // 2.2.2), and boots stays at 2^31-1 once there.
    EngineClock Clock(std::int64_t nowSeconds) const;

    // Adds one to the counter and returns its new value (Counter32, wraps).
    std::uint32_t Count(UsmStatsCounter counter);
    std::uint32_t Counter(UsmStatsCounter counter) const;

private:
    std::array<std::uint8_t, kMaxEngineIdLength> id_{};
    std::size_t idLength_ = 0;
    std::uint32_t boots_;
    std::int64_t start_;
    std::array<std::uint32_t, 7> counters_{};
};

// The Report an authoritative engine sends for a message that `opened`
// (from OpenV3Message with our clock) refused, counting it in its counter;
// returns the Report's length, or 0 when none is due: status Ok or
// ParseError, or the message's reportable flag clear (RFC 3412 7.1 step
// 3b), or `capacity` too small.
//
// The Report carries the request's msgID and user name, our engine ID,
// boots and time, context engine ID ours and context name empty, the
// reportable flag clear, and the request's request-id when its scoped PDU
// was plaintext (0 when it was encrypted), as snmpd answers. It is sent
// noAuthNoPriv, except notInTimeWindow, sent authNoPriv with the user's
// keys (RFC 3414 3.2 step 7a), so that the sender can trust our clock. The
// unknownEngineID Report to a message with an empty engine ID is the answer
// to discovery.
std::size_t BuildUsmReport(LocalEngine& engine, std::int64_t nowSeconds, const std::uint8_t* datagram,
                           const V3MessageScan& scan, const OpenedV3Message& opened, std::uint8_t* out,
                           std::size_t capacity);

// The acknowledgement of an inform that OpenV3Message opened (status Ok,
// with our clock): a Response-PDU (BuildResponsePduForInform) at the
// inform's security level, with its msgID, user name, context engine ID and
// context name, our engine ID, boots and time, the user's keys localised to
// our engine, the reportable flag clear, and `salt` when it is encrypted.
// Returns its length, or 0 when the message is not an opened inform or
// `capacity` is too small.
std::size_t BuildV3InformAck(const LocalEngine& engine, std::int64_t nowSeconds, const std::uint8_t* datagram,
                             const V3MessageScan& scan, const OpenedV3Message& opened, const Salt& salt,
                             std::uint8_t* out, std::size_t capacity);

}  // namespace quillet
