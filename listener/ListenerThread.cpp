#include "listener/ListenerThread.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <utility>

#include "listener/ThreadHandOff.h"
#include "platform/LocalTime.h"
#include "platform/ThreadScheduling.h"

namespace quillet {
namespace {

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
// thread waits this long (or less when the receive buffer would fill sooner)
// before the next, so that a stream is taken a batch at a time instead of
// with two thread wake-ups per datagram. A wait for the socket that took
// longer than kWaited had to wait for its datagram: no stream.
constexpr int kGatherBelow = ListenerThread::kReceiveBatch;
constexpr std::int64_t kGatherUs = 500;
constexpr std::chrono::microseconds kWaited{100};
// The reporting thread does the same after a run of fewer entries than this.
constexpr std::size_t kGatherRun = 64;
// The reporting thread lets waiting threads have its processor every this
// many datagrams (about 60 us of work): a draining thread kept waiting behind
// it would otherwise wait for the scheduler's next tick, up to 4 ms, while a
// fast stream fills a stock receive buffer in under 2.
constexpr std::size_t kYieldEvery = 16;
// The watching thread drains the socket itself when it has gone undrained for
// this many of the pace's intervals: the receiving thread is overdue.
constexpr std::int64_t kOverdueIntervals = 2;
// How often the receiving thread looks whether the watching thread has
// given the turn back.
constexpr long kTurnPollUs = 50;
// The watching thread sleeps until the next datagram once none has come for
// this long.
constexpr std::int64_t kWatchQuietUs = 20000;
// The watching thread's longest wait for datagrams in one call (stopping
// wakes it sooner).
constexpr int kWatchIdleMs = 1000;

std::int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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
    stopping_ = true;
    socket_.Shutdown();
    queue_.Stop();
    {
        // Under the lock: the watching thread is either waiting already, or
        // sees stopping_ before it waits.
        std::lock_guard<std::mutex> lock(watchMutex_);
    }
    watchWake_.notify_all();
    // The receiving thread may be waiting for an error box to be shown by
    // the GUI thread; keep serving events until the threads have ended.
    while (!wait(20)) QCoreApplication::processEvents();
    AcceptHandOff(this);
}

void ListenerThread::run() {
    receiver_ = std::thread([this] { ReceiveLoop(); });
    watcher_ = std::thread([this] { WatchLoop(); });
    LowerThreadPriority(kReportingPriorityDrop);
    // Short slices: the scheduler takes the processor back for a draining
    // thread at its first chance instead of after a full slice.
    AskShortSlices();
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
            if (i % kYieldEvery == kYieldEvery - 1) YieldProcessor();
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
    watcher_.join();
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
    {
        std::lock_guard<std::mutex> turn(receiveTurn_);
        pace_.SetBuffer(socket_.ReceiveBufferBytes());
    }
    while (!stopping_) {
        const auto asked = std::chrono::steady_clock::now();
        const int ready = socket_.WaitReadable(kQuietMs);
        // Datagrams that were waiting already are a stream; one that had to
        // be waited for came alone, and the next may be an answer the
        // operator waits for: it is not held up.
        const bool stream = std::chrono::steady_clock::now() - asked < kWaited;
        if (stopping_) break;
        int count = -1;
        if (ready >= 0) {
            // The watching thread may hold the turn; when it holds it for two
            // intervals it cannot run, and this thread rescues instead.
            std::unique_lock<std::mutex> turn(receiveTurn_, std::try_to_lock);
            if (!turn.owns_lock()) {
                const std::int64_t until = NowUs() + kOverdueIntervals * pace_.IntervalUs();
                while (!turn.try_lock() && NowUs() < until) PauseMicroseconds(kTurnPollUs);
                if (!turn.owns_lock()) {
                    Rescue();
                    continue;
                }
            }
            if (ready == 0) {
                SettleQuietLocked();
                continue;
            }
            count = TakeQueuedLocked();
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
        if (stream && count < kGatherBelow)
            PauseMicroseconds(static_cast<long>(std::min(kGatherUs, pace_.IntervalUs())));
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
    // A thread that sleeps most of the time and asks for short slices gets
    // the processor soon after it wakes, even when the receiving thread,
    // busy with a burst, is kept waiting.
    AskShortSlices();
    int keptOff = -1;
    while (!stopping_) {
        // Between bursts this thread waits on the socket itself, as the
        // receiving thread does, so that the first datagram wakes both. At
        // the start of a burst the receiving thread may be woken on the
        // sender's busy processor, or be owed no early turn after its busy
        // spell in the last burst; this thread, which has slept, then drains
        // from the start. Where the socket cannot be waited on, the receiving
        // thread wakes this one (WakeWatcher).
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
        // The pace may still hold the rate of before a quiet spell, when
        // the stream that woke this thread may be a burst: look soon.
        std::int64_t sleepUs = std::min(pace_.IntervalUs(), DrainPace::kUnmeasuredUs);
        while (!stopping_) {
            PauseMicroseconds(static_cast<long>(sleepUs));
            // Stand in from another processor than the receiving thread's:
            // one busy processor must not hold up both.
            const int receiving = receiverProcessor_.load(std::memory_order_relaxed);
            if (receiving >= 0 && receiving != keptOff && CurrentProcessor() == receiving &&
                KeepOffProcessor(receiving))
                keptOff = receiving;
            const std::int64_t intervalUs = pace_.IntervalUs();
            int taken = -1;
            if (NowUs() - lastDrainUs_.load(std::memory_order_relaxed) >= kOverdueIntervals * intervalUs) {
                // The socket has gone undrained too long: take what waits,
                // unless the receiving thread holds the turn (it is at it).
                std::unique_lock<std::mutex> turn(receiveTurn_, std::try_to_lock);
                if (turn.owns_lock()) {
                    taken = 0;
                    int count;
                    while (!stopping_ && (count = TakeQueuedLocked()) > 0) {
                        taken += count;
                        if (count < kReceiveBatch) break;
                    }
                    turn.unlock();
                    // Woken only now that the socket is drained and the turn
                    // given back (a wake-up may cost this thread its processor).
                    queue_.WakeReader();
                } else {
                    // The receiving thread has held the turn for two
                    // intervals without taking anything: the scheduler keeps
                    // it from running, likely with a batch in hand. Take what
                    // waits into the rescue store; the holder queues it with
                    // its batch.
                    taken = Rescue();
                }
            }
            // Found nothing waiting: look less often, down to the slowest
            // pace, until the datagrams have stopped for a while.
            sleepUs = taken == 0 ? std::min(sleepUs * 2, DrainPace::kLongestUs) : intervalUs;
            if (NowUs() - lastDatagramUs_.load() <= kWatchQuietUs) continue;
            // No datagram for a while: wait for the next one on the socket.
            // Where the socket cannot be waited on, either the receiving
            // thread sees watching_ cleared and wakes this thread, or this
            // thread sees the time of its datagram.
            watching_.store(false);
            if (NowUs() - lastDatagramUs_.load() > kWatchQuietUs) break;
            watching_.store(true);
        }
    }
}

int ListenerThread::TakeQueuedLocked() {
    const int count = socket_.ReceiveBatch(buffers_, 0);
    const std::int64_t now = NowUs();
    lastDrainUs_.store(now, std::memory_order_relaxed);
    // A rescue runs under the rescue lock, from its receive to its store: so
    // every rescue that took datagrams before (or while) this batch was taken
    // has stored them by now, and any later one takes later datagrams.
    TakeRescuedLocked();
    const int own = std::max(count, 0);
    if (own == 0 && merging_.Empty()) return count;
    lastDatagramUs_.store(now);
    const int rescued = static_cast<int>(merging_.Count());
    std::int64_t bytes = 0;
    if (rescued == 0) {
        for (int i = 0; i < count; ++i) {
            kernelLost_[i] = kernelDrops_.Advance(buffers_.DropCounter(i));
            bytes += buffers_.Size(i);
        }
        queue_.Push(buffers_, count, kernelLost_.data(), DatagramQueue::Wake::Later);
    } else {
        bytes = QueueMergedLocked(own);
    }
    pace_.Taken(own + rescued, bytes, now);
    return count;
}

void ListenerThread::TakeRescuedLocked() {
    std::lock_guard<std::mutex> rescue(rescueMutex_);
    // merging_ is empty here (the holder queues all of it before it gives
    // the turn back); swapping moves no datagram and allocates nothing.
    if (!rescued_.Empty()) std::swap(rescued_, merging_);
}

std::int64_t ListenerThread::QueueMergedLocked(int count) {
    std::int64_t bytes = 0;
    MergeInArrivalOrder(
        count, [this](int i) { return buffers_.ArrivalNs(i); }, merging_.Count(),
        [this](std::size_t j) { return merging_.At(j).arrivalNs; },
        [&](int i) {
            queue_.Push(buffers_.Data(i), buffers_.Size(i), buffers_.Sender(i),
                        kernelDrops_.Advance(buffers_.DropCounter(i)), DatagramQueue::Wake::Later);
            bytes += buffers_.Size(i);
        },
        [&](std::size_t j) {
            const RescuedDatagrams::Entry& entry = merging_.At(j);
            queue_.Push(merging_.Data(entry), entry.size, entry.sender, kernelDrops_.Advance(entry.dropCounter),
                        DatagramQueue::Wake::Later);
            bytes += entry.size;
        });
    merging_.Clear();
    return bytes;
}

int ListenerThread::Rescue() {
    std::lock_guard<std::mutex> rescue(rescueMutex_);
    int taken = 0;
    while (!stopping_ && rescued_.HasRoom()) {
        const int count = socket_.ReceiveBatch(rescueBuffers_, 0);
        if (count <= 0) break;
        rescued_.Append(rescueBuffers_, count);
        taken += count;
        if (count < kReceiveBatch) break;
    }
    if (taken > 0) lastDatagramUs_.store(NowUs());
    return taken;
}

void ListenerThread::SettleQuietLocked() {
    // Rescued datagrams go first: they came before the quiet.
    TakeRescuedLocked();
    if (!merging_.Empty()) {
        QueueMergedLocked(0);
        queue_.WakeReader();
    }
    // Datagrams the kernel dropped after the last one that came are said now,
    // not with the next one, which may never come.
    std::uint32_t counter;
    if (socket_.ReadDropCounter(counter)) queue_.AddLost(kernelDrops_.Advance(counter));
    queue_.FlushLost();
    queue_.TrimIfEmpty();
}

}  // namespace quillet
