// Which datagrams taken from a group of sockets bound to one port may be
// handed on, so that they go on in the order they arrived.
//
// The kernel spreads a port's datagrams over the group's sockets; each
// socket keeps its own in the order they came. A take visits the sockets one
// after the other, so a datagram that came to a socket after that socket was
// visited may be older than one taken from a socket visited later. A taken
// datagram is handed on only once nothing older can still wait in any
// socket: for each other socket, that socket was found empty after the
// datagram was taken, or a datagram at least as young was taken from it.
// The rest are kept for the next take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillet {

struct GroupTaken {
    std::int64_t arrivalNs;  // the kernel's arrival time
    int socket;              // which socket of the group it came from
    int step;                // when it was taken in this take (-1: kept from an earlier take)
};

// `taken` is in arrival order. `emptiedAt[k]` is the step at which socket k
// was last found empty in this take (-1: not found empty), `latestNs[k]` the
// arrival time of the youngest datagram ever taken from socket k. Returns how
// many of the first entries of `taken` may be handed on.
std::size_t HandOnCount(const std::vector<GroupTaken>& taken, const std::vector<int>& emptiedAt,
                        const std::vector<std::int64_t>& latestNs);

}  // namespace quillet
