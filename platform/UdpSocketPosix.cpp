#include "platform/UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/filter.h>
#include <linux/sock_diag.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <numeric>
#include <vector>

#include "platform/GroupArrivalOrder.h"

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

// Asks for the receive queue and for what each datagram carries. Before the
// bind, so that the first datagram carries them too.
void SetReceiveOptions(int fd, int receiveBuffer) {
    // SO_RCVBUFFORCE passes the system's limit (net.core.rmem_max, 212,992
    // bytes on a stock system) but needs the privilege to change it; without
    // it SO_RCVBUF gives what the limit allows.
    if (receiveBuffer > 0 && ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBuffer, sizeof receiveBuffer) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    // Each datagram then carries the drop counter and its arrival time. A
    // datagram queued before the arrival time is asked for is given the time
    // it is taken instead, and two threads that take datagrams at once could
    // then see them out of order.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

// A socket of `family` (6: dual-stack), or -1.
int OpenSocket(int family) {
    const int fd = ::socket(family == 6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int off = 0;
    if (fd >= 0 && family == 6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The kernel's drop counter of socket `fd` now.
bool ReadSocketDrops(int fd, std::uint32_t& counter) {
    std::uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    if (::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, info, &length) != 0 || length <= SK_MEMINFO_DROPS * sizeof info[0])
        return false;
    counter = info[SK_MEMINFO_DROPS];
    return true;
}

// Fills `polls` with `fds` (at most UdpSocket::kMostGroupSockets), each asked
// whether a datagram waits. Returns how many.
nfds_t PollEntries(const std::vector<int>& fds, pollfd* polls) {
    nfds_t count = 0;
    for (int fd : fds)
        if (count < static_cast<nfds_t>(UdpSocket::kMostGroupSockets)) polls[count++] = pollfd{fd, POLLIN, 0};
    return count;
}

// Follows a 32-bit counter that wraps: keeps `reading` when it is ahead.
void KeepLatest(std::uint32_t& kept, std::uint32_t reading) {
    if (static_cast<std::int32_t>(reading - kept) > 0) kept = reading;
}

}  // namespace

// The sockets of a group, the first among them, and what keeps the
// datagrams taken from them in arrival order.
struct UdpSocket::Group {
    std::vector<int> fds;  // every socket of the group, the first too
    std::mutex mutex;      // one take at a time
    std::vector<int> emptiedAt;
    std::vector<std::int64_t> latestNs;
    std::vector<std::uint32_t> drops;  // each socket's drop counter as last seen
    std::vector<std::uint32_t> dropped;  // each socket's datagrams that takes dropped (DropFrom)
    // Datagrams taken but kept back for their order, oldest first, their
    // bytes one after the other in keptBytes. The pools are reused from take
    // to take, so that keeping allocates nothing in a storm; once nothing is
    // kept, a pool grown past kPoolKeptBytes by long datagrams goes back.
    struct Kept {
        std::size_t offset;
        std::size_t size;
        Endpoint sender;
        int socket;
        std::uint32_t dropCounter;
        std::int64_t arrivalNs;
    };
    std::vector<Kept> kept;
    std::atomic<bool> holdsKept{false};
    // The last take took as many as it had slots for (more may wait), however
    // few of them it could hand on.
    std::atomic<bool> moreWaiting{false};
    // Per take: each slot's socket and step; what was kept and what was
    // taken, in arrival order (a slot, or -1 - the index of a kept one).
    struct Candidate {
        std::int64_t arrivalNs;
        int slot;
    };
    std::vector<int> socketOf, stepOf, visitOrder;
    std::vector<bool> droppedSlot;
    std::vector<Candidate> candidates;
    std::vector<GroupTaken> taken;
    std::vector<bool> slotUsed;
    std::vector<Kept> keptNext;
    std::vector<std::uint8_t> keptBytes, keptBytesNext;
    static constexpr std::size_t kPoolKeptBytes = 256 * 1024;
    // Keeps `size` bytes at `data` in keptNext, with what else it keeps of it.
    void KeepNext(const std::uint8_t* data, std::size_t size, const Endpoint& sender, int socket,
                  std::uint32_t dropCounter, std::int64_t arrivalNs) {
        keptNext.push_back({keptBytesNext.size(), size, sender, socket, dropCounter, arrivalNs});
        keptBytesNext.insert(keptBytesNext.end(), data, data + size);
    }
    // Takes in a row that handed nothing on, and how many there may be.
    int stalledTakes = 0;
    static constexpr int kMostStalledTakes = 8;
};

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
    std::vector<int> order;  // datagram i of the last receive is in slot order[i]
    // Reads the senders and control messages of slots [from, to).
    void ReadReceived(int from, int to);
    // Whether the datagram in slot i came back cut (longer than its room).
    bool Cut(int i) const { return (messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0; }
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
    m.order.resize(n);
    std::iota(m.order.begin(), m.order.end(), 0);
}

ReceiveBatchBuffers::~ReceiveBatchBuffers() = default;

const std::uint8_t* ReceiveBatchBuffers::Data(int i) const {
    return impl_->data + static_cast<std::size_t>(impl_->order[i]) * impl_->slotSize;
}
int ReceiveBatchBuffers::Size(int i) const { return static_cast<int>(impl_->messages[impl_->order[i]].msg_len); }
const Endpoint& ReceiveBatchBuffers::Sender(int i) const { return impl_->senders[impl_->order[i]]; }
std::uint32_t ReceiveBatchBuffers::DropCounter(int i) const { return impl_->drops[impl_->order[i]]; }
std::int64_t ReceiveBatchBuffers::ArrivalNs(int i) const { return impl_->arrivals[impl_->order[i]]; }

void ReceiveBatchBuffers::Set(int i, const std::uint8_t* data, int size, const Endpoint& sender,
                              std::uint32_t dropCounter, std::int64_t arrivalNs) {
    Impl& m = *impl_;
    m.order[i] = i;
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

UdpSocket::UdpSocket() = default;
UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Create() {
    Close();
    // One socket for both families; an IPv4 one where the host has IPv6
    // switched off (ipv6.disable=1 refuses the family).
    family_ = 6;
    fd_ = OpenSocket(family_);
    if (fd_ < 0) {
        family_ = 4;
        fd_ = OpenSocket(family_);
    }
    if (fd_ < 0) {
        lastError_ = errno;
        family_ = 0;
    }
    return fd_ >= 0;
}

bool UdpSocket::Bind(std::uint16_t port, int receiveBuffer, int sockets) {
    Endpoint any;
    any.port = port;
    return BindTo(any, receiveBuffer, sockets);
}

bool UdpSocket::BindTo(const Endpoint& local, int receiveBuffer, int sockets) {
    if (fd_ < 0) return false;
    SetReceiveOptions(fd_, receiveBuffer);
    sockaddr_in6 address;
    socklen_t length;
    if (!ToSockaddr(local, family_, address, length)) {
        lastError_ = EAFNOSUPPORT;
        return false;
    }
    if (sockets > 1) return BindGroup(&address, length, receiveBuffer, sockets);
    bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    if (!bound_) lastError_ = errno;
    return bound_;
}

bool UdpSocket::BindGroup(const void* at, unsigned length, int receiveBuffer, int sockets) {
    sockaddr_in6 address;
    std::memcpy(&address, at, length);
    const auto* name = reinterpret_cast<const sockaddr*>(&address);
    // A group's sockets let one another share the port. A plain socket bound
    // first tells whether anyone holds the port already (another program, or
    // this one started twice), so that the bind fails then as it would alone.
    const bool anyPort = ntohs(address.sin6_port) == 0;
    if (!anyPort) {
        const int probe = OpenSocket(family_);
        if (probe < 0 || ::bind(probe, name, length) != 0) {
            lastError_ = errno;
            if (probe >= 0) ::close(probe);
            return false;
        }
        ::close(probe);
    }
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    if (::bind(fd_, name, length) != 0) {
        lastError_ = errno;
        return false;
    }
    if (anyPort) {
        socklen_t bound = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &bound);
    }
    auto group = std::make_unique<Group>();
    group->fds.push_back(fd_);
    for (int k = 1; k < std::min(sockets, kMostGroupSockets); ++k) {
        // The group is a larger queue, not a need: a socket that cannot join
        // leaves it smaller.
        const int fd = OpenSocket(family_);
        if (fd < 0) break;
        SetReceiveOptions(fd, receiveBuffer);
        if (::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0 || ::bind(fd, name, length) != 0) {
            ::close(fd);
            break;
        }
        group->fds.push_back(fd);
    }
    const auto count = group->fds.size();
    // The kernel would pick a group's socket by the sender's address and port,
    // so that one sender's storm would fill one socket: a random pick spreads
    // it over all of them. Where the program cannot be attached, the group
    // still works, spread by sender.
    sock_filter pick[] = {
        {BPF_LD | BPF_W | BPF_ABS, 0, 0, static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_RANDOM)},
        {BPF_ALU | BPF_MOD | BPF_K, 0, 0, static_cast<std::uint32_t>(count)},
        {BPF_RET | BPF_A, 0, 0, 0},
    };
    sock_fprog program{static_cast<unsigned short>(std::size(pick)), pick};
    ::setsockopt(fd_, SOL_SOCKET, SO_ATTACH_REUSEPORT_CBPF, &program, sizeof program);
    group->emptiedAt.assign(count, -1);
    group->latestNs.assign(count, 0);
    group->drops.assign(count, 0);
    group->dropped.assign(count, 0);
    group_ = std::move(group);
    bound_ = true;
    return true;
}

bool UdpSocket::MoreWaiting() const { return group_ && group_->moreWaiting.load(); }

int UdpSocket::GroupSize() const {
    if (group_) return static_cast<int>(group_->fds.size());
    return fd_ >= 0 ? 1 : 0;
}

void UdpSocket::TakeOver(UdpSocket& other) {
    if (&other == this) return;
    Close();
    fd_ = other.fd_;
    group_ = std::move(other.group_);
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

void ReceiveBatchBuffers::Impl::ReadReceived(int from, int to) {
    for (int i = from; i < to; ++i) {
        const msghdr& h = messages[i].msg_hdr;
        senders[i] = FromSockaddr(this->from[i]);
        // The drop counter comes only once it is above 0.
        std::uint32_t dropped = 0;
        std::int64_t arrival = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c != nullptr; c = CMSG_NXTHDR(const_cast<msghdr*>(&h), c)) {
            if (c->cmsg_level != SOL_SOCKET) continue;
            if (c->cmsg_type == SO_RXQ_OVFL) {
                std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
            } else if (c->cmsg_type == SO_TIMESTAMPNS) {
                timespec at;
                std::memcpy(&at, CMSG_DATA(c), sizeof at);
                arrival = std::int64_t{at.tv_sec} * 1'000'000'000 + at.tv_nsec;
            }
        }
        drops[i] = dropped;
        arrivals[i] = arrival;
        if (messages[i].msg_len > ReservedMemory::PageSize()) longTaken = true;
    }
}

int UdpSocket::ReceiveBatch(ReceiveBatchBuffers& buffers, int waitMs, int most) {
    if (fd_ < 0 || !bound_) return -1;
    if (group_ && waitMs > 0) {
        const int ready = WaitReadable(waitMs);
        if (ready <= 0) return ready;
    }
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
        // A slot that drops long datagrams has room for one byte less than
        // the size they start at: a long one comes back cut, and only what
        // is shorter is copied in.
        v.iov_len = buffers.Drops(i) ? std::min(m.slotSize, buffers.dropFrom_ - 1) : m.slotSize;
        msghdr& h = m.messages[i].msg_hdr;
        h.msg_name = &m.from[i];
        h.msg_namelen = sizeof(sockaddr_in6);
        h.msg_iov = &v;
        h.msg_iovlen = 1;
        h.msg_control = m.control.data() + static_cast<std::size_t>(i) * ReceiveBatchBuffers::Impl::kControlSize;
        h.msg_controllen = ReceiveBatchBuffers::Impl::kControlSize;
        h.msg_flags = 0;
        m.messages[i].msg_len = 0;
        m.order[i] = i;
    }
    if (group_) return ReceiveFromGroup(buffers, slots);
    int n;
    do {
        // MSG_WAITFORONE: block for the first datagram only, then take what
        // is already queued; MSG_DONTWAIT: take what is queued, if anything.
        n = ::recvmmsg(fd_, m.messages.data(), static_cast<unsigned>(slots), waitMs > 0 ? MSG_WAITFORONE : MSG_DONTWAIT,
                       nullptr);
    } while (n < 0 && errno == EINTR && bound_);
    if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) && bound_ ? 0 : -1;
    if (!bound_) return -1;
    m.ReadReceived(0, n);
    // The datagrams dropped leave the batch; every later one's drop counter
    // carries them.
    int taken = 0;
    for (int i = 0; i < n; ++i) {
        if (buffers.Drops(i) && m.Cut(i)) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        m.drops[i] += dropped_.load(std::memory_order_relaxed);
        m.order[taken++] = i;
    }
    return taken;
}

