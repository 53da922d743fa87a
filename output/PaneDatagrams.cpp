#include "output/PaneDatagrams.h"

namespace quillet {

void PaneDatagrams::Add(Datagram datagram) {
    if (count_ == ring_.size()) {
        // Grown in order, oldest at 0: the ring doubles rarely and never
        // shrinks, so a steady stream allocates nothing.
        std::vector<Datagram> grown;
        grown.reserve(ring_.empty() ? 64 : ring_.size() * 2);
        for (std::size_t i = 0; i < count_; ++i) grown.push_back(ring_[(first_ + i) % ring_.size()]);
        grown.resize(grown.capacity());
        ring_.swap(grown);
        first_ = 0;
    }
    ring_[(first_ + count_) % ring_.size()] = datagram;
    ++count_;
    bytes_ += datagram.bytes;
}

PaneDatagrams::Dropped PaneDatagrams::DropOldest(std::size_t limit, std::size_t after) {
    Dropped dropped;
    if (bytes_ <= limit) return dropped;
    while (bytes_ > after && count_ > 1) {
        const Datagram& oldest = ring_[first_];
        if (taken_ > 0) {
            dropped.widgetLines += oldest.lines;
            dropped.widgetEmptied = --taken_ == 0;
        } else {
            dropped.queuedLines += oldest.lines;
            dropped.queuedBytes += oldest.bytes;
        }
        bytes_ -= oldest.bytes;
        first_ = (first_ + 1) % ring_.size();
        --count_;
    }
    return dropped;
}

void PaneDatagrams::Clear() {
    first_ = 0;
    count_ = 0;
    taken_ = 0;
    bytes_ = 0;
}

}  // namespace quillet
