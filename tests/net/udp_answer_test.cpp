// Answering a datagram on loopback: ReceiveFrom names the sender's address
// and port, and SendTo from the receiving socket reaches exactly that sender
// (the inform acknowledgement's path), over IPv4 and IPv6 alike.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "platform/UdpSocket.h"
#include "tests/net/Loopback.h"

namespace quillet {
namespace {

TEST(UdpAnswer, ReceiveFromNamesTheSenderAndSendToReachesIt) {
    UdpSocket receiver, agent, bystander;
    ASSERT_TRUE(receiver.Create() && receiver.BindTo(Loopback()));
    ASSERT_TRUE(agent.Create() && agent.BindTo(Loopback()));
    ASSERT_TRUE(bystander.Create() && bystander.BindTo(Loopback()));
    // The bystander is the receiver's configured destination: the answer
    // must not go there.
    bystander.SetDestination(Loopback(receiver.LocalPort()));
    receiver.SetDestination(Loopback(bystander.LocalPort()));

    agent.SetDestination(Loopback(receiver.LocalPort()));
    const std::uint8_t inform[] = {0x30, 0x00};
    ASSERT_EQ(agent.Send(inform, sizeof inform), 2);

    std::uint8_t buffer[64];
    Endpoint sender;
    ASSERT_EQ(receiver.ReceiveFrom(buffer, sizeof buffer, sender), 2);
    EXPECT_EQ(sender, Loopback(agent.LocalPort()));

    // Sent from another thread while the receiver's own thread could be
    // waiting in a receive, as the trap listener does.
    const std::uint8_t ack[] = {0x30, 0x01, 0x00};
    int sent = 0;
    std::thread([&] { sent = receiver.SendTo(sender, ack, sizeof ack); }).join();
    EXPECT_EQ(sent, 3);
    EXPECT_EQ(agent.ReceiveWithin(buffer, sizeof buffer, 2000), 3);
    EXPECT_EQ(buffer[1], 0x01);
    EXPECT_EQ(bystander.ReceiveWithin(buffer, sizeof buffer, 50), -2);
}

TEST(UdpAnswer, OneSocketOnAllInterfacesHearsAndAnswersBothFamilies) {
    // The console's own binding: all interfaces, port chosen here.
    UdpSocket receiver, peer4, peer6;
    ASSERT_TRUE(receiver.Create() && receiver.BindTo(Endpoint{}));
    ASSERT_TRUE(receiver.IsDualStack()) << "this host has IPv6: the socket must carry it";
    ASSERT_TRUE(peer4.Create() && peer4.BindTo(Loopback()));
    ASSERT_TRUE(peer6.Create() && peer6.BindTo(Ipv6Loopback()));
    const struct { const char* fault; UdpSocket& peer; Endpoint from; Endpoint to; } cases[] = {
        {"an IPv4 sender named by its IPv4-mapped address", peer4, Loopback(peer4.LocalPort()),
         Loopback(receiver.LocalPort())},
        {"an IPv6 sender not heard or misnamed", peer6, Ipv6Loopback(peer6.LocalPort()),
         Ipv6Loopback(receiver.LocalPort())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        const std::uint8_t datagram[] = {0x30, 0x00};
        ASSERT_EQ(c.peer.SendTo(c.to, datagram, sizeof datagram), 2);
        ReceiveBatchBuffers buffers(2, 64);
        ASSERT_EQ(receiver.ReceiveBatch(buffers, 2000), 1);
        EXPECT_EQ(buffers.Sender(0), c.from);
        std::uint8_t buffer[8];
        ASSERT_EQ(receiver.SendTo(buffers.Sender(0), datagram, sizeof datagram), 2);
        EXPECT_EQ(c.peer.ReceiveWithin(buffer, sizeof buffer, 2000), 2);
    }
}

TEST(UdpAnswer, ReceiveFromOnAnUnboundSocketFailsAndLeavesTheSender) {
    UdpSocket socket;
    ASSERT_TRUE(socket.Create());
    std::uint8_t buffer[4];
    Endpoint sender = Loopback(99);
    EXPECT_EQ(socket.ReceiveFrom(buffer, sizeof buffer, sender), -1);
    EXPECT_EQ(sender.port, 99);
}

}  // namespace
}  // namespace quillet
