#include "listener/DatagramQueue.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "listener/ListenerTuning.h"

namespace quillet {

// A record is this header, the sender's address (four octets for IPv4;
// sixteen and the zone for IPv6), then the datagram: an IPv4 sender costs
// no room for an IPv6 one, so a burst of small traps fits more records.
struct DatagramQueue::Header {
    std::int32_t size;  // < 0: a loss-only entry
    std::uint16_t port;
    std::uint8_t family;
    std::uint64_t lostBefore;
    std::int64_t arrivalNs;
};

namespace {

std::size_t RoundUp(std::size_t value, std::size_t unit) { return (value + unit - 1) / unit * unit; }

std::size_t AddressBytes(std::uint8_t family) { return family == 6 ? 16 + sizeof(std::uint32_t) : 4; }

// Writes the sender's address as a record holds it; returns where the
// datagram goes.
std::uint8_t* PutAddress(std::uint8_t* out, const Endpoint& sender) {
    if (sender.family == 6) {
        std::memcpy(out, sender.address.data(), 16);
        std::memcpy(out + 16, &sender.scope, sizeof sender.scope);
    } else {
        std::memcpy(out, sender.address.data(), 4);
    }
    return out + AddressBytes(sender.family);
}

// Reads it back into `sender`, whose family is set; returns where the
// datagram lies.
const std::uint8_t* GetAddress(const std::uint8_t* in, Endpoint& sender) {
    if (sender.family == 6) {
        std::memcpy(sender.address.data(), in, 16);
        std::memcpy(&sender.scope, in + 16, sizeof sender.scope);
    } else {
        std::memcpy(sender.address.data(), in, 4);
    }
    return in + AddressBytes(sender.family);
}

}  // namespace

DatagramQueue::DatagramQueue(DatagramQueueBound bound)
    : bound_(bound), memory_(bound.bytes), ring_(memory_.Data()), capacity_(memory_.Size()) {
    wrapAt_ = capacity_;
    // The pages kept between bursts are made resident now, so that the first
    // burst does not fault them in one by one while the socket fills.
    memory_.MakeResident(kKeptBytes);
}

DatagramQueue::~DatagramQueue() = default;

std::size_t DatagramQueue::RecordSize(int size, std::uint8_t family) {
    return RoundUp(sizeof(Header) + AddressBytes(family) + static_cast<std::size_t>(size > 0 ? size : 0),
                   alignof(Header));
}

bool DatagramQueue::PushLocked(const std::uint8_t* data, int size, const Endpoint& sender, std::uint64_t lost,
                               std::int64_t arrivalNs) {
    if (entries_ >= bound_.entries) return false;
    const std::size_t need = RecordSize(size, sender.family);
    if (size >= static_cast<int>(tuning::kLongDatagramBytes) && bytes_ + need > bound_.longQueued) return false;
    std::size_t at;
    if (write_ >= read_) {
        // Not wrapped: the records lie in [read_, write_).
        if (capacity_ - write_ >= need) {
            at = write_;
        } else if (need < read_) {
            // Go on at the start; the reader turns back where the records end.
            wrapAt_ = write_;
            at = 0;
        } else {
            return false;
        }
    } else {
        // Wrapped: free space lies in [write_, read_); never fill it to the
        // last byte, so that write_ == read_ only ever means empty.
        if (read_ - write_ <= need) return false;
        at = write_;
    }
    Header header{};
    header.size = size;
    header.port = sender.port;
    header.family = sender.family;
    header.lostBefore = lost;
    header.arrivalNs = arrivalNs;
    std::memcpy(ring_ + at, &header, sizeof header);
    std::uint8_t* out = PutAddress(ring_ + at + sizeof header, sender);
    if (size > 0) std::memcpy(out, data, static_cast<std::size_t>(size));
    write_ = at + need;
    reached_ = std::max(reached_, write_);
    ++entries_;
    bytes_ += need;
    mostEntries_ = std::max(mostEntries_, entries_);
    return true;
}

std::size_t DatagramQueue::Push(const ReceiveBatchBuffers& buffers, int count, const std::uint32_t* kernelLost,
                                Wake wake) {
    bool waiting;
    std::size_t dropped = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int i = 0; i < count; ++i) {
            const std::uint64_t lost = pendingLost_ + (kernelLost != nullptr ? kernelLost[i] : 0);
            if (PushLocked(buffers.Data(i), buffers.Size(i), buffers.Sender(i), lost, buffers.ArrivalNs(i))) {
                pendingLost_ = 0;
            } else {
                pendingLost_ = lost + 1;
                ++dropped;
            }
        }
        waiting = waiting_ && entries_ != 0;
        if (waiting && wake == Wake::Later) wakeOwed_.store(true);
    }
    if (waiting && wake == Wake::Now) ready_.notify_one();
    return dropped;
}

bool DatagramQueue::Push(const std::uint8_t* data, int size, const Endpoint& sender, std::uint32_t kernelLost,
                         Wake wake, std::int64_t arrivalNs) {
    bool pushed;
    bool waiting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::uint64_t lost = pendingLost_ + kernelLost;
        pushed = PushLocked(data, size, sender, lost, arrivalNs);
        pendingLost_ = pushed ? 0 : lost + 1;
        waiting = waiting_ && pushed;
        if (waiting && wake == Wake::Later) wakeOwed_.store(true);
    }
    if (waiting && wake == Wake::Now) ready_.notify_one();
    return pushed;
}

