// The agent field: where requests go. An IPv4 address as the classic dotted
// conversion reads it (request/Ipv4Text.h), or an IPv6 literal
// (text/Ipv6Text.h); an IPv4-mapped IPv6 address is the IPv4 address it
// carries, as the console's sockets see such a peer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "output/Endpoint.h"

namespace quillet {

// The index of the network interface named `name`, 0 when there is none
// (the platform's if_nametoindex; tests give their own).
using InterfaceIndexOf = std::uint32_t (*)(const std::string& name);

// Fills `out` (port left as it was) from `text`. A link-local IPv6 address
// needs its zone, a name that `indexOf` knows or an index in decimal; other
// IPv6 addresses take none. False (`out` untouched) when the text is no
// such address.
bool ParseAgentAddress(std::string_view text, InterfaceIndexOf indexOf, Endpoint& out);

}  // namespace quillet
