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
// A datagram of this many bytes or more is long: it takes more than a page of
// a receive slot and of the queue. After a receive whose datagrams were long
// on average, the next copies at most kLongDatagramBatch of them in, so that
// a flood of them writes to few slots (each costs the process 64 KiB of
// memory once written to), and the queue takes long ones only while it holds
// less than DatagramQueueBound::longQueued (each costs the reporting thread a
// thousand times a small one's time; the queue is no help against such a
// flood). Long datagrams past those the queue has room for are dropped as
// they are taken (ReceiveBatchBuffers::DropFrom), their loss said as the
// kernel's drops are: the receiving thread copies no more of a flood than
// the queue can take.
inline constexpr std::size_t kLongDatagramBytes = 4096;
inline constexpr int kLongDatagramBatch = 8;

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
// receiving thread pauses for the pace's gathering time (DrainPace: as long
// as eight batches take to arrive at the rate measured, at most 5 ms, never
// longer than a watch interval), so that a stream is taken a few batches a
// wake-up instead of with two thread wake-ups a datagram; each wake-up costs
// processor time (tens of microseconds on a virtual machine). A datagram that
// had to be waited for came alone and is passed on at once. The reporting
// thread does the same after a run of fewer entries than
// kReportGatherBelow, for kReportGatherUs: its queue holds far more than a
// socket.
inline constexpr long kReportGatherUs = 500;
inline constexpr std::size_t kReportGatherBelow = 64;

// The receive buffer fills fast when it would fill within six times
// kFillsFastUs at the rate that comes (DrainPace's interval is shorter): a
// stock buffer and a fast sender. While it does, datagrams came within
// kStandBackQuietUs and the queue is less than kStandBackUntilQuarters / 4
// full, the reporting thread stands back from a run of a stream (found
// waiting), looking again every kStandBackNapUs; a run it had to wait for
// came alone and is reported at once (a pace not yet measured counts as
// fast, and a near agent's answer must not wait for the quiet). The
// draining threads must not wait for a processor longer than such a buffer
// lasts (2 ms), and the system shares the
// processors between programs first: a program that has used less than its
// share gets one soon, and the reporting thread, which takes most of the
// console's processor time in a burst, is the one that spends it. The queue
// holds the burst meanwhile, and is reported once the datagrams stop.
inline constexpr std::int64_t kFillsFastUs = 1000;
inline constexpr std::int64_t kStandBackQuietUs = 2000;
inline constexpr std::size_t kStandBackUntilQuarters = 3;
inline constexpr long kStandBackNapUs = 1000;

// Entries the reporting thread takes from the queue at a time; their room is
// given back when all of them are reported.
inline constexpr std::size_t kReportRun = 256;
// The most datagrams whose lines go to the hub in one commit (one log write),
// and the most items (lines) such a commit gathers before it goes: a long
// datagram, thousands of dump lines, goes alone, so that neither the batch
// nor the log write's buffer grows to the lines of 64 of them (OutputBatch
// keeps room for this many items between commits).
inline constexpr std::size_t kJoinedDatagrams = 64;
inline constexpr std::size_t kJoinedItems = 4096;
// The reporting thread runs this many steps of niceness below the draining
// threads and the window: when the cores are busy the socket is drained
// first (a datagram the kernel drops is gone, one in the queue only waits).
inline constexpr int kReportingPriorityDrop = 5;

// While datagrams come, the watching thread looks at the socket once every
// WatchIntervalUs, a sixth of the time the receive buffer the kernel granted
// takes to fill at the fastest sender's rate: kStockWatchIntervalUs for a
// stock buffer, proportionally longer for a larger one (fewer wake-ups cost
// less processor time), within bounds. Fixed, not measured: a rate measured
// from what the draining threads take says least when they are held up. A
// socket that has gone kOverdueIntervals without being drained is drained
// by the watching thread, and a holder of the receive turn is then rescued:
// both well within the time the buffer lasts.
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
// full queue (up to 1,048,576 datagrams) or a slow disk.
inline constexpr int kStopReportMs = 2000;
// Each port is bound by this many sockets as one group (UdpSocket::Bind),
// each with the receive buffer the system grants, and the kernel spreads
// the port's datagrams over them at random. A stock system grants a
// buffer that lasts 1.5 to 2 ms of a flat-out burst, less than the
// scheduler may keep both draining threads from running (a woken thread
// waits up to a 4 ms tick behind the one that runs, and both may wait at
// once); eight last 12 to 16 ms. Measured where the sender outruns the
// receiver, in alternated series (bench/README.md): one socket logged 23
// of 40 and 11 of 20 bursts of 100,000 whole, four 37 of 40 and 26 of 30,
// eight 30 of 30 and 20 of 20; a take visits each socket, so more cost
// more system calls.
inline constexpr int kReceiveSockets = 8;
// How often the receiving thread looks whether the watching thread has
// given the receive turn back.
inline constexpr long kTurnPollUs = 50;

}  // namespace quillet::tuning
