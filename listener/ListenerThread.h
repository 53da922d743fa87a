// A listener: receives datagrams on one socket of the socket table for the
// whole run, reports each one through the output hub, and shows a
// receive-failure box once per run.
//
// Three threads share the work, so that the socket is drained faster than
// datagrams can arrive and a burst waits in memory instead of being dropped
// by the kernel:
//   - the receiving thread waits on the socket and takes what waits in
//     batches into the listener's DatagramQueue, with their senders;
//   - the watching thread wakes with the first datagram after a quiet spell
//     and then once a watch interval (ListenerTuning.h) while datagrams
//     come; it stands in for the receiving thread when that one is overdue,
//     and rescues when the holder of
//     the receive turn is kept from running (SocketDrain.h defines these
//     terms). It sleeps nearly all the time, so the scheduler runs it soon
//     after it wakes;
//   - the reporting thread (this QThread) decodes, reports and logs the
//     datagrams from the queue, in arrival order, one committed batch per
//     datagram (or per run of datagrams that need nothing after their
//     commit). While a small receive buffer fills fast it stands back, the
//     queue holding the burst, so that the draining threads have every
//     processor the console is given.
// Datagrams lost anyway, dropped by the kernel (its drop counter comes with
// every datagram, and is read when the socket has been quiet for a while) or
// for want of room in the queue, are said with one line at the point where
// they were lost: the listener's loss line head and the number lost.
//
// A stop ends the draining threads at once; what they had taken by then
// (the queue and the rescue store) is still reported, for at most
// tuning::kStopReportMs, and what is left then is said with one loss line,
// so that the console's stop mark can follow the last datagram's lines.
#pragma once

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "listener/DatagramQueue.h"
#include "listener/SocketDrain.h"
#include "output/ConsoleOutput.h"
#include "output/DetailLines.h"
#include "output/ErrorReporter.h"
#include "output/OutputBatch.h"
#include "platform/UdpSocket.h"

namespace quillet {

class ListenerThread : public QThread {
public:
    ListenerThread(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, std::string receiveErrorText,
                   std::string lossLineHead, DatagramQueueBound bound = {});
    ~ListenerThread() override;

    // Ends the three threads: RequestStop, then WaitStopped.
    void Stop();
    // Begins the stop and returns at once: the draining threads stop taking
    // datagrams (a waiting receive and the watching thread are woken), and
    // the reporting thread reports what they had queued, beginning no
    // report after tuning::kStopReportMs from now; the datagrams it could not
    // report then, and the losses not yet said, are said in one loss line.
    void RequestStop();
    // Returns when all three threads have ended, serving the calling
    // thread's events meanwhile (a listener may wait on an error box).
    void WaitStopped();

    // The details lines' view of a datagram's sender and arrival.
    static PeerDetails PeerOf(const Endpoint& sender, std::int64_t arrivalNs);

    // Instruments (any thread): datagrams waiting to be reported, the most
    // that ever waited, and losses not yet said.
    std::size_t Queued() const { return queue_.Queued(); }
    std::size_t MostQueued() const { return queue_.MostQueued(); }
    std::uint64_t LostNotYetSaid() const { return queue_.PendingLost(); }

protected:
    void run() override;
    // Whether reports add their details lines now.
    bool DetailsOn() const { return output_.Details(); }
    // Reports one received datagram from `sender`, which the kernel received
    // at `arrivalNs` (the system's clock, 0: not known), by appending to
    // `batch`. Runs on the reporting thread.
    virtual void HandleDatagram(const std::uint8_t* data, int size, const Endpoint& sender,
                                std::int64_t arrivalNs, OutputBatch& batch) = 0;
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
    // The socket as the drain's source of datagrams.
    class SocketSource : public DatagramSource {
    public:
        explicit SocketSource(UdpSocket& socket) : socket_(socket) {}
        int TakeWaiting(ReceiveBatchBuffers& buffers, int most) override {
            return socket_.ReceiveBatch(buffers, 0, most);
        }
        bool ReadDropCounter(std::uint32_t& counter) override { return socket_.ReadDropCounter(counter); }

    private:
        UdpSocket& socket_;
    };

    // Whether the reporting thread stands back for now, and whether the
    // receive buffer fills fast (ListenerTuning.h).
    bool StandBack() const;
    bool FillsFast() const;
    // The watch interval now (DrainPace).
    std::int64_t IntervalUs() const;
    // Whether a take of `count` found a whole batch waiting, so that more may
    // wait: a full batch, or a socket group's take that filled its slots
    // however few it could hand on yet.
    bool TookFullBatch(int count) const;
    void ReceiveLoop();
    void WatchLoop();
    // Datagrams came: the watching thread follows them until they stop.
    void WakeWatcher();
    void CommitJoined(std::size_t datagrams);
    // Reports the run of `run` entries the queue handed out and releases it;
    // from `deadlineUs` on (steady clock), entries are counted instead of
    // reported. Returns the datagrams counted so, with the losses they carry.
    std::uint64_t ReportRun(std::size_t run, std::int64_t deadlineUs);
    // After the draining threads have ended: reports what they had taken,
    // within the stop's deadline, and says what was not.
    void ReportQueuedAtStop();

    UdpSocket& socket_;
    ConsoleOutput& output_;
    ErrorReporter& reporter_;
    std::string receiveErrorText_;
    std::string lossLineHead_;
    std::atomic<bool> stopping_{false};
    // Steady-clock microseconds after which no report is begun: set by
    // RequestStop before stopping_.
    std::atomic<std::int64_t> stopDeadlineUs_{0};
    bool receiveErrorShown_ = false;
    DatagramQueue queue_;
    SocketSource source_{socket_};
    SocketDrain drain_{source_, queue_, stopping_};
    std::thread receiver_;
    std::thread watcher_;
    OutputBatch batch_;

    // The processor the receiving thread ran on last (-1: not known).
    // The watch interval for the receive buffer the socket was granted; set
    // before the draining threads start.
    std::int64_t watchIntervalUs_ = 0;
    std::atomic<int> receiverProcessor_{-1};
    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    std::atomic<bool> watching_{false};
};

}  // namespace quillet
