// The receiving side of the listeners: batches taken from a loopback socket
// (or a group of them on one port) with their senders and the kernel's drop
// counter, and the bounded queue between the receiving and the reporting
// thread.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cerrno>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "listener/DatagramQueue.h"
#include "platform/GroupArrivalOrder.h"
#include "platform/UdpSocket.h"
#include "tests/net/Loopback.h"

namespace quillet {
namespace {

std::vector<std::uint8_t> Datagram(int size, std::uint8_t fill) { return std::vector<std::uint8_t>(size, fill); }

// What the reporting thread sees: "size:fill" per datagram, "lost N" before
// an entry that follows losses, "-" for a loss-only entry.
std::vector<std::string> TakeAll(DatagramQueue& queue) {
    std::vector<std::string> seen;
    while (queue.Queued() != 0) {
        const std::size_t run = queue.Take(3);
        for (std::size_t i = 0; i < run; ++i) {
            const DatagramQueue::Entry e = queue.Next();
            if (e.lostBefore != 0) seen.push_back("lost " + std::to_string(e.lostBefore));
            seen.push_back(e.size < 0 ? "-"
                                      : std::to_string(e.size) + ":" + std::to_string(e.size ? e.data[e.size - 1] : 0));
        }
        queue.Release();
    }
    return seen;
}

TEST(DatagramQueue, KeepsArrivalOrderAndSaysWhatItHadNoRoomFor) {
    // The ring rounds up to one 4096-byte page; a record is a 24-byte header,
    // the sender's address (4 bytes for IPv4) and its datagram, rounded to 8
    // bytes.
    struct Case {
        const char* what;
        DatagramQueueBound bound;
        std::vector<int> sizes;  // datagrams pushed, each filled with its index
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {"room for all", {4096, 10}, {0, 5, 1000}, {"0:0", "5:1", "1000:2"}},
        {"entry bound", {4096, 2}, {10, 11, 12, 13}, {"10:0", "11:1"}},
        {"byte bound", {4096, 100}, {2500, 2000, 50}, {"2500:0", "lost 1", "50:2"}},
        {"larger than the ring", {4096, 100}, {5000, 7}, {"lost 1", "7:1"}},
        // Long datagrams (4096 octets and more) only while less than
        // longQueued is taken; short ones still get in.
        {"long datagrams bounded apart", {65536, 100, 8192}, {5000, 5000, 4096, 10}, {"5000:0", "lost 2", "10:3"}},
    };
    for (const Case& c : cases) {
        DatagramQueue queue(c.bound);
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            const auto d = Datagram(c.sizes[i], static_cast<std::uint8_t>(i));
            queue.Push(d.data(), c.sizes[i], Loopback(static_cast<std::uint16_t>(i)));
        }
        std::vector<std::string> seen = TakeAll(queue);
        // Losses at the end are said by a loss-only entry, once room is back.
        if (queue.PendingLost() != 0) {
            const std::uint64_t lost = queue.PendingLost();
            ASSERT_TRUE(queue.FlushLost()) << c.what;
            const std::vector<std::string> tail = TakeAll(queue);
            EXPECT_EQ(tail, (std::vector<std::string>{"lost " + std::to_string(lost), "-"})) << c.what;
        }
        EXPECT_EQ(seen, c.seen) << c.what;
        EXPECT_EQ(queue.PendingLost(), 0u) << c.what;
    }
}

TEST(DatagramQueue, WrapsAroundTheRingWithoutLosingOrder) {
    DatagramQueue queue({4096, 1000});
    // 900-byte datagrams (928 a record from an IPv4 sender, 944 from an IPv6
    // one): four fit. Each round fills the ring, then takes two, so that the
    // next round writes at the start while two still wait at the end.
    std::array<std::uint8_t, 16> linkLocal{0xfe, 0x80};
    linkLocal[15] = 2;
    const Endpoint senders[] = {Loopback(161), Endpoint::V6(linkLocal, 3, 162), Ipv6Loopback(65535)};
    std::vector<int> taken;
    std::uint64_t lostSaid = 0;
    int pushed = 0, dropped = 0;
    auto take = [&](std::size_t limit) {
        const std::size_t run = queue.Take(limit);
        for (std::size_t i = 0; i < run; ++i) {
            const DatagramQueue::Entry e = queue.Next();
            lostSaid += e.lostBefore;
            if (e.size < 0) continue;  // the losses at the end
            EXPECT_EQ(e.size, 900);
            taken.push_back(e.data[0] | e.data[899] << 8);
            EXPECT_EQ(e.sender, senders[taken.back() % 3]);
        }
        queue.Release();
    };
    for (int round = 0; round < 8; ++round) {
        for (int tries = 0; tries < 6; ++tries) {
            const int n = pushed + dropped;
            auto d = Datagram(900, static_cast<std::uint8_t>(n));
            d[899] = static_cast<std::uint8_t>(n >> 8);
            if (queue.Push(d.data(), 900, senders[n % 3])) ++pushed;
            else ++dropped;
        }
        take(2);
    }
    while (queue.Queued() != 0) take(100);
    ASSERT_TRUE(queue.FlushLost());
    while (queue.Queued() != 0) take(100);
    EXPECT_EQ(static_cast<int>(taken.size()), pushed);
    EXPECT_EQ(lostSaid, static_cast<std::uint64_t>(dropped));
    for (std::size_t i = 1; i < taken.size(); ++i) EXPECT_LT(taken[i - 1], taken[i]) << "out of order at " << i;
    EXPECT_GE(pushed, 16);  // the ring really went round
}

TEST(DatagramQueue, GoesBackToItsFirstPagesYetFillsTheWholeRing) {
    // A 16 KiB ring whose writer goes back once past 4 KiB; 900-byte
    // datagrams (928 a record), each numbered in its octets.
    DatagramQueue queue({16384, 1000, 16384, 4096});
    int pushed = 0, next = 0;
    auto push = [&] {
        auto d = Datagram(900, static_cast<std::uint8_t>(pushed));
        return queue.Push(d.data(), 900, Loopback()) && ++pushed;
    };
    auto take = [&](std::size_t limit) {
        for (std::size_t run = queue.Take(limit); run != 0; --run)
            EXPECT_EQ(queue.Next().data[0], static_cast<std::uint8_t>(next++)) << "out of order";
        queue.Release();
    };
    // A stream the reader keeps up with, three behind, never letting the
    // queue run empty: the writer stays in the first pages.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(push());
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(push());
        take(1);
    }
    EXPECT_LE(queue.Reached(), 4096u + 928u);
    while (queue.Queued() != 0) take(5);
    // Then a backlog that begins past 4 KiB with the start freed: three
    // records fit before the oldest, the rest go on after the first run, and
    // once the reader is in the second run, the ring's end goes back to its
    // start. All are read back in order across runs taken in pieces.
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(push());
    take(4);
    int held = static_cast<int>(queue.Queued());
    while (push()) ++held;
    EXPECT_EQ(held, 16384 / 928 - 1);
    take(3);
    EXPECT_TRUE(push());
    EXPECT_FALSE(push());
    while (queue.Queued() != 0) take(5);
    EXPECT_EQ(next, pushed);
}

