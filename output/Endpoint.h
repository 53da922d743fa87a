// Where a datagram comes from or goes to: an IPv4 or IPv6 address and a UDP
// port, as a value the core can compare and keep without sockets.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace quillet {

struct Endpoint {
    // 4 (IPv4: the first four octets of `address`) or 6 (all sixteen).
    std::uint8_t family = 4;
    std::array<std::uint8_t, 16> address{};
    // The zone of an IPv6 link-local address (an interface index); 0 otherwise.
    std::uint32_t scope = 0;
    std::uint16_t port = 0;

    static Endpoint V4(const std::uint8_t octets[4], std::uint16_t port) {
        Endpoint endpoint;
        std::memcpy(endpoint.address.data(), octets, 4);
        endpoint.port = port;
        return endpoint;
    }
    const std::uint8_t* V4Octets() const { return address.data(); }

    friend bool operator==(const Endpoint& a, const Endpoint& b) {
        return a.family == b.family && a.address == b.address && a.scope == b.scope && a.port == b.port;
    }
    friend bool operator!=(const Endpoint& a, const Endpoint& b) { return !(a == b); }
    friend bool operator<(const Endpoint& a, const Endpoint& b) {
        if (a.family != b.family) return a.family < b.family;
        if (a.address != b.address) return a.address < b.address;
        if (a.scope != b.scope) return a.scope < b.scope;
        return a.port < b.port;
    }
};

}  // namespace quillet
