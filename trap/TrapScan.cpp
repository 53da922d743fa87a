#include "trap/TrapScan.h"

#include <cstring>

#include "response/NumberReader.h"

namespace quillet {
namespace {

constexpr std::size_t kMaxWalk = 0x7FFFFFFF;

// Length field of a skipped IpAddress, TimeTicks or OBJECT IDENTIFIER: the
// short form, 81 x or 82 hi lo. Other long forms (80, 83 and up) are not
// read as lengths at all: the element then ends the walk, which makes the
// datagram a frame error instead of guessing where the next element starts.
// On success sets `header` (tag + length octets) and `length`.
bool SkippedLength(const std::uint8_t* p, std::size_t left, std::size_t& header, std::size_t& length) {
    if (left < 2) return false;
    const std::uint8_t first = p[1];
    if (first < 0x80) {
        header = 2;
        length = first;
        return true;
    }
    if (first == 0x81 && left >= 3) {
        header = 3;
        length = p[2];
        return true;
    }
    if (first == 0x82 && left >= 4) {
        header = 4;
        length = (static_cast<std::size_t>(p[2]) << 8) | p[3];
        return true;
    }
    return false;
}

}  // namespace

int TrapScan(const std::uint8_t* data, std::size_t size, TrapScanResult& out, std::int32_t& equipmentFlag) {
    std::memset(&out, 0, sizeof out);
    const std::size_t end = size < kMaxWalk ? size : kMaxWalk;
    std::size_t pos = 0;

    // Every branch either moves `pos` forward by at least two octets or
    // leaves the loop, so the walk ends after at most end / 2 elements.
    while (pos < end) {
        const std::uint8_t* p = data + pos;
        const std::size_t left = end - pos;
        const std::uint8_t tag = p[0];

        if (tag == 0x30 || tag == 0xA0 || tag == 0xA2 || tag == 0xA4) {
            // Containers are stepped into, not measured: their content is
            // walked as the elements that follow, so the declared length is
            // skipped without being read. 0x80 + n means n length octets.
            if (left < 2) break;
            const std::size_t header = p[1] < 0x80 ? 2 : 2 + static_cast<std::size_t>(p[1] - 0x80);
            if (header > left) break;
            pos += header;
        } else if (tag == 0x02) {
            if (left < 2) break;
            const std::uint8_t length = p[1];
            // An INTEGER's length is read in the short form only; a long-form
            // length octet ends the walk (frame error) rather than being taken
            // as a content length of up to 255 octets.
            if (length >= 0x80) break;
            if (length > left - 2) break;
            if (out.integerCount < kTrapTableSlots)
                out.integers[out.integerCount++] = static_cast<std::int32_t>(ReadNumber(p + 2, length));
            pos += 2 + static_cast<std::size_t>(length);
        } else if (tag == 0x04) {
            if (left < 2) break;
            std::size_t header = 2;
            std::size_t length = p[1];
            if (p[1] >= 0x80) {
                // Long form: 0x80 + n, then n length octets read with the
                // number reader, so n of 0 or above 4 gives length 0 and the
                // content starts right after those n octets.
                const std::size_t n = p[1] - 0x80;
                if (n > left - 2) break;
                header = 2 + n;
                length = ReadNumber(p + 2, n);
            }
            if (length > left - header) break;
            if (out.stringCount < kTrapTableSlots) {
                out.strings[out.stringCount++] = TrapString{static_cast<std::uint32_t>(pos + header),
                                                            static_cast<std::int32_t>(length)};
            }
            pos += header + length;
        } else if (tag == 0x06 || tag == 0x40 || tag == 0x43) {
            if (tag == 0x06) {
                // The 11 octets after the length octet are compared whatever
                // the identifier's own length, so the prefix itself and every
                // identifier under it match (and so would a shorter one that
                // happens to be followed by the right octets). Fewer than 11
                // octets left in the datagram is simply no match.
                const bool match = left >= 2 + sizeof kEquipmentPrefix &&
                                   std::memcmp(p + 2, kEquipmentPrefix, sizeof kEquipmentPrefix) == 0;
                equipmentFlag = match ? 1 : 0;
            }
            std::size_t header = 0;
            std::size_t length = 0;
            if (!SkippedLength(p, left, header, length)) break;
            if (length > left - header) break;
            pos += header + length;
        } else {
            break;
        }
    }

    out.frameError = pos != size;
    return out.frameError ? -1 : 0;
}

}  // namespace quillet
