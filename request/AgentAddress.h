// The agent field: where requests go, an IPv4 address or an IPv6 literal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "output/Endpoint.h"

namespace quillet {

// The interface index of a zone name ("eth0"), 0 when there is no such
// interface: the platform's InterfaceIndex, or a test's stand-in.
using ZoneIndexer = std::uint32_t (*)(std::string_view zone);

// Longest agent text accepted: an IPv6 literal, "%" and an interface name.
constexpr std::size_t kAgentAddressTextLimit = 45 + 1 + 15;

// Reads the agent field into `out` (port 0, for the caller to set) and
// `shown`, the text the window and the log then name the agent by:
//   - an IPv4 address as ParseIpv4 reads it (shown as typed);
//   - else an IPv6 literal (ParseIpv6), shown in RFC 5952's canonical form;
//     an IPv4-mapped one (::ffff:192.0.2.1) is the IPv4 address and shown
//     dotted. A link-local address (fe80::/10) needs its zone, "%" and an
//     interface name or index that `zoneIndex` knows ("fe80::1%eth0", shown
//     with the zone as typed); no other address may carry one.
// False, `out` and `shown` untouched, for anything else; a null `zoneIndex`
// refuses every zone.
bool ParseAgentAddress(std::string_view text, ZoneIndexer zoneIndex, Endpoint& out, std::string& shown);

}  // namespace quillet
