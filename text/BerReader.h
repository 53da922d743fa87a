// The one BER reader of the response scan, the trap scan and the SNMPv2c
// notification decoding: a cursor and an end over a received datagram, the
// length forms the scans accept, and the number readers.
//
// Nothing is allocated or copied; positions are offsets from the first octet
// of the datagram. Every read checks the octets it needs against the end
// before touching them, and the cursor only moves forward: a read that fails
// leaves it where it was.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet {

// How a length field is read. The scans differ here on purpose, and each
// keeps the form it has always used, so that a datagram decodes (or fails)
// as it always did:
enum class LengthForm : std::uint8_t {
    // One octet below 0x80. Integers and identifiers in the scans: agents
    // always send minimal lengths there, and a long-form octet read as a
    // content length would misread the rest of the message without notice.
    ShortOnly,
    // One octet below 0x80, or 81 x, or 82 hi lo (big-endian). 80 and 83 up
    // are refused. What net-snmp and the console itself send; the whole of a
    // datagram of up to 65,536 octets fits these forms.
    ShortOr8182,
    // One octet below 0x80, or 0x80 + n followed by n octets read with
    // ReadNumber, so that n of 0 or above 4 gives the length 0 (the content
    // then starts after those n octets). OCTET STRING and IpAddress values.
    NumberLongForm,
    // Any definite length: one octet below 0x80, or 0x80 + n with n from 1
    // to 4 followed by n octets big-endian. 80 (indefinite) and n above 4
    // are refused. For whole-message checks, which take every encoding BER
    // allows for a datagram.
    Definite,
};

// One element as read: its tag, and where its content lies.
struct BerElement {
    std::uint8_t tag = 0;
    std::size_t start = 0;   // offset of the first content octet
    std::size_t length = 0;  // content octets
    std::size_t End() const { return start + length; }
};

class BerReader {
public:
    // Reads [data, data + end); data may be null when end is 0.
    BerReader(const std::uint8_t* data, std::size_t end, std::size_t position = 0)
        : data_(data), end_(end), pos_(position) {}

    std::size_t Position() const { return pos_; }
    std::size_t End() const { return end_; }
    bool AtEnd() const { return pos_ >= end_; }
    std::size_t Left() const { return pos_ < end_ ? end_ - pos_ : 0; }

    // The tag at the cursor; false at the end.
    bool PeekTag(std::uint8_t& tag) const;

    // Steps into a constructed element: passes its tag and length field and
    // leaves the cursor on its first content octet, without measuring the
    // content (the walk goes on through it). A length octet 0x80 + n is
    // followed by n octets that are passed over unread; 0x80 itself has none.
    // False when the header runs past the end.
    bool StepInto();

    // Reads the tag and the length field in `form`, leaving the cursor on the
    // first content octet. The content is not checked against the end: call
    // TakeContent for that. False when the header runs past the end or the
    // length field is not of the form.
    bool ReadHeader(LengthForm form, BerElement& element);

    // Passes `length` content octets; false when fewer remain.
    bool Skip(std::size_t length);

    // A whole element: header in `form` and content inside the end.
    bool ReadElement(LengthForm form, BerElement& element);
    // As ReadElement, and the tag must be `tag`.
    bool ReadElement(std::uint8_t tag, LengthForm form, BerElement& element);

private:
    const std::uint8_t* data_;
    std::size_t end_;
    std::size_t pos_;
};

// The number reader the scans have always used, kept for the values whose
// reading stored logs and the equipment tables rely on (request-id, error
// status, generic and specific trap, the alarm codes): 1 to 4 octets read as
// a big-endian unsigned 32-bit number; any other count gives 0. No sign
// extension, so only a four-octet value can have its top bit set.
constexpr std::uint32_t ReadNumber(const std::uint8_t* octets, std::size_t count) {
    if (count < 1 || count > 4) return 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = (value << 8) | octets[i];
    return value;
}

// The numbers as the agent meant them. Each returns false for a count that
// no valid encoding of its type has, leaving `value` untouched, so that the
// caller keeps the reading above for it.
//
// INTEGER (Integer32): 1 to 4 octets, two's complement (FB is -5).
bool ReadSigned32(const std::uint8_t* octets, std::size_t count, std::int32_t& value);
// Counter, Gauge, TimeTicks: 1 to 4 octets big-endian unsigned, or 5 whose
// first is 00 (values from 2^31 up need it: 00 FF FF FF FF). A short form
// with its top bit set is taken unsigned too (42 01 FF is 255), as snmpget
// shows it.
bool ReadUnsigned32(const std::uint8_t* octets, std::size_t count, std::uint32_t& value);
// Counter64: 1 to 8 octets big-endian unsigned, or 9 whose first is 00
// (values from 2^63 up).
bool ReadUnsigned64(const std::uint8_t* octets, std::size_t count, std::uint64_t& value);

// True when the `length` content octets at `content` are those of `oid`.
bool SameOctets(const std::uint8_t* content, std::size_t length, const std::uint8_t* oid, std::size_t oidLength);
// True when they begin with the `prefixLength` octets of `prefix`.
bool StartsWithOctets(const std::uint8_t* content, std::size_t length, const std::uint8_t* prefix,
                      std::size_t prefixLength);

}  // namespace quillet
