// Reading the kernel's table of UDP sockets (/proc/net/udp, /proc/net/udp6)
// and the links of /proc/PID/fd, to find which program holds a port. Pure
// functions over text: the platform layer reads the files.
//
// A row of /proc/net/udp, fields separated by blanks:
//   "  365: 0100007F:00A1 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 28970 2 ..."
//    sl    local address:port (hex)                                              uid  timeout inode
// The address is in the kernel's byte order (8 hexadecimal digits for IPv4,
// 32 for IPv6), the port in 4 hexadecimal digits, most significant first.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quillet {

struct UdpSocketRow {
    std::uint16_t localPort = 0;
    std::uint32_t uid = 0;
    std::uint64_t inode = 0;  // 0: the socket is being torn down; no fd refers to it
};

// The rows of a /proc/net/udp or /proc/net/udp6 text. The heading line and
// any line that does not have the fields above in their form are skipped.
std::vector<UdpSocketRow> ParseUdpSocketTable(std::string_view text);

// The inode of a file descriptor link "socket:[28970]"; nothing for any
// other link (a file, a pipe, an anon_inode).
std::optional<std::uint64_t> SocketInodeOfLink(std::string_view link);

}  // namespace quillet
