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
    : bound_(bound), memory_(bound.bytes), ring_(memory_.Data()), capacity_(memory_.Size()),
      goBackAt_(std::min(bound.goBackAt, capacity_)) {
    // The pages kept between bursts are made resident now, so that the first
    // burst does not fault them in one by one while the socket fills.
    memory_.MakeResident(kKeptBytes);
}

DatagramQueue::~DatagramQueue() = default;

std::size_t DatagramQueue::RecordSize(int size, std::uint8_t family) {
    return RoundUp(sizeof(Header) + AddressBytes(family) + static_cast<std::size_t>(size > 0 ? size : 0),
                   alignof(Header));
}

std::size_t DatagramQueue::PlaceLocked(std::size_t need) {
    constexpr std::size_t npos = static_cast<std::size_t>(-1);
    if (write_ < read_) {
        // In the second run, below the oldest record: never up to it, so
        // that write_ == read_ only ever means empty.
        if (write_ + need < read_) return write_;
        // Caught up with the oldest record: a third run begins where the
        // first ends, if the ring has room there.
        const std::size_t third = jumps_[0].at;
        if (jumpCount_ != 1 || third + need > capacity_) return npos;
        jumps_[jumpCount_++] = Jump{write_, third};
        return third;
    }
    // In the first run or the third. The start of the ring is free below
    // the reader while no run is pending, or while the reader is in the
    // second run and only the third follows it: the writer goes back there
    // once past goBackAt_ in the first case, at the ring's end in both.
    const bool atEnd = capacity_ - write_ < need;
    if (need < read_ && (jumpCount_ == 0 ? write_ >= goBackAt_ || atEnd : jumpCount_ == 1 && atEnd)) {
        jumps_[jumpCount_++] = Jump{write_, 0};
        return 0;
    }
    return atEnd ? npos : write_;
}

bool DatagramQueue::PushLocked(const std::uint8_t* data, int size, const Endpoint& sender, std::uint64_t lost,
                               std::int64_t arrivalNs) {
    if (entries_ >= bound_.entries) return false;
    const std::size_t need = RecordSize(size, sender.family);
    if (size >= static_cast<int>(tuning::kLongDatagramBytes) && bytes_ + need > bound_.longQueued) return false;
    const std::size_t at = PlaceLocked(need);
    if (at == static_cast<std::size_t>(-1)) return false;
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

void DatagramQueue::FollowJumpsLocked() {
    while (jumpCount_ != 0 && read_ == jumps_[0].at) {
        read_ = jumps_[0].to;
        jumps_[0] = jumps_[1];
        --jumpCount_;
    }
}

std::size_t DatagramQueue::TakeLocked(std::size_t limit) {
    FollowJumpsLocked();
    runEntries_ = std::min(entries_, limit);
    runStart_ = runPos_ = read_;
    // The records of this run all lie before any jump the writer adds from
    // now on, so the jumps as they stand are the ones that apply.
    std::copy(jumps_, jumps_ + jumpCount_, runJumps_);
    runJumpCount_ = jumpCount_;
    runJumpsTaken_ = 0;
    runBytes_ = 0;
    return runEntries_;
}

DatagramQueue::Entry DatagramQueue::Next() {
    while (runJumpsTaken_ < runJumpCount_ && runPos_ == runJumps_[runJumpsTaken_].at)
        runPos_ = runJumps_[runJumpsTaken_++].to;
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
        std::size_t from = runStart_;
        for (int i = 0; i < runJumpsTaken_; ++i) {
            giveBackPastKept(from, runJumps_[i].at);
            from = runJumps_[i].to;
        }
        giveBackPastKept(from, runPos_);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    entries_ -= runEntries_;
    bytes_ -= runBytes_;
    runEntries_ = 0;
    // The jumps the run followed are behind the reader now.
    for (int i = 0; i < runJumpsTaken_; ++i) {
        jumps_[0] = jumps_[1];
        --jumpCount_;
    }
    read_ = runPos_;
    FollowJumpsLocked();
    if (entries_ == 0) {
        // Empty: start again at the beginning, in pages already in use.
        read_ = write_ = 0;
        jumpCount_ = 0;
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

std::size_t DatagramQueue::Reached() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reached_;
}

bool DatagramQueue::Fuller(std::size_t numerator, std::size_t denominator) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t entries = bound_.entries * goBackAt_ / capacity_;
    return entries_ * denominator > entries * numerator || bytes_ * denominator > goBackAt_ * numerator;
}

int DatagramQueue::LongFits(int most) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t shortest = RecordSize(static_cast<int>(tuning::kLongDatagramBytes), 4);
    if (entries_ >= bound_.entries || bytes_ + shortest > bound_.longQueued) return 0;
    const std::size_t longest = RecordSize(static_cast<int>(tuning::kReceiveSlotBytes), 6);
    const std::size_t fit = (bound_.longQueued - bytes_) / longest;
    return static_cast<int>(std::clamp<std::size_t>(fit, 1, static_cast<std::size_t>(std::max(most, 1))));
}

}  // namespace quillet
