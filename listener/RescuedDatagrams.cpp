#include "listener/RescuedDatagrams.h"

#include <cstring>

namespace quillet {

namespace {

// What the store keeps after a rescue of large datagrams.
constexpr std::size_t kKeptBytes = 256u << 10;

// Room for `count` elements whose pages are resident already: resized and
// cleared rather than only reserved, so that a rescue, which races a filling
// socket, never waits for the system to fault its pages in.
template <typename T>
void ReserveResident(std::vector<T>& store, std::size_t count) {
    store.resize(count);
    store.clear();
}

}  // namespace

RescuedDatagrams::RescuedDatagrams() {
    ReserveResident(bytes_, kKeptBytes);
    // One batch of 64 may go past the bound before taking stops.
    ReserveResident(entries_, kMaxEntries + 64);
}

void RescuedDatagrams::Append(const ReceiveBatchBuffers& buffers, int count) {
    for (int i = 0; i < count; ++i) {
        const int size = buffers.Size(i);
        Entry entry{bytes_.size(), size, buffers.Sender(i), buffers.DropCounter(i), buffers.ArrivalNs(i)};
        bytes_.insert(bytes_.end(), buffers.Data(i), buffers.Data(i) + size);
        entries_.push_back(entry);
    }
}

void RescuedDatagrams::Clear() {
    entries_.clear();
    bytes_.clear();
    if (bytes_.capacity() > kKeptBytes) {
        bytes_.shrink_to_fit();
        ReserveResident(bytes_, kKeptBytes);
    }
}

}  // namespace quillet
