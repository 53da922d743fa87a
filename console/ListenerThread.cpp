#include "console/ListenerThread.h"

#include <QCoreApplication>

#include <array>

#include "console/DropCount.h"
#include "console/platform/LocalTime.h"

namespace quillet {

// Pause after a failed receive: a socket that fails every time (its port was
// taken by another program at start-up) must not keep a core busy.
constexpr int kReceiveFailurePauseMs = 200;
// Entries the reporting thread takes from the queue at a time; their room is
// given back when all are reported.
constexpr std::size_t kReportRun = 256;

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
}

void ListenerThread::run() {
    receiver_ = std::thread([this] { ReceiveLoop(); });
    for (;;) {
        const std::size_t run = queue_.Take(kReportRun);
        if (run == 0) break;
        for (std::size_t i = 0; i < run && !stopping_; ++i) {
            const DatagramQueue::Entry entry = queue_.Next();
            if (entry.lostBefore != 0) {
                batch_.Clear();
                AppendLossLine(batch_, lossLineHead_, entry.lostBefore);
                output_.Commit(batch_);
            }
            if (entry.size < 0) continue;  // a loss and nothing else
            batch_.Clear();
            HandleDatagram(entry.data, entry.size, entry.sender, batch_);
            output_.Commit(batch_);
            AfterCommit();
        }
        queue_.Release();
        if (stopping_) break;
    }
    receiver_.join();
}

void ListenerThread::ReceiveLoop() {
    ReceiveBatchBuffers buffers(kReceiveBatch, kReceiveBufferSize);
    std::array<std::uint32_t, kReceiveBatch> kernelLost{};
    DropCount kernelDrops;
    while (!stopping_) {
        const int count = socket_.ReceiveBatch(buffers, kQuietMs);
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
            continue;
        }
        for (int i = 0; i < count; ++i) kernelLost[i] = kernelDrops.Advance(buffers.DropCounter(i));
        queue_.Push(buffers, count, kernelLost.data());
    }
}

}  // namespace quillet
