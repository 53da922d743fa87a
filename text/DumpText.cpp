#include "text/DumpText.h"

#include <cstring>

namespace quillet {

namespace {

// "XX " for each byte value, in four bytes (the fourth is overwritten by the
// next byte's), and the character each byte shows as.
struct DumpTables {
    char hex[256][4];
    char shown[256];
    constexpr DumpTables() : hex(), shown() {
        constexpr char kHex[] = "0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) {
            hex[b][0] = kHex[b >> 4];
            hex[b][1] = kHex[b & 0x0F];
            hex[b][2] = ' ';
            hex[b][3] = ' ';
            shown[b] = b >= 0x20 && b <= 0x7E ? static_cast<char>(b) : '.';
        }
    }
};
constexpr DumpTables kTables;

}  // namespace

void AppendDumpLine(std::string& line, const std::uint8_t* bytes, std::size_t count) {
    if (count > kDumpBytesPerLine) count = kDumpBytesPerLine;
    // Built in a fixed buffer from tables and appended once: a dump is the
    // bulk of every report, and appending character by character costs
    // several times more. One spare byte takes the last four-byte store.
    char text[2 + 3 * kDumpBytesPerLine + 2 + kDumpBytesPerLine + 1];
    char* out = text;
    *out++ = ' ';
    *out++ = ' ';
    for (std::size_t i = 0; i < count; ++i, out += 3) std::memcpy(out, kTables.hex[bytes[i]], 4);
    // A short last line is padded so that its character column lines up.
    const std::size_t pad = 3 * (kDumpBytesPerLine - count) + 2;
    std::memset(out, ' ', pad);
    out += pad;
    for (std::size_t i = 0; i < count; ++i) *out++ = kTables.shown[bytes[i]];
    line.append(text, static_cast<std::size_t>(out - text));
}

}  // namespace quillet
