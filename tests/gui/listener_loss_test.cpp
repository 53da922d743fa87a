// Datagrams lost by a listener are said with one line, at the point where
// they were lost, with the number lost; and never when nothing was lost.
//
// The listener's queue is bounded to three datagrams and its reporting
// thread is held inside the log write of the first datagram, so that the
// datagrams sent meanwhile find the queue full. Then a burst on a receive
// buffer of a few datagrams, where the kernel drops most of them and either
// of the listener's draining threads may take the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QPlainTextEdit>

#include "tests/gui/FormFixture.h"
#include "output/ConsoleOutput.h"
#include "text/Cp932.h"
#include "request/RequestState.h"
#include "listener/T_Port161.h"
#include "listener/T_Port162.h"
#include "tests/net/Loopback.h"

namespace quillet {
namespace {

// A log that holds the first write until it is let go.
class HeldLog : public LogSink {
public:
    bool Write(const char* data, std::size_t length) override {
        std::unique_lock<std::mutex> lock(mutex_);
        bytes_.append(data, length);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
        return true;
    }
    bool WaitEntered() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(3), [this] { return entered_; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    // The records written so far, back in UTF-8, without their CR LF.
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = bytes_.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(Cp932ToUtf8(bytes_.substr(start, end - start)));
        return lines;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string bytes_;
    bool entered_ = false;
    bool released_ = false;
};

// Binds `socket` and `sender` on loopback, `sender` aimed at `socket`.
bool LoopbackPair(UdpSocket& socket, UdpSocket& sender, int receiveBuffer = 0) {
    if (!socket.Create() || !socket.BindTo(Loopback(), receiveBuffer)) return false;
    if (!sender.Create() || !sender.BindTo(Loopback())) return false;
    sender.SetDestination(Loopback(socket.LocalPort()));
    return true;
}

TEST(ListenerLoss, LostDatagramsAreSaidOnceWithTheirCountWhereTheyWereLost) {
    struct Case {
        int port;
        std::string header;  // the header line before the size
        std::string lossHead;
    };
    const Case cases[] = {
        {162, "TRAP受信  SIZE=", "TRAP受信欠落  COUNT="},
        {161, "get response 受信 request ID=0  SIZE=", "response 受信欠落  COUNT="},
    };
    for (const Case& c : cases) {
        testing::RecordingReporter reporter;
        HeldLog log;
        ConsoleOutput output;
        output.SetLogSink(&log);
        UdpSocket socket, sender;
        ASSERT_TRUE(LoopbackPair(socket, sender));
        RequestState request;
        RequestTracker tracker;
        std::atomic<std::int32_t> equipment{0};
        DatagramQueueBound tiny;
        tiny.entries = 3;
        std::unique_ptr<ListenerThread> listener;
        if (c.port == 161) listener = std::make_unique<T_Port161>(socket, output, reporter, request, tracker, tiny);
        else listener = std::make_unique<T_Port162>(socket, output, reporter, equipment, tiny);
        listener->start();

        // Datagram n is n zero bytes, so its header line tells which it is.
        auto send = [&](int size) {
            const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(size), 0);
            ASSERT_EQ(sender.Send(zeros.data(), zeros.size()), size);
        };
        send(1);
        ASSERT_TRUE(log.WaitEntered());
        // The first is held in the log write and still takes its place in
        // the queue: two more get in, seven are lost.
        for (int size = 2; size <= 10; ++size) send(size);
        ASSERT_TRUE(testing::WaitFor([&] { return listener->LostNotYetSaid() == 7; })) << c.port;
        log.Release();
        auto headers = [&] {
            std::vector<std::string> seen;
            for (const std::string& line : log.Lines())
                if (line.rfind(c.header, 0) == 0) seen.push_back(line.substr(c.header.size()));
                else if (line.rfind(c.lossHead, 0) == 0) seen.push_back(line);
            return seen;
        };
        // Said once the socket has been quiet for a moment, before anything
        // that comes after.
        ASSERT_TRUE(testing::WaitFor([&] { return headers().size() == 4u; })) << c.port;
        send(11);
        ASSERT_TRUE(testing::WaitFor([&] { return headers().size() == 5u; })) << c.port;
        QThread::msleep(2 * tuning::kQuietMs);  // a quiet spell says nothing more
        EXPECT_EQ(headers(), (std::vector<std::string>{"1", "2", "3", c.lossHead + "7", "11"})) << c.port;
        PaneUpdate pane;
        output.TakePaneUpdate(pane);
        EXPECT_EQ(std::count(pane.lines.begin(), pane.lines.end(), c.lossHead + "7"), 1) << c.port;
        listener->Stop();
        EXPECT_TRUE(reporter.Errors().empty());
    }
}

TEST(ListenerLoss, ABurstBeyondTheReceiveBufferKeepsItsOrderAndSaysEveryGap) {
    testing::RecordingReporter reporter;
    HeldLog log;
    log.Release();
    ConsoleOutput output;
    output.SetLogSink(&log);
    UdpSocket socket, sender;
    // A receive buffer of about a hundred of these datagrams.
    ASSERT_TRUE(LoopbackPair(socket, sender, 65536));
    std::atomic<std::int32_t> equipment{0};
    T_Port162 listener(socket, output, reporter, equipment);
    listener.start();

    // Datagram i is (i % kCycle) + 1 zero bytes: its header line tells where
    // it stands in the cycle.
    constexpr int kSent = 20000;
    constexpr int kCycle = 499;
    const std::vector<std::uint8_t> zeros(kCycle, 0);
    for (int i = 0; i < kSent; ++i) ASSERT_GE(sender.Send(zeros.data(), static_cast<std::size_t>(i % kCycle + 1)), 0);

    const std::string header = "TRAP受信  SIZE=";
    const std::string lossHead = "TRAP受信欠落  COUNT=";
    // Replays the log: each datagram must be the one after the last plus
    // the number said lost in between. Returns how many were accounted for.
    auto accounted = [&](bool& inOrder) {
        long next = 0;  // index of the next datagram sent
        inOrder = true;
        for (const std::string& line : log.Lines()) {
            if (line.rfind(lossHead, 0) == 0) {
                next += std::stol(line.substr(lossHead.size()));
            } else if (line.rfind(header, 0) == 0) {
                const long size = std::stol(line.substr(header.size()));
                if (size != next % kCycle + 1) inOrder = false;
                ++next;
            }
        }
        return next;
    };
    bool inOrder = true;
    for (int waited = 0; accounted(inOrder) < kSent && waited < 200; ++waited) QThread::msleep(100);
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(accounted(inOrder), kSent);
    listener.Stop();
    EXPECT_TRUE(reporter.Errors().empty());
}

}  // namespace
}  // namespace quillet
