#include "console/platform/UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace quillet {
namespace {

sockaddr_in ToSockaddr(const Ipv4Endpoint& endpoint) {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    std::memcpy(&address.sin_addr.s_addr, endpoint.octets, 4);
    return address;
}

}  // namespace

UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Create() {
    Close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) lastError_ = errno;
    return fd_ >= 0;
}

bool UdpSocket::Bind(std::uint16_t port, int receiveBuffer) {
    Ipv4Endpoint any;
    any.port = port;
    return BindTo(any, receiveBuffer);
}

bool UdpSocket::BindTo(const Ipv4Endpoint& local, int receiveBuffer) {
    if (fd_ < 0) return false;
    if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const sockaddr_in address = ToSockaddr(local);
    bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!bound_) lastError_ = errno;
    return bound_;
}

void UdpSocket::TakeOver(UdpSocket& other) {
    if (&other == this) return;
    Close();
    fd_ = other.fd_;
    bound_ = other.bound_.load();
    lastError_ = other.lastError_;
    destination_ = other.destination_;
    other.fd_ = -1;
    other.bound_ = false;
}

int UdpSocket::Send(const std::uint8_t* data, std::size_t length) { return SendTo(destination_, data, length); }

int UdpSocket::SendTo(const Ipv4Endpoint& to, const std::uint8_t* data, std::size_t length) {
    if (fd_ < 0) return -1;
    const sockaddr_in address = ToSockaddr(to);
    ssize_t rc;
    do {
        rc = ::sendto(fd_, data, length, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc < 0 && errno == EINTR);
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

int UdpSocket::ReceiveFrom(std::uint8_t* buffer, std::size_t capacity, Ipv4Endpoint& sender) {
    if (fd_ < 0 || !bound_) return -1;
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    socklen_t length = sizeof address;
    ssize_t rc;
    do {
        length = sizeof address;
        rc = ::recvfrom(fd_, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&address), &length);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) return -1;
    if (address.sin_family == AF_INET) {
        std::memcpy(sender.octets, &address.sin_addr.s_addr, 4);
        sender.port = ntohs(address.sin_port);
    }
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
}

std::uint16_t UdpSocket::LocalPort() const {
    sockaddr_in address;
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

}  // namespace quillet

namespace quillet {

int StartSocketLayer() { return 0; }

}  // namespace quillet
