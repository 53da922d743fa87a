#include "request/AgentAddress.h"

#include <array>

#include "output/DetailLines.h"
#include "request/Ipv4Text.h"
#include "text/Ipv6Text.h"

namespace quillet {

bool ParseAgentAddress(std::string_view text, ZoneIndexer zoneIndex, Endpoint& out, std::string& shown) {
    std::uint8_t octets[4];
    if (ParseIpv4(text, octets) == 0) {
        out = Endpoint::V4(octets, 0);
        shown.assign(text);
        return true;
    }
    if (text.size() > kAgentAddressTextLimit) return false;
    const std::size_t percent = text.find('%');
    const std::string_view literal = text.substr(0, percent);
    std::array<std::uint8_t, 16> address;
    if (!ParseIpv6(literal, address)) return false;
    const bool linkLocal = address[0] == 0xFE && (address[1] & 0xC0) == 0x80;
    std::uint32_t scope = 0;
    if (percent != std::string_view::npos) {
        if (!linkLocal || zoneIndex == nullptr) return false;
        scope = zoneIndex(text.substr(percent + 1));
        if (scope == 0) return false;
    } else if (linkLocal) {
        // Without its zone a link-local address names no link to send on.
        return false;
    }
    out = Endpoint::V6(address, scope, 0);
    shown.clear();
    AppendEndpointAddress(shown, out);
    if (scope != 0) shown.replace(shown.find('%') + 1, std::string::npos, text.substr(percent + 1));
    return true;
}

}  // namespace quillet
