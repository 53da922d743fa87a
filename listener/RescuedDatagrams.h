// Datagrams that one of a listener's draining threads took from the socket
// while the other, holding the receive turn, was kept from running with a
// batch of its own in hand. They wait here, in the order they were taken,
// until the holder of the turn queues them together with its own batch, the
// two merged by the kernel's arrival times, so that the queue keeps the
// arrival order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/UdpSocket.h"

namespace quillet {

class RescuedDatagrams {
public:
    // Taking more stops here; what stays in the socket waits there.
    static constexpr std::size_t kMaxEntries = 4096;
    static constexpr std::size_t kMaxBytes = 1u << 20;

    struct Entry {
        std::size_t offset;
        int size;
        Endpoint sender;
        std::uint32_t dropCounter;
        std::int64_t arrivalNs;
    };

    RescuedDatagrams();

    bool HasRoom() const { return entries_.size() < kMaxEntries && bytes_.size() < kMaxBytes; }
    bool Empty() const { return entries_.empty(); }
    std::size_t Count() const { return entries_.size(); }
    // Appends datagrams [0, count) of `buffers`, in order.
    void Append(const ReceiveBatchBuffers& buffers, int count);
    const Entry& At(std::size_t i) const { return entries_[i]; }
    const std::uint8_t* Data(const Entry& entry) const { return bytes_.data() + entry.offset; }
    // Forgets every entry (they have been queued).
    void Clear();

private:
    std::vector<std::uint8_t> bytes_;
    std::vector<Entry> entries_;
};

// Visits the `own` datagrams of a batch taken with the receive turn and the
// `rescued` ones, each run in arrival order, merged into one arrival order:
// takeOwn(i) or takeRescued(j) for each in turn. `ownArrival(i)` and
// `rescuedArrival(j)` give their arrival times. On equal times (0 when the
// system gives none) the batch goes first: its holder took it from the
// socket before the rescue began.
template <typename OwnArrival, typename RescuedArrival, typename TakeOwn, typename TakeRescued>
void MergeInArrivalOrder(int own, OwnArrival ownArrival, std::size_t rescued, RescuedArrival rescuedArrival,
                         TakeOwn takeOwn, TakeRescued takeRescued) {
    int i = 0;
    std::size_t j = 0;
    while (i < own || j < rescued) {
        if (j == rescued || (i < own && ownArrival(i) <= rescuedArrival(j)))
            takeOwn(i++);
        else
            takeRescued(j++);
    }
}

}  // namespace quillet
