// IPv6 address text: reading an address literal and writing the canonical
// form of RFC 5952. Pure functions; the zone of a link-local address
// ("fe80::1%eth0") is split off by whoever knows the interfaces.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

// Longest IPv6 address text accepted, without a zone: eight groups of four
// digits and seven colons, or six groups and a dotted IPv4 tail.
constexpr std::size_t kIpv6TextLimit = 45;

// Reads an IPv6 address literal as RFC 4291 section 2.2 writes it: up to
// eight groups of one to four hexadecimal digits (either case) separated by
// ":", at most one "::" standing for one or more zero groups, and the last
// two groups optionally written as a dotted IPv4 address (four decimal
// parts of 0..255 without leading zeros). No blanks, brackets, prefix
// length or zone. False, `out` untouched, for anything else.
bool ParseIpv6(std::string_view text, std::array<std::uint8_t, 16>& out);

// Appends the canonical text of RFC 5952 section 4: lower case, no leading
// zeros in a group, the longest run of two or more zero groups (the first
// of equally long runs) written as "::", and an IPv4-mapped address
// (::ffff:0:0/96) with its last 32 bits as a dotted IPv4 address.
void AppendIpv6(std::string& out, const std::array<std::uint8_t, 16>& address);

}  // namespace quillet
