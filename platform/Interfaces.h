// The host's network interfaces by name and by index: the zone of a
// link-local IPv6 address ("fe80::1%eth0") is an interface.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillet {

// The index of the interface named `name` ("eth0"), or of the number
// `name` spells ("2", as RFC 4007 allows a zone to be written) when that
// interface exists; 0 when there is none.
std::uint32_t InterfaceIndex(std::string_view name);

// Writes the name of interface `index` into `name` (NUL-terminated). False,
// `name` emptied, when there is no such interface.
bool InterfaceName(std::uint32_t index, char (&name)[16]);

}  // namespace quillet
