// Values read at a glance: a TimeTicks as days and h:mm:ss.cc, and an
// OCTET STRING as text when its octets are printable text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillet {

// Appends `ticks` (hundredths of a second) as net-snmp's tools print a
// TimeTicks: "0:02:33.65", "1 day, 0:00:00.01", "14 days, 6:56:07.89"; the
// hours are not padded, minutes, seconds and hundredths take two digits.
void AppendTimeTicksText(std::string& out, std::uint32_t ticks);

// How the octets of a string read as text.
enum class TextEncoding { None, Ascii, Utf8, Cp932 };

// Reads the `length` octets at `octets` as text and, when they are, appends
// it to `out` in double quotes, on one line, and says how it read:
//   - Ascii when every octet is below 0x80, Utf8 when they are well-formed
//     UTF-8 (no overlong form, surrogate or code point past U+10FFFF), else
//     Cp932 when code page 932 decodes every octet;
//   - every character must show: control characters (C0, DEL, C1), the line
//     and paragraph separators, the invisible format and direction controls
//     (U+200B..U+200F, U+202A..U+202E, U+2060..U+206F, U+FEFF,
//     U+FFF9..U+FFFB), private use and noncharacters make the octets no text.
//     TAB, LF and CR are taken (net-snmp prints such strings as text too) and
//     shown as \t, \n and \r, so that the text stays one line; a backslash
//     and a double quote are preceded by a backslash, as net-snmp does.
// Empty octets, and octets that are no text, append nothing and give None.
// `octets` may be null when `length` is 0.
TextEncoding AppendPrintableText(std::string& out, const std::uint8_t* octets, std::size_t length);

}  // namespace quillet
