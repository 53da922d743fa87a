#include "request/ObjectIdentifierText.h"

#include <cstdint>

namespace quillet {
namespace {

constexpr int kMaxArcDigits = 10;
constexpr std::uint64_t kMaxArcValue = 0xFFFFFFFFu;

// An arc of up to 4294967295 takes at most five base-128 groups.
constexpr int kMaxArcBytes = 5;

}  // namespace

int ParseOid(std::string_view text, OidSlot& slot) {
    if (text.size() > kOidTextLimit) text = text.substr(0, kOidTextLimit);
    if (text.empty()) return -1;

    // Encode into a scratch buffer first so that a text rejected halfway
    // leaves the slot as it was. 200 characters make at most 99 bytes: each
    // byte after 2B costs at least two characters (a digit and its dot), and
    // a multi-byte arc costs more characters than it yields bytes.
    std::uint8_t encoded[kOidTextLimit];
    std::size_t length = 0;
    encoded[length++] = 0x2B;

    int arcIndex = 0;
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
        // The first two arcs are only checked for being numbers: their
        // encoding is the fixed 2B written above.
        if (arcIndex >= 2) {
            std::uint8_t groups[kMaxArcBytes];
            int count = 0;
            std::uint64_t rest = value;
            do {
                groups[count++] = static_cast<std::uint8_t>(rest & 0x7F);
                rest >>= 7;
            } while (rest != 0);
            // Arcs above 16383 get three or more groups: correct base-128
            // rather than a two-byte form that would lose the high bits.
            while (count > 0) {
                --count;
                encoded[length++] = static_cast<std::uint8_t>(groups[count] | (count > 0 ? 0x80 : 0x00));
            }
        }
        ++arcIndex;
        value = 0;
        digits = 0;
    }

    slot.bytes.fill(0);
    for (std::size_t i = 0; i < length; ++i) slot.bytes[i] = encoded[i];
    slot.length = static_cast<std::int32_t>(length);
    return 0;
}

}  // namespace quillet
