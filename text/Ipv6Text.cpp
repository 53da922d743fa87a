#include "text/Ipv6Text.h"

#include "text/DecimalText.h"

namespace quillet {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The dotted IPv4 tail of an IPv6 literal: stricter than the agent field's
// IPv4 reading, as inet_pton is (decimal only, no leading zeros).
bool ParseDottedTail(std::string_view text, std::uint8_t out[4]) {
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        const std::size_t start = pos;
        int value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3)
            value = value * 10 + (text[pos++] - '0');
        if (pos == start || value > 255 || (text[start] == '0' && pos - start > 1)) return false;
        out[part] = static_cast<std::uint8_t>(value);
    }
    return pos == text.size();
}

}  // namespace

bool ParseIpv6(std::string_view text, std::array<std::uint8_t, 16>& out) {
    if (text.empty() || text.size() > kIpv6TextLimit) return false;
    std::array<std::uint8_t, 16> bytes{};
    int filled = 0;        // bytes written so far
    int gapAt = -1;        // where "::" stands, in bytes
    std::size_t pos = 0;
    if (text.substr(0, 2) == "::") {
        gapAt = 0;
        pos = 2;
        if (pos == text.size()) {
            out = bytes;
            return true;
        }
    } else if (text[0] == ':') {
        return false;
    }
    for (;;) {
        // A group, or the dotted IPv4 tail where it fits.
        const std::size_t start = pos;
        int value = 0;
        while (pos < text.size() && HexValue(text[pos]) >= 0 && pos - start < 4)
            value = value * 16 + HexValue(text[pos++]);
        if (pos < text.size() && text[pos] == '.') {
            if (filled > 12) return false;
            std::uint8_t tail[4];
            if (!ParseDottedTail(text.substr(start), tail)) return false;
            for (const std::uint8_t octet : tail) bytes[static_cast<std::size_t>(filled++)] = octet;
            break;
        }
        if (pos == start || filled > 14) return false;
        bytes[static_cast<std::size_t>(filled++)] = static_cast<std::uint8_t>(value >> 8);
        bytes[static_cast<std::size_t>(filled++)] = static_cast<std::uint8_t>(value);
        if (pos == text.size()) break;
        if (text[pos] != ':') return false;
        ++pos;
        if (pos < text.size() && text[pos] == ':') {
            if (gapAt >= 0) return false;
            gapAt = filled;
            ++pos;
            if (pos == text.size()) break;
        } else if (pos == text.size()) {
            return false;  // a single trailing colon
        }
    }
    if (gapAt >= 0) {
        // "::" stands for at least one group of zeros.
        if (filled > 14) return false;
        const int moved = filled - gapAt;
        for (int i = 0; i < moved; ++i) {
            bytes[static_cast<std::size_t>(15 - i)] = bytes[static_cast<std::size_t>(filled - 1 - i)];
            bytes[static_cast<std::size_t>(filled - 1 - i)] = 0;
        }
    } else if (filled != 16) {
        return false;
    }
    out = bytes;
    return true;
}

void AppendIpv6(std::string& out, const std::array<std::uint8_t, 16>& address) {
    int groups[8];
    for (std::size_t i = 0; i < 8; ++i) groups[i] = (address[2 * i] << 8) | address[2 * i + 1];
    const bool mapped = groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 && groups[4] == 0 &&
                        groups[5] == 0xFFFF;
    const int hexGroups = mapped ? 6 : 8;
    int bestAt = -1, bestLength = 1;
    for (int i = 0; i < hexGroups;) {
        if (groups[i] != 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < hexGroups && groups[j] == 0) ++j;
        if (j - i > bestLength) {
            bestAt = i;
            bestLength = j - i;
        }
        i = j;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < hexGroups; ++i) {
        if (i == bestAt) {
            out += "::";
            i += bestLength - 1;
            continue;
        }
        if (i > 0 && i != bestAt + bestLength) out.push_back(':');
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const int digit = (groups[i] >> shift) & 0xF;
            if (digit != 0 || started || shift == 0) {
                out.push_back(kDigits[digit]);
                started = true;
            }
        }
    }
    if (mapped) {
        out.push_back(':');
        for (int i = 12; i < 16; ++i) {
            if (i > 12) out.push_back('.');
            AppendDecimal(out, address[static_cast<std::size_t>(i)]);
        }
    }
}

}  // namespace quillet
