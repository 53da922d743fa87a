// The queue between a listener's receiving thread and its reporting thread:
// received datagrams with their senders, in arrival order, in one ring of
// memory reserved at the start, so that queueing allocates nothing.
//
// Bounded twice: by the bytes of the ring (each datagram takes its size plus
// a small header) and by a count of datagrams. A datagram that finds the
// queue full is dropped and counted; the count travels with the next entry
// that gets in (a datagram, or a loss-only entry when none follows), so the
// reporting thread says how many were lost at the point they were lost.
//
// The ring's first kKeptBytes are made resident at the start: faulting pages
// in one by one costs the receiving thread time just when a burst fills the
// socket. The rest are reserved, not used, until datagrams reach them. Each
// time the queue runs empty it starts again at the beginning, so a steady
// stream stays in the first pages; once a burst that used more than
// kKeptBytes is over, the pages beyond are handed back to the system.
//
// A long burst never lets the queue run empty. So that it does not walk the
// writer through the whole ring, making every page resident while far less
// waits at once, the writer goes back to the beginning once past `goBackAt`
// and the reporting thread has freed the start. The records then lie in at
// most three runs, in reading order:
//   - the first, from the oldest record on;
//   - the second, from the start of the ring up to the oldest record (the
//     writer went back to the beginning);
//   - the third, after the end of the first (the second caught up with the
//     oldest record while room was left beyond the first: the ring keeps
//     its whole capacity).
// Once the reader is in the second run, the third goes on at the ring's
// start when it reaches the ring's end (three runs again).
//
// Long datagrams (tuning::kLongDatagramBytes and more) are queued only while
// the queue holds less than `longQueued` bytes: each takes its reporting
// thread a thousand times a small one's time, and a flood of them must not
// take the whole ring's memory while it waits. A run of long datagrams hands
// its pages beyond kKeptBytes back as it is released, so that a flood that
// never lets the queue run empty does not make the whole ring resident
// either.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/ReservedMemory.h"
#include "platform/UdpSocket.h"

namespace quillet {

// The bound holds a whole flat-out burst of a million small traps (1,048,576
// of 163 bytes fit): a sender on another core outruns the reporting thread,
// by twice when the machine is busy or the log's disk slow, and a burst
// after a link flap is what a test engineer must see whole. Only the pages
// a burst's backlog reaches cost memory (see goBackAt), and they are handed
// back once it is over.
struct DatagramQueueBound {
    std::size_t bytes = 192u << 20;     // datagram bytes and headers
    std::size_t entries = 1u << 20;     // datagrams
    std::size_t longQueued = 4u << 20;  // a long datagram finds the queue full from here on
    // The writer goes back to the start of the ring once past this: a burst
    // whose backlog stays below it keeps to these pages.
    std::size_t goBackAt = 32u << 20;
};

class DatagramQueue {
public:
    // Pages kept when a burst is over.
    static constexpr std::size_t kKeptBytes = 1u << 20;

    explicit DatagramQueue(DatagramQueueBound bound = {});
    ~DatagramQueue();
    DatagramQueue(const DatagramQueue&) = delete;
    DatagramQueue& operator=(const DatagramQueue&) = delete;

    // Whether a push wakes a waiting reporting thread at once, or leaves that
    // to WakeReader: waking a thread may cost the pusher its processor, which
    // a thread that is draining a socket cannot afford until it is done.
    enum class Wake { Now, Later };

    // Receiving side (one thread at a time). Queues datagram i of `buffers`
    // for i below `count`, each after `kernelLost[i]` datagrams the kernel
    // dropped just before it (null: none). Returns how many were dropped for
    // want of room.
    std::size_t Push(const ReceiveBatchBuffers& buffers, int count, const std::uint32_t* kernelLost,
                     Wake wake = Wake::Now);
    // The same for one datagram that arrived at `arrivalNs` (the system's
    // clock, 0: not known); false when it was dropped.
    bool Push(const std::uint8_t* data, int size, const Endpoint& sender, std::uint32_t kernelLost = 0,
              Wake wake = Wake::Now, std::int64_t arrivalNs = 0);
    // Receiving side: wakes the reporting thread if a push with Wake::Later
    // found it waiting.
    void WakeReader();
    // Receiving side: `lost` more datagrams were lost after the last one
    // queued. They are said with the next entry; Flush queues a loss-only
    // entry for them now, if there is room (false if not: try again later).
    void AddLost(std::uint64_t lost);
    bool FlushLost();
    std::uint64_t PendingLost() const;
    // Receiving side, when the socket has been quiet: if the queue is
    // empty, hands the pages a burst used beyond kKeptBytes back to the
    // system (never while datagrams keep coming, when it would only cost
    // time).
    void TrimIfEmpty();

