// The one BER writer of everything the console builds: requests, SNMPv3
// messages, Reports and inform acknowledgements.
//
// It writes forward into a caller's buffer and never past its capacity.
// Containers are opened and closed like brackets, and each one's length is
// filled in when it closes, in the form chosen when it opened:
// - Shortest, as net-snmp writes every length: one octet below 0x80, else
//   81 x or 82 hi lo. Its content is written after a one-octet length, and
//   moved on by one or two octets at the close when it turns out longer, so
//   that a buffer just the size of the finished message is enough;
// - Fixed82, the request encoder's form: always 82 hi lo, also below 128
//   (82 00 09). Agents take it, and the request's fields keep fixed offsets.
// A primitive element's length is always the shortest.
//
// A write that does not fit, a length above 65,535 (no UDP datagram holds
// one), a close out of order or nesting deeper than kMaxDepth makes the
// writer fail: it writes nothing more, and Finish returns 0. What it wrote
// until then stays in the buffer and is of no use.
//
// Positions move when a container before them closes in the Shortest form
// (its content shifts on): a position that is needed after the closes, such
// as a digest's, is kept with Mark and read back with MarkedPosition.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "text/BerTags.h"

namespace quillet {

enum class LengthField : std::uint8_t { Shortest, Fixed82 };

class BerWriter {
public:
    static constexpr std::size_t kMaxLength = 0xFFFF;
    static constexpr std::size_t kMaxDepth = 8;
    static constexpr std::size_t kMaxMarks = 4;

    // Writes into [buffer, buffer + capacity); buffer may be null when
    // capacity is 0.
    BerWriter(std::uint8_t* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}

    // An open container, as Open returns it and Close takes it back.
    struct Container {
        std::size_t lengthAt = 0;  // the first octet of its length field
        LengthField field = LengthField::Shortest;
    };

    // Writes `tag` and room for the length; the content follows.
    Container Open(std::uint8_t tag, LengthField field = LengthField::Shortest);
    // Fills in the length of `container`, which must be the innermost one
    // still open.
    void Close(const Container& container);

    // `tag`, the shortest length field for `length`; the caller writes the
    // `length` content octets next.
    void Header(std::uint8_t tag, std::size_t length);
    // A whole primitive element.
    void Element(std::uint8_t tag, std::span<const std::uint8_t> content);
    // INTEGER in its fewest two's-complement octets (X.690 8.3.2): 0 is
    // 02 01 00, 128 is 02 02 00 80, -129 is 02 02 FF 7F.
    void Integer(std::int64_t value);
    // An unsigned value (Counter32, Gauge32, TimeTicks, Counter64) under
    // `tag`: its fewest octets, with a leading 00 where the first would have
    // its top bit set (4294967295 is 05 00 FF FF FF FF), as net-snmp writes it.
    void Unsigned(std::uint8_t tag, std::uint64_t value);
    void Null() { Header(kNullTag, 0); }

    // Octets as they are: an element copied whole, or content after Header.
    void Octet(std::uint8_t octet);
    void Octets(std::span<const std::uint8_t> octets);
    // Room for `count` octets that the caller fills at once (a ciphertext),
    // or zeros (a digest filled later); null, and the writer failed, when
    // they do not fit. The pointer is good only until the next Close.
    std::uint8_t* Claim(std::size_t count);

    // Keeps the current position and follows it through the closes; returns
    // its number for MarkedPosition (kMaxMarks at most, or the writer fails).
    std::size_t Mark();
    std::size_t MarkedPosition(std::size_t mark) const { return mark < marks_ ? marked_[mark] : 0; }

    std::size_t Position() const { return position_; }
    bool Failed() const { return failed_; }
    // The octets written, when every container was closed and nothing
    // failed; 0 otherwise.
    std::size_t Finish() const { return failed_ || depth_ != 0 ? 0 : position_; }

private:
    bool Fits(std::size_t count);

    std::uint8_t* buffer_;
    std::size_t capacity_;
    std::size_t position_ = 0;
    bool failed_ = false;
    std::array<std::size_t, kMaxDepth> open_{};  // lengthAt of each open container, outermost first
    std::size_t depth_ = 0;
    std::array<std::size_t, kMaxMarks> marked_{};
    std::size_t marks_ = 0;
};

}  // namespace quillet
