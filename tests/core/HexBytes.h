// Hexadecimal test fixtures: "30 82 00 2A ..." to bytes and back.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The bytes of a hex text; blanks and other separators are ignored. The
// vector has exactly the datagram's size, so the sanitizer build catches any
// read past its end.
inline std::vector<std::uint8_t> Hex(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
        const int nibble = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(c) - 'A' + 10);
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + nibble));
            high = -1;
        }
    }
    bytes.shrink_to_fit();
    return bytes;
}

// Upper-case hex, one blank between bytes: "30 82 00 2A".
inline std::string HexOf(const std::uint8_t* p, std::size_t n) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) s += ' ';
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 15];
    }
    return s;
}

}  // namespace quillet