int UdpSocket::ReceiveFromGroup(ReceiveBatchBuffers& buffers, int slots) {
    Group& g = *group_;
    // The other thread taking from the group now takes what waits.
    std::unique_lock<std::mutex> lock(g.mutex, std::try_to_lock);
    if (!lock.owns_lock()) return 0;
    ReceiveBatchBuffers::Impl& m = *buffers.impl_;
    const int count = static_cast<int>(g.fds.size());
    g.socketOf.resize(static_cast<std::size_t>(buffers.Slots()));
    g.stepOf.resize(static_cast<std::size_t>(buffers.Slots()));
    g.droppedSlot.resize(static_cast<std::size_t>(buffers.Slots()));
    std::fill(g.emptiedAt.begin(), g.emptiedAt.end(), -1);
    // The socket whose youngest taken datagram is oldest first, since what
    // the others gave waits on it: first a share of the slots each, then
    // what is left to those not found empty, in the same order.
    g.visitOrder.resize(static_cast<std::size_t>(count));
    std::iota(g.visitOrder.begin(), g.visitOrder.end(), 0);
    std::stable_sort(g.visitOrder.begin(), g.visitOrder.end(),
                     [&g](int a, int b) { return g.latestNs[a] < g.latestNs[b]; });
    // A take hands on at most its slots, so while the sockets never run
    // empty (a flood) what it keeps can only grow: past a slots' worth kept,
    // it reads as many fewer, down to one from the socket that holds the
    // others back, and the kept ones go. Up to a slots' worth it reads all
    // its slots: a stream that merely keeps some of each take back must not
    // be taken a datagram a take, a system call and a sort each.
    const int keptCount = static_cast<int>(g.kept.size());
    const int budget = std::max(1, std::min(slots, 2 * slots - keptCount));
    const int share = std::max(1, budget / count);
    bool failed = false;
    int filled = 0;
    int step = 0;
    for (int pass = 0; pass < 2 && filled < budget; ++pass) {
        for (int j = 0; j < count && filled < budget; ++j) {
            const int k = g.visitOrder[j];
            if (g.emptiedAt[k] >= 0) continue;
            const int room = pass == 0 ? std::min(share, budget - filled) : budget - filled;
            int got = ::recvmmsg(g.fds[k], m.messages.data() + filled, static_cast<unsigned>(room), MSG_DONTWAIT, nullptr);
            if (got < 0) {
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) failed = true;
                got = 0;
            }
            m.ReadReceived(filled, filled + got);
            for (int i = filled; i < filled + got; ++i) {
                g.socketOf[i] = k;
                g.stepOf[i] = step;
                g.latestNs[k] = std::max(g.latestNs[k], m.arrivals[i]);
                // A datagram dropped is counted with its socket's drops and
                // takes no part in the order.
                g.droppedSlot[i] = buffers.Drops(i) && m.Cut(i);
                if (g.droppedSlot[i]) ++g.dropped[k];
                else m.drops[i] += g.dropped[k];
            }
            filled += got;
            if (got < room) g.emptiedAt[k] = step;
            ++step;
        }
    }
    if (!bound_ || (failed && filled == 0 && g.kept.empty())) return -1;
    // What was kept back and what was taken now, in arrival order (the kept
    // first where two came at once: they were taken first).
    g.candidates.clear();
    for (std::size_t i = 0; i < g.kept.size(); ++i)
        g.candidates.push_back({g.kept[i].arrivalNs, -1 - static_cast<int>(i)});
    for (int slot = 0; slot < filled; ++slot)
        if (!g.droppedSlot[slot]) g.candidates.push_back({m.arrivals[slot], slot});
    std::stable_sort(g.candidates.begin(), g.candidates.end(),
                     [](const Group::Candidate& a, const Group::Candidate& b) { return a.arrivalNs < b.arrivalNs; });
    g.taken.clear();
    for (const Group::Candidate& c : g.candidates) {
        if (c.slot >= 0) {
            g.taken.push_back({c.arrivalNs, g.socketOf[c.slot], g.stepOf[c.slot]});
        } else {
            g.taken.push_back({c.arrivalNs, g.kept[static_cast<std::size_t>(-1 - c.slot)].socket, -1});
        }
    }
    auto handOn = static_cast<int>(HandOnCount(g.taken, g.emptiedAt, g.latestNs));
    if (handOn == 0 && !g.taken.empty()) {
        // A socket found empty before the oldest was taken may have had an
        // older one since: one look at all of them, after everything taken.
        pollfd p[kMostGroupSockets];
        const nfds_t polled = PollEntries(g.fds, p);
        if (::poll(p, polled, 0) >= 0)
            for (nfds_t k = 0; k < polled; ++k)
                if ((p[k].revents & POLLIN) == 0) g.emptiedAt[k] = step;
        handOn = static_cast<int>(HandOnCount(g.taken, g.emptiedAt, g.latestNs));
        // Takes that hand nothing on, one after the other, cannot go on for
        // ever: the oldest goes then.
        if (handOn == 0 && ++g.stalledTakes >= Group::kMostStalledTakes) handOn = 1;
    }
    if (handOn > 0) g.stalledTakes = 0;
    handOn = std::min(handOn, slots);
    // What stays is kept back, oldest first: first out of the slots, whose
    // room the kept that go now take.
    g.keptNext.clear();
    g.keptBytesNext.clear();
    std::vector<bool>& used = g.slotUsed;
    used.assign(static_cast<std::size_t>(slots), false);
    for (int i = 0; i < static_cast<int>(g.candidates.size()); ++i) {
        const Group::Candidate& c = g.candidates[static_cast<std::size_t>(i)];
        if (c.slot < 0) {
            if (i >= handOn) {
                const Group::Kept& kept = g.kept[static_cast<std::size_t>(-1 - c.slot)];
                g.KeepNext(g.keptBytes.data() + kept.offset, kept.size, kept.sender, kept.socket, kept.dropCounter,
                           kept.arrivalNs);
            }
            continue;
        }
        if (i < handOn) {
            used[static_cast<std::size_t>(c.slot)] = true;
            continue;
        }
        const std::uint8_t* data = m.data + static_cast<std::size_t>(c.slot) * m.slotSize;
        g.KeepNext(data, m.messages[c.slot].msg_len, m.senders[c.slot], g.socketOf[c.slot], m.drops[c.slot],
                   m.arrivals[c.slot]);
    }
    int free = 0;
    for (int i = 0; i < handOn; ++i) {
        Group::Candidate& c = g.candidates[static_cast<std::size_t>(i)];
        if (c.slot < 0) {
            const Group::Kept& kept = g.kept[static_cast<std::size_t>(-1 - c.slot)];
            while (used[static_cast<std::size_t>(free)]) ++free;
            used[static_cast<std::size_t>(free)] = true;
            const std::size_t size = std::min(kept.size, m.slotSize);
            if (size > 0)
                std::memcpy(m.data + static_cast<std::size_t>(free) * m.slotSize, g.keptBytes.data() + kept.offset, size);
            if (size > ReservedMemory::PageSize()) m.longTaken = true;
            m.messages[free].msg_len = static_cast<unsigned>(size);
            m.senders[free] = kept.sender;
            m.drops[free] = kept.dropCounter;
            m.arrivals[free] = kept.arrivalNs;
            g.socketOf[free] = kept.socket;
            c.slot = free;
        }
        // Datagram i is in slot c.slot, with the group's drop counter.
        m.order[i] = c.slot;
        KeepLatest(g.drops[g.socketOf[c.slot]], m.drops[c.slot]);
        m.drops[c.slot] = std::accumulate(g.drops.begin(), g.drops.end(), std::uint32_t{0});
    }
    std::swap(g.kept, g.keptNext);
    std::swap(g.keptBytes, g.keptBytesNext);
    if (g.kept.empty() && g.keptBytes.capacity() + g.keptBytesNext.capacity() > Group::kPoolKeptBytes) {
        std::vector<std::uint8_t>().swap(g.keptBytes);
        std::vector<std::uint8_t>().swap(g.keptBytesNext);
    }
    g.holdsKept.store(!g.kept.empty());
    g.moreWaiting.store(filled == budget);
    return handOn;
}

