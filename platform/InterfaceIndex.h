// Network interfaces by name, for the zone of a link-local IPv6 address.
#pragma once

#include <cstdint>
#include <string>

namespace quillet {

// The index of the interface named `name` ("eth0"), 0 when there is none.
std::uint32_t InterfaceIndex(const std::string& name);

}  // namespace quillet
