// Writing BER headers in the shortest form, as net-snmp writes them: the
// length in one octet below 0x80, else 0x80 + n and n octets big-endian.
// (The request encoder keeps its own fixed 82 hi lo form.)
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet {

// Octets of the shortest length field for `length`.
constexpr std::size_t LengthFieldSize(std::size_t length) {
    if (length < 0x80) return 1;
    if (length <= 0xFF) return 2;
    if (length <= 0xFFFF) return 3;
    return 4;
}

// Writes `tag` and the shortest length field for `length` at `at`; returns
// the octets written (1 + LengthFieldSize(length)), which `at` must hold.
inline std::size_t PutHeader(std::uint8_t* at, std::uint8_t tag, std::size_t length) {
    at[0] = tag;
    const std::size_t field = LengthFieldSize(length);
    if (field == 1) {
        at[1] = static_cast<std::uint8_t>(length);
    } else {
        at[1] = static_cast<std::uint8_t>(0x80 + field - 1);
        for (std::size_t i = 0; i < field - 1; ++i)
            at[2 + i] = static_cast<std::uint8_t>(length >> (8 * (field - 2 - i)));
    }
    return 1 + field;
}

}  // namespace quillet
