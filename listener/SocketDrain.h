// Taking datagrams off one socket into a listener's queue, by either of two
// threads, without losing their arrival order.
//
// Terms, as the listener uses them:
//   - the receive turn ("the turn"): a lock whose holder alone takes
//     datagrams from the socket and queues them, so they keep their arrival
//     order whichever thread takes them;
//   - standing in: the watching thread drains the socket when the receiving
//     thread is overdue (kept from running by other work on its processor)
//     or the receive buffer is filling (a quarter of it taken);
//   - a rescue: when the holder of the turn is itself kept from running
//     (usually with a batch in hand), the other thread takes what waits on
//     the socket into a rescue store instead of leaving it to the kernel,
//     which would drop it once the receive buffer is full; the holder, once
//     it runs, queues its batch and the rescued datagrams merged by the
//     kernel's arrival time of each (a holder that finds a rescue under way
//     keeps its batch aside and queues it so once the rescue is stored,
//     rather than wait for a rescuer that may itself be kept from running);
//   - settling: once the socket is quiet, the holder queues what was
//     rescued, says the kernel's drops since the last datagram, and hands
//     the queue's spare pages and those long datagrams took in the receive
//     slots back;
//   - the pace (DrainPace): how long a stream may gather in the socket
//     between receives, and whether the receive buffer fills fast, from the
//     rate of what is taken.
#pragma once

#include <atomic>
#include <array>
#include <cstdint>
#include <mutex>

#include "listener/DatagramQueue.h"
#include "listener/DrainPace.h"
#include "listener/DropCount.h"
#include "listener/ListenerTuning.h"
#include "listener/RescuedDatagrams.h"
#include "platform/UdpSocket.h"

namespace quillet {

// Where a drain takes datagrams from: the socket, or a test's stand-in for
// it (the seam through which a test holds a taker up at a chosen point).
class DatagramSource {
public:
    virtual ~DatagramSource() = default;
    // Takes what waits, up to `most` datagrams (at most buffers.Slots()),
    // without waiting. Returns how many (0: none), -1 when the source failed.
    virtual int TakeWaiting(ReceiveBatchBuffers& buffers, int most) = 0;
    // The source's count of datagrams dropped before they could be taken
    // (the kernel's, a 32-bit counter that wraps). False when unknown.
    virtual bool ReadDropCounter(std::uint32_t& counter) = 0;
};

class SocketDrain {
public:
    using Turn = std::unique_lock<std::mutex>;

    SocketDrain(DatagramSource& source, DatagramQueue& queue, const std::atomic<bool>& stopping);

    // The receive buffer the kernel granted (0: unknown), for the pace.
    // Before the draining threads start.
    void SetReceiveBuffer(std::int64_t bytes) { pace_.SetBuffer(bytes, tuning::kReceiveBatch); }
    const DrainPace& Pace() const { return pace_; }

    // The receive turn, if no other thread holds it (owns_lock() tells).
    Turn TryTurn() { return Turn(turn_, std::try_to_lock); }

    // With the turn held: takes one batch of what waits and queues it with
    // what was rescued meanwhile, in arrival order. Returns the datagrams
    // taken from the source, -1 when it failed. Leaves the reader to be woken.
    int Take(Turn& turn);
    // Without the turn, while its holder is kept from running: takes what
    // waits into the rescue store (bounded; the rest stays in the socket).
    // Returns how many datagrams.
    int Rescue();
    // With the turn held, the socket quiet: settles (see above).
    void Settle(Turn& turn);

    // Steady-clock microseconds of the last look at the source by the holder
    // of the turn, and of the last datagrams taken by anyone.
    std::int64_t LastDrainUs() const { return lastDrainUs_.load(std::memory_order_relaxed); }
    std::int64_t LastDatagramUs() const { return lastDatagramUs_.load(); }

    static std::int64_t NowUs();

private:
    // With the turn held: moves what the rescue store holds into merging_. A
    // rescue that begins after this takes later datagrams.
    void TakeRescuedLocked();
    // With the turn held: queues the turn's batch of `count` and the
    // datagrams in merging_, merged in arrival order. Returns their bytes.
    std::int64_t QueueMergedLocked(int count);
    // With the turn held: queues the batches kept aside and the datagrams in
    // merging_, merged in arrival order. Returns their bytes.
    std::int64_t QueueStoredLocked();
    // With the turn held: queues entry `index` of `store`. Returns its bytes.
    int PushStoredLocked(const RescuedDatagrams& store, std::size_t index);
    // Readies `buffers` for a take: long datagrams the queue would refuse
    // are dropped as they are taken. Returns how many to take at most.
    int ReadyToTake(ReceiveBatchBuffers& buffers) const;
    // How many long datagrams a take may copy in: fewer after long ones, so
    // that a flood of them writes to few receive slots.
    int Most() const {
        return longDatagrams_.load(std::memory_order_relaxed) ? tuning::kLongDatagramBatch : tuning::kReceiveBatch;
    }
    // Notes whether the `count` datagrams of `bytes` just taken were long.
    void NoteSizes(int count, std::int64_t bytes);

    DatagramSource& source_;
    DatagramQueue& queue_;
    const std::atomic<bool>& stopping_;

    // Used only by the holder of the turn.
    std::mutex turn_;
    ReceiveBatchBuffers buffers_{tuning::kReceiveBatch, tuning::kReceiveSlotBytes};
    std::array<std::uint32_t, tuning::kReceiveBatch> kernelLost_{};
    DropCount kernelDrops_;
    RescuedDatagrams merging_;
    // The holder's batches taken while a rescue held the rescue lock, in the
    // order taken; queued with that rescue's datagrams.
    RescuedDatagrams keptAside_;
    DrainPace pace_;

    // The rescue lock is taken after the turn, never before it. It is held
    // for a rescue, and by the holder only to move the rescued datagrams into
    // merging_, never while it queues: a holder kept from running while it
    // queues must not keep the rescuer waiting too.
    std::mutex rescueMutex_;
    ReceiveBatchBuffers rescueBuffers_{tuning::kReceiveBatch, tuning::kReceiveSlotBytes};
    RescuedDatagrams rescued_;

    std::atomic<bool> longDatagrams_{false};
    std::atomic<std::int64_t> lastDrainUs_{0};
    std::atomic<std::int64_t> lastDatagramUs_{0};
};

}  // namespace quillet
