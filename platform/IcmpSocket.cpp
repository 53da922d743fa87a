// POSIX sockets (Linux for the unprivileged echo socket and its control
// messages).
#include "platform/IcmpSocket.h"

#include "platform/Privileges.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/errqueue.h>
#include <linux/icmp.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>

namespace quillet {
namespace {

bool SetTimeout(int fd, int option, int timeoutMs) {
    timeval value{};
    value.tv_sec = timeoutMs / 1000;
    value.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
    return ::setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

bool SetIntOption(int fd, int level, int option, int value) {
    return ::setsockopt(fd, level, option, &value, sizeof value) == 0;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Control messages are few and small: the TTL, or one extended error with
// the offender's address.
constexpr std::size_t kControlSize = 256;

// Takes one entry from the error queue of the unprivileged echo socket.
// Returns 1 and the ICMP type when it was an ICMP error about one of our
// echoes, 0 when an entry of another origin was taken, -1 when the queue
// was empty.
int TakeQueuedIcmpError(int fd, int* type) {
#ifdef __linux__
    std::uint8_t data[64];
    alignas(cmsghdr) std::uint8_t control[kControlSize];
    iovec part{data, sizeof data};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t rc;
    do {
        rc = ::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) return -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        const bool v4 = c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR;
        const bool v6 = c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR;
        if (!v4 && !v6) continue;
        sock_extended_err error;
        std::memcpy(&error, CMSG_DATA(c), sizeof error);
        const int icmpOrigin = v6 ? int{SO_EE_ORIGIN_ICMP6} : int{SO_EE_ORIGIN_ICMP};
        if (error.ee_origin != icmpOrigin) return 0;
        *type = error.ee_type;
        return 1;
    }
    return 0;
#else
    (void)fd;
    (void)type;
    return -1;
#endif
}

}  // namespace

PingStopSignal::~PingStopSignal() {
    if (readFd_ >= 0) ::close(readFd_);
    if (writeFd_ >= 0) ::close(writeFd_);
}

bool PingStopSignal::Open() {
    if (readFd_ >= 0) return true;
    int fds[2];
    // Close-on-exec from the start: a program started by another thread
    // meanwhile must not inherit the pipe.
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    readFd_ = fds[0];
    writeFd_ = fds[1];
    return true;
}

void PingStopSignal::Signal() {
    raised_.store(true);
    // The byte is never read: the pipe stays readable, so every later wait
    // ends at once too. A full pipe (second signal) needs no second byte.
    if (writeFd_ >= 0) {
        const std::uint8_t byte = 1;
        ssize_t rc;
        do {
            rc = ::write(writeFd_, &byte, 1);
        } while (rc < 0 && errno == EINTR);
    }
}

IcmpSocket::~IcmpSocket() { Close(); }

IcmpOpenResult IcmpSocket::Open(int ttl, int timeoutMs, bool ipv6) {
    Close();
    ipv6_ = ipv6;
    const int family = ipv6 ? AF_INET6 : AF_INET;
    const int protocol = ipv6 ? int{IPPROTO_ICMPV6} : int{IPPROTO_ICMP};
    // Only root uses the raw socket; everybody else the kernel's echo
    // socket, so that an ordinary user's console needs no capability. Root
    // without CAP_NET_RAW (a confined container) takes the echo socket too.
    if (RunsAsRoot()) {
        fd_ = ::socket(family, SOCK_RAW | SOCK_CLOEXEC, protocol);
        kind_ = IcmpSocketKind::Raw;
    }
    if (fd_ < 0) {
        fd_ = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
        kind_ = IcmpSocketKind::Datagram;
    }
    if (fd_ < 0) {
        kind_ = IcmpSocketKind::None;
        return IcmpOpenResult::SocketRefused;
    }
    IcmpOpenResult result = IcmpOpenResult::Opened;
    if (!SetTimeout(fd_, SO_SNDTIMEO, timeoutMs)) {
        result = IcmpOpenResult::SendTimeoutRefused;
    } else if (!SetTimeout(fd_, SO_RCVTIMEO, timeoutMs)) {
        result = IcmpOpenResult::ReceiveTimeoutRefused;
    } else if (!(ipv6 ? SetIntOption(fd_, IPPROTO_IPV6, IPV6_UNICAST_HOPS, ttl)
                      : SetIntOption(fd_, IPPROTO_IP, IP_TTL, ttl))) {
        result = IcmpOpenResult::TimeToLiveRefused;
    }
    if (result != IcmpOpenResult::Opened) {
        Close();
        return result;
    }
    if (ipv6) {
        // Both kinds hand the hop limit beside the message only when asked.
        SetIntOption(fd_, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, 1);
        if (kind_ == IcmpSocketKind::Raw) {
            // A raw ICMPv6 socket gets every ICMPv6 message of the host:
            // neighbour discovery, router adverts, our own echo requests.
            // Only the messages an echo can bring back get through.
            icmp6_filter filter;
            ICMP6_FILTER_SETBLOCKALL(&filter);
            for (const int type : {ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG, ICMP6_TIME_EXCEEDED,
                                   ICMP6_PARAM_PROB})
                ICMP6_FILTER_SETPASS(type, &filter);
            ::setsockopt(fd_, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
        } else {
            SetIntOption(fd_, IPPROTO_IPV6, IPV6_RECVERR, 1);
        }
        return IcmpOpenResult::Opened;
    }
#ifdef __linux__
    if (kind_ == IcmpSocketKind::Raw) {
        // A raw socket gets every ICMP message the host receives, our own
        // echo requests included when the target is this host: let only
        // replies and errors through. Without the filter a ping to
        // 127.0.0.1 reads its own request (type 8) instead of the reply.
        // Linux always accepts it; elsewhere a ping to another host needs
        // no filter, so a refusal does not end the echo.
        icmp_filter filter{};
        filter.data = 1u << ICMP_ECHO;
        ::setsockopt(fd_, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
    if (kind_ == IcmpSocketKind::Datagram) {
        // Without these the echo socket would hide the reply's TTL and drop
        // ICMP errors about our echoes, which the raw socket hands over as
        // datagrams. Should either be refused, the reply shows TTL=-1 or the
        // error shows as a time-out: no reason to give up the echo.
        SetIntOption(fd_, IPPROTO_IP, IP_RECVTTL, 1);
        SetIntOption(fd_, IPPROTO_IP, IP_RECVERR, 1);
    }
#endif
    return IcmpOpenResult::Opened;
}

bool IcmpSocket::SendTo(const std::string& addressText, const std::uint8_t* data, std::size_t length) {
    if (fd_ < 0) return false;
    if (ipv6_) {
        // getaddrinfo reads a zone ("%eth0") into the scope as well.
        addrinfo hints{};
        hints.ai_family = AF_INET6;
        hints.ai_flags = AI_NUMERICHOST;
        addrinfo* found = nullptr;
        if (::getaddrinfo(addressText.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
        sockaddr_in6 destination;
        std::memcpy(&destination, found->ai_addr, sizeof destination);
        ::freeaddrinfo(found);
        ssize_t rc;
        do {
            rc = ::sendto(fd_, data, length, 0, reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
        } while (rc < 0 && errno == EINTR);
        return rc >= 0 && static_cast<std::size_t>(rc) == length;
    }
    sockaddr_in destination;
    std::memset(&destination, 0, sizeof destination);
    destination.sin_family = AF_INET;
    destination.sin_port = 0;
    destination.sin_addr.s_addr = ::inet_addr(addressText.c_str());
    ssize_t rc;
    do {
        rc = ::sendto(fd_, data, length, 0, reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    } while (rc < 0 && errno == EINTR);
    return rc >= 0 && static_cast<std::size_t>(rc) == length;
}

IcmpReceipt IcmpSocket::Receive(std::uint8_t* buffer, std::size_t capacity, int timeoutMs, const PingStopSignal* stop) {
    IcmpReceipt receipt;
    if (fd_ < 0) return receipt;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    // Every pass either returns or has taken something off the socket (an
    // error entry, a datagram lost between poll and recvmsg) or was
    // interrupted; the deadline ends the loop in any case.
    for (;;) {
        if (stop != nullptr && stop->Raised()) {
            receipt.status = IcmpReceipt::Status::Stopped;
            return receipt;
        }
        const int remaining = RemainingMs(deadline);
        pollfd waits[2] = {{fd_, POLLIN, 0}, {stop != nullptr ? stop->readFd_ : -1, POLLIN, 0}};
        const int ready = ::poll(waits, 2, remaining);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return receipt;
        }
        if (waits[1].revents != 0) {
            receipt.status = IcmpReceipt::Status::Stopped;
            return receipt;
        }
        if (ready == 0) {
            if (RemainingMs(deadline) > 0) continue;
            receipt.status = IcmpReceipt::Status::TimedOut;
            return receipt;
        }
        if (kind_ == IcmpSocketKind::Datagram && (waits[0].revents & POLLERR) != 0) {
            int type = -1;
            const int taken = TakeQueuedIcmpError(fd_, &type);
            if (taken > 0) {
                receipt.status = IcmpReceipt::Status::IcmpError;
                receipt.icmpType = type;
                return receipt;
            }
            if (taken == 0) continue;
        }

        alignas(cmsghdr) std::uint8_t control[kControlSize];
        iovec part{buffer, capacity};
        msghdr message{};
        sockaddr_in6 sender{};  // either family fits
        // The sender's address is taken but not used: the lines show the
        // address the operator typed.
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t rc = ::recvmsg(fd_, &message, MSG_DONTWAIT);
        if (rc < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return receipt;
        }
        receipt.status = IcmpReceipt::Status::Datagram;
        receipt.length = static_cast<std::size_t>(rc);
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            const bool ttlMessage = (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) ||
                                    (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_HOPLIMIT);
            if (ttlMessage && c->cmsg_len >= CMSG_LEN(sizeof(int))) {
                int ttl;
                std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
                receipt.ttl = ttl;
            }
        }
        return receipt;
    }
}

void IcmpSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    kind_ = IcmpSocketKind::None;
    ipv6_ = false;
}

}  // namespace quillet
