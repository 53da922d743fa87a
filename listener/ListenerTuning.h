// The listener's tuning constants, each with the reason for its value. The
// figures that chose them are in bench/README.md.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet::tuning {

// Bytes of one receive slot: the largest datagram UDP can carry.
inline constexpr std::size_t kReceiveSlotBytes = 65536;
// Datagrams taken by one receive call (recvmmsg): one system call drains a
// burst's worth of a stock receive buffer in a few calls.
inline constexpr int kReceiveBatch = 64;

// How long the socket is quiet before the kernel's drop counter is read (and
// the queue's spare pages given back): a loss at the end of a burst is said
// soon, and a quiet socket costs one wake-up a tenth of a second.
inline constexpr int kQuietMs = 100;
// Pause after a failed receive: a socket that fails every time (its port was
// taken by another program at start-up) must not keep a core busy.
inline constexpr int kReceiveFailurePauseMs = 200;

// A wait for the socket or the queue that took less than this found its
// datagram waiting already: a stream, not a lone datagram.
inline constexpr std::int64_t kStreamWaitUs = 100;
// After a receive that found fewer than a batch waiting in a stream, the
// receiving thread pauses this long before the next, so that a stream is
// taken a batch at a time instead of with two thread wake-ups a datagram;
// short enough that a stock receive buffer cannot fill meanwhile (its
// figures are in bench/README.md). A datagram that had to
// be waited for came alone and is passed on at once.
inline constexpr long kReceiveGatherUs = 250;
// The reporting thread does the same after a run of fewer entries than
// kReportGatherBelow; its queue holds far more than a socket.
inline constexpr long kReportGatherUs = 500;
inline constexpr std::size_t kReportGatherBelow = 64;

// Entries the reporting thread takes from the queue at a time; their room is
// given back when all of them are reported.
inline constexpr std::size_t kReportRun = 256;
// The most datagrams whose lines go to the hub in one commit (one log write).
inline constexpr std::size_t kJoinedDatagrams = 64;
// The reporting thread runs this many steps of niceness below the draining
// threads and the window: when the cores are busy the socket is drained
// first (a datagram the kernel drops is gone, one in the queue only waits).
inline constexpr int kReportingPriorityDrop = 5;
// The reporting thread lets waiting threads have its processor every this
// many datagrams, so that a draining thread queued behind it waits that long
// rather than for the scheduler's next tick.
inline constexpr std::size_t kYieldEvery = 16;

// While datagrams come, the watching thread looks at the socket once every
// WatchIntervalUs, a sixth of the time the receive buffer the kernel granted
// takes to fill at the fastest sender's rate: kStockWatchIntervalUs for a
// stock buffer, proportionally longer for a larger one (fewer wake-ups cost
// less processor time), within bounds. A socket that has gone two intervals
// without being drained is drained by the watching thread, and a holder of
// the receive turn that has held it that long without taking anything is
// rescued: both well within the time the buffer lasts.
inline constexpr std::int64_t kStockReceiveBufferBytes = 425984;
inline constexpr std::int64_t kStockWatchIntervalUs = 250;
inline constexpr std::int64_t kWatchShortestUs = 100;
inline constexpr std::int64_t kWatchLongestUs = 5000;
constexpr std::int64_t WatchIntervalUs(std::int64_t receiveBufferBytes) {
    const std::int64_t interval =
        receiveBufferBytes > 0 ? receiveBufferBytes * kStockWatchIntervalUs / kStockReceiveBufferBytes
                               : kStockWatchIntervalUs;
    return interval < kWatchShortestUs ? kWatchShortestUs : interval > kWatchLongestUs ? kWatchLongestUs : interval;
}
inline constexpr int kOverdueIntervals = 2;
// Finding nothing waiting, the watching thread doubles its interval up to
// kWatchLongestUs, until datagrams stop for kWatchQuietUs; then it waits on
// the socket.
inline constexpr std::int64_t kWatchQuietUs = 20000;
// The watching thread's longest wait for datagrams in one call (stopping
// wakes it sooner).
inline constexpr int kWatchIdleMs = 1000;
// At a stop, the reporting thread begins no report after this long and says
// what is left in one loss line: long enough for what a burst usually
// leaves queued, short enough that closing the window never waits long on a
// full queue (262,144 datagrams) or a slow disk.
inline constexpr int kStopReportMs = 2000;
// How often the receiving thread looks whether the watching thread has
// given the receive turn back.
inline constexpr long kTurnPollUs = 50;

}  // namespace quillet::tuning
