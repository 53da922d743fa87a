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
    static Endpoint V6(const std::uint8_t octets[16], std::uint16_t port, std::uint32_t scope = 0) {
        Endpoint endpoint;
        endpoint.family = 6;
        std::memcpy(endpoint.address.data(), octets, 16);
        endpoint.scope = scope;
        endpoint.port = port;
        return endpoint;
    }
    static Endpoint V4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint16_t port) {
        const std::uint8_t octets[4] = {a, b, c, d};
        return V4(octets, port);
    }
    bool IsV4() const { return family == 4; }
    const std::uint8_t* V4Octets() const { return address.data(); }
    // All zero: no particular address (bind to every interface).
    bool IsUnspecified() const {
        for (std::uint8_t octet : address)
            if (octet != 0) return false;
        return true;
    }

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
