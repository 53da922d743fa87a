// The hexadecimal-character check shared by the integer and hex set values.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillet {

// True when each of the first `n` characters of `text` is 0-9, a-f or A-F.
// An `n` of 0 gives true; an `n` beyond the end of the text gives false (the
// missing characters are not hexadecimal).
constexpr bool IsHexText(std::string_view text, std::size_t n) {
    if (n > text.size()) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

}  // namespace quillet
