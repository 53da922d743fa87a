// A listener: receives datagrams on one socket of the socket table for the
// whole run, reports each one through the output hub, and shows a
// receive-failure box once per run.
//
// Three threads share the work, so that the socket is drained faster than
// datagrams can arrive and a burst waits in memory instead of being dropped
// by the kernel:
//   - the receiving thread takes datagrams in batches (one system call for
//     all that are queued) into a bounded DatagramQueue, with their senders;
//   - a watching thread, woken by the socket like the receiving thread,
//     then wakes in step with how fast the kernel's receive buffer would
//     fill while datagrams come, and drains the socket itself when the
//     receiving thread is overdue (kept from running by other work on its
//     processor). Only the holder of the receive turn takes datagrams from
//     the socket and queues them, so they stay in arrival order whichever
//     thread takes them; when the holder itself is kept from running, the
//     other thread takes what waits into a rescue store, and the holder
//     queues it merged with its own batch by the kernel's arrival times;
//   - the reporting thread (this QThread) decodes, reports and logs them
//     from that queue, in arrival order, one committed batch per datagram.
// Datagrams lost anyway, dropped by the kernel (its drop counter comes with
// every datagram, and is read when the socket has been quiet for a while) or
// for want of room in the queue, are said with one line at the point where
// they were lost: the listener's loss line head and the number lost.
#pragma once

#include <QThread>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "output/ConsoleOutput.h"
#include "listener/DrainPace.h"
#include "listener/DropCount.h"
#include "listener/RescuedDatagrams.h"
#include "output/ErrorReporter.h"
#include "output/OutputBatch.h"
#include "listener/DatagramQueue.h"
#include "platform/UdpSocket.h"

namespace quillet {

class ListenerThread : public QThread {
public:
    static constexpr std::size_t kReceiveBufferSize = 65536;
    // Datagrams taken by one receive call.
    static constexpr int kReceiveBatch = 64;
    // How long the socket is quiet before the kernel's drop counter is read.
    static constexpr int kQuietMs = 100;

    ListenerThread(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, std::string receiveErrorText,
                   std::string lossLineHead, DatagramQueueBound bound = {});
    ~ListenerThread() override;

    // Ends both threads: wakes a waiting receive and the reporting thread,
    // and returns when both have ended.
    void Stop();

    // Instruments (any thread): datagrams waiting to be reported, the most
    // that ever waited, and losses not yet said.
    std::size_t Queued() const { return queue_.Queued(); }
    std::size_t MostQueued() const { return queue_.MostQueued(); }
    std::uint64_t LostNotYetSaid() const { return queue_.PendingLost(); }

protected:
    void run() override;
    // Reports one received datagram from `sender` by appending to `batch`.
    // Runs on the reporting thread.
    virtual void HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender,
                                OutputBatch& batch) = 0;
    // Called after each failed receive (after the box, if one was shown), on
    // the receiving thread.
    virtual void AfterReceiveFailure() {}
    // Called after the batch of a datagram has been committed, on the
    // reporting thread; the datagram's bytes are still valid.
    virtual void AfterCommit() {}
    // Whether the datagram just handled must be committed on its own, with
    // AfterCommit right after, before the next one is handled (it has work
    // to do after its commit, or the next one depends on that work). When
    // false, the lines of several datagrams go to the hub in one commit and
    // AfterCommit is called once for each of them after it.
    virtual bool CommitAlone() const { return true; }

private:
    void ReceiveLoop();
    void WatchLoop();
    // Datagrams came: the watching thread follows them until they stop.
    void WakeWatcher();
    // With the receive turn held: takes what is queued on the socket into
    // the queue. Returns how many datagrams, -1 on failure.
    int TakeQueuedLocked();
    // With the receive turn held: queues the turn's own batch of `count` and
    // the rescued datagrams taken out of the store, merged in arrival order.
    // Returns their bytes.
    std::int64_t QueueMergedLocked(int count);
    // With the receive turn held: moves what the rescue store holds into
    // merging_. A rescue that begins after this takes later datagrams.
    void TakeRescuedLocked();
    // While the other thread holds the turn but is kept from running: takes
    // what waits on the socket into the rescue store. Returns how many
    // datagrams.
    int Rescue();
    // With the receive turn held, the socket quiet: queues what was rescued,
    // says the kernel's drops since the last datagram, and gives back the
    // queue's pages.
    void SettleQuietLocked();
    void CommitJoined(std::size_t datagrams);

    UdpSocket& socket_;
    ConsoleOutput& output_;
    ErrorReporter& reporter_;
    std::string receiveErrorText_;
    std::string lossLineHead_;
    std::atomic<bool> stopping_{false};
    bool receiveErrorShown_ = false;
    DatagramQueue queue_;
    std::thread receiver_;
    std::thread watcher_;
    OutputBatch batch_;

    // The receive turn: only its holder takes datagrams from the socket and
    // queues them (so they keep their arrival order whichever thread takes
    // them), and only its holder uses the buffers, counts and pace below.
    std::mutex receiveTurn_;
    ReceiveBatchBuffers buffers_{kReceiveBatch, kReceiveBufferSize};
    std::array<std::uint32_t, kReceiveBatch> kernelLost_{};
    DropCount kernelDrops_;
    DrainPace pace_;
    // Taken while the turn's holder could not run; the rescue lock is taken
    // after the turn, never before it. It is held for a rescue, and by the
    // holder only to move the rescued datagrams into merging_ (its own, used
    // under the turn), never while it queues: a holder kept from running
    // while queueing must not keep the rescuer waiting too.
    std::mutex rescueMutex_;
    ReceiveBatchBuffers rescueBuffers_{kReceiveBatch, kReceiveBufferSize};
    RescuedDatagrams rescued_;
    RescuedDatagrams merging_;

    // Steady-clock microseconds of the last look at the socket and of the
    // last datagrams taken from it.
    std::atomic<std::int64_t> lastDrainUs_{0};
    std::atomic<std::int64_t> lastDatagramUs_{0};
    // The processor the receiving thread ran on last (-1: not known).
    std::atomic<int> receiverProcessor_{-1};
    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    std::atomic<bool> watching_{false};
};

}  // namespace quillet
