#include "output/EndpointText.h"

#include "text/DecimalText.h"

namespace quillet {
namespace {

void AppendDotted(std::string& out, const std::uint8_t* octets) {
    for (int i = 0; i < 4; ++i) {
        if (i > 0) out.push_back('.');
        AppendDecimal(out, octets[i]);
    }
}

void AppendGroup(std::string& out, unsigned group) {
    static constexpr char kHex[] = "0123456789abcdef";
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const unsigned digit = (group >> shift) & 0xF;
        if (digit == 0 && !started && shift > 0) continue;
        started = true;
        out.push_back(kHex[digit]);
    }
}

}  // namespace

void AppendEndpointAddress(std::string& out, const Endpoint& endpoint) {
    const std::uint8_t* a = endpoint.address.data();
    if (endpoint.IsV4()) {
        AppendDotted(out, a);
        return;
    }
    unsigned groups[8];
    for (int i = 0; i < 8; ++i) groups[i] = static_cast<unsigned>(a[2 * i] << 8 | a[2 * i + 1]);
    // The longest run of zero groups, when it is at least two long.
    int bestStart = -1, bestLength = 1;
    for (int i = 0; i < 8;) {
        if (groups[i] != 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < 8 && groups[j] == 0) ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j;
    }
    // An IPv4-mapped address keeps its IPv4 part dotted.
    const bool mapped = bestStart == 0 && bestLength == 5 && groups[5] == 0xFFFF;
    const int groupEnd = mapped ? 6 : 8;
    for (int i = 0; i < groupEnd; ++i) {
        if (i == bestStart) {
            out += "::";
            i += bestLength - 1;
            continue;
        }
        if (i > 0 && i != bestStart + bestLength) out.push_back(':');
        AppendGroup(out, groups[i]);
    }
    if (mapped) {
        out.push_back(':');
        AppendDotted(out, a + 12);
    }
    if (endpoint.scope != 0) {
        out.push_back('%');
        AppendDecimal(out, static_cast<std::int32_t>(endpoint.scope));
    }
}

void AppendEndpoint(std::string& out, const Endpoint& endpoint) {
    if (endpoint.IsV4()) {
        AppendEndpointAddress(out, endpoint);
    } else {
        out.push_back('[');
        AppendEndpointAddress(out, endpoint);
        out.push_back(']');
    }
    out.push_back(':');
    AppendDecimal(out, endpoint.port);
}

}  // namespace quillet