TEST(DatagramQueue, AFloodOfLongDatagramsKeepsFewPagesAndEveryByte) {
    // A flood that never lets the queue run empty walks the writer round the
    // whole ring; a released run of long datagrams hands its pages beyond the
    // kept ones back at once, and the records still queued keep every byte.
    DatagramQueue queue({4u << 20, 1000, 4u << 20});
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    int pushed = 0, taken = 0, handedBack = 0;
    auto push = [&] {
        const auto d = Datagram(60000, static_cast<std::uint8_t>(pushed));
        ASSERT_TRUE(queue.Push(d.data(), 60000, Loopback()));
        ++pushed;
    };
    for (int i = 0; i < 3; ++i) push();
    for (int round = 0; round < 200; ++round) {
        push();
        ASSERT_EQ(queue.Take(1), 1u);
        const DatagramQueue::Entry e = queue.Next();
        ASSERT_EQ(e.size, 60000);
        const std::vector<std::uint8_t> want(60000, static_cast<std::uint8_t>(taken));
        ASSERT_EQ(std::memcmp(e.data, want.data(), want.size()), 0) << "datagram " << taken;
        ++taken;
        // A whole page well inside the datagram, to look at once released.
        const auto inside = (reinterpret_cast<std::uintptr_t>(e.data) + 2 * page) / page * page;
        queue.Release();
        unsigned char resident = 1;
        ASSERT_EQ(::mincore(reinterpret_cast<void*>(inside), page, &resident), 0);
        if ((resident & 1) == 0) ++handedBack;
    }
    // All but those within the kept first MiB, a quarter of the ring.
    EXPECT_GE(handedBack, 120);
}

