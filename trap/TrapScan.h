// The trap scan: reads a received datagram as one whole SNMPv1 message
// holding a Trap-PDU, and collects its INTEGER values and the positions of
// its OCTET STRINGs.
//
// In a Trap-PDU the tables end up holding:
//   integers[0] version, [1] generic-trap, [2] specific-trap,
//   [3] onward the INTEGER values of the variable bindings, in order;
//   strings[0] the community, [1] onward the OCTET STRING binding values.
// Enterprise, agent-addr, time-stamp, the binding names and binding values
// of other types are not recorded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "response/ResponseScan.h"
#include "text/BerReader.h"
#include "text/CommunityMessage.h"

namespace quillet {

constexpr int kTrapTableSlots = 20;
constexpr std::size_t kMaxTrapBindings = 100;

// The content octets of the equipment prefix 1.3.6.1.4.1.317.2.26.1.2.
constexpr std::uint8_t kEquipmentPrefix[11] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82,
                                               0x3D, 0x02, 0x1A, 0x01, 0x02};

// An OCTET STRING's content, as a position in the scanned datagram.
struct TrapString {
    std::uint32_t offset;  // from the first octet of the datagram
    std::int32_t length;
};

// The scan's record of one datagram. It holds positions, not copies: it is
// only meaningful together with the bytes it was scanned from. Slots past a
// count are 0, so a value the datagram did not supply reads as 0.
struct TrapScanResult {
    // The INTEGERs as ReadNumber reads them: the generic and specific trap
    // and the equipment alarm codes are looked up in this reading.
    std::int32_t integers[kTrapTableSlots];
    // The same INTEGERs as the agent meant them, two's complement (FB is
    // -5), for the value lines; a length no valid INTEGER has reads 0.
    std::int32_t signedIntegers[kTrapTableSlots];
    int integerCount;  // 0..20
    TrapString strings[kTrapTableSlots];
    int stringCount;  // 0..20
    bool frameError;  // the datagram is not a whole SNMPv1 trap message
    // The Trap-PDU's own fields and its bindings, as the details lines show
    // them (a whole message only; the first kMaxTrapBindings bindings).
    BerElement enterprise, agentAddress, timeStamp;
    BindingRecord bindings[kMaxTrapBindings];
    std::size_t bindingCount;
};

// Reads the SNMPv1 message `message` was read from (ReadCommunityMessage
// over the same `size` octets at `data`; data may be null when size is 0),
// its Trap-PDU from where the message scan left it, and fills `out` afresh.
// Returns 0 for a whole message, -1 otherwise (out.frameError says the
// same, and the tables are then empty).
//
// Whole means: SEQUENCE { INTEGER 0, OCTET STRING, Trap-PDU [A4] {
// OBJECT IDENTIFIER, IpAddress, INTEGER, INTEGER, TimeTicks, SEQUENCE OF
// SEQUENCE { OBJECT IDENTIFIER, one value of any type } } }, every length
// definite and inside its parent, every container filled exactly, and
// nothing after the message. The read only moves forward, reads nothing
// outside [data, data + size) and allocates nothing.
//
// For a whole message `equipmentFlag` is set by the last OBJECT IDENTIFIER
// in it (enterprise, binding names and identifier values, in order): 1 when
// it lies under the equipment prefix, else 0. A datagram that is not whole
// leaves it as it was.
int TrapScan(const std::uint8_t* data, std::size_t size, const CommunityMessage& message, TrapScanResult& out,
             std::int32_t& equipmentFlag);

}  // namespace quillet
