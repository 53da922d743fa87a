// The opening of a received SNMPv3 message (RFC 3414 3.2): the user, the
// security level, the digest, the time window where we are the
// authoritative engine, and the decryption, in the RFC's order, ending in
// the plaintext scoped PDU or the reason there is none.
//
// Whose keys: for traps and for responses from an agent, the sender is the
// authoritative engine, and the user's keys are localised to the message's
// own msgAuthoritativeEngineID. For informs sent to us we are the
// authoritative engine: the message must name our engine ID, its keys are
// localised to it, and its boots and time must fall in our time window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmpv3/MessageScan.h"
#include "snmpv3/UsmTypes.h"
#include "snmpv3/UsmUser.h"

namespace quillet {

enum class UsmStatus : std::uint8_t {
    Ok,
    ParseError,           // the scan failed, or the flags ask for what the message lacks
    UnknownEngineId,      // not our engine ID (we are authoritative), or no usable ID
    UnknownUserName,
    UnsupportedSecLevel,  // more than the user can do
    WrongDigest,
    NotInTimeWindow,
    DecryptionError,      // the ciphertext does not decrypt to a scoped PDU
};

// "unknownUserName", "wrongDigest", ... as RFC 3414 names the errors.
const char* UsmStatusText(UsmStatus status);

// Our engine as it is now, when we are the message's authoritative engine.
struct EngineClock {
    ByteSpan engineId;
    std::uint32_t boots = 0;
    std::uint32_t time = 0;
};

// The time window (RFC 3414 3.2 step 7a): 150 seconds either side.
constexpr std::uint32_t kTimeWindowSeconds = 150;

struct OpenedV3Message {
    UsmStatus status = UsmStatus::ParseError;
    SecurityLevel level = SecurityLevel::NoAuthNoPriv;  // what the flags ask for
    const UsmUser* user = nullptr;  // once found (points into the table)
    // The digest was checked and matched. Stays false for noAuthNoPriv and
    // for every failure before or at the digest.
    bool authenticated = false;
    // Only when status is Ok: the scoped PDU, its offsets into `scopedBase`
    // (the datagram, or the caller's plaintext buffer for an encrypted one).
    const std::uint8_t* scopedBase = nullptr;
    ScopedPduScan scoped;
};

// Opens the datagram `scan` was made from. `authoritative` is our engine
// for an inform sent to us, null for traps and responses. `plain` receives
// the decrypted scoped PDU; `plainCapacity` of the datagram's size always
// suffices (a smaller one that does not hold the ciphertext fails as
// DecryptionError). Returns out.status.
//
// Order of the checks: scan (ParseError); engine ID (ours when
// authoritative, else 5..32 octets: UnknownEngineId); user by name and
// engine (UnknownUserName); level against the user's protocols
// (UnsupportedSecLevel); digest (WrongDigest; a field of the wrong length
// never matches); time window when authoritative: boots equal and not
// 2^31-1, time within 150 s (NotInTimeWindow); decryption and the scoped
// PDU inside it, a DES pad of up to 7 octets allowed (DecryptionError).
// Whatever fails, `scopedBase` stays null and nothing of the PDU is given.
UsmStatus OpenV3Message(const std::uint8_t* datagram, std::size_t size, const V3MessageScan& scan,
                        const UsmUserTable& users, const EngineClock* authoritative, std::uint8_t* plain,
                        std::size_t plainCapacity, OpenedV3Message& out);

}  // namespace quillet
