// Datagrams taken from one socket by two threads, put back in arrival order:
// the merge itself, and a rescue while the holder of the receive turn is
// held up with a batch in hand, the stall injected through the drain's
// source (latches, no timing).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "listener/DatagramQueue.h"
#include "listener/RescuedDatagrams.h"
#include "listener/SocketDrain.h"

namespace quillet {
namespace {

TEST(MergeInArrivalOrder, InterleavesTheTwoRunsByArrivalTheBatchFirstOnATie) {
    struct Case {
        std::vector<std::int64_t> own;
        std::vector<std::int64_t> rescued;
        std::string order;  // o<i> / r<j> in turn
    };
    const Case cases[] = {
        // The holder was kept from running after taking its batch: all of
        // it came before the rescue.
        {{10, 20, 30}, {40, 50}, "o0 o1 o2 r0 r1"},
        // The holder was kept from running before taking anything.
        {{40, 50}, {10, 20, 30}, "r0 r1 r2 o0 o1"},
        // Both took at once (a kernel that preempts a receive half-way).
        {{10, 25, 30}, {5, 20, 40}, "r0 o0 r1 o1 o2 r2"},
        // Equal times, or none given: the batch first.
        {{7, 7}, {7}, "o0 o1 r0"},
        {{0, 0}, {0, 0}, "o0 o1 r0 r1"},
        // Only rescued datagrams (queued when the socket went quiet).
        {{}, {3, 4}, "r0 r1"},
        {{3}, {}, "o0"},
    };
    for (const Case& c : cases) {
        std::string order;
        MergeInArrivalOrder(
            static_cast<int>(c.own.size()), [&](int i) { return c.own[static_cast<std::size_t>(i)]; },
            c.rescued.size(), [&](std::size_t j) { return c.rescued[j]; },
            [&](int i) { order += (order.empty() ? "o" : " o") + std::to_string(i); },
            [&](std::size_t j) { order += (order.empty() ? "r" : " r") + std::to_string(j); });
        EXPECT_EQ(order, c.order) << c.order;
    }
}

// A socket stand-in: datagrams of one byte each (their number), arriving at
// the times given, and the kernel's drop counter as each found it. The next
// take may be held up after it has taken its batch, until it is let go.
class HeldSource : public DatagramSource {
public:
    struct Datagram {
        std::uint8_t number;
        std::int64_t arrivalNs;
        std::uint32_t dropCounter;
    };
    void Arrive(std::initializer_list<Datagram> datagrams) {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_.insert(waiting_.end(), datagrams);
    }
    void HoldNextTake() {
        std::lock_guard<std::mutex> lock(mutex_);
        holdNext_ = true;
    }
    void WaitUntilHeld() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return held_; });
    }
    void LetGo() {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    int TakeWaiting(ReceiveBatchBuffers& buffers, int most) override {
        std::unique_lock<std::mutex> lock(mutex_);
        int count = 0;
        for (; count < std::min(most, buffers.Slots()) && !waiting_.empty(); ++count) {
            const Datagram d = waiting_.front();
            waiting_.pop_front();
            buffers.Set(count, &d.number, 1, Endpoint{}, d.dropCounter, d.arrivalNs);
        }
        if (holdNext_) {
            holdNext_ = false;
            held_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !held_; });
        }
        return count;
    }
    bool ReadDropCounter(std::uint32_t& counter) override {
        counter = 0;
        return false;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Datagram> waiting_;
    bool holdNext_ = false;
    bool held_ = false;
};

// The queue's entries: the datagram's number, "lost N" before it for losses.
std::string Queued(DatagramQueue& queue) {
    std::string seen;
    const std::size_t run = queue.Take(1000);
    for (std::size_t i = 0; i < run; ++i) {
        const DatagramQueue::Entry e = queue.Next();
        if (e.lostBefore != 0) seen += "lost" + std::to_string(e.lostBefore) + " ";
        if (e.size > 0) seen += std::to_string(e.data[0]) + " ";
    }
    queue.Release();
    return seen;
}

