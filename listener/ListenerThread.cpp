#include "listener/ListenerThread.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "listener/ListenerTuning.h"
#include "listener/ThreadHandOff.h"
#include "platform/Interfaces.h"
#include "platform/LocalTime.h"
#include "platform/ThreadScheduling.h"

namespace quillet {

using namespace tuning;

namespace {

std::int64_t NowUs() { return SocketDrain::NowUs(); }

static_assert(kJoinedItems <= OutputBatch::kKeptItems, "a joined commit's batch keeps its storage");

// The deadline of reports while the listener runs: none.
constexpr std::int64_t kNoDeadlineUs = INT64_MAX;

// Whether a wait that began at `asked` found its datagram waiting already.
bool FoundWaiting(std::int64_t askedUs) { return NowUs() - askedUs < kStreamWaitUs; }

}  // namespace

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
    if (watcher_.joinable()) watcher_.join();
}

void ListenerThread::Stop() {
    RequestStop();
    WaitStopped();
}

void ListenerThread::RequestStop() {
    if (stopping_) return;
    stopDeadlineUs_ = NowUs() + std::int64_t{kStopReportMs} * 1000;
    stopping_ = true;
    socket_.Shutdown();
    queue_.Stop();
    {
        // Under the lock: the watching thread is either waiting already, or
        // sees stopping_ before it waits.
        std::lock_guard<std::mutex> lock(watchMutex_);
    }
    watchWake_.notify_all();
}

void ListenerThread::WaitStopped() {
    // The receiving thread may be waiting for an error box to be shown by
    // the GUI thread; keep serving events until the threads have ended.
    while (!wait(20)) QCoreApplication::processEvents();
    AcceptHandOff(this);
}

void ListenerThread::run() {
    drain_.SetReceiveBuffer(socket_.ReceiveBufferBytes());
    watchIntervalUs_ = WatchIntervalUs(socket_.ReceiveBufferBytes());
    // Named after their port, for whoever watches the console's threads.
    const std::string port = std::to_string(socket_.LocalPort());
    receiver_ = std::thread([this, port] {
        NameThisThread(("receive:" + port).c_str());
        ReceiveLoop();
    });
    watcher_ = std::thread([this, port] {
        NameThisThread(("watch:" + port).c_str());
        WatchLoop();
    });
    NameThisThread(("report:" + port).c_str());
    LowerThreadPriority(kReportingPriorityDrop);
    for (;;) {
        const std::int64_t asked = NowUs();
        const std::size_t run = queue_.Take(kReportRun);
        if (run == 0) break;
        const bool stream = FoundWaiting(asked);
        // Only a stream stands back: a run that had to be waited for came
        // alone (an answer the operator waits for, or the first datagrams
        // of a burst) and is reported at once.
        while (stream && !stopping_ && StandBack()) PauseMicroseconds(kStandBackNapUs);
        ReportRun(run, kNoDeadlineUs);
        if (stopping_) break;
        // A short run of a stream (it was waiting already): let the next run
        // gather for a moment instead of waking for every few datagrams.
        if (stream && run < kReportGatherBelow) PauseMicroseconds(kReportGatherUs);
    }
    receiver_.join();
    watcher_.join();
    ReportQueuedAtStop();
    AnnounceHandOff(this);
}

PeerDetails ListenerThread::PeerOf(const Endpoint& sender, std::int64_t arrivalNs) {
    PeerDetails peer;
    peer.peer = sender;
    if (sender.scope != 0) InterfaceName(sender.scope, peer.zoneName);
    peer.when = LocalTimeOfNs(arrivalNs);
    return peer;
}