TEST(DatagramQueue, AReaderLeftToBeWokenLaterIsWokenByWakeReader) {
    // A draining thread pushes without waking the reader and wakes it once
    // it is done: the entries must not wait unseen.
    for (const bool readerWaitsFirst : {true, false}) {
        DatagramQueue queue;
        std::promise<void> started;
        auto reader = std::async(std::launch::async, [&] {
            started.set_value();
            return queue.Take(10);
        });
        started.get_future().wait();
        if (readerWaitsFirst) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto d = Datagram(3, 1);
        queue.Push(d.data(), 3, Loopback(), 0, DatagramQueue::Wake::Later);
        queue.Push(d.data(), 3, Loopback(), 0, DatagramQueue::Wake::Later);
        queue.WakeReader();
        const bool woken = reader.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        if (!woken) queue.Stop();
        EXPECT_TRUE(woken) << readerWaitsFirst;
        // A reader that had not begun to wait may have taken the first entry
        // before the second came.
        const std::size_t took = reader.get();
        EXPECT_GE(took, woken ? 1u : 0u) << readerWaitsFirst;
        EXPECT_LE(took, 2u) << readerWaitsFirst;
    }
}

TEST(DatagramQueue, TakeReturnsNothingOnceStopped) {
    DatagramQueue queue;
    const auto d = Datagram(3, 1);
    queue.Push(d.data(), 3, Loopback());
    queue.Stop();
    EXPECT_EQ(queue.Take(10), 0u);
}

TEST(UdpBatchReceive, TakesQueuedDatagramsAtOnceWithTheirSenders) {
    UdpSocket receiver, sender;
    ASSERT_TRUE(receiver.Create() && receiver.BindTo(Loopback()));
    ASSERT_TRUE(sender.Create() && sender.BindTo(Loopback()));
    sender.SetDestination(Loopback(receiver.LocalPort()));
    for (int i = 1; i <= 5; ++i) {
        const auto d = Datagram(i, static_cast<std::uint8_t>(i));
        ASSERT_EQ(sender.Send(d.data(), d.size()), i);
    }
    ReceiveBatchBuffers buffers(4, 65536);
    ASSERT_EQ(receiver.ReceiveBatch(buffers, 1000), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(buffers.Size(i), i + 1);
        EXPECT_EQ(buffers.Data(i)[i], i + 1);
        EXPECT_EQ(buffers.Sender(i), Loopback(sender.LocalPort()));
        EXPECT_EQ(buffers.DropCounter(i), 0u);
        // Arrival times, in arrival order.
        EXPECT_GT(buffers.ArrivalNs(i), 0);
        if (i > 0) {
            EXPECT_GE(buffers.ArrivalNs(i), buffers.ArrivalNs(i - 1));
        }
    }
    const std::int64_t fourth = buffers.ArrivalNs(3);
    // The fifth waits without being taken, then comes without a wait.
    EXPECT_EQ(receiver.WaitReadable(1000), 1);
    ASSERT_EQ(receiver.ReceiveBatch(buffers, 0), 1);
    EXPECT_EQ(buffers.Size(0), 5);
    EXPECT_GE(buffers.ArrivalNs(0), fourth);
    // Nothing more: the wait ends with 0, and a take without a wait too.
    EXPECT_EQ(receiver.WaitReadable(20), 0);
    EXPECT_EQ(receiver.ReceiveBatch(buffers, 20), 0);
    EXPECT_EQ(receiver.ReceiveBatch(buffers, 0), 0);
    receiver.Shutdown();
    EXPECT_EQ(receiver.ReceiveBatch(buffers, 20), -1);
    EXPECT_EQ(receiver.WaitReadable(20), -1);
}

