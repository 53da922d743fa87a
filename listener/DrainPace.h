// How soon a socket must be drained again so that its kernel receive buffer
// does not fill, and how long a stream may gather in it between receives:
// from the rate and size of the datagrams taken and the buffer the kernel
// granted. The watching thread looks at the socket once an interval, a sixth
// of the time the buffer takes to fill at the rate measured: Linux hands the
// memory of datagrams taken back to the buffer in steps of a quarter of it,
// so about three quarters are usable, and a socket found overdue after two
// or three intervals is still drained within half of them. The receiving
// thread, after a receive that found less than a batch waiting, pauses for
// as long as kGatherBatches batches take to arrive at that rate, never longer
// than an interval: a stream is so taken a few batches at a wake-up, with as
// few thread wake-ups as the buffer allows.
//
// The kernel charges a datagram against the receive buffer with its own
// bookkeeping besides the datagram's bytes. A stock Linux receive buffer
// (212,992 bytes asked, 425,984 granted) holds about 500 small datagrams:
// under 2 ms of a fast sender.
#pragma once

#include <atomic>
#include <cstdint>

namespace quillet {

class DrainPace {
public:
    // Bookkeeping the kernel charges a datagram besides its bytes (Linux,
    // small datagrams: about 670 bytes).
    static constexpr std::int64_t kChargePerDatagram = 704;
    // The rate is measured over windows of at least this long.
    static constexpr std::int64_t kWindowUs = 2000;
    // Bounds of the interval: never busier than this, and never slower, so
    // that a stream that suddenly speeds up is caught in time.
    static constexpr std::int64_t kShortestUs = 100;
    static constexpr std::int64_t kLongestUs = 5000;
    // The interval and the gathering pause until the first window of a
    // stream has been measured.
    static constexpr std::int64_t kUnmeasuredUs = 250;
    static constexpr std::int64_t kIntervalsPerFill = 6;
    // The longest gathering pause: a stream's datagrams wait no longer for
    // the listener than this.
    static constexpr std::int64_t kLongestGatherUs = 5000;
    static constexpr std::int64_t kGatherBatches = 8;

    // `bufferBytes`: the receive buffer the kernel granted (0: unknown,
    // taken as a stock system's). `batch`: the datagrams one receive takes.
    void SetBuffer(std::int64_t bufferBytes, int batch);

    // `count` datagrams of `bytes` in all were taken at `nowUs` (a steady
    // clock). Called by one thread at a time.
    void Taken(int count, std::int64_t bytes, std::int64_t nowUs);

    // The interval between looks at the socket. Any thread.
    std::int64_t IntervalUs() const { return intervalUs_.load(std::memory_order_relaxed); }
    // The receiving thread's pause after a receive that found less than a
    // batch waiting in a stream. Any thread.
    std::int64_t GatherUs() const { return gatherUs_.load(std::memory_order_relaxed); }

private:
    std::int64_t bufferBytes_ = 425984;
    std::int64_t batch_ = 64;
    std::int64_t windowStartUs_ = -1;
    std::int64_t lastTakenUs_ = 0;
    std::int64_t windowCount_ = 0;
    std::int64_t windowBytes_ = 0;
    std::atomic<std::int64_t> intervalUs_{kUnmeasuredUs};
    std::atomic<std::int64_t> gatherUs_{kUnmeasuredUs};
};

}  // namespace quillet
