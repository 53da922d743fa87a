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

std::string DecimalText(std::int32_t value) {
    std::string text;
    AppendDecimal(text, value);
    return text;
}

}  // namespace quillet