TEST(UdpBatchReceive, TheKernelsDropsAreCountedWithTheNextDatagram) {
    // One socket, and a group whose counters add up.
    for (const int sockets : {1, 4}) {
        SCOPED_TRACE(sockets);
        UdpSocket receiver, sender;
        // The smallest receive buffer the kernel grants holds a few datagrams.
        ASSERT_TRUE(receiver.Create() && receiver.BindTo(Loopback(), 1, sockets));
        ASSERT_EQ(receiver.GroupSize(), sockets);
        ASSERT_TRUE(sender.Create() && sender.BindTo(Loopback()));
        sender.SetDestination(Loopback(receiver.LocalPort()));
        ReceiveBatchBuffers buffers(64, 65536);
        ASSERT_EQ(receiver.ReceiveBatch(buffers, 1), 0);  // turns the drop counter on
        constexpr int kSent = 400;
        const auto d = Datagram(1000, 7);
        for (int i = 0; i < kSent; ++i) ASSERT_EQ(sender.Send(d.data(), d.size()), 1000);
        int received = 0;
        for (int n; (n = receiver.ReceiveBatch(buffers, 20)) > 0;) {
            for (int i = 0; i < n; ++i) EXPECT_EQ(buffers.DropCounter(i), 0u);  // queued before any drop
            received += n;
        }
        std::uint32_t dropped = 0;
        ASSERT_TRUE(receiver.ReadDropCounter(dropped));
        EXPECT_GT(dropped, 0u);
        EXPECT_EQ(received + static_cast<int>(dropped), kSent);
        ASSERT_EQ(sender.Send(d.data(), d.size()), 1000);
        ASSERT_EQ(receiver.ReceiveBatch(buffers, 1000), 1);
        EXPECT_EQ(buffers.DropCounter(0), dropped);
    }
}

TEST(UdpBatchReceive, LongDatagramsPastTheWholeSlotsAreDroppedAndCountedAsTheKernelsDrops) {
    // A group spreads one sender's datagrams over its sockets, so which ones
    // a take finds in its whole slots varies: every datagram is then either
    // taken whole or counted.
    for (const int sockets : {1, 4}) {
        SCOPED_TRACE(sockets);
        UdpSocket receiver, sender;
        ASSERT_TRUE(receiver.Create() && receiver.BindTo(Loopback(), 1 << 20, sockets));
        ASSERT_TRUE(sender.Create() && sender.BindTo(Loopback()));
        sender.SetDestination(Loopback(receiver.LocalPort()));
        // A long one in the whole slot, a short one, a long one dropped (its
        // loss goes with the next), one of 4,095 bytes that fits.
        for (const int size : {5000, 1, 4096, 4095}) ASSERT_EQ(sender.Send(Datagram(size, 9).data(), size), size);
        ReceiveBatchBuffers buffers(8, 65536);
        buffers.DropFrom(4096, 1);
        std::vector<std::pair<int, std::uint32_t>> got;  // size, drop counter
        while (receiver.WaitReadable(200) > 0)
            for (int i = 0, n = receiver.ReceiveBatch(buffers, 0); i < n; ++i)
                got.emplace_back(buffers.Size(i), buffers.DropCounter(i));
        std::uint32_t dropped = 0;
        ASSERT_TRUE(receiver.ReadDropCounter(dropped));
        EXPECT_EQ(got.size() + dropped, 4u);
        if (sockets == 1) {
            EXPECT_EQ(got, (std::vector<std::pair<int, std::uint32_t>>{{5000, 0}, {1, 0}, {4095, 1}}));
        }
        for (const auto& [size, counter] : got) EXPECT_TRUE(size == 5000 || size == 1 || size == 4096 || size == 4095);
        // Taken whole again once the buffers drop nothing.
        buffers.DropFrom(0, 0);
        ASSERT_EQ(sender.Send(Datagram(5000, 9).data(), 5000), 5000);
        ASSERT_EQ(receiver.ReceiveBatch(buffers, 1000), 1);
        EXPECT_EQ(buffers.Size(0), 5000);
        EXPECT_EQ(buffers.DropCounter(0), dropped);
    }
}

