// One UDP socket of the socket table: created, bound to a local port on all
// interfaces, with one destination address, blocking.
//
// The socket is dual-stack: an IPv6 socket that also carries IPv4
// (IPV6_V6ONLY off), so one socket per port hears and answers both
// families. Where the host has IPv6 disabled it is an IPv4 socket and an
// IPv6 peer is refused (EAFNOSUPPORT). Either way an IPv4 peer is an IPv4
// Endpoint, never the IPv4-mapped IPv6 address the dual-stack socket names it by.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "output/Endpoint.h"
#include "platform/ReservedMemory.h"

namespace quillet {

// Buffers for UdpSocket::ReceiveBatch: `slots` datagrams of up to
// `slotSize` bytes each, with their senders and the socket's drop counter.
// Made once and reused, so that receiving allocates nothing. The first page
// of every slot is resident from the start; the rest of a slot costs memory
// once a datagram that long lands in it, until GiveBack.
class ReceiveBatchBuffers {
public:
    ReceiveBatchBuffers(int slots, std::size_t slotSize);
    ~ReceiveBatchBuffers();
    ReceiveBatchBuffers(const ReceiveBatchBuffers&) = delete;
    ReceiveBatchBuffers& operator=(const ReceiveBatchBuffers&) = delete;

    int Slots() const { return slots_; }
    // Datagram i of the last ReceiveBatch (i below its result).
    const std::uint8_t* Data(int i) const;
    int Size(int i) const;
    const Endpoint& Sender(int i) const;
    // The socket's count of datagrams dropped by the kernel (a 32-bit counter
    // that wraps) as it stood when datagram i was queued, with those the
    // receives dropped before it (DropFrom); a group's: its sockets' counts
    // added up.
    std::uint32_t DropCounter(int i) const;
    // When the kernel received datagram i, in nanoseconds of the system's
    // clock (0 where the system does not tell): datagrams taken from one
    // socket by two threads at once can be put back in arrival order.
    std::int64_t ArrivalNs(int i) const;

    // Fills slot i as a receive would (at most the slot's size is copied):
    // for sources of datagrams other than a socket, such as a test's.
    void Set(int i, const std::uint8_t* data, int size, const Endpoint& sender, std::uint32_t dropCounter,
             std::int64_t arrivalNs);

    // Hands the pages of every slot but its first back to the system (long
    // datagrams took them); the datagrams held are lost. Nothing is done
    // when no datagram longer than a page came since the last GiveBack.
    void GiveBack();

    // From the next receive on, the first `wholeSlots` slots take any
    // datagram whole, and in the others a datagram of `bytes` or more is not
    // copied in but dropped, and counted in the socket's drop counter, so
    // that its loss is said as a kernel drop's is (`bytes` 0: every datagram
    // is taken whole). For a receiver whose queue would refuse such a
    // datagram anyway: the socket's datagrams are taken in order either
    // way, and a flood of long ones then costs it no copying.
    void DropFrom(std::size_t bytes, int wholeSlots) {
        dropFrom_ = bytes;
        wholeSlots_ = wholeSlots;
    }
private:
    friend class UdpSocket;
    struct Impl;
    // Whether slot i drops long datagrams (DropFrom).
    bool Drops(int i) const { return dropFrom_ > 0 && i >= wholeSlots_; }
    int slots_;
    std::size_t dropFrom_ = 0;
    int wholeSlots_ = 0;
    std::unique_ptr<Impl> impl_;
};

class UdpSocket {
public:
    UdpSocket();
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates the socket: dual-stack, or IPv4 where the host has no IPv6.
    // False on failure.
    bool Create();
    // True when the socket carries IPv6 (and IPv4) datagrams.
    bool IsDualStack() const { return family_ == 6; }
    // Binds to all interfaces on `port`, both families. False on failure (no socket, port held
    // by another program, no privilege). Never sets SO_REUSEADDR, so a second
    // holder of the port fails. `receiveBuffer` > 0 asks for that receive
    // queue (datagrams that arrive during a stall are kept, not dropped);
    // beyond the system's limit it is granted only to a process that may
    // raise that limit, others get the limit.
    //
    // `sockets` > 1 binds that many sockets to the port as one group, each
    // with that receive queue, so that a stall is ridden out with that many
    // times the limit: the kernel spreads the port's datagrams over them
    // (SO_REUSEPORT, at random), and ReceiveBatch takes from all of them, in
    // arrival order. Only the same user could join such a group, and a port
    // already held, by anyone, still fails the bind (a plain socket is bound
    // to it first, as a probe). Sends go from the first socket.
    bool Bind(std::uint16_t port, int receiveBuffer = 0, int sockets = 1);
    // Binds to `address`:`port` (tests use loopback): an unspecified
    // address (0.0.0.0 or ::) is all interfaces, both families; any other
    // address only its own family.
    bool BindTo(const Endpoint& local, int receiveBuffer = 0, int sockets = 1);
    // How many sockets are bound to the port (see Bind), at most
    // kMostGroupSockets.
    int GroupSize() const;
    static constexpr int kMostGroupSockets = 16;
    bool IsBound() const { return bound_; }
    // The system's error number (errno) of the last failed Create or Bind;
    // a Bind without a socket keeps the one of the failed Create.
    int LastError() const { return lastError_; }
    // Takes over the socket of `other`, bound or not, with its destination
    // and last error; `other` is left without one. Neither may be in use by
    // another thread.
    void TakeOver(UdpSocket& other);