std::uint64_t ListenerThread::ReportRun(std::size_t run, std::int64_t deadlineUs) {
    // Datagrams that need nothing after their commit share one commit, up
    // to kJoinedDatagrams: the same lines in the same order, in one write.
    std::size_t joined = 0;
    std::uint64_t unreported = 0;
    const bool bounded = deadlineUs != kNoDeadlineUs;
    batch_.Clear();
    for (std::size_t i = 0; i < run; ++i) {
        const DatagramQueue::Entry entry = queue_.Next();
        if (bounded && (unreported != 0 || NowUs() >= deadlineUs)) {
            // Too late to report: counted for the stop's loss line, with the
            // losses this entry would have said.
            unreported += entry.lostBefore + (entry.size >= 0 ? 1 : 0);
            continue;
        }
        batch_.StartDatagram();
        AppendLossLine(batch_, lossLineHead_, entry.lostBefore);
        if (entry.size >= 0) {
            HandleDatagram(entry.data, entry.size, entry.sender, entry.arrivalNs, batch_);
            ++joined;
        }
        if (joined != 0 && (CommitAlone() || joined == kJoinedDatagrams || batch_.Size() >= kJoinedItems)) {
            CommitJoined(joined);
            joined = 0;
        }
    }
    CommitJoined(joined);
    queue_.Release();
    return unreported;
}

void ListenerThread::ReportQueuedAtStop() {
    // The draining threads have ended, so the turn is free and nothing more
    // is pushed: what was rescued joins the queue, and the kernel's drops
    // since the last datagram are counted, as when the socket goes quiet.
    {
        SocketDrain::Turn turn = drain_.TryTurn();
        if (turn.owns_lock()) drain_.Settle(turn);
    }
    const std::int64_t deadline = stopDeadlineUs_.load();
    std::uint64_t unreported = 0;
    for (std::size_t run; (run = queue_.TakeQueued(kReportRun)) != 0;) unreported += ReportRun(run, deadline);
    unreported += queue_.TakePendingLost();
    batch_.Clear();
    AppendLossLine(batch_, lossLineHead_, unreported);
    CommitJoined(0);
}

void ListenerThread::CommitJoined(std::size_t datagrams) {
    if (batch_.Empty()) return;
    output_.Commit(batch_);
    batch_.Clear();
    for (std::size_t i = 0; i < datagrams; ++i) AfterCommit();
}

bool ListenerThread::StandBack() const {
    // A receive buffer that fills within a few intervals at the rate that
    // comes, datagrams still coming, and room in the queue: reporting now
    // would only take processor time the draining threads may need.
    return FillsFast() && NowUs() - drain_.LastDatagramUs() < kStandBackQuietUs &&
           !queue_.Fuller(kStandBackUntilQuarters, 4);
}

bool ListenerThread::FillsFast() const { return drain_.Pace().IntervalUs() < kFillsFastUs;
}

std::int64_t ListenerThread::IntervalUs() const { return watchIntervalUs_; }

bool ListenerThread::TookFullBatch(int count) const { return count >= kReceiveBatch || socket_.MoreWaiting(); }

void ListenerThread::ReceiveLoop() {
    while (!stopping_) {
        const std::int64_t asked = NowUs();
        const int ready = socket_.WaitReadable(kQuietMs);
        // Datagrams that were waiting already are a stream; one that had to
        // be waited for came alone, and the next may be an answer the
        // operator waits for: it is not held up.
        const bool stream = FoundWaiting(asked);
        if (stopping_) break;
        int count = -1;
        if (ready >= 0) {
            // The watching thread may hold the turn; when it holds it that
            // long, it cannot run, and this thread rescues instead.
            SocketDrain::Turn turn = drain_.TryTurn();
            if (!turn.owns_lock()) {
                const std::int64_t until = NowUs() + kOverdueIntervals * IntervalUs();
                while (!turn.try_lock() && NowUs() < until) PauseMicroseconds(kTurnPollUs);
                if (!turn.owns_lock()) {
                    drain_.Rescue();
                    continue;
                }
            }
            if (ready == 0) {
                drain_.Settle(turn);
                continue;
            }
            count = drain_.Take(turn);
        }
        // The reporting thread is woken with the turn given back: the wake-up
        // may cost this thread its processor, and then the watching thread
        // can take over.
        queue_.WakeReader();
        if (count < 0) {
            if (stopping_) break;
            if (!receiveErrorShown_) {
                receiveErrorShown_ = true;
                reporter_.ShowError(receiveErrorText_);
            }
            AfterReceiveFailure();
            SleepMs(kReceiveFailurePauseMs);
            continue;
        }
        receiverProcessor_.store(CurrentProcessor(), std::memory_order_relaxed);
        if (count > 0) WakeWatcher();
        if (stream && !TookFullBatch(count))
            PauseMicroseconds(static_cast<long>(
                std::min(IntervalUs(), drain_.Pace().GatherUs())));
    }
}

