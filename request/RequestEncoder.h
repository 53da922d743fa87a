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
#include <string_view>

#include "request/RequestState.h"

namespace quillet {

// PDU tags of the requests.
constexpr std::uint8_t kGetRequestTag = 0xA0;
constexpr std::uint8_t kGetNextRequestTag = 0xA1;
constexpr std::uint8_t kSetRequestTag = 0xA3;
constexpr std::uint8_t kGetBulkRequestTag = 0xA5;

// Items of the version and data-type choices of the window.
enum RequestVersion : int { SnmpV1 = 0, SnmpV2c = 1 };
enum SetValueType : int { IntegerValue = 0, IpAddressValue = 1, HexStringValue = 2, AsciiStringValue = 3 };

// Results of BuildRequest.
constexpr int kBuildOk = 0;
constexpr int kBuildBadValue = -1;           // the set value does not suit its type
constexpr int kBuildIntegerConversion = -2;  // "integer" text that holds a-f

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
// - kBuildBadValue: empty text; integer longer than 8 characters or holding a
//   non-hex character; IpAddress rejected by ParseIpv4; hex text of odd length
//   or holding a non-hex character; a `dataType` outside 0..3; or a value so
//   long that the message would exceed 65,507 bytes (the most one UDP
//   datagram over IPv4 carries);
// - kBuildIntegerConversion: an integer text of hex characters that holds a
//   letter (it is not a decimal number).
// On either failure the request id stays advanced, sendSize keeps its
// previous value and the request must not be sent. An IpAddress value also
// stores its octets in state.valueAddress. Other tags ignore `dataType` and
// `valueBytes` and always return kBuildOk.
int BuildRequest(RequestState& state, std::uint8_t pduTag, int version, int dataType, std::string_view valueBytes);

// Advances state.requestId as BuildRequest does (65535 wraps to 1), for a
// request refused before it could be encoded that still uses up its id.
void AdvanceRequestId(RequestState& state);

}  // namespace quillet
