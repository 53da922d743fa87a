// One UDP socket of the socket table: created, bound to a local port on all
// interfaces, with one destination address, blocking.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>

namespace quillet {

// An IPv4 address as four octets in text order, and a port.
struct Ipv4Endpoint {
    std::uint8_t octets[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;
};

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates the socket. False on failure.
    bool Create();
    // Binds to all interfaces on `port`. False on failure (no socket, port held
    // by another program, no privilege). Never sets SO_REUSEADDR, so a second
    // holder of the port fails. `receiveBuffer` > 0 asks for a larger receive
    // queue (datagrams that arrive during a stall are kept, not dropped).
    bool Bind(std::uint16_t port, int receiveBuffer = 0);
    // Binds to `address`:`port` (tests use loopback).
    bool BindTo(const Ipv4Endpoint& local, int receiveBuffer = 0);
    bool IsBound() const { return bound_; }
    // The system's error number (errno) of the last failed Create or Bind;
    // a Bind without a socket keeps the one of the failed Create.
    int LastError() const { return lastError_; }
    // Takes over the socket of `other`, bound or not, with its destination
    // and last error; `other` is left without one. Neither may be in use by
    // another thread.
    void TakeOver(UdpSocket& other);

    void SetDestination(const Ipv4Endpoint& destination) { destination_ = destination; }
    const Ipv4Endpoint& Destination() const { return destination_; }

    // Sends one datagram to the destination. Returns the count sent or -1.
    int Send(const std::uint8_t* data, std::size_t length);
    // Sends one datagram to `to` (an answer to whoever sent a datagram).
    // Returns the count sent or -1. Safe to call from a thread other than the
    // one receiving on the socket.
    int SendTo(const Ipv4Endpoint& to, const std::uint8_t* data, std::size_t length);
    // Waits for one datagram and copies at most `capacity` bytes. Returns its
    // size, or -1 on failure; a socket that was never bound fails at once
    // (there is nothing it could receive). Returns -1 after Shutdown().
    int Receive(std::uint8_t* buffer, std::size_t capacity);
    // As Receive, and `sender` receives the datagram's source address and
    // port (left as it was when the receive fails).
    int ReceiveFrom(std::uint8_t* buffer, std::size_t capacity, Ipv4Endpoint& sender);
    // Waits at most `timeoutMs` (tests). Returns -2 on time-out.
    int ReceiveWithin(std::uint8_t* buffer, std::size_t capacity, int timeoutMs);
    // Wakes a thread blocked in Receive; later receives fail.
    void Shutdown();
    void Close();

    // The local port actually bound (useful after binding port 0).
    std::uint16_t LocalPort() const;

private:
    int fd_ = -1;
    std::atomic<bool> bound_{false};
    int lastError_ = 0;
    Ipv4Endpoint destination_;
};

}  // namespace quillet

namespace quillet {

// Readies the socket layer once per process (Windows Sockets needs it; POSIX
// has nothing to do). 0 when ready.
int StartSocketLayer();

}  // namespace quillet
