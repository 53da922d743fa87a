// The one scan of a datagram received on port 161 or 162, whatever its
// version, that tells which message it is and leaves a cursor on its PDU:
// - SNMPv3 (SEQUENCE { INTEGER 3, ... }): the whole message as
//   ScanV3Message reads it; its PDU lies in its scoped PDU, in the datagram,
//   or, when encrypted, in the plaintext OpenV3Message decrypts it into;
// - anything else: the SNMPv1/v2c header (ReadCommunityMessage), whose
//   pduAt is the PDU's tag in the datagram. A datagram whose header does
//   not read is still reported, by the tolerant scans, as a frame.
// The scans of the PDU and the reports then read it where it lies, nothing
// copied.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmpv3/MessageScan.h"
#include "text/CommunityMessage.h"

namespace quillet {

enum class MessageVersion : std::uint8_t {
    Other,  // no header read, or a version that is none of these
    V1,     // version 0
    V2c,    // version 1
    V3,     // IsSnmpV3Message
};

struct InboundMessage {
    MessageVersion version = MessageVersion::Other;
    CommunityMessage community;  // all but V3 (read stays false for V3)
    V3MessageScan v3;            // V3 only
};

// Scans `size` octets at `data` (data may be null when size is 0) into
// `out`, rebuilt. Never reads outside the datagram; allocates nothing.
void ScanInboundMessage(const std::uint8_t* data, std::size_t size, InboundMessage& out);

}  // namespace quillet
