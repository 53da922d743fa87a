// Why a bind of the socket table failed, as far as the system shows it: the
// processes holding the port (Linux: /proc/net/udp of this network
// namespace, then the /proc/PID/fd links that refer to the socket), or the
// missing privilege with the path of the running program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/BindFailureText.h"

namespace quillet {

// The cause of a failed bind of UDP `port` with the system error `error`
// (errno), filled in for BindFailureAdvice. Reads /proc only for a port in
// use; a holder whose descriptors this process may not read (another
// user's process, when not root) is left out.
BindFailure DescribeBindFailure(std::uint16_t port, int error);

// The processes with a descriptor on a UDP socket bound to local `port` in
// this process's network namespace, by pid, each once. IPv6 sockets count
// only when no IPv4 one holds the port (a dual-stack [::] socket also
// takes the IPv4 port).
std::vector<PortHolder> FindUdpPortHolders(std::uint16_t port);

// The absolute path of the running program; empty when the system does not
// tell.
std::string RunningExecutablePath();

}  // namespace quillet