    void SetDestination(const Endpoint& destination) { destination_ = destination; }
    const Endpoint& Destination() const { return destination_; }

    // Sends one datagram to the destination. Returns the count sent or -1,
    // and then the system's error number in `error` when it is given.
    int Send(const std::uint8_t* data, std::size_t length, int* error = nullptr);
    // Sends one datagram to `to` (an answer to whoever sent a datagram).
    // As Send. Safe to call from a thread other than the one receiving on
    // the socket.
    int SendTo(const Endpoint& to, const std::uint8_t* data, std::size_t length, int* error = nullptr);
    // Waits for one datagram and copies at most `capacity` bytes. Returns its
    // size, or -1 on failure; a socket that was never bound fails at once
    // (there is nothing it could receive). Returns -1 after Shutdown().
    int Receive(std::uint8_t* buffer, std::size_t capacity);
    // As Receive, and `sender` receives the datagram's source address and
    // port (left as it was when the receive fails).
    int ReceiveFrom(std::uint8_t* buffer, std::size_t capacity, Endpoint& sender);
    // Waits at most `timeoutMs` (tests). Returns -2 on time-out.
    int ReceiveWithin(std::uint8_t* buffer, std::size_t capacity, int timeoutMs);
    // Waits up to `waitMs` for a datagram (0: not at all), then takes every
    // datagram already queued, up to the slots of `buffers`, in one system
    // call (one a socket of a group; two threads may take from a group at
    // once, but one of them then takes nothing, rather than wait). Returns
    // how many were taken, 0 when none came within `waitMs`, -1 on failure
    // (as Receive). A datagram longer than a slot is cut to
    // the slot's size; one the buffers drop (DropFrom) is not among those
    // taken. Each datagram comes with the kernel's drop counter
    // and its arrival time (asked for when the socket is bound). `most` > 0
    // takes at most that many (fewer slots, fewer pages written to).
    int ReceiveBatch(ReceiveBatchBuffers& buffers, int waitMs, int most = 0);
    // Whether the last ReceiveBatch from a group took as many datagrams as
    // it had slots for, however few of them it returned (kept back for their
    // order): as a lone socket's full batch, it says more may wait. Always
    // false for a lone socket, whose count says it.
    bool MoreWaiting() const;
    // Waits up to `waitMs` until a datagram is queued (or kept back by a
    // group for its order), without taking it.
    // Returns 1 when one is (or the socket was shut down meanwhile: the
    // next receive tells), 0 on time-out, -1 on failure (as Receive).
    int WaitReadable(int waitMs);
    // The kernel's drop counter of the socket now (see DropCounter; a
    // group's adds up its sockets'), with the datagrams that receives
    // dropped (DropFrom). False when the system cannot tell.
    bool ReadDropCounter(std::uint32_t& counter) const;
    // The receive buffer the kernel really gave the socket (the first of a
    // group), in bytes.
    int ReceiveBufferBytes() const;


    // Wakes a thread blocked in Receive; later receives fail.
    void Shutdown();
    void Close();

    // The local port actually bound (useful after binding port 0).
    std::uint16_t LocalPort() const;

private:
    struct Group;
    bool BindGroup(const void* address, unsigned length, int receiveBuffer, int sockets);
    int ReceiveFromGroup(ReceiveBatchBuffers& buffers, int slots);

    int fd_ = -1;
    std::unique_ptr<Group> group_;  // the other sockets of a group, and its order
    std::atomic<bool> bound_{false};
    int lastError_ = 0;
    int batchWaitMs_ = -1;  // the receive time-out set for ReceiveBatch
    std::atomic<std::uint32_t> dropped_{0};  // a lone socket's datagrams that receives dropped (DropFrom)
    int family_ = 0;        // 6: dual-stack, 4: IPv4 only, 0: no socket
    Endpoint destination_;
};

}  // namespace quillet

namespace quillet {

// Readies the socket layer once per process (Windows Sockets needs it; POSIX
// has nothing to do). 0 when ready.
int StartSocketLayer();

// The system's text for the error number of a failed socket call, in
// English (for example "Network is unreachable").
std::string SocketErrorText(int error);

}  // namespace quillet
