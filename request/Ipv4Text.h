// Dotted IPv4 text: the one check for the agent address and IpAddress values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillet {

// Longest dotted IPv4 text accepted.
constexpr std::size_t kIpv4TextLimit = 15;

// Parses four dot-separated parts into `out` (octets in text order).
//
// Each part is read the way the classic dotted-address conversion reads it:
// leading white space, an optional "+" or "-" (which negates), then "0x"/"0X"
// for hexadecimal, a leading "0" for octal, else decimal; the part ends at the
// first character that is not a digit of its base. So "010.0.0.1" gives 8 and
// "0x0A.0.0.1" gives 10.
//
// Fails (returns -1, `out` untouched) when the text is longer than 15
// characters, a part has no digit, parts 1-3 are not followed by ".", part 4
// is not followed by the end of the text (a trailing blank fails), or a part,
// taken as a signed 32-bit number, is outside 0..255. Returns 0 on success.
int ParseIpv4(std::string_view text, std::uint8_t out[4]);

}  // namespace quillet
