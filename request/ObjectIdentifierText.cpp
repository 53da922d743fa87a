#include "request/ObjectIdentifierText.h"

#include <cstdint>

namespace quillet {
namespace {

constexpr int kMaxArcDigits = 10;
constexpr std::uint64_t kMaxArcValue = 0xFFFFFFFFu;

// A subidentifier of up to 4294967295 + 80 (the first two arcs of 2.x)
// takes at most five base-128 groups.
constexpr int kMaxSubidentifierBytes = 5;

// Appends `value` in base 128, high groups first, the top bit set on all
// groups but the last.
void AppendBase128(std::uint8_t* encoded, std::size_t& length, std::uint64_t value) {
    std::uint8_t groups[kMaxSubidentifierBytes];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 0) {
        --count;
        encoded[length++] = static_cast<std::uint8_t>(groups[count] | (count > 0 ? 0x80 : 0x00));
    }
}

}  // namespace

int ParseOid(std::string_view text, OidSlot& slot) {
    // One leading dot, as net-snmp's tools print identifiers (snmpwalk -On).
    if (!text.empty() && text.front() == '.') text.remove_prefix(1);
    if (text.empty() || text.size() > kOidTextLimit) return -1;

    // Encode into a scratch buffer first so that a text rejected halfway
    // leaves the slot as it was. 200 characters make at most 99 bytes: the
    // first two arcs give at most five bytes from at least twelve
    // characters, each later byte costs at least two characters (a digit
    // and its dot), and a multi-byte arc costs more characters than it
    // yields bytes.
    std::uint8_t encoded[kOidTextLimit];
    std::size_t length = 0;

    int arcIndex = 0;
    std::uint64_t first = 0;
    std::uint64_t value = 0;
    int digits = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            if (++digits > kMaxArcDigits) return -1;
            value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
            continue;
        }
        // A dot or the end of the text closes the arc; anything else fails.
        if (i < text.size() && text[i] != '.') return -1;
        if (digits == 0) return -1;  // "1..3", ".1", "1.3."
        if (value > kMaxArcValue) return -1;
        if (arcIndex == 0) {
            // The first arc is 0 (itu-t), 1 (iso) or 2 (joint-iso-itu-t).
            if (value > 2) return -1;
            first = value;
        } else if (arcIndex == 1) {
            // The first two arcs share one subidentifier, 40 x X + Y: below
            // joint-iso-itu-t the second arc is 0..39, so 1.3 gives 2B; under
            // 2 it may be any number (2.999 gives 88 37).
            if (first < 2 && value > 39) return -1;
            AppendBase128(encoded, length, first * 40 + value);
        } else {
            // Arcs above 16383 get three or more groups: correct base 128
            // rather than a two-byte form that would lose the high bits.
            AppendBase128(encoded, length, value);
        }
        ++arcIndex;
        value = 0;
        digits = 0;
    }
    // A single arc has no encoded form: an identifier has at least two.
    if (arcIndex < 2) return -1;

    slot.bytes.fill(0);
    for (std::size_t i = 0; i < length; ++i) slot.bytes[i] = encoded[i];
    slot.length = static_cast<std::int32_t>(length);
    return 0;
}

}  // namespace quillet
