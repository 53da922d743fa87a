#include "platform/UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/sock_diag.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

namespace quillet {
namespace {

// The socket address of `endpoint` for a socket of `family` (6: dual-stack,
// which names an IPv4 peer by its IPv4-mapped address; 4: IPv4 only). An
// unspecified IPv4 address on a dual-stack socket is "::", so that a bind to
// all interfaces takes both families. False when an IPv4 socket is given an
// IPv6 endpoint other than "::".
bool ToSockaddr(const Endpoint& endpoint, int family, sockaddr_in6& storage, socklen_t& length) {
    std::memset(&storage, 0, sizeof storage);
    if (family == 6) {
        storage.sin6_family = AF_INET6;
        storage.sin6_port = htons(endpoint.port);
        if (endpoint.IsV6()) {
            std::memcpy(storage.sin6_addr.s6_addr, endpoint.address.data(), 16);
            storage.sin6_scope_id = endpoint.scope;
        } else if (!endpoint.IsUnspecified()) {
            storage.sin6_addr.s6_addr[10] = 0xFF;
            storage.sin6_addr.s6_addr[11] = 0xFF;
            std::memcpy(storage.sin6_addr.s6_addr + 12, endpoint.V4Octets(), 4);
        }
        length = sizeof(sockaddr_in6);
        return true;
    }
    if (endpoint.IsV6() && !endpoint.IsUnspecified()) return false;
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    if (!endpoint.IsV6()) std::memcpy(&address.sin_addr.s_addr, endpoint.V4Octets(), 4);
    std::memcpy(&storage, &address, sizeof address);
    length = sizeof address;
    return true;
}

// The endpoint of a received socket address (IPv4-mapped ones as IPv4).
Endpoint FromSockaddr(const sockaddr_in6& storage) {
    if (storage.sin6_family == AF_INET6) {
        std::array<std::uint8_t, 16> octets;
        std::memcpy(octets.data(), storage.sin6_addr.s6_addr, 16);
        return Endpoint::V6(octets, storage.sin6_scope_id, ntohs(storage.sin6_port));
    }
    sockaddr_in address;
    std::memcpy(&address, &storage, sizeof address);
    std::uint8_t octets[4];
    std::memcpy(octets, &address.sin_addr.s_addr, 4);
    return Endpoint::V4(octets, ntohs(address.sin_port));
}

}  // namespace

struct ReceiveBatchBuffers::Impl {
    std::size_t slotSize;
    std::unique_ptr<ReservedMemory> memory;  // slots x slotSize; see the constructor
    std::uint8_t* data;                      // its bytes
    bool longTaken = false;                  // a datagram longer than a page came since GiveBack
    std::vector<mmsghdr> messages;
    std::vector<iovec> vectors;
    std::vector<sockaddr_in6> from;  // either family fits
    // Room for an SO_RXQ_OVFL and an SO_TIMESTAMPNS control message a
    // datagram.
    static constexpr std::size_t kControlSize = CMSG_SPACE(sizeof(std::uint32_t)) + CMSG_SPACE(sizeof(timespec));
    std::vector<std::uint8_t> control;
    std::vector<Endpoint> senders;
    std::vector<std::uint32_t> drops;
    std::vector<std::int64_t> arrivals;
};

ReceiveBatchBuffers::ReceiveBatchBuffers(int slots, std::size_t slotSize)
    : slots_(slots < 1 ? 1 : slots), impl_(std::make_unique<Impl>()) {
    Impl& m = *impl_;
    const auto n = static_cast<std::size_t>(slots_);
    m.slotSize = slotSize;
    m.memory = std::make_unique<ReservedMemory>(n * slotSize);
    m.data = m.memory->Data();
    // The first page of every slot is made resident now: a burst fills all
    // slots of its first batch at once, and faulting their pages in then
    // would hold up the draining thread just when the socket fills.
    const std::size_t page = ReservedMemory::PageSize();
    for (std::size_t i = 0; i < n; ++i) std::memset(m.data + i * slotSize, 0, std::min(slotSize, page));
    m.messages.resize(n);
    m.vectors.resize(n);
    m.from.resize(n);
    m.control.resize(n * Impl::kControlSize);
    m.senders.resize(n);
    m.drops.resize(n);
    m.arrivals.resize(n);
}

ReceiveBatchBuffers::~ReceiveBatchBuffers() = default;

const std::uint8_t* ReceiveBatchBuffers::Data(int i) const {
    return impl_->data + static_cast<std::size_t>(i) * impl_->slotSize;
}
int ReceiveBatchBuffers::Size(int i) const { return static_cast<int>(impl_->messages[i].msg_len); }
const Endpoint& ReceiveBatchBuffers::Sender(int i) const { return impl_->senders[i]; }
std::uint32_t ReceiveBatchBuffers::DropCounter(int i) const { return impl_->drops[i]; }
std::int64_t ReceiveBatchBuffers::ArrivalNs(int i) const { return impl_->arrivals[i]; }

void ReceiveBatchBuffers::Set(int i, const std::uint8_t* data, int size, const Endpoint& sender,
                              std::uint32_t dropCounter, std::int64_t arrivalNs) {
    Impl& m = *impl_;
    const std::size_t length = std::min(static_cast<std::size_t>(size < 0 ? 0 : size), m.slotSize);
    if (length > 0) std::memcpy(m.data + static_cast<std::size_t>(i) * m.slotSize, data, length);
    m.messages[i].msg_len = static_cast<unsigned>(length);
    if (length > ReservedMemory::PageSize()) m.longTaken = true;
    m.senders[i] = sender;
    m.drops[i] = dropCounter;
    m.arrivals[i] = arrivalNs;
}

void ReceiveBatchBuffers::GiveBack() {
    Impl& m = *impl_;
    if (!m.longTaken) return;
    m.longTaken = false;
    const std::size_t page = ReservedMemory::PageSize();
    for (std::size_t i = 0; i < static_cast<std::size_t>(slots_); ++i)
        m.memory->GiveBack(i * m.slotSize + page, (i + 1) * m.slotSize);
}

UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Create() {
    Close();
    // One socket for both families; an IPv4 one where the host has IPv6
    // switched off (ipv6.disable=1 refuses the family).
    fd_ = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    family_ = 6;
    if (fd_ >= 0) {
        const int off = 0;
        if (::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    if (fd_ < 0) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        family_ = 4;
    }
    if (fd_ < 0) {
        lastError_ = errno;
        family_ = 0;
    }
    return fd_ >= 0;
}

bool UdpSocket::Bind(std::uint16_t port, int receiveBuffer) {
    Endpoint any;
    any.port = port;
    return BindTo(any, receiveBuffer);
}

bool UdpSocket::BindTo(const Endpoint& local, int receiveBuffer) {
    if (fd_ < 0) return false;
    // SO_RCVBUFFORCE passes the system's limit (net.core.rmem_max, 212,992
    // bytes on a stock system) but needs the privilege to change it; without
    // it SO_RCVBUF gives what the limit allows.
    if (receiveBuffer > 0 &&
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBuffer, sizeof receiveBuffer) != 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    // Before the first datagram can come: each one then carries the drop
    // counter and its arrival time. A datagram queued before the arrival
    // time is asked for is given the time it is taken instead, and two
    // threads that take datagrams at once could then see them out of order.
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    sockaddr_in6 address;
    socklen_t length;
    if (!ToSockaddr(local, family_, address, length)) {
        lastError_ = EAFNOSUPPORT;
        return false;
    }
    bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    if (!bound_) lastError_ = errno;
    return bound_;
}

void UdpSocket::TakeOver(UdpSocket& other) {
    if (&other == this) return;
    Close();
    fd_ = other.fd_;
    bound_ = other.bound_.load();
    lastError_ = other.lastError_;
    batchWaitMs_ = other.batchWaitMs_;
    family_ = other.family_;
    destination_ = other.destination_;
    other.fd_ = -1;
    other.bound_ = false;
    other.family_ = 0;
}

int UdpSocket::Send(const std::uint8_t* data, std::size_t length, int* error) {
    return SendTo(destination_, data, length, error);
}

int UdpSocket::SendTo(const Endpoint& to, const std::uint8_t* data, std::size_t length, int* error) {
    if (fd_ < 0) {
        if (error != nullptr) *error = EBADF;
        return -1;
    }
    sockaddr_in6 address;
    socklen_t addressLength;
    if (!ToSockaddr(to, family_, address, addressLength)) {
        if (error != nullptr) *error = EAFNOSUPPORT;
        return -1;
    }
    ssize_t rc;
    do {
        rc = ::sendto(fd_, data, length, 0, reinterpret_cast<const sockaddr*>(&address), addressLength);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0 && error != nullptr) *error = errno;
    return rc < 0 ? -1 : static_cast<int>(rc);
}

int UdpSocket::Receive(std::uint8_t* buffer, std::size_t capacity) {
    if (fd_ < 0 || !bound_) return -1;
    ssize_t rc;
    do {
        rc = ::recvfrom(fd_, buffer, capacity, 0, nullptr, nullptr);
    } while (rc < 0 && errno == EINTR);
    return rc < 0 ? -1 : static_cast<int>(rc);
}

int UdpSocket::ReceiveFrom(std::uint8_t* buffer, std::size_t capacity, Endpoint& sender) {
    if (fd_ < 0 || !bound_) return -1;
    sockaddr_in6 address;
    std::memset(&address, 0, sizeof address);
    socklen_t length = sizeof address;
    ssize_t rc;
    do {
        length = sizeof address;
        rc = ::recvfrom(fd_, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&address), &length);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) return -1;
    if (address.sin6_family == AF_INET6 || address.sin6_family == AF_INET) sender = FromSockaddr(address);
    return static_cast<int>(rc);
}

int UdpSocket::ReceiveWithin(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) {
    if (fd_ < 0 || !bound_) return -1;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready == 0) return -2;
    if (ready < 0) return -1;
    return Receive(buffer, capacity);
}