TEST(SocketDrain, ARescueWhileTheHolderIsHeldUpKeepsArrivalOrderAndTheLosses) {
    struct Case {
        const char* what;
        std::initializer_list<HeldSource::Datagram> holderBatch;   // waiting when the holder takes
        std::initializer_list<HeldSource::Datagram> rescued;       // arriving while it is held up
        std::initializer_list<HeldSource::Datagram> afterwards;    // taken by the holder's next turn
        std::string queued;
    };
    const Case cases[] = {
        {"held after taking its batch", {{1, 10, 0}, {2, 20, 0}}, {{3, 30, 0}, {4, 40, 0}}, {{5, 50, 0}},
         "1 2 3 4 5 "},
        // The kernel dropped two before datagram 4 and one before 5: said
        // where they were lost, whichever thread took the datagram.
        {"losses on both sides", {{1, 10, 0}}, {{3, 30, 0}, {4, 40, 2}}, {{5, 50, 3}}, "1 3 lost2 4 lost1 5 "},
        // Receives that overlapped: the merge goes by the kernel's times.
        {"overlapping receives", {{1, 10, 0}, {4, 40, 0}}, {{2, 20, 0}, {3, 30, 0}}, {}, "1 2 3 4 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HeldSource source;
        DatagramQueue queue({1 << 20, 1000});
        std::atomic<bool> stopping{false};
        SocketDrain drain(source, queue, stopping);
        source.Arrive(c.holderBatch);
        source.HoldNextTake();
        std::thread holder([&] {
            SocketDrain::Turn turn = drain.TryTurn();
            ASSERT_TRUE(turn.owns_lock());
            drain.Take(turn);
        });
        source.WaitUntilHeld();
        // The holder has its batch in hand and cannot run: the turn is not to
        // be had, and what arrives now is rescued.
        EXPECT_FALSE(drain.TryTurn().owns_lock());
        source.Arrive(c.rescued);
        EXPECT_EQ(drain.Rescue(), static_cast<int>(c.rescued.size()));
        source.LetGo();
        holder.join();
        source.Arrive(c.afterwards);
        SocketDrain::Turn turn = drain.TryTurn();
        ASSERT_TRUE(turn.owns_lock());
        drain.Take(turn);
        EXPECT_EQ(Queued(queue), c.queued);
    }
}

TEST(SocketDrain, AHolderDoesNotWaitForARescueHeldUpHalfWay) {
    // The rescuer is kept from running with datagrams 1 and 2 in hand (the
    // rescue lock with it): the holder takes 3 and 4 meanwhile without
    // waiting, and queues them after 1 and 2 once the rescue is stored, at
    // its next take or when the socket goes quiet.
    for (const bool nextTake : {true, false}) {
        SCOPED_TRACE(nextTake ? "next take" : "quiet");
        HeldSource source;
        DatagramQueue queue({1 << 20, 1000});
        std::atomic<bool> stopping{false};
        SocketDrain drain(source, queue, stopping);
        source.Arrive({{1, 10, 0}, {2, 20, 0}});
        source.HoldNextTake();
        std::thread rescuer([&] { EXPECT_EQ(drain.Rescue(), 2); });
        source.WaitUntilHeld();
        source.Arrive({{3, 30, 1}, {4, 40, 1}});
        SocketDrain::Turn turn = drain.TryTurn();
        ASSERT_TRUE(turn.owns_lock());
        // Waiting for the rescuer would wait for ever: bounded, so that such
        // a fault fails here instead of hanging the run.
        auto take = std::async(std::launch::async, [&] { return drain.Take(turn); });
        const bool waited = take.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
        EXPECT_FALSE(waited) << "the holder waited for the rescuer";
        if (!waited) {
            EXPECT_EQ(queue.TakeQueued(1000), 0u);  // nothing queued yet
        }
        source.LetGo();
        rescuer.join();
        EXPECT_EQ(take.get(), 2);
        if (nextTake) {
            source.Arrive({{5, 50, 3}});
            drain.Take(turn);
            EXPECT_EQ(Queued(queue), "1 2 lost1 3 4 lost2 5 ");
        } else {
            drain.Settle(turn);
            EXPECT_EQ(Queued(queue), "1 2 lost1 3 4 ");
        }
    }
}

TEST(SocketDrain, WhatWasRescuedIsQueuedWhenTheSocketGoesQuiet) {
    HeldSource source;
    DatagramQueue queue({1 << 20, 1000});
    std::atomic<bool> stopping{false};
    SocketDrain drain(source, queue, stopping);
    source.Arrive({{1, 10, 0}, {2, 20, 0}});
    EXPECT_EQ(drain.Rescue(), 2);
    SocketDrain::Turn turn = drain.TryTurn();
    drain.Settle(turn);
    EXPECT_EQ(Queued(queue), "1 2 ");
}

}  // namespace
}  // namespace quillet
