#include "text/DumpText.h"

namespace quillet {

void AppendDumpLine(std::string& line, const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (count > kDumpBytesPerLine) count = kDumpBytesPerLine;
    // Built in a fixed buffer and appended once: a dump is the bulk of every
    // report, and appending character by character costs several times more.
    char text[2 + 3 * kDumpBytesPerLine + 2 + kDumpBytesPerLine];
    char* out = text;
    *out++ = ' ';
    *out++ = ' ';
    for (std::size_t i = 0; i < count; ++i) {
        *out++ = kHex[bytes[i] >> 4];
        *out++ = kHex[bytes[i] & 0x0F];
        *out++ = ' ';
    }
    // A short last line is padded so that its character column lines up.
    for (std::size_t i = count; i < kDumpBytesPerLine; ++i) {
        *out++ = ' ';
        *out++ = ' ';
        *out++ = ' ';
    }
    *out++ = ' ';
    *out++ = ' ';
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        *out++ = b >= 0x20 && b <= 0x7E ? static_cast<char>(b) : '.';
    }
    line.append(text, static_cast<std::size_t>(out - text));
}

}  // namespace quillet
