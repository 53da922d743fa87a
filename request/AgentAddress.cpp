#include "request/AgentAddress.h"

#include <algorithm>

#include "request/Ipv4Text.h"
#include "text/Ipv6Text.h"

namespace quillet {
namespace {

// A zone given as a number: its decimal value, 0 when it is not all digits
// or does not fit.
std::uint32_t ZoneNumber(const std::string& zone) {
    if (zone.empty() || zone.size() > 9 || !std::all_of(zone.begin(), zone.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return static_cast<std::uint32_t>(std::stoul(zone));
}

}  // namespace

bool ParseAgentAddress(std::string_view text, InterfaceIndexOf indexOf, Endpoint& out) {
    if (text.find(':') == std::string_view::npos) {
        std::uint8_t octets[4];
        if (ParseIpv4(text, octets) != 0) return false;
        out = Endpoint::V4(octets, out.port);
        return true;
    }
    std::uint8_t octets[16];
    std::string zone;
    if (!ParseIpv6Literal(text, octets, zone)) return false;
    static constexpr std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::equal(kMappedPrefix, kMappedPrefix + 12, octets)) {
        out = Endpoint::V4(octets + 12, out.port);
        return true;
    }
    std::uint32_t scope = 0;
    if (IsLinkLocalIpv6(octets)) {
        scope = ZoneNumber(zone);
        if (scope == 0 && !zone.empty() && indexOf != nullptr) scope = indexOf(zone);
        // Without its interface a link-local address reaches nothing.
        if (scope == 0) return false;
    }
    out = Endpoint::V6(octets, out.port, scope);
    return true;
}

}  // namespace quillet
