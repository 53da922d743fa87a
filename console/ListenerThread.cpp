#include "console/ListenerThread.h"

#include <QCoreApplication>

#include <array>
#include <chrono>

#include "console/DropCount.h"
#include "console/ThreadHandOff.h"
#include "console/platform/LocalTime.h"
#include "console/platform/ThreadScheduling.h"

namespace quillet {

// Pause after a failed receive: a socket that fails every time (its port was
// taken by another program at start-up) must not keep a core busy.
constexpr int kReceiveFailurePauseMs = 200;
// The reporting thread runs below the receiving thread and the GUI thread:
// when the cores are busy, the socket is drained first (a datagram the kernel
// drops is gone, one in the queue only waits), and the window stays quick.
constexpr int kReportingPriorityDrop = 5;
// Entries the reporting thread takes from the queue at a time; their room is
// given back when all are reported.
constexpr std::size_t kReportRun = 256;
// The most datagrams whose lines go to the hub in one commit.
constexpr std::size_t kJoinedDatagrams = 64;
// After a receive that found only a few datagrams waiting, the receiving
// thread waits this long before the next, so that a stream is taken a batch
// at a time instead of with two thread wake-ups per datagram. A receive that
// took longer than kWaited had to wait for its datagram: no stream. The kernel's
// receive buffer holds what comes meanwhile: a stock system's holds about 500
// small datagrams, 2.5 ms of 200,000 a second.
constexpr int kGatherBelow = ListenerThread::kReceiveBatch;
constexpr long kGatherUs = 500;
constexpr std::chrono::microseconds kWaited{100};
// The reporting thread does the same after a run of fewer entries than this.
constexpr std::size_t kGatherRun = 64;

ListenerThread::ListenerThread(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter,
                               std::string receiveErrorText, std::string lossLineHead, DatagramQueueBound bound)
    : socket_(socket),
      output_(output),
      reporter_(reporter),
      receiveErrorText_(std::move(receiveErrorText)),
      lossLineHead_(std::move(lossLineHead)),
      queue_(bound) {}

ListenerThread::~ListenerThread() {
    if (receiver_.joinable()) receiver_.join();
}

void ListenerThread::Stop() {
    stopping_ = true;
    socket_.Shutdown();
    queue_.Stop();
    // The receiving thread may be waiting for an error box to be shown by
    // the GUI thread; keep serving events until both threads have ended.
    while (!wait(20)) QCoreApplication::processEvents();
    AcceptHandOff(this);
}

void ListenerThread::run() {
    receiver_ = std::thread([this] { ReceiveLoop(); });
    LowerThreadPriority(kReportingPriorityDrop);
    for (;;) {
        const auto asked = std::chrono::steady_clock::now();
        const std::size_t run = queue_.Take(kReportRun);
        if (run == 0) break;
        const bool stream = std::chrono::steady_clock::now() - asked < kWaited;
        // Datagrams that need nothing after their commit share one commit, up
        // to kJoinedDatagrams: the same lines in the same order, in one write.
        std::size_t joined = 0;
        batch_.Clear();
        for (std::size_t i = 0; i < run && !stopping_; ++i) {
            const DatagramQueue::Entry entry = queue_.Next();
            AppendLossLine(batch_, lossLineHead_, entry.lostBefore);
            if (entry.size >= 0) {
                HandleDatagram(entry.data, entry.size, entry.sender, batch_);
                ++joined;
            }
            if (joined != 0 && (CommitAlone() || joined == kJoinedDatagrams)) {
                CommitJoined(joined);
                joined = 0;
            }
        }
        CommitJoined(joined);
        queue_.Release();
        if (stopping_) break;
        // A short run of a stream (it was waiting already): let the next run
        // gather for a moment instead of waking for every few datagrams.
        if (stream && run < kGatherRun) PauseMicroseconds(kGatherUs);
    }
    receiver_.join();
    AnnounceHandOff(this);
}

void ListenerThread::CommitJoined(std::size_t datagrams) {
    if (batch_.Empty()) return;
    output_.Commit(batch_);
    batch_.Clear();
    for (std::size_t i = 0; i < datagrams; ++i) AfterCommit();
}

void ListenerThread::ReceiveLoop() {
    // The socket must be drained within milliseconds in a burst (a stock
    // receive buffer holds about 500 small datagrams), even while the other
    // threads keep the cores busy.
    AskShortSlices();
    ReceiveBatchBuffers buffers(kReceiveBatch, kReceiveBufferSize);
    std::array<std::uint32_t, kReceiveBatch> kernelLost{};
    DropCount kernelDrops;
    while (!stopping_) {
        const auto asked = std::chrono::steady_clock::now();
        const int count = socket_.ReceiveBatch(buffers, kQuietMs);
        // Datagrams that were waiting already are a stream; one that the
        // receive had to wait for came alone, and the next may be an answer
        // the operator waits for: it is not held up.
        const bool stream = std::chrono::steady_clock::now() - asked < kWaited;
        if (stopping_) break;
        if (count < 0) {
            if (!receiveErrorShown_) {
                receiveErrorShown_ = true;
                reporter_.ShowError(receiveErrorText_);
            }
            AfterReceiveFailure();
            SleepMs(kReceiveFailurePauseMs);
            continue;
        }
        if (count == 0) {
            // Quiet: datagrams the kernel dropped after the last one that
            // came are said now, not with the next one, which may never come.
            std::uint32_t counter;
            if (socket_.ReadDropCounter(counter)) queue_.AddLost(kernelDrops.Advance(counter));
            queue_.FlushLost();
            queue_.TrimIfEmpty();
            continue;
        }
        for (int i = 0; i < count; ++i) kernelLost[i] = kernelDrops.Advance(buffers.DropCounter(i));
        queue_.Push(buffers, count, kernelLost.data());
        if (stream && count < kGatherBelow) PauseMicroseconds(kGatherUs);
    }
}

}  // namespace quillet
