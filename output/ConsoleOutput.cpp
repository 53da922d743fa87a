#include "output/ConsoleOutput.h"

#include <functional>

#include "text/Cp932.h"
#include "text/DecimalText.h"

namespace quillet {
namespace {

Field FieldOfCounter(Counter counter) {
    switch (counter) {
        case Counter::Send: return Field::SendEdit;
        case Counter::Recv: return Field::RecvEdit;
        default: return Field::TrapEdit;
    }
}

}  // namespace

ConsoleOutput::ConsoleOutput(std::function<void()> wakeGui) : wakeGui_(std::move(wakeGui)) {}

void ConsoleOutput::SetLogSink(LogSink* sink) {
    std::lock_guard<std::mutex> lock(logMutex_);
    log_ = sink;
}

void ConsoleOutput::WriteStopMarkAndDetach(const LocalDateTime& when) {
    std::string record;
    AppendLogMarkRecord(record, StopMark, when);
    std::lock_guard<std::mutex> lock(logMutex_);
    WriteLogLocked(record);
    log_ = nullptr;
}

void ConsoleOutput::OnLogWriteFailure(std::function<void()> notify) {
    std::lock_guard<std::mutex> lock(logMutex_);
    logFailureNotice_ = std::move(notify);
}

void ConsoleOutput::SetSwitches(bool pduDisplay, bool noDisplay) {
    std::lock_guard<std::mutex> lock(mutex_);
    pduDisplay_ = pduDisplay;
    noDisplay_ = noDisplay;
}

void ConsoleOutput::Commit(const OutputBatch& batch) {
    if (batch.Empty()) return;
    // The log lock is held from before the pane work is queued to the end of
    // the write: the records of concurrent batches reach the file in the
    // order their pane work was queued. The pane lock is held only while the
    // pane work is queued, so a write that the kernel holds up (it throttles
    // a writer whose data outruns the disk) never keeps the GUI thread from
    // the pane. A batch without report lines (a counter, a field) has
    // nothing to order against the file and takes the pane lock only.
    bool hasLines = false;
    for (const OutputBatch::Item& item : batch) hasLines |= item.type == OutputBatch::ItemType::Line;
    std::unique_lock<std::mutex> logLock(logMutex_, std::defer_lock);
    if (hasLines) logLock.lock();
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool hadPending = hasPending_;
        for (const OutputBatch::Item* first = batch.begin(); first != batch.end();) {
            const OutputBatch::Item* last = first + 1;
            while (last != batch.end() && last->type != OutputBatch::ItemType::Start) ++last;
            for (const OutputBatch::Item* item = first; item != last; ++item) ApplyLocked(*item);
            KeepWithinBoundLocked();
            first = last;
        }
        wake = hasPending_ && !hadPending;
    }
    if (wake && wakeGui_) wakeGui_();
    if (!hasLines) return;
    // All records of the batch leave in one write, so a datagram's lines
    // stay together in the file and cost one system call.
    logScratch_.clear();
    for (const OutputBatch::Item& item : batch)
        if (item.type == OutputBatch::ItemType::Line) AppendRecordLogLocked(logScratch_, item.text);
    WriteLogLocked(logScratch_);
}

void ConsoleOutput::WriteLine(std::string_view text, LineKind kind) {
    OutputBatch batch;
    batch.WriteLine(text, kind);
    Commit(batch);
}

void ConsoleOutput::DumpPdu(const std::uint8_t* data, std::size_t length, LineKind kind) {
    OutputBatch batch;
    batch.DumpPdu(data, length, kind);
    Commit(batch);
}

void ConsoleOutput::ChargeOutput(int count) {
    OutputBatch batch;
    batch.ChargeOutput(count);
    Commit(batch);
}

void ConsoleOutput::WriteLogMark(LogMark which, const LocalDateTime& when) {
    std::string record;
    AppendLogMarkRecord(record, which, when);
    if (record.empty()) return;
    std::lock_guard<std::mutex> lock(logMutex_);
    WriteLogLocked(record);
}

void ConsoleOutput::ResetCounters() {
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool hadPending = hasPending_;
        counters_.fill(0);
        QueueFieldLocked(Field::TrapEdit, "0");
        QueueFieldLocked(Field::SendEdit, "0");
        QueueFieldLocked(Field::RecvEdit, "0");
        wake = !hadPending;
    }
    if (wake && wakeGui_) wakeGui_();
}

void ConsoleOutput::ClearPane() {
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = !hasPending_;
        EmptyPaneLocked();
    }
    if (wake && wakeGui_) wakeGui_();
}

std::int32_t ConsoleOutput::CounterValue(Counter counter) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_[static_cast<int>(counter)];
}

std::int32_t ConsoleOutput::OutputTotal() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outputTotal_;
}

bool ConsoleOutput::TakePaneUpdate(PaneUpdate& update) {
    if (!TakePaneText(update)) return false;
    // Back from one text to a list: the lines never hold a line break of their
    // own (OutputBatch), so the breaks are the line boundaries.
    if (update.lineCount != 0) {
        std::string_view rest = update.text;
        for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1))
            update.lines.emplace_back(rest.substr(0, end));
        update.lines.emplace_back(rest);
    }
    update.text.clear();
    update.lineCount = 0;
    return true;
}

bool ConsoleOutput::TakePaneText(PaneUpdate& update) {
    update.Reset();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hasPending_) return false;
    KeepWithinBoundLocked();
    pending_.text.erase(0, pendingDropped_);
    pendingDropped_ = 0;
    held_.Taken();
    std::swap(update, pending_);
    hasPending_ = false;
    return true;
}

