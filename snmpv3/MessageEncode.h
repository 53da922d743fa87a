// The encoding of a whole SNMPv3 message with the User-based Security Model
// (the layout in MessageScan.h) around a PDU the caller has encoded:
// the request encoder's A0/A1/A3/A5, an inform acknowledgement's A2 or a
// Report's A8, tag to end.
//
// Every length gets its shortest form (short, 81 x, 82 hi lo) and every
// INTEGER its fewest octets, as net-snmp writes them, so that a message made
// here from the same values as one net-snmp made is the same octets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmpv3/Privacy.h"
#include "snmpv3/UsmTypes.h"
#include "snmpv3/UsmUser.h"

namespace quillet {

// What net-snmp announces, the most one UDP datagram over IPv4 carries.
constexpr std::int32_t kDefaultMsgMaxSize = 65507;

struct V3MessageInput {
    std::int32_t msgId = 0;  // 0..2^31-1; the caller's choice (a random start, then counting)
    std::int32_t msgMaxSize = kDefaultMsgMaxSize;
    SecurityLevel level = SecurityLevel::NoAuthNoPriv;
    bool reportable = true;  // set on requests and informs; clear on responses, traps and Reports
    // The authoritative engine as the message names it: the agent's for a
    // request, ours for an acknowledgement or a Report, the sender's for a
    // trap. An empty ID with boots and time 0 is discovery.
    ByteSpan engineId;
    std::uint32_t engineBoots = 0;
    std::uint32_t engineTime = 0;
    ByteSpan userName;
    // The user's keys localised to engineId; read only for the levels that
    // authenticate (authKey) and encrypt (privKey).
    const UsmLocalKeys* keys = nullptr;
    Salt salt{};  // AuthPriv only: from a SaltSource, or fixed in tests
    ByteSpan contextEngineId;
    ByteSpan contextName;
    ByteSpan pdu;
};

// Writes the message into `out` and returns its length, encrypting the
// scoped PDU and writing the digest as the level says. Returns 0, with
// `out` holding nothing of use, when: `capacity` is too small; the message
// would pass 65,535 octets; msgId, msgMaxSize, boots or time is out of
// range; an ID or name is longer than 32 octets; the PDU is empty; the
// level needs keys that `keys` lacks (none given, a protocol None, or a key
// of the wrong length); or libcrypto fails.
std::size_t EncodeV3Message(const V3MessageInput& input, std::uint8_t* out, std::size_t capacity);

// A discovery message (RFC 3414 4): noAuthNoPriv, reportable, empty engine
// ID and user name, boots and time 0, a GetRequest-PDU with `requestId` and
// no bindings, as snmpget sends it. Returns its length, 0 when `capacity` is
// too small.
std::size_t BuildDiscovery(std::int32_t msgId, std::int32_t requestId, std::uint8_t* out, std::size_t capacity);

}  // namespace quillet
