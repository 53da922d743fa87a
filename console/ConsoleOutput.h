// The output hub shared by every thread: the writers of the output pane and
// the day's log file, the pane budget and the three traffic counters.
//
// Any thread commits an OutputBatch. Under one lock the batch's log records
// are written in a single write call, its pane lines are decided by the two
// display switches and queued for the GUI thread, the pane budget is charged
// (an emptying drops the queued lines it would remove anyway), counters are
// advanced and their new texts queued. The GUI thread takes the queued pane
// work with TakePaneUpdate and applies it whole; so every pane line and its
// log record go together, in one order for pane and log, and the window is
// only ever touched on the GUI thread however fast lines arrive.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/LogRecord.h"
#include "console/OutputBatch.h"

namespace quillet {

// Where log records go; the platform layer provides the file.
class LogSink {
public:
    virtual ~LogSink() = default;
    // Appends the bytes in one write; failures are not reported.
    virtual void Write(const char* data, std::size_t length) = 0;
};

// Pane work taken by the GUI thread: first empty the pane if asked, then
// append the lines in order, then set the control texts.
struct PaneUpdate {
    bool clearFirst = false;
    std::vector<std::string> lines;
    std::array<std::optional<std::string>, static_cast<int>(Field::Count)> fields;

    void Reset() {
        clearFirst = false;
        lines.clear();
        for (auto& f : fields) f.reset();
    }
};

class ConsoleOutput {
public:
    // The pane is emptied once the budget exceeds 0.4 x 65536 characters.
    static constexpr std::int32_t kPaneBudgetLimit = 26214;  // emptied at 26215 and above

    // `wakeGui` is called (from the committing thread, outside the lock) when
    // pane work becomes pending; it must only schedule TakePaneUpdate on the
    // GUI thread, never call it directly.
    explicit ConsoleOutput(std::function<void()> wakeGui = {});

    // The log file, or null when there is none (lines are then not logged).
    void SetLogSink(LogSink* sink);
    // The state of "PDU表示" and "全非表示"; the GUI thread calls this whenever
    // either check box changes, so every write sees the current state.
    void SetSwitches(bool pduDisplay, bool noDisplay);

    // The writers; callable from any thread.
    void Commit(const OutputBatch& batch);
    void WriteLine(std::string_view text, int kind);
    void DumpPdu(const std::uint8_t* data, std::size_t length, int kind);
    void ChargeOutput(int count);
    void WriteLogMark(int which, const LocalDateTime& when);

    // Sets the three counters to 0 and queues "0" for TrapEdit, SendEdit and
    // RecvEdit, serialised with every increment.
    void ResetCounters();
    std::int32_t CounterValue(Counter counter) const;
    std::int32_t OutputTotal() const;

    // GUI thread: moves the pending pane work into `update` (which is reset
    // first). Returns false when there was nothing to do.
    bool TakePaneUpdate(PaneUpdate& update);

private:
    void ApplyLocked(const OutputBatch::Item& item, std::string& logBytes);
    void QueueLineLocked(std::string_view text);
    void ChargeLocked(int count);
    void QueueFieldLocked(Field field, std::string text);
    bool MarkPendingLocked();

    mutable std::mutex mutex_;
    std::function<void()> wakeGui_;
    LogSink* log_ = nullptr;
    bool pduDisplay_ = true;
    bool noDisplay_ = false;
    std::int32_t outputTotal_ = 0;
    std::array<std::int32_t, static_cast<int>(Counter::Count)> counters_{};
    PaneUpdate pending_;
    bool hasPending_ = false;
    std::string logScratch_;
};

}  // namespace quillet
