// Datagrams lost by a listener are said with one line, at the point where
// they were lost, with the number lost; and never when nothing was lost.
//
// The listener's queue is bounded to three datagrams and its reporting
// thread is held inside the log write of the first datagram, so that the
// datagrams sent meanwhile find the queue full. Then a burst on a receive
// buffer of a few datagrams, where the kernel drops most of them and either
// of the listener's draining threads may take the rest. Last, a stop that
// begins while datagrams wait in the queue: they are reported before the
// listener ends (and so before the window's stop mark), or said lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QPlainTextEdit>

#include "tests/gui/FormFixture.h"
#include "output/ConsoleOutput.h"
#include "text/Cp932.h"
#include "request/RequestState.h"
#include "listener/T_Port161.h"
#include "listener/ListenerTuning.h"
#include "listener/T_Port162.h"
#include "tests/net/Loopback.h"

namespace quillet {
namespace {

// The trap listener's own SNMPv3 engine, and a session with no user: these
// tests send no SNMPv3 message.
const std::uint8_t kEngine[] = {0x80, 0x00, 0x00, 0x00, 0x05, 1, 2, 3, 4, 5, 6, 7, 8};
const ByteSpan kEngineId(kEngine, sizeof kEngine);
V3Users users;
V3Requests v3(users);

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
        if (c.port == 161) listener = std::make_unique<T_Port161>(socket, output, reporter, request, tracker, v3, nullptr, tiny);
        else listener = std::make_unique<T_Port162>(socket, output, reporter, equipment, users, kEngineId, 1, tiny);
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
    T_Port162 listener(socket, output, reporter, equipment, users, kEngineId, 1);
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

TEST(ListenerStop, WhatWasQueuedWhenTheStopBeganIsReportedOrSaidLost) {
    struct Case {
        int port;
        int releaseAfterMs;  // when the held report goes on, from the stop
        std::vector<std::string> expected;  // header sizes and loss lines, in log order
    };
    const std::string header162 = "TRAP受信  SIZE=";
    const std::string header161 = "get response 受信 request ID=0  SIZE=";
    const Case cases[] = {
        {162, 50, {"1", "2", "3", "4", "5", "6"}},
        {161, 50, {"1", "2", "3", "4", "5", "6"}},
        // Held past the bound: the five left are said, not dropped unsaid.
        {162, tuning::kStopReportMs + 500, {"1", "TRAP受信欠落  COUNT=5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        SCOPED_TRACE(c.releaseAfterMs);
        testing::RecordingReporter reporter;
        HeldLog log;
        ConsoleOutput output;
        output.SetLogSink(&log);
        UdpSocket socket, sender;
        ASSERT_TRUE(LoopbackPair(socket, sender));
        RequestState request;
        RequestTracker tracker;
        std::atomic<std::int32_t> equipment{0};
        std::unique_ptr<ListenerThread> listener;
        if (c.port == 161) listener = std::make_unique<T_Port161>(socket, output, reporter, request, tracker, v3);
        else listener = std::make_unique<T_Port162>(socket, output, reporter, equipment, users, kEngineId, 1);
        listener->start();
        const std::vector<std::uint8_t> zeros(6, 0);
        ASSERT_EQ(sender.Send(zeros.data(), 1), 1);
        ASSERT_TRUE(log.WaitEntered());
        for (int size = 2; size <= 6; ++size) ASSERT_EQ(sender.Send(zeros.data(), size), size);
        ASSERT_TRUE(testing::WaitFor([&] { return listener->Queued() == 6; }));
        std::thread release([&log, ms = c.releaseAfterMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            log.Release();
        });
        listener->Stop();
        release.join();
        std::vector<std::string> seen;
        for (const std::string& line : log.Lines()) {
            if (line.rfind(header162, 0) == 0) seen.push_back(line.substr(header162.size()));
            else if (line.rfind(header161, 0) == 0) seen.push_back(line.substr(header161.size()));
            else if (line.find("欠落") != std::string::npos) seen.push_back(line);
        }
        EXPECT_EQ(seen, c.expected);
        EXPECT_TRUE(reporter.Errors().empty());
    }
}

TEST(ListenerStop, TheStopMarkComesAfterTheLinesOfEveryTrapQueuedAtTheClose) {
    testing::RecordingReporter reporter;
    HeldLog log;
    auto form = std::make_unique<TMainForm>(testing::LoopbackConfig(&reporter));
    form->Output().SetLogSink(&log);
    UdpSocket sender;
    ASSERT_TRUE(sender.Create() && sender.BindTo(Loopback()));
    sender.SetDestination(Loopback(form->Sockets().At(1).socket.LocalPort()));
    // More traps than one commit takes: the reports of the last ones cannot
    // reach the log before a stop mark written while the first is held.
    constexpr int kTraps = 3 * static_cast<int>(tuning::kJoinedDatagrams);
    const std::vector<std::uint8_t> zeros(kTraps, 0);
    ASSERT_EQ(sender.Send(zeros.data(), 1), 1);
    ASSERT_TRUE(log.WaitEntered());
    for (int size = 2; size <= kTraps; ++size) ASSERT_EQ(sender.Send(zeros.data(), size), size);
    ASSERT_TRUE(testing::WaitFor([&] { return form->Sockets().TrapListenerMostQueued() == kTraps; }));
    std::thread release([&log] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        log.Release();
    });
    form->close();
    release.join();
    std::vector<std::string> records, expected;
    for (const std::string& line : log.Lines())
        if (line.rfind("--LOGGING STOP", 0) == 0) records.push_back("--LOGGING STOP");
        else if (line.rfind("TRAP受信  SIZE=", 0) == 0 || line.empty()) records.push_back(line);
    for (int size = 1; size <= kTraps; ++size) expected.push_back("TRAP受信  SIZE=" + std::to_string(size));
    // The stop mark's text is followed by an empty record; nothing comes after.
    expected.insert(expected.end(), {"--LOGGING STOP", ""});
    EXPECT_EQ(records, expected);
    EXPECT_TRUE(reporter.Errors().empty());
}

}  // namespace
}  // namespace quillet
