// The socket of one ICMP echo, and the signal that breaks its wait.
//
// Open() gives root a raw ICMP socket, whose datagrams begin with the IPv4
// header, filtered so that echo requests (the host's own, when it pings
// itself) never reach it. Any other user (and root where raw sockets are
// refused) gets the kernel's unprivileged echo socket, which needs no
// capability; the kernel allows it where the user's group lies in
// net.ipv4.ping_group_range (elsewhere Open() fails with SocketRefused). On
// that socket the kernel puts its own identifier into each request, hands
// each reply without the IP header, reports the reply's TTL beside the
// datagram and ICMP errors about our echoes in an error queue instead of as
// datagrams. Kind() says which one was opened, so the caller reads the
// datagram in the right form.
//
// Opened for IPv6, the same two kinds are ICMPv6 sockets (the unprivileged
// one allowed by the same net.ipv4.ping_group_range); both hand over the
// ICMPv6 message without the IPv6 header, the hop limit beside it, and the
// raw one lets only echo replies and error messages through (no neighbour
// discovery, no echo requests).
//
// One IcmpSocket is used by one thread; only PingStopSignal::Signal() may
// be called from another.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quillet {

// A flag another thread raises to end a waiting IcmpSocket::Receive at once.
// Once raised it stays raised. Open() must have succeeded before Signal() or
// Receive() can use it; Signal() on a closed one only raises the flag.
class PingStopSignal {
public:
    PingStopSignal() = default;
    ~PingStopSignal();
    PingStopSignal(const PingStopSignal&) = delete;
    PingStopSignal& operator=(const PingStopSignal&) = delete;

    // Creates the wake-up channel. False when the system refuses it.
    bool Open();
    // Raises the flag and wakes a Receive waiting on this signal. Any thread.
    void Signal();
    bool Raised() const { return raised_.load(); }

private:
    friend class IcmpSocket;
    std::atomic<bool> raised_{false};
    int readFd_ = -1;
    int writeFd_ = -1;
};

enum class IcmpSocketKind { None, Raw, Datagram };

// Why Open() failed, in the order the steps are taken.
enum class IcmpOpenResult {
    Opened,
    SocketRefused,          // neither socket could be created
    SendTimeoutRefused,     // SO_SNDTIMEO
    ReceiveTimeoutRefused,  // SO_RCVTIMEO
    TimeToLiveRefused,      // IP_TTL
};

struct IcmpReceipt {
    enum class Status {
        Datagram,   // `length` bytes were copied into the buffer
        IcmpError,  // Datagram kind only: the kernel reported an ICMP error of type `icmpType`
        TimedOut,   // nothing arrived within the time-out
        Stopped,    // the stop signal was raised
        Failed,     // the receive failed (or the socket is not open)
    };
    Status status = Status::Failed;
    std::size_t length = 0;
    int ttl = -1;       // Datagram kind: the reply's TTL from the control message, -1 if none came
    int icmpType = -1;  // IcmpError: the ICMP type
};

class IcmpSocket {
public:
    IcmpSocket() = default;
    ~IcmpSocket();
    IcmpSocket(const IcmpSocket&) = delete;
    IcmpSocket& operator=(const IcmpSocket&) = delete;

    // Creates the socket (raw for root, else the unprivileged echo socket, so
    // a process that is not root never uses a raw one) and sets the
    // send and receive time-outs to `timeoutMs` and the outgoing TTL to `ttl`.
    // Never sets SO_BROADCAST. On any failure the socket is closed again and
    // the result names the step that failed.
    // `ipv6`: an ICMPv6 socket, `ttl` its hop limit.
    IcmpOpenResult Open(int ttl, int timeoutMs, bool ipv6 = false);
    IcmpSocketKind Kind() const { return kind_; }

    // Sends `length` bytes to the address that inet_addr makes of
    // `addressText` as it stands, port 0. A text that is not an address
    // becomes 255.255.255.255, which the kernel refuses on a socket without
    // SO_BROADCAST. An ICMPv6 socket reads `addressText` as an IPv6
    // literal, with a zone for a link-local one ("fe80::1%eth0"); a text
    // that is none is not sent. True when the whole message was sent.
    bool SendTo(const std::string& addressText, const std::uint8_t* data, std::size_t length);

    // Waits at most `timeoutMs` for one datagram (or, on the Datagram kind,
    // one reported ICMP error) and copies at most `capacity` bytes of it.
    // Returns Stopped as soon as `stop` is raised, if it is given; `stop` must
    // have been opened.
    IcmpReceipt Receive(std::uint8_t* buffer, std::size_t capacity, int timeoutMs, const PingStopSignal* stop);

    void Close();

private:
    int fd_ = -1;
    IcmpSocketKind kind_ = IcmpSocketKind::None;
    bool ipv6_ = false;
};

}  // namespace quillet