int UdpSocket::WaitReadable(int waitMs) {
    if (fd_ < 0 || !bound_) return -1;
    if (group_ && group_->holdsKept.load()) return 1;
    pollfd p[kMostGroupSockets];
    const nfds_t count = group_ ? PollEntries(group_->fds, p) : 1;
    if (!group_) p[0] = pollfd{fd_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(p, count, waitMs);
    } while (ready < 0 && errno == EINTR && bound_);
    if (ready < 0 || !bound_) return -1;
    return ready > 0 ? 1 : 0;
}

bool UdpSocket::ReadDropCounter(std::uint32_t& counter) const {
    if (fd_ < 0) return false;
    if (!group_) {
        if (!ReadSocketDrops(fd_, counter)) return false;
        counter += dropped_.load(std::memory_order_relaxed);
        return true;
    }
    // A group's counter is its sockets' added up, each as last seen: a reading
    // never goes behind what the datagrams handed on carried.
    std::lock_guard<std::mutex> lock(group_->mutex);
    for (std::size_t k = 0; k < group_->fds.size(); ++k) {
        std::uint32_t reading;
        if (!ReadSocketDrops(group_->fds[k], reading)) return false;
        KeepLatest(group_->drops[k], reading + group_->dropped[k]);
    }
    counter = std::accumulate(group_->drops.begin(), group_->drops.end(), std::uint32_t{0});
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
    if (group_)
        for (int fd : group_->fds)
            if (fd != fd_) ::shutdown(fd, SHUT_RDWR);
}

void UdpSocket::Close() {
    if (group_)
        for (int fd : group_->fds)
            if (fd != fd_) ::close(fd);
    group_.reset();
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
