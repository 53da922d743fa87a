// Dump lines: a datagram shown 16 bytes a line as upper-case hexadecimal and
// as characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillet {

constexpr std::size_t kDumpBytesPerLine = 16;

// Appends one dump line of `count` bytes (1..16) to `line`: two blanks, "XX "
// per byte, three blanks per missing byte of a short line, two blanks, then
// each byte as itself when printable ASCII (0x20..0x7E), else ".". A full
// line is 68 characters.
void AppendDumpLine(std::string& line, const std::uint8_t* bytes, std::size_t count);

}  // namespace quillet
