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
    const int count = source_.TakeWaiting(buffers_);
    const std::int64_t now = NowUs();
    lastDrainUs_.store(now, std::memory_order_relaxed);
    // A rescue runs under the rescue lock, from its receive to its store: so
    // every rescue that took datagrams before (or while) this batch was taken
    // has stored them by now, and any later one takes later datagrams.
    TakeRescuedLocked();
    const int own = count > 0 ? count : 0;
    if (own == 0 && merging_.Empty()) return count;
    lastDatagramUs_.store(now);
    if (merging_.Empty()) {
        for (int i = 0; i < own; ++i) kernelLost_[i] = kernelDrops_.Advance(buffers_.DropCounter(i));
        queue_.Push(buffers_, own, kernelLost_.data(), DatagramQueue::Wake::Later);
    } else {
        QueueMergedLocked(own);
    }
    return count;
}

void SocketDrain::TakeRescuedLocked() {
    std::lock_guard<std::mutex> rescue(rescueMutex_);
    // merging_ is empty here (the holder queues all of it before it gives
    // the turn back); swapping moves no datagram and allocates nothing.
    if (!rescued_.Empty()) std::swap(rescued_, merging_);
}

void SocketDrain::QueueMergedLocked(int count) {
    MergeInArrivalOrder(
        count, [this](int i) { return buffers_.ArrivalNs(i); }, merging_.Count(),
        [this](std::size_t j) { return merging_.At(j).arrivalNs; },
        [&](int i) {
            queue_.Push(buffers_.Data(i), buffers_.Size(i), buffers_.Sender(i),
                        kernelDrops_.Advance(buffers_.DropCounter(i)), DatagramQueue::Wake::Later, buffers_.ArrivalNs(i));
        },
        [&](std::size_t j) {
            const RescuedDatagrams::Entry& entry = merging_.At(j);
            queue_.Push(merging_.Data(entry), entry.size, entry.sender, kernelDrops_.Advance(entry.dropCounter),
                        DatagramQueue::Wake::Later, entry.arrivalNs);
        });
    merging_.Clear();
}

int SocketDrain::Rescue() {
    std::lock_guard<std::mutex> rescue(rescueMutex_);
    int taken = 0;
    while (!stopping_ && rescued_.HasRoom()) {
        const int count = source_.TakeWaiting(rescueBuffers_);
        if (count <= 0) break;
        rescued_.Append(rescueBuffers_, count);
        taken += count;
        if (count < tuning::kReceiveBatch) break;
    }
    if (taken > 0) lastDatagramUs_.store(NowUs());
    return taken;
}

void SocketDrain::Settle(Turn& /*turn*/) {
    // Rescued datagrams go first: they came before the quiet.
    TakeRescuedLocked();
    if (!merging_.Empty()) {
        QueueMergedLocked(0);
        queue_.WakeReader();
    }
    // Datagrams the kernel dropped after the last one that came are said now,
    // not with the next one, which may never come.
    std::uint32_t counter;
    if (source_.ReadDropCounter(counter)) queue_.AddLost(kernelDrops_.Advance(counter));
    queue_.FlushLost();
    queue_.TrimIfEmpty();
}

}  // namespace quillet