PendingPane ConsoleOutput::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return PendingPane{hasPending_, pending_.lineCount, pending_.clearFirst, pending_.dropLines};
}

void ConsoleOutput::ApplyLocked(const OutputBatch::Item& item) {
    switch (item.type) {
        case OutputBatch::ItemType::Line:
            if (!noDisplay_ && (pduDisplay_ || item.value == SummaryLine)) QueueLineLocked(item.text);
            break;
        case OutputBatch::ItemType::Charge:
            ChargeLocked(item.value);
            break;
        case OutputBatch::ItemType::SetField:
            if (item.value >= 0 && item.value < static_cast<int>(Field::Count))
                QueueFieldLocked(static_cast<Field>(item.value), item.text);
            break;
        case OutputBatch::ItemType::Count: {
            if (item.value < 0 || item.value >= static_cast<int>(Counter::Count)) break;
            std::int32_t& counter = counters_[item.value];
            // Signed 32-bit counter; wrap like the machine word instead of overflowing.
            counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + 1u);
            QueueFieldLocked(FieldOfCounter(static_cast<Counter>(item.value)), DecimalText(counter));
            break;
        }
        case OutputBatch::ItemType::PaneLine:
            QueueLineLocked(item.text);
            break;
        case OutputBatch::ItemType::Start:
            break;
    }
}

void ConsoleOutput::AppendRecordLogLocked(std::string& logBytes, std::string_view line) {
    if (IsAscii(line)) {
        AppendLogRecord(logBytes, line);  // copied as it is
        return;
    }
    RecordSlot& slot = recordCache_[std::hash<std::string_view>{}(line) % kRecordSlots];
    if (slot.line != line) {
        slot.line.assign(line);
        slot.record.clear();
        AppendLogRecord(slot.record, line);
    }
    logBytes.append(slot.record);
}

void ConsoleOutput::WriteLogLocked(const std::string& records) {
    if (log_ == nullptr || records.empty()) return;
    if (log_->Write(records.data(), records.size()) || logFailureNoted_) return;
    // The sink kept the file whole (these records are lost); the operator
    // hears of it once, and the next batch simply tries again.
    logFailureNoted_ = true;
    if (logFailureNotice_) logFailureNotice_();
}

namespace {

// The bytes of `text` shown in the pane: at most kPaneLineLimit, cut where a
// UTF-8 character begins.
std::size_t ShownLength(std::string_view text) {
    if (text.size() <= ConsoleOutput::kPaneLineLimit) return text.size();
    std::size_t cut = ConsoleOutput::kPaneLineLimit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

std::size_t PaneBytesOf(std::string_view text) {
    const std::size_t shown = ShownLength(text);
    return shown + 1 + (shown < text.size() ? ConsoleOutput::kCutMark.size() : 0);
}

}  // namespace

void ConsoleOutput::QueueLineLocked(std::string_view text) {
    MarkPendingLocked();
    // One growing text instead of a string per line: a storm of lines costs
    // no allocation once the text has reached its working size.
    if (pending_.lineCount != 0) pending_.text.push_back('\n');
    const std::size_t shown = ShownLength(text);
    pending_.text.append(text.substr(0, shown));
    if (shown < text.size()) pending_.text.append(kCutMark);
    ++pending_.lineCount;
    ++open_.lines;
    open_.bytes += PaneBytesOf(text);
}

void ConsoleOutput::KeepWithinBoundLocked() {
    if (open_.lines != 0) held_.Add(open_);
    open_ = {};
    const PaneDatagrams::Dropped dropped = held_.DropOldest(kPaneTextLimit, kPaneTextAfterDrop);
    if (dropped.widgetEmptied) {
        // Emptying the widget costs less than removing its lines one by one.
        pending_.clearFirst = true;
        pending_.dropLines = 0;
    } else if (!pending_.clearFirst) {
        pending_.dropLines += dropped.widgetLines;
    }
    // Dropped from the front of the pending text without moving the rest:
    // that happens once per update (TakePaneText), or here when the dropped
    // bytes reach the bound, so a storm that outruns the GUI thread moves each
    // byte about once.
    pending_.lineCount -= dropped.queuedLines;
    pendingDropped_ += dropped.queuedBytes;
    if (pendingDropped_ > kPaneTextLimit) {
        pending_.text.erase(0, pendingDropped_);
        pendingDropped_ = 0;
    }
}

void ConsoleOutput::EmptyPaneLocked() {
    outputTotal_ = 0;
    held_.Clear();
    open_ = {};
    pendingDropped_ = 0;
    // The pane is emptied whole: queued lines need never reach the widget.
    MarkPendingLocked();
    pending_.text.clear();
    pending_.lineCount = 0;
    pending_.clearFirst = true;
    pending_.dropLines = 0;
}

void ConsoleOutput::ChargeLocked(int count) {
    if (noDisplay_) return;
    outputTotal_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(outputTotal_) + static_cast<std::uint32_t>(count));
}

void ConsoleOutput::QueueFieldLocked(Field field, std::string text) {
    MarkPendingLocked();
    // Only the latest text of a control matters; the GUI applies it after
    // the lines of the same update.
    pending_.fields[static_cast<int>(field)] = std::move(text);
}

bool ConsoleOutput::MarkPendingLocked() {
    const bool was = hasPending_;
    hasPending_ = true;
    return was;
}

}  // namespace quillet
