#include "request/RequestEncoder.h"

#include <algorithm>
#include <cstddef>

#include "request/Ipv4Text.h"
#include "request/ObjectIdentifierText.h"
#include "text/BerWriter.h"
#include "text/HexText.h"

namespace quillet {
namespace {

// Largest message one UDP datagram over IPv4 carries: 65,535 bytes of IP
// packet less the 20-byte IP header and the 8-byte UDP header. It is also
// well within the reach of the 16-bit lengths.
constexpr std::size_t kMaxMessageSize = 65507;

// Every constructed length of a request (message, PDU, binding list, each
// binding) is written 82 hi lo, even below 128 (82 00 09): the encoder's
// form since its first version, which agents take and which keeps the
// request-id at a fixed offset.
constexpr LengthField kRequestLengths = LengthField::Fixed82;

// An identifier's content octets as ParseOid encoded them: the first octet
// holds the first two arcs (2B for 1.3), and an arc from 128 on takes
// several octets of seven bits, each but the last with its top bit set
// (317 is 82 3D). Its length is always the one octet below 128.
void WriteOid(BerWriter& out, const OidSlot& slot) {
    const auto length = static_cast<std::size_t>(std::clamp<std::int32_t>(slot.length, 0, 127));
    out.Element(kObjectIdTag, std::span<const std::uint8_t>(slot.bytes.data(), length));
}

int HexNibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// The tags of Unsigned32Value .. Counter64Value, in that order.
constexpr std::uint8_t kUnsignedTags[] = {kGauge32Tag, kTimeTicksTag, kCounter32Tag, kCounter64Tag};

bool IsDecimal(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return !text.empty();
}

// Decimal digits only (leading zeros allowed), at most `limit`. False for an
// empty text, any other character, or a value above `limit`.
bool ReadDecimal(std::string_view text, std::uint64_t limit, std::uint64_t& value) {
    if (!IsDecimal(text)) return false;
    value = 0;
    for (char c : text) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

// Appends the typed set value that replaces the NULL of the single varbind.
int WriteSetValue(BerWriter& out, RequestState& state, int dataType, std::string_view text) {
    const std::size_t n = text.size();
    if (n == 0) return kBuildBadValue;
    switch (dataType) {
    case IntegerValue: {
        const bool negative = text[0] == '-';
        const std::string_view digits = text.substr(negative ? 1 : 0);
        std::uint64_t magnitude = 0;
        if (!ReadDecimal(digits, 2147483648u, magnitude)) return kBuildBadValue;
        if (!negative && magnitude > 2147483647u) return kBuildBadValue;
        const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
        if (!negative && value <= 99999999) {
            // Three widths only: 32768..8388607 also take four bytes, with
            // leading 00s (40000 is 02 04 00 00 9C 40).
            const std::size_t width = value < 128 ? 1 : value <= 32767 ? 2 : 4;
            out.Header(kIntegerTag, width);
            for (std::size_t i = width; i > 0; --i) out.Octet(static_cast<std::uint8_t>(value >> (8 * (i - 1))));
            return kBuildOk;
        }
        out.Integer(value);
        return kBuildOk;
    }
    case Unsigned32Value:
    case TimeTicksValue:
    case Counter32Value:
    case Counter64Value: {
        const bool wide = dataType == Counter64Value;
        std::uint64_t value = 0;
        if (!ReadDecimal(text, wide ? UINT64_MAX : 4294967295u, value)) return kBuildBadValue;
        out.Unsigned(kUnsignedTags[dataType - Unsigned32Value], value);
        return kBuildOk;
    }
    case ObjectIdValue: {
        OidSlot slot;
        if (ParseOid(text, slot) != 0) return kBuildBadValue;
        WriteOid(out, slot);
        return kBuildOk;
    }
    case IpAddressValue: {
        if (ParseIpv4(text, state.valueAddress.data()) != 0) return kBuildBadValue;
        out.Element(kIpAddressTag, state.valueAddress);
        return kBuildOk;
    }
    case HexStringValue: {
        if (n % 2 != 0 || !IsHexText(text, n)) return kBuildBadValue;
        // A value too long for the message fails the writer (kMaxMessageSize).
        out.Header(kOctetStringTag, n / 2);
        std::uint8_t* octets = out.Claim(n / 2);
        if (octets == nullptr) return kBuildBadValue;
        for (std::size_t i = 0; i < n; i += 2)
            octets[i / 2] = static_cast<std::uint8_t>(HexNibble(text[i]) << 4 | HexNibble(text[i + 1]));
        return kBuildOk;
    }
    case AsciiStringValue: {
        out.Element(kOctetStringTag, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), n));
        return out.Failed() ? kBuildBadValue : kBuildOk;
    }
    default:
        return kBuildBadValue;
    }
}

}  // namespace

