#include "platform/InterfaceIndex.h"

#include <net/if.h>

namespace quillet {

std::uint32_t InterfaceIndex(const std::string& name) { return ::if_nametoindex(name.c_str()); }

}  // namespace quillet