    // One entry as the reporting thread sees it. `size` < 0: a loss-only entry.
    struct Entry {
        const std::uint8_t* data;
        int size;
        Endpoint sender;
        std::uint64_t lostBefore;
        std::int64_t arrivalNs;  // when the kernel received it (system clock), 0: not known
    };
    // Reporting thread: waits until entries are queued or Stop is called,
    // then returns a run of at most `limit` entries, oldest first (0 after
    // Stop). The run stays valid until Release.
    std::size_t Take(std::size_t limit);
    // Reporting thread, once nothing is pushed any more (after Stop too): a
    // run of what is queued, as Take, without waiting; 0 when empty.
    std::size_t TakeQueued(std::size_t limit);
    // Reporting thread, once nothing is pushed any more: the datagrams lost
    // after the last one queued, not yet said with an entry; now counted as
    // said.
    std::uint64_t TakePendingLost();
    // The next entry of the run Take returned, oldest first; call it once
    // for each entry of the run.
    Entry Next();
    // Frees the run Take returned.
    void Release();

    // Wakes Take for good.
    void Stop();

    // Instruments: entries queued now (those of a run taken but not yet
    // released included), the most ever queued, and the highest offset in
    // the ring written since the last trim (the ring's pages in use).
    std::size_t Queued() const;
    std::size_t MostQueued() const;
    std::size_t Reached() const;
    // Whether more than `numerator` / `denominator` of the part of the queue
    // a burst fills before its writer goes on past goBackAt is taken: of
    // those bytes, or of as large a share of the bound in entries. (The
    // reporting thread stands back from a stream no longer than such a
    // part holds; the rest of the ring is for the backlog of a burst.)
    bool Fuller(std::size_t numerator, std::size_t denominator) const;
    // How many long datagrams would find room now, up to `most`: each
    // counted at the longest size, but 1 where only a shorter one fits, and
    // 0 where none does. While none does, the receiving threads drop long
    // datagrams as they take them (ReceiveBatchBuffers::DropFrom) instead
    // of copying them in to be refused.
    int LongFits(int most) const;

private:
    struct Header;
    // Where a run of records ends and the next one begins: reading on from
    // `at`, the next record lies at `to`.
    struct Jump {
        std::size_t at;
        std::size_t to;
    };
    static std::size_t RecordSize(int size, std::uint8_t family);
    // Where a record of `need` bytes goes (adding a jump when it begins a
    // run), or npos when the ring has no room for it.
    std::size_t PlaceLocked(std::size_t need);
    // Moves read_ past the jumps it has reached.
    void FollowJumpsLocked();
    bool PushLocked(const std::uint8_t* data, int size, const Endpoint& sender, std::uint64_t lost,
                    std::int64_t arrivalNs);
    std::size_t TakeLocked(std::size_t limit);

    DatagramQueueBound bound_;
    ReservedMemory memory_;
    std::uint8_t* ring_;    // memory_'s bytes
    std::size_t capacity_;  // and their count, whole pages

    mutable std::mutex mutex_;
    std::condition_variable ready_;
    bool waiting_ = false;
    // A push with Wake::Later found the reporting thread waiting: WakeReader
    // wakes it (and only then costs anything).
    std::atomic<bool> wakeOwed_{false};
    bool stopped_ = false;
    std::size_t read_ = 0;      // offset of the oldest record
    std::size_t write_ = 0;     // offset where the next record goes
    std::size_t goBackAt_;      // bound_.goBackAt, within the ring
    // The ends of the first and second runs, in reading order.
    Jump jumps_[2] = {};
    int jumpCount_ = 0;
    std::size_t entries_ = 0;
    std::size_t bytes_ = 0;     // of the records queued
    std::size_t mostEntries_ = 0;
    std::size_t reached_ = 0;   // highest offset written since the last trim
    std::uint64_t pendingLost_ = 0;

    // The run handed out by Take (reporting thread only): its entries, where
    // it began, the next record, the jumps as they stood, how many it has
    // followed, and the bytes of its records read so far.
    std::size_t runEntries_ = 0;
    std::size_t runStart_ = 0;
    std::size_t runPos_ = 0;
    Jump runJumps_[2] = {};
    int runJumpCount_ = 0;
    int runJumpsTaken_ = 0;
    std::size_t runBytes_ = 0;
};

}  // namespace quillet
