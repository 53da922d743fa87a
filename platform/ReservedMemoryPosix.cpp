#include "platform/ReservedMemory.h"

#include <sys/mman.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace quillet {
namespace {

std::size_t RoundUp(std::size_t value, std::size_t unit) { return (value + unit - 1) / unit * unit; }

}  // namespace

std::size_t ReservedMemory::PageSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

ReservedMemory::ReservedMemory(std::size_t bytes) {
    size_ = RoundUp(std::max<std::size_t>(bytes, 1), PageSize());
    // Address space only: a page costs memory once something is written to it.
    void* block = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(block);
}

ReservedMemory::~ReservedMemory() { ::munmap(data_, size_); }

void ReservedMemory::MakeResident(std::size_t bytes) {
    std::memset(data_, 0, std::min(RoundUp(bytes, PageSize()), size_));
}

void ReservedMemory::GiveBack(std::size_t from, std::size_t to) {
    from = RoundUp(from, PageSize());
    to = std::min(to / PageSize() * PageSize(), size_);
    if (to > from) ::madvise(data_ + from, to - from, MADV_DONTNEED);
}

void BoundHeapGrowth() {
#if defined(__GLIBC__)
    // Setting the size also fixes the heap's trim threshold at its default.
    ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kSeparateBlockBytes));
#endif
}

void ReturnFreedHeap() {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

}  // namespace quillet
