#include "console/DumpText.h"

namespace quillet {

void AppendDumpLine(std::string& line, const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (count > kDumpBytesPerLine) count = kDumpBytesPerLine;
    line.append(2, ' ');
    for (std::size_t i = 0; i < count; ++i) {
        line.push_back(kHex[bytes[i] >> 4]);
        line.push_back(kHex[bytes[i] & 0x0F]);
        line.push_back(' ');
    }
    // A short last line is padded so that its character column lines up.
    line.append(3 * (kDumpBytesPerLine - count), ' ');
    line.append(2, ' ');
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        line.push_back(b >= 0x20 && b <= 0x7E ? static_cast<char>(b) : '.');
    }
}

}  // namespace quillet
