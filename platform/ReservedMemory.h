// A block of address space reserved at once and paid for in memory only as
// it is written: the ring of a listener's datagram queue. Pages can be made
// resident ahead of use and handed back to the system when no longer needed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet {

class ReservedMemory {
public:
    // Reserves at least `bytes` (rounded up to whole pages); throws
    // std::bad_alloc when the system refuses.
    explicit ReservedMemory(std::size_t bytes);
    ~ReservedMemory();
    ReservedMemory(const ReservedMemory&) = delete;
    ReservedMemory& operator=(const ReservedMemory&) = delete;

    std::uint8_t* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    // Writes the first `bytes` (whole pages) so that they are resident.
    void MakeResident(std::size_t bytes);
    // Hands the pages of [from, to) back; they read as zero when next used.
    // Both are rounded to whole pages, `from` up and `to` down.
    void GiveBack(std::size_t from, std::size_t to);

    static std::size_t PageSize();

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// Hands the memory the process's heap holds free back to the system, where
// the C library can (after a flood of long datagrams has come and gone, the
// heap keeps the room their texts took). Takes a few milliseconds; call it
// when nothing waits.
void ReturnFreedHeap();

// Blocks of kSeparateBlockBytes and more get pages of their own, handed back
// to the system as soon as they are freed: the texts and buffers a flood of
// long datagrams makes (hundreds of KiB each, on several threads) would
// otherwise be carved from the threads' heaps and kept there, fragmented,
// long after. The C library's default raises that size as such blocks are
// freed, up to 32 MiB. Call it once, before the listeners start.
inline constexpr std::size_t kSeparateBlockBytes = 256u << 10;
void BoundHeapGrowth();

}  // namespace quillet