int UdpSocket::ReceiveBatch(ReceiveBatchBuffers& buffers, int waitMs, int most) {
    if (fd_ < 0 || !bound_) return -1;
    if (waitMs > 0 && waitMs != batchWaitMs_) {
        // The time-out bounds the wait for the first datagram of a batch.
        timeval wait{waitMs / 1000, (waitMs % 1000) * 1000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        batchWaitMs_ = waitMs;
    }
    ReceiveBatchBuffers::Impl& m = *buffers.impl_;
    const int slots = most > 0 ? std::min(most, buffers.Slots()) : buffers.Slots();
    for (int i = 0; i < slots; ++i) {
        iovec& v = m.vectors[i];
        v.iov_base = m.data + static_cast<std::size_t>(i) * m.slotSize;
        v.iov_len = m.slotSize;
        msghdr& h = m.messages[i].msg_hdr;
        h.msg_name = &m.from[i];
        h.msg_namelen = sizeof(sockaddr_in6);
        h.msg_iov = &v;
        h.msg_iovlen = 1;
        h.msg_control = m.control.data() + static_cast<std::size_t>(i) * ReceiveBatchBuffers::Impl::kControlSize;
        h.msg_controllen = ReceiveBatchBuffers::Impl::kControlSize;
        h.msg_flags = 0;
        m.messages[i].msg_len = 0;
    }
    int n;
    do {
        // MSG_WAITFORONE: block for the first datagram only, then take what
        // is already queued; MSG_DONTWAIT: take what is queued, if anything.
        n = ::recvmmsg(fd_, m.messages.data(), static_cast<unsigned>(slots), waitMs > 0 ? MSG_WAITFORONE : MSG_DONTWAIT,
                       nullptr);
    } while (n < 0 && errno == EINTR && bound_);
    if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) && bound_ ? 0 : -1;
    if (!bound_) return -1;
    for (int i = 0; i < n; ++i) {
        const msghdr& h = m.messages[i].msg_hdr;
        m.senders[i] = FromSockaddr(m.from[i]);
        // The drop counter comes only once it is above 0.
        std::uint32_t drops = 0;
        std::int64_t arrival = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c != nullptr; c = CMSG_NXTHDR(const_cast<msghdr*>(&h), c)) {
            if (c->cmsg_level != SOL_SOCKET) continue;
            if (c->cmsg_type == SO_RXQ_OVFL) {
                std::memcpy(&drops, CMSG_DATA(c), sizeof drops);
            } else if (c->cmsg_type == SO_TIMESTAMPNS) {
                timespec at;
                std::memcpy(&at, CMSG_DATA(c), sizeof at);
                arrival = std::int64_t{at.tv_sec} * 1'000'000'000 + at.tv_nsec;
            }
        }
        m.drops[i] = drops;
        m.arrivals[i] = arrival;
        if (m.messages[i].msg_len > ReservedMemory::PageSize()) m.longTaken = true;
    }
    return n;
}

