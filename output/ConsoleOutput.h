// The output hub ("the hub"): the one place every thread's output goes
// through, shared by the GUI thread, both listeners and the ping worker. It
// holds the writers of the output pane and the day's log file, the pane's
// bound and the three traffic counters.
//
// Any thread commits an OutputBatch. Under the pane lock its pane lines are
// decided by the two display switches and queued for the GUI thread, the
// oldest datagrams past the pane's bound are dropped (those still queued
// never reach the widget), counters are advanced and their new texts
// queued; under the log
// lock, taken first and held to the end, the batch's log records are written
// together, whole or not at all (a failed write is told to the window once a
// run, and the next batch tries again), unless the log's disk would keep
// less than its reserve of free space then (LogSink::HasRoomFor): appending
// then stops, whole batches at a time, and the lines not logged are
// counted; the pane says so once (kLogStoppedLine, and OnLogKeptFree tells
// the window) and, when there is room again, one line gives the count in
// the log and the pane before the next records. The GUI thread takes the queued pane
// work with TakePaneText and applies it whole; so every pane line and its
// log record go together, in one order for pane and log, the window
// is only ever touched on the GUI thread however fast lines arrive, and a
// slow write to the file never holds up the GUI thread's pane work.
//
// The GUI thread (console/OutputPane) takes that work when its PanePacer
// says it is due: at once after a quiet spell, and in a storm only as often
// as keeps the pane's share of the GUI thread small. The longer it waits, the more lines the bound
// drops before they ever reach the widget.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/LogRecord.h"
#include "output/LogSink.h"
#include "output/OutputBatch.h"
#include "output/PaneDatagrams.h"

namespace quillet {

// Pane work taken by the GUI thread: first empty the pane if asked, else
// remove its first `dropLines` lines (the oldest datagrams, whole), then
// append the lines in order, then set the control texts. TakePaneUpdate gives
// the lines as a list; TakePaneText, the window's path, gives them as one
// text, ready for a single append, and allocates nothing once warmed up.
struct PaneUpdate {
    bool clearFirst = false;
    std::size_t dropLines = 0;
    std::vector<std::string> lines;  // TakePaneUpdate
    std::string text;                // TakePaneText: the lines joined by '\n'
    std::size_t lineCount = 0;       // TakePaneText: lines in `text`
    std::array<std::optional<std::string>, static_cast<int>(Field::Count)> fields;

    void Reset() {
        clearFirst = false;
        dropLines = 0;
        lines.clear();
        text.clear();
        lineCount = 0;
        for (auto& f : fields) f.reset();
    }
};

// The pending pane work as the pace sees it: whether there is any, lines to
// add, and whether the pane is emptied first or how many lines it loses.
struct PendingPane {
    bool any = false;
    std::size_t lineCount = 0;
    bool clearFirst = false;
    std::size_t dropLines = 0;
};

class ConsoleOutput {
public:
    // The pane holds at most 2 MiB of text (UTF-8 bytes, a line break each;
    // some 30,000 lines of dumps): a datagram that takes it past the bound
    // makes the oldest datagrams go, each whole, until it holds at most
    // kPaneTextAfterDrop, so the lines of one datagram or one request always
    // stay together and the pane never empties itself. The log keeps
    // everything.
    static constexpr std::size_t kPaneTextLimit = 2u << 20;
    // An eighth below the bound: removing lines costs the widget the layout
    // of its new first line however few go (a long one takes milliseconds),
    // so it removes at most once per that much new text.
    static constexpr std::size_t kPaneTextAfterDrop = kPaneTextLimit - kPaneTextLimit / 8;
    // A line longer than this is shown cut, with kCutMark after it; the log
    // keeps it whole.
    static constexpr std::size_t kPaneLineLimit = 4096;
    static constexpr std::string_view kCutMark = "…(長すぎるため以下省略。ログには全体を記録)";
    // Said in the pane when appending to the log stops for its disk's
    // reserve of free space (platform/LogFile.h: 15 % of the file system, at
    // most 4 GiB), once each time it stops.
    static constexpr std::string_view kLogStoppedLine =
        "LOG記録停止：ディスクの空きが予備（容量の15%、最大4GiB）を下回ったため、LOGファイルへの記録を止めます。"
        "記録しなかった行の数は、空きが戻って記録を再開するときにLOGファイルに書きます。";
    // The line, in the log and the pane, before the first records written
    // again: this head and the count of lines not logged.
    static constexpr std::string_view kLogResumedHead = "LOG記録再開  ディスクの空き不足で記録しなかった行  COUNT=";

    // `wakeGui` is called (from the committing thread, outside the pane lock)
    // when pane work becomes pending; it must only schedule the taking of that
    // work (TakePaneText) on the GUI thread, never take it itself.
    explicit ConsoleOutput(std::function<void()> wakeGui = {});

