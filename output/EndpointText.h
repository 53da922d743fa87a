// An endpoint as the pane and the log show it: "192.0.2.2:161" for IPv4 and
// "[2001:db8::2]:161" for IPv6, the address in the canonical text of
// RFC 5952 (lower-case hexadecimal, no leading zeros, the longest run of two
// or more zero groups as "::", the first of equal runs).
#pragma once

#include <string>

#include "output/Endpoint.h"

namespace quillet {

// The address alone: "192.0.2.2", "2001:db8::2", "fe80::1%2" (a link-local
// address with its zone, the interface index).
void AppendEndpointAddress(std::string& out, const Endpoint& endpoint);
// The address and the port, an IPv6 address in brackets.
void AppendEndpoint(std::string& out, const Endpoint& endpoint);

}  // namespace quillet
