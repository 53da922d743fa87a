// 127.0.0.1, the address the socket tests bind and send to, and ::1.
#pragma once

#include <array>
#include <cstdint>

#include "platform/UdpSocket.h"

namespace quillet {

inline Endpoint Loopback(std::uint16_t port = 0) {
    const std::uint8_t octets[4] = {127, 0, 0, 1};
    return Endpoint::V4(octets, port);
}

inline Endpoint Ipv6Loopback(std::uint16_t port = 0) {
    std::array<std::uint8_t, 16> octets{};
    octets[15] = 1;
    return Endpoint::V6(octets, 0, port);
}

}  // namespace quillet
