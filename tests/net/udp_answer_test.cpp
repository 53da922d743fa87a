// Answering a datagram on loopback: ReceiveFrom names the sender's address
// and port, and SendTo from the receiving socket reaches exactly that sender
// (the inform acknowledgement's path).
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
    Ipv4Endpoint sender;
    ASSERT_EQ(receiver.ReceiveFrom(buffer, sizeof buffer, sender), 2);
    EXPECT_EQ(sender.octets[0], 127);
    EXPECT_EQ(sender.octets[3], 1);
    EXPECT_EQ(sender.port, agent.LocalPort());

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

TEST(UdpAnswer, ReceiveFromOnAnUnboundSocketFailsAndLeavesTheSender) {
    UdpSocket socket;
    ASSERT_TRUE(socket.Create());
    std::uint8_t buffer[4];
    Ipv4Endpoint sender = Loopback(99);
    EXPECT_EQ(socket.ReceiveFrom(buffer, sizeof buffer, sender), -1);
    EXPECT_EQ(sender.port, 99);
}

}  // namespace
}  // namespace quillet
