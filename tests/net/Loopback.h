// 127.0.0.1, the address the socket tests bind and send to.
#pragma once

#include <cstdint>

#include "platform/UdpSocket.h"

namespace quillet {

inline Endpoint Loopback(std::uint16_t port = 0) {
    return Endpoint::V4(127, 0, 0, 1, port);
}

}  // namespace quillet