    // The log file, or null when there is none (lines are then not logged).
    void SetLogSink(LogSink* sink);
    // Ends the run's records: writes the stop mark and detaches the log in
    // one step under the log lock, so no batch of any thread can reach the
    // file after the mark's empty line. Later batches go to the pane only.
    void WriteStopMarkAndDetach(const LocalDateTime& when);
    // Called once per run, on the first log write that fails, from the
    // writing thread and under the log lock: it must only schedule a notice
    // on the GUI thread. Writing goes on with every later batch, so records
    // reach the file again once the disk has room.
    void OnLogWriteFailure(std::function<void()> notify);
    // Called with true when appending stops for the disk's reserve, with
    // false when it goes on again; from the writing thread, under the log
    // lock: it must only schedule work on the GUI thread.
    void OnLogKeptFree(std::function<void(bool stopped)> notify);
    // The state of "PDU表示" and "全非表示"; the GUI thread calls this whenever
    // either check box changes, so every write sees the current state.
    void SetSwitches(bool pduDisplay, bool noDisplay);
    // The state of "詳細表示": whether reports add their details lines
    // (output/DetailLines.h). Any thread; read when a report is made.
    void SetDetails(bool on) { details_.store(on, std::memory_order_relaxed); }
    bool Details() const { return details_.load(std::memory_order_relaxed); }

    // The writers; callable from any thread.
    void Commit(const OutputBatch& batch);
    void WriteLine(std::string_view text, LineKind kind);
    void DumpPdu(const std::uint8_t* data, std::size_t length, LineKind kind);
    void ChargeOutput(int count);
    void WriteLogMark(LogMark which, const LocalDateTime& when);
    // One log record of `text` (UTF-8), not shown in the pane.
    void WriteLogOnly(std::string_view text);

    // Sets the three counters to 0 and queues "0" for TrapEdit, SendEdit and
    // RecvEdit, serialised with every increment.
    void ResetCounters();
    // Empties the pane, the lines still queued for it included; the
    // counters and the log are left as they are.
    void ClearPane();
    std::int32_t CounterValue(Counter counter) const;
    // The reports' estimates of the characters they showed since the pane
    // was last emptied.
    std::int32_t OutputTotal() const;

    // GUI thread: moves the pending pane work into `update` (which is reset
    // first), the lines as a list. Returns false when there was nothing to do.
    bool TakePaneUpdate(PaneUpdate& update);
    // As TakePaneUpdate, the lines joined into `update.text`; the storage of
    // `update` is handed back and forth, so that no line is allocated.
    bool TakePaneText(PaneUpdate& update);

    // GUI thread: the size of the pending pane work, for its pace
    // (PanePacer).
    PendingPane Pending() const;

private:
    // "Locked": under mutex_; "LogLocked": under logMutex_.
    void ApplyLocked(const OutputBatch::Item& item);
    void AppendRecordLogLocked(std::string& logBytes, const OutputBatch::Item& line);
    // Whether `records` may be appended now (see the reserve above): false
    // while the disk keeps its reserve, the lines counted; the line to show
    // in the pane before the batch's lines (none: empty) in `paneNote`; on
    // the first records after a stop, the count's record goes in front of
    // `records`.
    bool AdmitLogLocked(std::string& records, std::string& paneNote);
    // Appends records that AdmitLogLocked let through.
    void WriteLogLocked(const std::string& records);
    // A mark's or a note's records: admitted, written, and their pane note
    // queued.
    void WriteRecordsLocked(std::string& records);
    void QueueLineLocked(std::string_view text);
    // Ends the datagram whose lines were queued last and drops the oldest
    // datagrams past kPaneTextLimit: from the top of the widget, or, when
    // still queued, from the pending text, which then never reaches it.
    void KeepWithinBoundLocked();
    void EmptyPaneLocked();
    void ChargeLocked(int count);
    void QueueFieldLocked(Field field, std::string text);
    bool MarkPendingLocked();

    std::function<void()> wakeGui_;
    std::atomic<bool> details_{false};

    // The pane side: switches, budget, counters and the pending pane work.
    mutable std::mutex mutex_;
    bool pduDisplay_ = true;
    bool noDisplay_ = false;
    std::int32_t outputTotal_ = 0;
    PaneDatagrams held_;             // the datagrams in the pane or queued for it
    PaneDatagrams::Datagram open_;   // the lines queued since the last datagram ended
    std::size_t pendingDropped_ = 0;  // bytes at the front of pending_.text that the bound dropped
    std::array<std::int32_t, static_cast<int>(Counter::Count)> counters_{};
    PaneUpdate pending_;  // lines in text/lineCount form
    bool hasPending_ = false;

    // The log side. When both locks are held, logMutex_ is taken first.
    std::mutex logMutex_;
    LogSink* log_ = nullptr;
    std::string logScratch_;
    // The records of an outsized batch are let go after its write.
    static constexpr std::size_t kKeptScratchBytes = 1u << 20;
    std::function<void()> logFailureNotice_;
    bool logFailureNoted_ = false;
    std::function<void(bool)> keptFreeNotice_;
    bool keptFree_ = false;          // appending stopped for the disk's reserve
    std::uint64_t unloggedLines_ = 0;
    std::string logPrefix_;          // the count's record, put in front of the first records after a stop
    // Log records of recently written non-ASCII lines, by a hash of the line
    // (two lines a hash).
    // Reports repeat the same Japanese texts datagram after datagram, and
    // converting a line to code page 932 costs more than the rest of its
    // record; a line found here is copied instead.
    struct RecordSlot {
        std::string line;    // UTF-8
        std::string record;  // its log record
    };
    static constexpr std::size_t kRecordSets = 64;
    static constexpr std::size_t kRecordWays = 2;
    static std::size_t SetOf(std::string_view line);
    std::array<RecordSlot, kRecordSets * kRecordWays> recordCache_;
    std::array<std::uint8_t, kRecordSets> recordOlder_{};  // per set: the way to replace next
};

}  // namespace quillet