void ListenerThread::WakeWatcher() {
    if (watching_.load()) return;
    {
        std::lock_guard<std::mutex> lock(watchMutex_);
        watching_.store(true);
    }
    watchWake_.notify_one();
}

void ListenerThread::WatchLoop() {
    int keptOff = -1;
    while (!stopping_) {
        // Between bursts this thread waits on the socket itself, as the
        // receiving thread does, so that the first datagram wakes both: at
        // the start of a burst the receiving thread may be woken on the
        // sender's busy processor, and this one then drains from the start.
        // Where the socket cannot be waited on, the receiving thread wakes
        // this one (WakeWatcher).
        while (!stopping_ && !watching_.load()) {
            const int ready = socket_.WaitReadable(kWatchIdleMs);
            if (ready > 0) {
                watching_.store(true);
            } else if (ready < 0) {
                std::unique_lock<std::mutex> lock(watchMutex_);
                watchWake_.wait_for(lock, std::chrono::milliseconds(kWatchIdleMs),
                                    [this] { return watching_.load() || stopping_; });
            }
        }
        if (stopping_) break;
        std::int64_t sleepUs = IntervalUs();
        while (!stopping_) {
            PauseMicroseconds(static_cast<long>(sleepUs));
            // Stand in from another processor than the receiving thread's:
            // one busy processor must not hold up both.
            const int receiving = receiverProcessor_.load(std::memory_order_relaxed);
            if (receiving >= 0 && receiving != keptOff && CurrentProcessor() == receiving &&
                KeepOffProcessor(receiving))
                keptOff = receiving;
            int taken = -1;
            const std::int64_t intervalUs = IntervalUs();
            if (NowUs() - drain_.LastDrainUs() >= kOverdueIntervals * intervalUs) {
                // The socket has gone undrained too long: take what waits,
                // unless the receiving thread holds the turn (it is at it).
                SocketDrain::Turn turn = drain_.TryTurn();
                if (turn.owns_lock()) {
                    taken = 0;
                    int count;
                    while (!stopping_ && (count = drain_.Take(turn)) > 0) {
                        taken += count;
                        if (!TookFullBatch(count)) break;
                    }
                    turn.unlock();
                    // Woken only now that the socket is drained and the turn
                    // given back (a wake-up may cost this thread its processor).
                    queue_.WakeReader();
                } else {
                    // The receiving thread has held the turn that long
                    // without taking anything: the scheduler keeps it from
                    // running, likely with a batch in hand. Rescue what waits.
                    taken = drain_.Rescue();
                }
            }
            // Found nothing waiting: look less often, down to the slowest
            // pace, until the datagrams have stopped for a while.
            sleepUs = taken == 0 ? std::min(sleepUs * 2, kWatchLongestUs) : intervalUs;
            if (NowUs() - drain_.LastDatagramUs() <= kWatchQuietUs) continue;
            // No datagram for a while: wait for the next one on the socket.
            // Where the socket cannot be waited on, either the receiving
            // thread sees watching_ cleared and wakes this thread, or this
            // thread sees the time of its datagram.
            watching_.store(false);
            if (NowUs() - drain_.LastDatagramUs() > kWatchQuietUs) break;
            watching_.store(true);
        }
    }
}

}  // namespace quillet
