#include "text/Ipv6Text.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace quillet {
namespace {

// Longest address text: eight groups of four and seven colons, or six
// groups with a dotted IPv4 tail.
constexpr std::size_t kAddressTextLimit = 45;

bool IsZoneCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

}  // namespace

bool IsLinkLocalIpv6(const std::uint8_t address[16]) { return address[0] == 0xFE && (address[1] & 0xC0) == 0x80; }

bool ParseIpv6Literal(std::string_view text, std::uint8_t out[16], std::string& zone) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
    std::string_view zoneText;
    const std::size_t percent = text.find('%');
    if (percent != std::string_view::npos) {
        zoneText = text.substr(percent + 1);
        text = text.substr(0, percent);
        if (zoneText.empty() || zoneText.size() > kZoneTextLimit ||
            !std::all_of(zoneText.begin(), zoneText.end(), IsZoneCharacter))
            return false;
    }
    if (text.empty() || text.size() > kAddressTextLimit || text.find(':') == std::string_view::npos) return false;
    // inet_pton reads the RFC 4291 forms strictly: no blanks, no brackets,
    // no leading "0x", at most four digits a group.
    char address[kAddressTextLimit + 1];
    std::memcpy(address, text.data(), text.size());
    address[text.size()] = '\0';
    std::uint8_t octets[16];
    if (::inet_pton(AF_INET6, address, octets) != 1) return false;
    if (!zoneText.empty() && !IsLinkLocalIpv6(octets)) return false;
    std::memcpy(out, octets, 16);
    zone.assign(zoneText);
    return true;
}

}  // namespace quillet