void AdvanceRequestId(RequestState& state) {
    // One counter for every request kind; 0 is never used again after start.
    state.requestId = state.requestId >= 65535 || state.requestId < 0 ? 1 : state.requestId + 1;
}

int BuildRequest(RequestState& state, std::uint8_t pduTag, int version, int dataType, std::string_view valueBytes) {
    BerWriter out(state.sendBuffer.data(), kMaxMessageSize);

    const BerWriter::Container message = out.Open(kSequenceTag, kRequestLengths);
    out.Integer(version == SnmpV2c ? 1 : 0);
    const auto communityLength =
        static_cast<std::size_t>(std::clamp<std::int32_t>(state.communityLength, 0, kCommunityCapacity));
    out.Element(kOctetStringTag, std::span<const std::uint8_t>(state.community.data(), communityLength));
    const BerWriter::Container pdu = out.Open(pduTag, kRequestLengths);

    AdvanceRequestId(state);
    // Always two content bytes, even for ids below 128 (02 02 00 01) and with
    // the top bit set from 32768 on (02 02 80 00): agents read it as a
    // negative id and echo the same bytes back.
    const std::uint8_t requestId[] = {static_cast<std::uint8_t>(state.requestId >> 8),
                                      static_cast<std::uint8_t>(state.requestId)};
    out.Element(kIntegerTag, requestId);

    const bool bulk = pduTag == kGetBulkRequestTag;
    if (pduTag != kGetNextRequestTag && !bulk) state.varBindCount = 1;
    if (!bulk) state.repeaterCount = 0;
    const int firstGroup = std::clamp<std::int32_t>(state.varBindCount, 0, 3);
    const int repeaters = std::clamp<std::int32_t>(state.repeaterCount, 0, 3);

    if (bulk) {
        // non-repeaters (0..3), then max-repetitions: 0..127 is the single
        // byte 02 01 y; larger values are widened to their minimal form
        // (02 02 00 80 for 128) so that the agent gets the number that was
        // typed, not its low eight bits.
        out.Integer(firstGroup);
        out.Integer(state.maxRepetitions);
    } else {
        out.Integer(0);  // error-status
        out.Integer(0);  // error-index
    }

    const BerWriter::Container varBindList = out.Open(kSequenceTag, kRequestLengths);
    const bool set = pduTag == kSetRequestTag;
    for (int i = 0; i < firstGroup; ++i) {
        const BerWriter::Container varBind = out.Open(kSequenceTag, kRequestLengths);
        WriteOid(out, state.requestOids[static_cast<std::size_t>(i)]);
        if (set) {
            const int result = WriteSetValue(out, state, dataType, valueBytes);
            if (result != kBuildOk) return result;
        } else {
            out.Null();
        }
        out.Close(varBind);
    }
    for (int j = 0; j < repeaters; ++j) {
        const BerWriter::Container varBind = out.Open(kSequenceTag, kRequestLengths);
        WriteOid(out, state.repeaterOids[static_cast<std::size_t>(j)]);
        out.Null();
        out.Close(varBind);
    }
    out.Close(varBindList);
    out.Close(pdu);
    out.Close(message);
    // Everything but the set value is bounded (a 64-byte community and six
    // identifiers of at most 127 bytes make well under 2 KB): only a value
    // can make the message too long.
    const std::size_t size = out.Finish();
    if (size == 0) return kBuildBadValue;
    state.sendSize = static_cast<std::int32_t>(size);
    return kBuildOk;
}

std::span<const std::uint8_t> RequestPdu(const std::uint8_t* message, std::size_t size) {
    // 30 82 hi lo, 02 01 v, 04 L community, then the PDU: as the request
    // encoder always writes it.
    if (size < 9 || message[0] != kSequenceTag || message[1] != 0x82 || message[4] != kIntegerTag ||
        message[5] != 0x01 || message[7] != kOctetStringTag)
        return {};
    const std::size_t at = 9 + message[8];
    if (at >= size) return {};
    return {message + at, size - at};
}

}  // namespace quillet
