#include "text/DecimalText.h"

namespace quillet {

void AppendDecimal(std::string& out, std::int32_t value) {
    char digits[12];
    int n = 0;
    // Work on the magnitude as unsigned so that INT32_MIN needs no special case.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) out.push_back('-');
    while (n > 0) out.push_back(digits[--n]);
}

void AppendUnsignedDecimal(std::string& out, std::uint64_t value) {
    char digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) out.push_back(digits[--count]);
}

void AppendHexByte(std::string& out, std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
}

std::string DecimalText(std::int32_t value) {
    std::string text;
    AppendDecimal(text, value);
    return text;
}

}  // namespace quillet
