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
    // An IPv6 endpoint; an IPv4-mapped address (::ffff:a.b.c.d, how a
    // dual-stack socket names an IPv4 peer) becomes the IPv4 endpoint, so
    // that one peer has one value whichever socket heard it.
    static Endpoint V6(const std::array<std::uint8_t, 16>& octets, std::uint32_t scope, std::uint16_t port) {
        static constexpr std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        if (std::memcmp(octets.data(), kMappedPrefix, sizeof kMappedPrefix) == 0) return V4(octets.data() + 12, port);
        Endpoint endpoint;
        endpoint.family = 6;
        endpoint.address = octets;
        endpoint.scope = scope;
        endpoint.port = port;
        return endpoint;
    }
    const std::uint8_t* V4Octets() const { return address.data(); }
    bool IsV6() const { return family == 6; }
    // An unspecified address (0.0.0.0 or ::): "any" for a bind.
    bool IsUnspecified() const {
        for (std::size_t i = 0; i < (IsV6() ? 16u : 4u); ++i)
            if (address[i] != 0) return false;
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
