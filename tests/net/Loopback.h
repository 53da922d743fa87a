// 127.0.0.1, the address the socket tests bind and send to.
#pragma once

#include <cstdint>

#include "platform/UdpSocket.h"

namespace quillet {

inline Ipv4Endpoint Loopback(std::uint16_t port = 0) {
    Ipv4Endpoint endpoint;
    endpoint.octets[0] = 127;
    endpoint.octets[3] = 1;
    endpoint.port = port;
    return endpoint;
}

}  // namespace quillet