int UdpSocket::WaitReadable(int waitMs) {
    if (fd_ < 0 || !bound_) return -1;
    pollfd p{fd_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, waitMs);
    } while (ready < 0 && errno == EINTR && bound_);
    if (ready < 0 || !bound_) return -1;
    return ready > 0 ? 1 : 0;
}

bool UdpSocket::ReadDropCounter(std::uint32_t& counter) const {
    if (fd_ < 0) return false;
    std::uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    if (::getsockopt(fd_, SOL_SOCKET, SO_MEMINFO, info, &length) != 0 || length <= SK_MEMINFO_DROPS * sizeof info[0])
        return false;
    counter = info[SK_MEMINFO_DROPS];
    return true;
}

int UdpSocket::ReceiveBufferBytes() const {
    int bytes = 0;
    socklen_t length = sizeof bytes;
    if (fd_ < 0 || ::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, &length) != 0) return 0;
    return bytes;
}

void UdpSocket::Shutdown() {
    // shutdown() wakes a recvfrom blocked in another thread; the bound flag
    // makes every later Receive fail at once.
    bound_ = false;
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void UdpSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    bound_ = false;
    family_ = 0;
}

std::uint16_t UdpSocket::LocalPort() const {
    sockaddr_in6 address;
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return FromSockaddr(address).port;
}

}  // namespace quillet

namespace quillet {

int StartSocketLayer() { return 0; }

std::string SocketErrorText(int error) {
    char buffer[128];
    // The GNU strerror_r returns the text, in `buffer` or a static string.
    return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace quillet
