#include "request/RequestEncoder.h"

#include <algorithm>
#include <cstddef>

#include "request/Ipv4Text.h"
#include "request/ObjectIdentifierText.h"
#include "text/BerTags.h"
#include "text/HexText.h"

namespace quillet {
namespace {

// Largest message one UDP datagram over IPv4 carries: 65,535 bytes of IP
// packet less the 20-byte IP header and the 8-byte UDP header. It is also
// well within the reach of the 16-bit lengths.
constexpr std::size_t kMaxMessageSize = 65507;

// Appends to the send buffer. Everything up to the set value is bounded (a
// 64-byte community and six OIDs of at most 127 bytes make well under 2 KB),
// so only the value is checked against the buffer before it is written.
class Writer {
public:
    explicit Writer(std::array<std::uint8_t, kSendBufferSize>& buffer) : buffer_(buffer) {}

    void Byte(std::uint8_t b) { buffer_[pos_++] = b; }
    void Bytes(const std::uint8_t* data, std::size_t count) {
        std::copy(data, data + count, buffer_.begin() + static_cast<std::ptrdiff_t>(pos_));
        pos_ += count;
    }
    // Tag of a constructed element and a long-form length 82 hi lo whose two
    // bytes are filled by Close once the content is written. The long form is
    // used for every constructed length, also below 128 (82 00 09).
    std::size_t Open(std::uint8_t tag) {
        Byte(tag);
        Byte(0x82);
        const std::size_t at = pos_;
        pos_ += 2;
        return at;
    }
    void Close(std::size_t at) {
        const std::size_t length = pos_ - (at + 2);
        buffer_[at] = static_cast<std::uint8_t>(length >> 8);
        buffer_[at + 1] = static_cast<std::uint8_t>(length);
    }
    // INTEGER in its shortest two's-complement form.
    void Integer(std::int32_t value) {
        std::uint8_t content[4];
        for (int i = 0; i < 4; ++i) content[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (24 - 8 * i));
        int skip = 0;
        while (skip < 3 && ((content[skip] == 0x00 && (content[skip + 1] & 0x80) == 0) ||
                            (content[skip] == 0xFF && (content[skip + 1] & 0x80) != 0)))
            ++skip;
        Byte(kIntegerTag);
        Byte(static_cast<std::uint8_t>(4 - skip));
        Bytes(content + skip, static_cast<std::size_t>(4 - skip));
    }
    void Oid(const OidSlot& slot) {
        const auto length = static_cast<std::size_t>(std::clamp<std::int32_t>(slot.length, 0, 127));
        Byte(kObjectIdTag);
        Byte(static_cast<std::uint8_t>(length));
        Bytes(slot.bytes.data(), length);
    }
    std::size_t Position() const { return pos_; }

private:
    std::array<std::uint8_t, kSendBufferSize>& buffer_;
    std::size_t pos_ = 0;
};

// Bytes of the OCTET STRING length form: one byte below 128, 81 n up to 255,
// 82 hi lo from 256 (unlike the constructed lengths, this one is minimal).
std::size_t OctetStringLengthBytes(std::size_t length) { return length < 128 ? 1 : length < 256 ? 2 : 3; }

void WriteOctetStringHeader(Writer& out, std::size_t length) {
    out.Byte(kOctetStringTag);
    if (length >= 256) {
        out.Byte(0x82);
        out.Byte(static_cast<std::uint8_t>(length >> 8));
    } else if (length >= 128) {
        out.Byte(0x81);
    }
    out.Byte(static_cast<std::uint8_t>(length));
}

int HexNibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

bool Fits(const Writer& out, std::size_t count) { return out.Position() + count <= kMaxMessageSize; }

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

// Length and content of an unsigned value: the fewest big-endian octets,
// and a leading 00 where the first would have its top bit set.
void WriteUnsignedContent(Writer& out, std::uint64_t value) {
    int count = 1;
    while (count < 8 && (value >> (8 * count)) != 0) ++count;
    const bool pad = ((value >> (8 * (count - 1))) & 0x80) != 0;
    out.Byte(static_cast<std::uint8_t>(count + (pad ? 1 : 0)));
    if (pad) out.Byte(0x00);
    for (int i = count - 1; i >= 0; --i) out.Byte(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Appends the typed set value that replaces the NULL of the single varbind.
int WriteSetValue(Writer& out, RequestState& state, int dataType, std::string_view text) {
    const std::size_t n = text.size();
    if (n == 0) return kBuildBadValue;
    switch (dataType) {
    case IntegerValue: {
        const bool negative = text[0] == '-';
        const std::string_view digits = text.substr(negative ? 1 : 0);
        // The classic check lets a-f through, and the conversion that follows
        // then fails on the letter: the toolkit's own error box.
        if (!negative && n <= 8 && IsHexText(text, n) && !IsDecimal(text)) return kBuildIntegerConversion;
        std::uint64_t magnitude = 0;
        if (!ReadDecimal(digits, 2147483648u, magnitude)) return kBuildBadValue;
        if (!negative && magnitude > 2147483647u) return kBuildBadValue;
        const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
        out.Byte(kIntegerTag);
        if (!negative && value <= 99999999) {
            // Three widths only: 32768..8388607 also take four bytes, with
            // leading 00s (40000 is 02 04 00 00 9C 40).
            if (value < 128) {
                out.Byte(1);
                out.Byte(static_cast<std::uint8_t>(value));
            } else if (value <= 32767) {
                out.Byte(2);
                out.Byte(static_cast<std::uint8_t>(value >> 8));
                out.Byte(static_cast<std::uint8_t>(value));
            } else {
                out.Byte(4);
                for (int shift = 24; shift >= 0; shift -= 8) out.Byte(static_cast<std::uint8_t>(value >> shift));
            }
            return kBuildOk;
        }
        // Minimal two's complement: drop leading octets that only repeat the
        // sign of the next one.
        int count = 4;
        while (count > 1) {
            const auto top = static_cast<std::uint8_t>(value >> (8 * (count - 1)));
            const auto next = static_cast<std::uint8_t>(value >> (8 * (count - 2)));
            if (!((top == 0x00 && (next & 0x80) == 0) || (top == 0xFF && (next & 0x80) != 0))) break;
            --count;
        }
        out.Byte(static_cast<std::uint8_t>(count));
        for (int i = count - 1; i >= 0; --i) out.Byte(static_cast<std::uint8_t>(value >> (8 * i)));
        return kBuildOk;
    }
    case Unsigned32Value:
    case TimeTicksValue:
    case Counter32Value:
    case Counter64Value: {
        const bool wide = dataType == Counter64Value;
        std::uint64_t value = 0;
        if (!ReadDecimal(text, wide ? UINT64_MAX : 4294967295u, value)) return kBuildBadValue;
        out.Byte(kUnsignedTags[dataType - Unsigned32Value]);
        WriteUnsignedContent(out, value);
        return kBuildOk;
    }
    case ObjectIdValue: {
        OidSlot slot;
        if (ParseOid(text, slot) != 0) return kBuildBadValue;
        out.Oid(slot);
        return kBuildOk;
    }
    case IpAddressValue: {
        if (ParseIpv4(text, state.valueAddress.data()) != 0) return kBuildBadValue;
        out.Byte(kIpAddressTag);
        out.Byte(4);
        out.Bytes(state.valueAddress.data(), 4);
        return kBuildOk;
    }
    case HexStringValue: {
        if (n % 2 != 0 || !IsHexText(text, n)) return kBuildBadValue;
        const std::size_t length = n / 2;
        if (!Fits(out, 1 + OctetStringLengthBytes(length) + length)) return kBuildBadValue;
        WriteOctetStringHeader(out, length);
        for (std::size_t i = 0; i < n; i += 2)
            out.Byte(static_cast<std::uint8_t>(HexNibble(text[i]) << 4 | HexNibble(text[i + 1])));
        return kBuildOk;
    }
    case AsciiStringValue: {
        if (!Fits(out, 1 + OctetStringLengthBytes(n) + n)) return kBuildBadValue;
        WriteOctetStringHeader(out, n);
        out.Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), n);
        return kBuildOk;
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
    Writer out(state.sendBuffer);

    const std::size_t message = out.Open(kSequenceTag);
    out.Byte(kIntegerTag);
    out.Byte(1);
    out.Byte(version == SnmpV2c ? 1 : 0);
    const auto communityLength =
        static_cast<std::size_t>(std::clamp<std::int32_t>(state.communityLength, 0, kCommunityCapacity));
    out.Byte(kOctetStringTag);
    out.Byte(static_cast<std::uint8_t>(communityLength));
    out.Bytes(state.community.data(), communityLength);
    const std::size_t pdu = out.Open(pduTag);

    AdvanceRequestId(state);
    // Always two content bytes, even for ids below 128 (02 02 00 01) and with
    // the top bit set from 32768 on (02 02 80 00): agents read it as a
    // negative id and echo the same bytes back.
    out.Byte(kIntegerTag);
    out.Byte(2);
    out.Byte(static_cast<std::uint8_t>(state.requestId >> 8));
    out.Byte(static_cast<std::uint8_t>(state.requestId));

    const bool bulk = pduTag == kGetBulkRequestTag;
    if (pduTag != kGetNextRequestTag && !bulk) state.varBindCount = 1;
    if (!bulk) state.repeaterCount = 0;
    const int firstGroup = std::clamp<std::int32_t>(state.varBindCount, 0, 3);
    const int repeaters = std::clamp<std::int32_t>(state.repeaterCount, 0, 3);

    if (bulk) {
        // non-repeaters: one content byte, the count is 0..3.
        out.Byte(kIntegerTag);
        out.Byte(1);
        out.Byte(static_cast<std::uint8_t>(firstGroup));
        // max-repetitions: 0..127 is the single byte 02 01 y; larger values
        // are widened to their minimal form (02 02 00 80 for 128) so that the
        // agent gets the number that was typed, not its low eight bits.
        out.Integer(state.maxRepetitions);
    } else {
        out.Byte(kIntegerTag);  // error-status
        out.Byte(1);
        out.Byte(0);
        out.Byte(kIntegerTag);  // error-index
        out.Byte(1);
        out.Byte(0);
    }

    const std::size_t varBindList = out.Open(kSequenceTag);
    const bool set = pduTag == kSetRequestTag;
    for (int i = 0; i < firstGroup; ++i) {
        const std::size_t varBind = out.Open(kSequenceTag);
        out.Oid(state.requestOids[static_cast<std::size_t>(i)]);
        if (set) {
            const int result = WriteSetValue(out, state, dataType, valueBytes);
            if (result != kBuildOk) return result;
        } else {
            out.Byte(kNullTag);
            out.Byte(0);
        }
        out.Close(varBind);
    }
    for (int j = 0; j < repeaters; ++j) {
        const std::size_t varBind = out.Open(kSequenceTag);
        out.Oid(state.repeaterOids[static_cast<std::size_t>(j)]);
        out.Byte(kNullTag);
        out.Byte(0);
        out.Close(varBind);
    }
    out.Close(varBindList);
    out.Close(pdu);
    out.Close(message);
    state.sendSize = static_cast<std::int32_t>(out.Position());
    return kBuildOk;
}

}  // namespace quillet
