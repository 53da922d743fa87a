#include "listener/SocketDrain.h"

#include <chrono>
#include <utility>

namespace quillet {

SocketDrain::SocketDrain(DatagramSource& source, DatagramQueue& queue, const std::atomic<bool>& stopping)
    : source_(source), queue_(queue), stopping_(stopping) {}

std::int64_t SocketDrain::NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int SocketDrain::Take(Turn& /*turn*/) {
    const int count = source_.TakeWaiting(buffers_, ReadyToTake(buffers_));
    const std::int64_t now = NowUs();
    lastDrainUs_.store(now, std::memory_order_relaxed);
    const int own = count > 0 ? count : 0;
    // A rescue runs under the rescue lock, from its receive to its store: so
    // once the lock is had, every rescue that took datagrams before (or
    // while) this batch was taken has stored them, and any later one takes
    // later datagrams. A rescue under way may itself be kept from running
    // half-way, lock in hand: rather than wait for it while the socket fills,
    // the batch is kept aside (after those kept before it) and queued with
    // the rescue's datagrams once the lock is free.
    std::unique_lock<std::mutex> rescue(rescueMutex_, std::try_to_lock);
    if (!rescue.owns_lock()) {
        if (own == 0) return count;
        if (keptAside_.HasRoom()) {
            keptAside_.Append(buffers_, own);
            lastDatagramUs_.store(now);
            return count;
        }
        rescue.lock();
    }
    if (!rescued_.Empty()) std::swap(rescued_, merging_);
    rescue.unlock();
    // Batches kept aside go first, this one after them.
    int fresh = own;
    if (fresh > 0 && !keptAside_.Empty()) {
        keptAside_.Append(buffers_, fresh);
        fresh = 0;
    }
    const int queued = fresh + static_cast<int>(keptAside_.Count() + merging_.Count());
    if (queued == 0) return count;
    lastDatagramUs_.store(now);
    std::int64_t bytes = 0;
    if (fresh == 0) {
        bytes = QueueStoredLocked();
    } else if (merging_.Empty()) {
        for (int i = 0; i < fresh; ++i) {
            kernelLost_[i] = kernelDrops_.Advance(buffers_.DropCounter(i));
            bytes += buffers_.Size(i);
        }
        queue_.Push(buffers_, fresh, kernelLost_.data(), DatagramQueue::Wake::Later);
    } else {
        bytes = QueueMergedLocked(fresh);
    }
    pace_.Taken(queued, bytes, now);
    NoteSizes(queued, bytes);
    return count;
}

int SocketDrain::ReadyToTake(ReceiveBatchBuffers& buffers) const {
    // Only as many long datagrams as the queue has room for are copied in
    // (fewer after long ones, so that a flood of them writes to few receive
    // slots); the others are dropped as they are taken, where the queue
    // would have refused them. Only the first page of their slots is
    // written, so the batch need not be smaller.
    const int whole = queue_.LongFits(Most());
    buffers.DropFrom(tuning::kLongDatagramBytes, whole);
    return tuning::kReceiveBatch;
}

void SocketDrain::NoteSizes(int count, std::int64_t bytes) {
    if (count > 0) longDatagrams_.store(bytes / count >= static_cast<std::int64_t>(tuning::kLongDatagramBytes),
                                        std::memory_order_relaxed);
}

void SocketDrain::TakeRescuedLocked() {
    std::lock_guard<std::mutex> rescue(rescueMutex_);
    // merging_ is empty here (the holder queues all of it before it gives
    // the turn back); swapping moves no datagram and allocates nothing.
    if (!rescued_.Empty()) std::swap(rescued_, merging_);
}

std::int64_t SocketDrain::QueueMergedLocked(int count) {
    std::int64_t bytes = 0;
    MergeInArrivalOrder(
        count, [this](int i) { return buffers_.ArrivalNs(i); }, merging_.Count(),
        [this](std::size_t j) { return merging_.At(j).arrivalNs; },
        [&](int i) {
            queue_.Push(buffers_.Data(i), buffers_.Size(i), buffers_.Sender(i),
                        kernelDrops_.Advance(buffers_.DropCounter(i)), DatagramQueue::Wake::Later, buffers_.ArrivalNs(i));
            bytes += buffers_.Size(i);
        },
        [&](std::size_t j) { bytes += PushStoredLocked(merging_, j); });
    merging_.Clear();
    return bytes;
}

int SocketDrain::PushStoredLocked(const RescuedDatagrams& store, std::size_t index) {
    const RescuedDatagrams::Entry& entry = store.At(index);
    queue_.Push(store.Data(entry), entry.size, entry.sender, kernelDrops_.Advance(entry.dropCounter),
                DatagramQueue::Wake::Later, entry.arrivalNs);
    return entry.size;
}

std::int64_t SocketDrain::QueueStoredLocked() {
    std::int64_t bytes = 0;
    MergeInArrivalOrder(
        static_cast<int>(keptAside_.Count()),
        [this](int i) { return keptAside_.At(static_cast<std::size_t>(i)).arrivalNs; }, merging_.Count(),
        [this](std::size_t j) { return merging_.At(j).arrivalNs; },
        [&](int i) { bytes += PushStoredLocked(keptAside_, static_cast<std::size_t>(i)); },
        [&](std::size_t j) { bytes += PushStoredLocked(merging_, j); });
    keptAside_.Clear();
    merging_.Clear();
    return bytes;
}

int SocketDrain::Rescue() {
    std::lock_guard<std::mutex> rescue(rescueMutex_);
    int taken = 0;
    while (!stopping_ && rescued_.HasRoom()) {
        const int count = source_.TakeWaiting(rescueBuffers_, ReadyToTake(rescueBuffers_));
        if (count <= 0) break;
        rescued_.Append(rescueBuffers_, count);
        taken += count;
        if (count < tuning::kReceiveBatch) break;
    }
    if (taken > 0) lastDatagramUs_.store(NowUs());
    return taken;
}

void SocketDrain::Settle(Turn& /*turn*/) {
    // Rescued datagrams, and batches kept aside while a rescue was under
    // way, go first: they came before the quiet.
    TakeRescuedLocked();
    if (!keptAside_.Empty() || !merging_.Empty()) {
        QueueStoredLocked();
        queue_.WakeReader();
    }
    // Datagrams the kernel dropped after the last one that came are said now,
    // not with the next one, which may never come.
    std::uint32_t counter;
    if (source_.ReadDropCounter(counter)) queue_.AddLost(kernelDrops_.Advance(counter));
    queue_.FlushLost();
    queue_.TrimIfEmpty();
    // The pages long datagrams took in the receive slots go back too; the
    // rescue's slots under its lock, since a rescue may be under way.
    buffers_.GiveBack();
    std::lock_guard<std::mutex> rescue(rescueMutex_);
    rescueBuffers_.GiveBack();
}

}  // namespace quillet
