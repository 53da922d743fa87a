#include "platform/Interfaces.h"

#include <net/if.h>

#include <string>

namespace quillet {

std::uint32_t InterfaceIndex(std::string_view name) {
    if (name.empty() || name.size() >= IF_NAMESIZE) return 0;
    const std::string text(name);
    if (const unsigned index = ::if_nametoindex(text.c_str()); index != 0) return index;
    std::uint32_t number = 0;
    for (const char c : name) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
    }
    char known[IF_NAMESIZE];
    return ::if_indextoname(number, known) != nullptr ? number : 0;
}

bool InterfaceName(std::uint32_t index, char (&name)[16]) {
    static_assert(sizeof name >= IF_NAMESIZE);
    if (index == 0 || ::if_indextoname(index, name) == nullptr) {
        name[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace quillet
