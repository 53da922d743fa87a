#include "trap/TrapScan.h"

#include <cstring>

#include "text/BerReader.h"

namespace quillet {
namespace {

constexpr std::size_t kMaxWalk = 0x7FFFFFFF;

}  // namespace

int TrapScan(const std::uint8_t* data, std::size_t size, TrapScanResult& out, std::int32_t& equipmentFlag) {
    std::memset(&out, 0, sizeof out);
    BerReader reader(data, size < kMaxWalk ? size : kMaxWalk);

    // Every branch either moves the cursor forward by at least two octets or
    // leaves the loop, so the walk ends after at most size / 2 elements.
    std::uint8_t tag = 0;
    while (reader.PeekTag(tag)) {
        BerElement element;
        if (tag == 0x30 || tag == 0xA0 || tag == 0xA2 || tag == 0xA4) {
            // Containers are stepped into, not measured: their content is
            // walked as the elements that follow.
            if (!reader.StepInto()) break;
        } else if (tag == 0x02) {
            // An INTEGER's length is read in the short form only; a long-form
            // length octet ends the walk (frame error) rather than being taken
            // as a content length of up to 255 octets.
            if (!reader.ReadElement(LengthForm::ShortOnly, element)) break;
            if (out.integerCount < kTrapTableSlots) {
                const std::uint8_t* content = data + element.start;
                out.integers[out.integerCount] = static_cast<std::int32_t>(ReadNumber(content, element.length));
                // A length no valid INTEGER has keeps the reading above (0).
                std::int32_t value = out.integers[out.integerCount];
                ReadSigned32(content, element.length, value);
                out.signedIntegers[out.integerCount++] = value;
            }
        } else if (tag == 0x04) {
            // Long form: 0x80 + n, then n length octets read with the number
            // reader (LengthForm::NumberLongForm).
            if (!reader.ReadElement(LengthForm::NumberLongForm, element)) break;
            if (out.stringCount < kTrapTableSlots) {
                out.strings[out.stringCount++] = TrapString{static_cast<std::uint32_t>(element.start),
                                                            static_cast<std::int32_t>(element.length)};
            }
        } else if (tag == 0x06 || tag == 0x40 || tag == 0x43) {
            if (tag == 0x06) {
                // The 11 octets after the length octet are compared whatever
                // the identifier's own length, so the prefix itself and every
                // identifier under it match (and so would a shorter one that
                // happens to be followed by the right octets). Fewer than 11
                // octets left in the datagram is simply no match.
                const std::size_t left = reader.Left();
                const std::size_t at = reader.Position() + 2;
                equipmentFlag = left >= 2 && StartsWithOctets(data + at, left - 2, kEquipmentPrefix,
                                                              sizeof kEquipmentPrefix)
                                    ? 1
                                    : 0;
            }
            // Skipped: the short form, 81 x or 82 hi lo. Other long forms
            // (80, 83 and up) are not read as lengths at all: the element
            // then ends the walk, which makes the datagram a frame error
            // instead of guessing where the next element starts.
            if (!reader.ReadElement(LengthForm::ShortOr8182, element)) break;
        } else {
            break;
        }
    }

    out.frameError = reader.Position() != size;
    return out.frameError ? -1 : 0;
}

}  // namespace quillet