void DatagramQueue::WakeReader() {
    // The reporting thread set waiting_ and began to wait under the lock the
    // push held, so it is waiting now, or has woken and will see the entries.
    // Called after every drain: the plain load keeps the common case (nothing
    // owed) to a read. The thread that set the flag always calls this after,
    // and sees its own store.
    if (wakeOwed_.load(std::memory_order_relaxed) && wakeOwed_.exchange(false)) ready_.notify_one();
}

void DatagramQueue::AddLost(std::uint64_t lost) {
    std::lock_guard<std::mutex> lock(mutex_);
    pendingLost_ += lost;
}

bool DatagramQueue::FlushLost() {
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pendingLost_ == 0) return true;
        if (!PushLocked(nullptr, -1, Endpoint{}, pendingLost_, 0)) return false;
        pendingLost_ = 0;
        wake = waiting_;
    }
    if (wake) ready_.notify_one();
    return true;
}

std::uint64_t DatagramQueue::PendingLost() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pendingLost_;
}

std::size_t DatagramQueue::Take(std::size_t limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (entries_ == 0 && !stopped_) {
        waiting_ = true;
        ready_.wait(lock);
        waiting_ = false;
    }
    if (stopped_) return 0;
    return TakeLocked(limit);
}

std::size_t DatagramQueue::TakeQueued(std::size_t limit) {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_ == 0 ? 0 : TakeLocked(limit);
}

std::uint64_t DatagramQueue::TakePendingLost() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(pendingLost_, 0);
}

std::size_t DatagramQueue::TakeLocked(std::size_t limit) {
    if (read_ == wrapAt_ && write_ < read_) {
        read_ = 0;
        wrapAt_ = capacity_;
    }
    runEntries_ = std::min(entries_, limit);
    runStart_ = runPos_ = read_;
    // The records of this run all lie before any wrap the writer makes from
    // now on, so the wrap point as it stands is the one that applies.
    runWrapAt_ = wrapAt_;
    runBytes_ = 0;
    return runEntries_;
}

DatagramQueue::Entry DatagramQueue::Next() {
    if (runPos_ == runWrapAt_) runPos_ = 0;
    Header header;
    std::memcpy(&header, ring_ + runPos_, sizeof header);
    Entry entry;
    entry.sender.family = header.family;
    entry.sender.port = header.port;
    entry.data = GetAddress(ring_ + runPos_ + sizeof header, entry.sender);
    entry.size = header.size;
    entry.lostBefore = header.lostBefore;
    entry.arrivalNs = header.arrivalNs;
    const std::size_t size = RecordSize(header.size, header.family);
    runPos_ += size;
    runBytes_ += size;
    return entry;
}

void DatagramQueue::Release() {
    if (runEntries_ == 0) return;
    // A run of long datagrams hands its pages beyond the kept ones back
    // before they are freed: a flood of them that never lets the queue run
    // empty would otherwise walk the writer through the whole ring, making
    // every page of it resident, while the queue holds no more than
    // `longQueued` at a time. The run's pages are the reporting thread's
    // until the lock below frees them, so no write can meet the hand-back.
    // A run of small ones keeps its pages: refaulting them would cost the
    // receiving thread time in a storm.
    if (runBytes_ >= runEntries_ * tuning::kLongDatagramBytes) {
        // GiveBack does nothing for an empty range.
        auto giveBackPastKept = [this](std::size_t from, std::size_t to) {
            memory_.GiveBack(std::max(from, kKeptBytes), to);
        };
        const bool wrapped = runPos_ < runStart_;  // the run went on at the ring's start
        giveBackPastKept(runStart_, wrapped ? runWrapAt_ : runPos_);
        if (wrapped) giveBackPastKept(0, runPos_);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    entries_ -= runEntries_;
    bytes_ -= runBytes_;
    runEntries_ = 0;
    read_ = runPos_;
    if (read_ == wrapAt_ && write_ < read_) {
        read_ = 0;
        wrapAt_ = capacity_;
    }
    if (entries_ == 0) {
        // Empty: start again at the beginning, in pages already in use.
        read_ = write_ = 0;
        wrapAt_ = capacity_;
    }
}

void DatagramQueue::TrimIfEmpty() {
    std::size_t to;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (entries_ != 0 || reached_ <= kKeptBytes) return;
        to = RoundUp(reached_, ReservedMemory::PageSize());
        reached_ = 0;
    }
    // Outside the lock: the caller is the only writer and the queue is
    // empty, so nothing touches the pages meanwhile, and a slow hand-back
    // never holds up the reporting thread.
    memory_.GiveBack(kKeptBytes, to);
}

void DatagramQueue::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    ready_.notify_all();
}

std::size_t DatagramQueue::Queued() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

std::size_t DatagramQueue::MostQueued() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mostEntries_;
}

bool DatagramQueue::Fuller(std::size_t numerator, std::size_t denominator) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_ * denominator > bound_.entries * numerator || bytes_ * denominator > capacity_ * numerator;
}

}  // namespace quillet
