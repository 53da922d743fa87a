// ICMP echo messages of the reachability test: the checksum, the echo
// request and the reading of whatever datagram comes back, with the exact
// line text each one gives in the pane. ICMP for IPv4 and ICMPv6 alike
// (RFC 4443: echo request 128, reply 129, destination unreachable 1, time
// exceeded 3), with the same lines. Pure functions over byte spans: no
// sockets, no threads, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

// ICMP of IPv4, or ICMPv6.
enum class IcmpFamily { V4, V6 };

// The family an agent text is pinged over: ICMPv6 for a text with a colon
// (an IPv6 literal), ICMP otherwise.
IcmpFamily IcmpFamilyOf(std::string_view addressText);

// Fixed parameters of one ping run.
inline constexpr int kEchoCount = 3;             // echoes per run, numbered 0, 1, 2
inline constexpr int kEchoSize = 40;             // ICMP header (8) and data (32) of each request
inline constexpr int kEchoBufferSize = 1500;     // request buffer and receive buffer
inline constexpr int kEchoTimeToLive = 128;      // TTL of the outgoing datagrams
inline constexpr int kEchoTimeoutMs = 500;       // send and receive time-out of each echo
inline constexpr int kEchoPauseMs = 1;           // pause before each echo
inline constexpr std::uint8_t kEchoDataByte = 0x58;  // "X"

// The fixed lines of a run, as they appear in the pane.
inline constexpr std::string_view kPingFinishedLine = "Pinging was finished";
inline constexpr std::string_view kPingTerminatedLine = "Pinging was terminated by user";
inline constexpr std::string_view kRequestTimedOutLine = "Request timed out.";
inline constexpr std::string_view kSocketFailedLine = "socket(SOCK_RAW,IPPROTO_ICMP) faild.";
inline constexpr std::string_view kSendTimeoutFailedLine = "setsockopt(SO_SNDTIMEO) faild.";
inline constexpr std::string_view kReceiveTimeoutFailedLine = "setsockopt(SO_RCVTIMEO) faild.";
inline constexpr std::string_view kTimeToLiveFailedLine = "setsockopt(IP_TTL) faild.";
inline constexpr std::string_view kSendFailedLine = "sendto() faild.";
inline constexpr std::string_view kReceiveFailedLine = "recvfrom() faild.";
inline constexpr std::string_view kUnreachableLine = "Distnation Unreacheble.";
inline constexpr std::string_view kTimeExceededLine = "TTL";

// The Internet checksum (RFC 1071) of `length` bytes, returned as the 16-bit
// value that is stored least significant byte first: the low byte goes to
// offset 2 of an ICMP message, the high byte to offset 3, which gives the
// same two bytes as the standard checksum written in network order. A last
// odd byte counts as if a zero byte followed it. A null `data` or a length
// <= 0 is the empty message (0xFFFF).
std::uint16_t IcmpChecksum(const std::uint8_t* data, int length);

// Writes an echo request of `size` bytes at `buffer`: type 8, code 0,
// identifier and sequence as 16-bit values least significant byte first,
// `size` - 8 data bytes of 0x58, then the checksum over the whole message.
// For ICMPv6 the type is 128 and the checksum is left 0: it covers the
// addresses of the IPv6 header too, and the kernel fills it in.
// Returns the count written (= size), or 0 when size < 8 or size > capacity,
// in which case the buffer is left untouched. Only the low 16 bits of
// `sequence` and `identifier` are kept.
std::size_t BuildEchoRequest(std::uint8_t* buffer, std::size_t capacity, int size, int sequence, int identifier,
                             IcmpFamily family = IcmpFamily::V4);

// What one received datagram gives in the pane.
enum class EchoVerdict {
    NoLine,        // an echo reply for another echo, or a datagram too short to be read
    Reply,         // the reply to the echo being waited for
    Unreachable,   // ICMP type 3, ICMPv6 type 1
    TimeExceeded,  // ICMP type 11, ICMPv6 type 3
    OtherType,     // any other type
};

struct EchoReading {
    EchoVerdict verdict = EchoVerdict::NoLine;
    int type = -1;   // ICMP type, -1 when not readable
    int bytes = 0;   // Reply: the size shown (IP total length - IP header length - 12)
    int ttl = 0;     // Reply: time to live of the reply
};

// Reads a datagram received on a raw ICMP socket, which begins with the IPv4
// header: header length from the low 4 bits of byte 0 (in 32-bit words),
// total length from bytes 2-3 (most significant first), TTL from byte 8; the
// ICMP message follows the header. An echo reply (type 0) is the Reply when
// its identifier (ICMP bytes 4-5, least significant byte first) equals
// `echoNumber`, else NoLine. Nothing past `length` is read: a datagram
// shorter than 20 bytes, a header length below 5 words, no ICMP type byte
// behind the header, or an echo reply without its full 8-byte ICMP header
// gives NoLine, as an unreadable answer is best treated like one that is
// not ours.
EchoReading ReadEchoReplyWithIpHeader(const std::uint8_t* data, std::size_t length, int echoNumber);

// Reads a datagram received on the unprivileged echo socket, which hands
// over the ICMP message alone: the kernel has put its own identifier into
// the request, so a reply is matched by its sequence number (ICMP bytes
// 6-7, least significant byte first) against `echoNumber`. `ttl` is the
// reply's time to live as reported beside the datagram. The size shown is
// what the IPv4 form would show for a 20-byte header: the ICMP length - 12.
// An empty datagram, or an echo reply shorter than 8 bytes, gives NoLine.
// Every ICMPv6 socket hands the message over this way (with the hop limit
// as `ttl`); there an echo reply is type 129.
EchoReading ReadEchoReplyWithoutIpHeader(const std::uint8_t* data, std::size_t length, int echoNumber, int ttl,
                                         IcmpFamily family = IcmpFamily::V4);

// The verdict for an ICMP error (type 3, 11 or other) that the unprivileged
// echo socket reports beside its datagrams instead of handing it over.
// An echo reply's type (which never arrives this way) gives NoLine.
EchoReading ReadIcmpErrorReport(int type, IcmpFamily family = IcmpFamily::V4);

// The pane line for a reading: "Reply from %s bytes=%d time=%dms TTL=%d"
// with `addressText` as it stands, "Distnation Unreacheble.", "TTL" or
// "CMTP TYPE=%d"; nothing for NoLine.
std::optional<std::string> EchoReadingLine(const EchoReading& reading, std::string_view addressText, int elapsedMs);

// "Pinging [%s] with %d bytes of data:".
std::string PingingLine(std::string_view addressText, int size);

}  // namespace quillet
