#include "request/Ipv4Text.h"

namespace quillet {
namespace {

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Value of `c` as a digit of `base`, or -1.
int DigitValue(char c, int base) {
    int value;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    else return -1;
    return value < base ? value : -1;
}

// Reads one part from text[pos]; on success leaves pos on the first character
// after it and returns true with the value as the 32-bit number the classic
// conversion would hold (saturated on overflow, then negated for "-").
bool ReadPart(std::string_view text, std::size_t& pos, std::uint32_t& value) {
    while (pos < text.size() && IsWhiteSpace(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    int base = 10;
    bool sawDigit = false;
    if (pos < text.size() && text[pos] == '0') {
        // The 0 itself counts as a digit: "0x" with no hex digit after it
        // reads as 0 and stops at the "x", which then fails as a separator.
        sawDigit = true;
        base = 8;
        ++pos;
        if (pos + 1 < text.size() && (text[pos] == 'x' || text[pos] == 'X') && DigitValue(text[pos + 1], 16) >= 0) {
            base = 16;
            ++pos;
        }
    }
    std::uint64_t accumulated = 0;
    for (int digit; pos < text.size() && (digit = DigitValue(text[pos], base)) >= 0; ++pos) {
        sawDigit = true;
        accumulated = accumulated * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (accumulated > 0xFFFFFFFFu) accumulated = 0x1'0000'0000u;  // stays saturated
    }
    if (!sawDigit) return false;
    std::uint32_t result = accumulated > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(accumulated);
    if (negative) result = 0u - result;
    value = result;
    return true;
}

}  // namespace

int ParseIpv4(std::string_view text, std::uint8_t out[4]) {
    // Bytes, not characters: anything that is not ASCII fails further down
    // anyway, so a byte count above 15 can only belong to a failing text.
    if (text.size() > kIpv4TextLimit) return -1;
    std::uint8_t octets[4];
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        std::uint32_t value;
        if (!ReadPart(text, pos, value)) return -1;
        const auto asSigned = static_cast<std::int32_t>(value);
        if (asSigned < 0 || asSigned > 255) return -1;
        octets[part] = static_cast<std::uint8_t>(asSigned);
        if (part < 3) {
            if (pos >= text.size() || text[pos] != '.') return -1;
            ++pos;
        } else if (pos != text.size()) {
            return -1;
        }
    }
    for (int i = 0; i < 4; ++i) out[i] = octets[i];
    return 0;
}

}  // namespace quillet
