// The acknowledgement of an InformRequest (RFC 3416, 4.2.7): a Response-PDU
// with the inform's version, community and request-id, error-status and
// error-index 0, and the inform's variable bindings, sent back to the
// address and port the inform came from.
#pragma once

#include <cstddef>
#include <cstdint>

#include "trap/NotificationScan.h"

namespace quillet {

// Room enough for the acknowledgement of any inform of up to 65,536 octets.
// An acknowledgement is never longer than its inform: its error-status and
// error-index (02 01 00 each, 6 octets) replace two INTEGERs of at least
// 3 octets each, so its two containers hold no more than the inform's, and
// their lengths take the shortest forms, never longer than the inform's.
constexpr std::size_t kInformAckCapacity = 65536 + 16;

// Writes the acknowledgement of the SNMPv2c inform `message` and `scan` were
// read from (`datagram`) into `out` and returns its length; returns 0,
// writing nothing of use, when there is nothing to acknowledge (not an
// inform, or a malformed one) or `capacity` is too small. An inform whose error-status or error-index has
// no content octet (02 00) is malformed here: an INTEGER has at least one
// (X.690, 8.3.1), and net-snmp's snmptrapd answers no such inform. The
// version, community, request-id and binding list are copied octet for
// octet; the two containers around them get the shortest length forms
// (short, 81 x, 82 hi lo), as net-snmp writes them.
std::size_t BuildInformAck(const std::uint8_t* datagram, const CommunityMessage& message,
                           const NotificationScanResult& scan, std::uint8_t* out, std::size_t capacity);

}  // namespace quillet
