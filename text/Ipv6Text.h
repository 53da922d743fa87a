// IPv6 literal text, as the agent field takes it: the address in any form
// RFC 4291 allows ("2001:db8::1", "::ffff:192.0.2.1", upper or lower case),
// optionally in brackets, and for a link-local address the zone after "%"
// ("fe80::1%eth0", RFC 4007).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

// Longest zone text accepted: an interface name (IFNAMSIZ - 1) or its index.
constexpr std::size_t kZoneTextLimit = 15;

// Parses `text` into the sixteen octets of the address and the zone text
// (empty when none was given). Fails (returns false, outputs untouched) on
// anything else: blanks, an unclosed bracket, an empty or overlong zone, a
// zone with a character other than letters, digits, ".", "_" and "-", or a
// zone on an address that is not link-local (fe80::/10), since only there
// does it choose anything.
bool ParseIpv6Literal(std::string_view text, std::uint8_t out[16], std::string& zone);

// True for a link-local unicast address (fe80::/10): it can be reached only
// through an interface named by its zone.
bool IsLinkLocalIpv6(const std::uint8_t address[16]);

}  // namespace quillet
