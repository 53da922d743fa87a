#include "trap/GenericTrapNames.h"

#include "text/DecimalText.h"

namespace quillet {
namespace {

constexpr std::string_view kGenericTrapNames[] = {
    "coldStart",
    "warmStart",
    "linkDown",
    "linkUp",
    "authenticationFailure",
    "egpNeighborLoss",
    "enterpriseSpecific",
};

}  // namespace

std::string_view GenericTrapName(std::int32_t genericTrap) {
    if (genericTrap < 0 || genericTrap >= static_cast<std::int32_t>(std::size(kGenericTrapNames))) return {};
    return kGenericTrapNames[genericTrap];
}

void AppendTrapType(std::string& out, std::int32_t genericTrap) {
    const std::string_view name = GenericTrapName(genericTrap);
    if (name.empty())
        AppendDecimal(out, genericTrap);
    else
        out.append(name);
}

}  // namespace quillet
