// The trap scan: one flat forward walk over a received datagram that steps
// into every container and collects the INTEGER values and the OCTET STRING
// positions of an SNMPv1 Trap-PDU, without checking the message's structure.
//
// In a Trap-PDU the tables end up holding:
//   integers[0] version, [1] generic-trap, [2] specific-trap,
//   [3] onward the INTEGER values of the variable bindings, in order;
//   strings[0] the community, [1] onward the OCTET STRING binding values.
// Enterprise, agent-addr, time-stamp and the binding names are skipped.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet {

constexpr int kTrapTableSlots = 20;

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
    bool frameError;  // the walk did not end exactly at the end of the datagram
};

// Walks `size` octets at `data` (data may be null when size is 0) and fills
// `out` afresh. Returns 0 when the walk ended exactly at the end of the
// datagram, -1 otherwise (out.frameError says the same).
//
// Tags understood: 30, A0, A2, A4 (stepped into), 02 INTEGER, 04 OCTET
// STRING, 06 OBJECT IDENTIFIER, 40 IpAddress and 43 TimeTicks (skipped).
// Any other tag, an element whose length runs past the end, or a length form
// outside those listed in TrapScan.cpp ends the walk. The walk only moves
// forward, reads nothing outside [data, data + size) and allocates nothing.
//
// `equipmentFlag` is set to 1 or 0 by every OBJECT IDENTIFIER element met
// (1 when it lies under the equipment prefix) and is left as it was when the
// datagram has none, so the last identifier of the datagram decides.
//
// Datagrams are at most 65,536 octets; a larger size is walked only up to
// INT32_MAX octets so that every recorded length fits its signed field.
int TrapScan(const std::uint8_t* data, std::size_t size, TrapScanResult& out, std::int32_t& equipmentFlag);

}  // namespace quillet
