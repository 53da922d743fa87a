// The number reader shared by the response and trap scans: 1 to 4 octets read
// as a big-endian unsigned 32-bit number; any other count gives 0. There is no
// sign extension: only a four-octet value can have its top bit set.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet {

constexpr std::uint32_t ReadNumber(const std::uint8_t* octets, std::size_t count) {
    if (count < 1 || count > 4) return 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = (value << 8) | octets[i];
    return value;
}

}  // namespace quillet