TEST(UdpBatchReceive, AGroupHandsOnWhatItTookInArrivalOrder) {
    UdpSocket receiver, sender, second;
    ASSERT_TRUE(receiver.Create() && receiver.BindTo(Loopback(), 1 << 20, 4));
    ASSERT_EQ(receiver.GroupSize(), 4);
    // The port is held: no other socket binds it, alone or as a group.
    ASSERT_TRUE(second.Create());
    EXPECT_FALSE(second.BindTo(Loopback(receiver.LocalPort()), 0, 4));
    EXPECT_EQ(second.LastError(), EADDRINUSE);
    ASSERT_TRUE(sender.Create() && sender.BindTo(Loopback()));
    sender.SetDestination(Loopback(receiver.LocalPort()));
    // Numbered datagrams sent flat out while few at a time are taken, so
    // that many come to a socket the take has already looked at.
    constexpr std::uint32_t kSent = 30000;
    std::thread sending([&] {
        for (std::uint32_t i = 1; i <= kSent; ++i) sender.Send(reinterpret_cast<const std::uint8_t*>(&i), sizeof i);
    });
    ReceiveBatchBuffers buffers(64, 65536);
    std::uint32_t last = 0, taken = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (last < kSent && std::chrono::steady_clock::now() < until) {
        if (receiver.WaitReadable(200) <= 0) {
            if (taken > 0) break;
            continue;
        }
        const int n = receiver.ReceiveBatch(buffers, 0, 8);
        for (int i = 0; i < n; ++i) {
            std::uint32_t number;
            std::memcpy(&number, buffers.Data(i), sizeof number);
            ASSERT_GT(number, last) << "after " << taken << " taken, " << number << " after " << last;
            last = number;
            ++taken;
        }
    }
    sending.join();
    std::uint32_t dropped = 0;
    ASSERT_TRUE(receiver.ReadDropCounter(dropped));
    EXPECT_EQ(taken + dropped, kSent);
}

TEST(UdpBatchReceive, AGroupTakesAWaitingStreamManyDatagramsATake) {
    // Datagrams that wait on every socket of a group: what a take keeps back
    // for its order must not shrink the next takes to a datagram each.
    UdpSocket receiver, sender;
    ASSERT_TRUE(receiver.Create() && receiver.BindTo(Loopback(), 1 << 20, 4));
    ASSERT_TRUE(sender.Create() && sender.BindTo(Loopback()));
    sender.SetDestination(Loopback(receiver.LocalPort()));
    constexpr std::uint32_t kSent = 1200;
    for (std::uint32_t i = 1; i <= kSent; ++i)
        ASSERT_EQ(sender.Send(reinterpret_cast<const std::uint8_t*>(&i), sizeof i), 4);
    constexpr int kSlots = 16;
    ReceiveBatchBuffers buffers(kSlots, 65536);
    std::uint32_t last = 0;
    int takes = 0;
    while (last < kSent && takes < 2 * static_cast<int>(kSent) && receiver.WaitReadable(1000) > 0) {
        const int n = receiver.ReceiveBatch(buffers, 0, kSlots);
        ++takes;
        for (int i = 0; i < n; ++i) {
            std::uint32_t number;
            std::memcpy(&number, buffers.Data(i), sizeof number);
            ASSERT_EQ(number, last + 1);
            last = number;
        }
    }
    EXPECT_EQ(last, kSent);
    // Half its slots a take, at least (six or fewer, while kept datagrams
    // shrank every take).
    EXPECT_LE(takes, 2 * static_cast<int>(kSent) / kSlots) << kSent / static_cast<double>(takes) << " a take";
}

// Whether a datagram taken from a group may go on before the next take: rows
// of (arrival, socket, step) in arrival order, the step each socket was
// found empty at, each socket's youngest arrival, and how many may go.
TEST(GroupArrivalOrder, HandsOnOnlyWhatNothingOlderCanStillWaitBehind) {
    struct Row {
        const char* what;
        std::vector<GroupTaken> taken;
        std::vector<int> emptiedAt;
        std::vector<std::int64_t> latestNs;
        std::size_t handOn;
    };
    const Row rows[] = {
        {"kept from the last take, every socket found empty since", {{5, 0, -1}, {6, 1, -1}}, {0, 1}, {5, 6}, 2},
        {"kept, and a socket not yet found empty had only older ones", {{50, 0, -1}}, {0, -1}, {50, 40}, 0},
        {"taken after another socket was found empty, younger than all it gave", {{10, 0, 0}, {20, 1, 1}}, {0, 1},
         {10, 20}, 1},
        {"a younger one from each other socket lets it go", {{10, 0, 0}, {15, 1, 1}, {30, 1, 1}}, {-1, -1}, {10, 30}, 1},
        {"each socket found empty after the first was taken, before the second", {{10, 1, 0}, {12, 0, 1}}, {1, 0},
         {12, 10}, 1},
    };
    for (const Row& row : rows) EXPECT_EQ(HandOnCount(row.taken, row.emptiedAt, row.latestNs), row.handOn) << row.what;
}

}  // namespace
}  // namespace quillet
