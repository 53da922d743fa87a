// The BER encoder of the four request kinds, writing into RequestState's
// send buffer without any ASN.1 library.
//
// Fixed choices of this encoder, all accepted by SNMP agents:
// - every constructed length (message, PDU, varbind list, each varbind) is
//   written in the three-byte long form 82 hi lo, even when it is below 128;
// - the request id always has two content bytes (32768..65535 go out with
//   the top bit set and no leading 00);
// - non-repeaters, error-status and error-index have one content byte.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "request/RequestState.h"
#include "text/BerTags.h"

namespace quillet {

// Items of the version and data-type choices of the window.
enum RequestVersion : int { SnmpV1 = 0, SnmpV2c = 1, SnmpV3 = 2 };
enum SetValueType : int {
    IntegerValue = 0,
    IpAddressValue = 1,
    HexStringValue = 2,
    AsciiStringValue = 3,
    Unsigned32Value = 4,  // Unsigned32 / Gauge32 (42), net-snmp's "u"
    TimeTicksValue = 5,   // 43, "t"
    Counter32Value = 6,   // 41, "c"
    Counter64Value = 7,   // 46, "C"
    ObjectIdValue = 8,    // 06, "o"
};

// Results of BuildRequest.
constexpr int kBuildOk = 0;
constexpr int kBuildBadValue = -1;  // the set value does not suit its type

// Advances state.requestId (65535 wraps to 1) and encodes one request into
// state.sendBuffer, setting state.sendSize.
//
// `pduTag` is one of the tags above. `version` 1 puts 01 in the version field,
// anything else 00. Reads state.community, state.varBindCount and the
// requestOids slots; for GetBulk also maxRepetitions, repeaterCount and the
// repeaterOids slots. Forces varBindCount to 1 unless the tag is GetNext or
// GetBulk, and repeaterCount to 0 unless it is GetBulk. Counts outside 0..3
// and slot lengths outside 0..127 are clamped, so a damaged state cannot make
// the encoder read or write outside its buffers.
//
// For SetRequest, `dataType` chooses how `valueBytes` (the value text in code
// page 932, line breaks as CR LF) is encoded, and that is the only step that
// can fail:
// - INTEGER: an optional "-" and decimal digits, -2147483648..2147483647. A
//   value of 0..99999999 typed without a sign goes out as it always has (one
//   content octet below 128, two up to 32767, four above, with leading 00s:
//   40000 is 02 04 00 00 9C 40); any other in minimal two's complement, as
//   net-snmp's snmpset sends it (-5 is 02 01 FB);
// - Unsigned32/Gauge32, TimeTicks, Counter32 (0..4294967295) and Counter64
//   (0..18446744073709551615): decimal digits, minimal big-endian content
//   with a leading 00 where the top bit is set (4294967295 is 42 05 00 FF FF
//   FF FF), as net-snmp encodes "u", "t", "c" and "C";
// - OBJECT IDENTIFIER: dotted text as ParseOid takes it.
// The failures:
// - kBuildBadValue: empty text; a number out of its type's range or not of
//   its form; IpAddress rejected by ParseIpv4; hex text of odd length or
//   holding a non-hex character; an identifier ParseOid refuses; a
//   `dataType` outside 0..8; or a value so long that the message would
//   exceed 65,507 bytes (the most one UDP datagram over IPv4 carries);
// On failure the request id stays advanced, sendSize keeps its
// previous value and the request must not be sent. An IpAddress value also
// stores its octets in state.valueAddress. Other tags ignore `dataType` and
// `valueBytes` and always return kBuildOk.
int BuildRequest(RequestState& state, std::uint8_t pduTag, int version, int dataType, std::string_view valueBytes);

// Advances state.requestId as BuildRequest does (65535 wraps to 1), for a
// request refused before it could be encoded that still uses up its id.
void AdvanceRequestId(RequestState& state);

// The PDU of a message the encoder wrote (SEQUENCE 82 hi lo, version,
// community, PDU): its tag to its end, for an SNMPv3 message to carry.
// Empty when the message is not of that form.
std::span<const std::uint8_t> RequestPdu(const std::uint8_t* message, std::size_t size);

}  // namespace quillet
