// Names of the SNMPv1 generic-trap values, as the "  TRAP-TYPE=" line shows
// them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

// The name of generic-trap 0..6 ("coldStart" .. "enterpriseSpecific"); an
// empty view for any other value.
std::string_view GenericTrapName(std::int32_t genericTrap);

// Appends the name of the value to `out`, or its signed decimal text when
// the value has no name, so that a foreign trap type still shows something.
void AppendTrapType(std::string& out, std::int32_t genericTrap);

}  // namespace quillet
