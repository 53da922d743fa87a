#include "output/ConsoleOutput.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

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
    WriteRecordsLocked(record);
    log_ = nullptr;
}

void ConsoleOutput::OnLogWriteFailure(std::function<void()> notify) {
    std::lock_guard<std::mutex> lock(logMutex_);
    logFailureNotice_ = std::move(notify);
}

void ConsoleOutput::OnLogKeptFree(std::function<void(bool stopped)> notify) {
    std::lock_guard<std::mutex> lock(logMutex_);
    keptFreeNotice_ = std::move(notify);
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
    // All records of the batch leave in one write, so a datagram's lines
    // stay together in the file and cost one system call. They are made
    // first: whether the disk has room for them decides what the pane says
    // before the batch's lines.
    bool write = false;
    std::string note;
    if (hasLines) {
        logLock.lock();
        logScratch_.clear();
        for (const OutputBatch::Item& item : batch)
            if (item.type == OutputBatch::ItemType::Line) AppendRecordLogLocked(logScratch_, item);
        write = AdmitLogLocked(logScratch_, note);
    }
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool hadPending = hasPending_;
        for (const OutputBatch::Item* first = batch.begin(); first != batch.end();) {
            const OutputBatch::Item* last = first + 1;
            while (last != batch.end() && last->type != OutputBatch::ItemType::Start) ++last;
            // The disk's note goes before the batch's first datagram.
            if (!note.empty() && !noDisplay_) QueueLineLocked(note);
            note.clear();
            for (const OutputBatch::Item* item = first; item != last; ++item) ApplyLocked(*item);
            KeepWithinBoundLocked();
            first = last;
        }
        wake = hasPending_ && !hadPending;
    }
    if (wake && wakeGui_) wakeGui_();
    if (write) WriteLogLocked(logScratch_);
    // An outsized batch's records are not kept for the next one.
    if (logScratch_.capacity() > kKeptScratchBytes) std::string().swap(logScratch_);
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
    WriteRecordsLocked(record);
}

void ConsoleOutput::WriteLogOnly(std::string_view text) {
    std::string record;
    AppendLogRecord(record, text);
    std::lock_guard<std::mutex> lock(logMutex_);
    WriteRecordsLocked(record);
}

void ConsoleOutput::WriteRecordsLocked(std::string& records) {
    std::string note;
    if (!AdmitLogLocked(records, note)) {
        if (note.empty()) return;
    } else {
        WriteLogLocked(records);
    }
    if (note.empty()) return;
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool hadPending = hasPending_;
        if (!noDisplay_) {
            QueueLineLocked(note);
            KeepWithinBoundLocked();
        }
        wake = hasPending_ && !hadPending;
    }
    if (wake && wakeGui_) wakeGui_();
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

void ConsoleOutput::AppendRecordLogLocked(std::string& logBytes, const OutputBatch::Item& line) {
    if (line.ascii) {
        // Copied as it is: most lines are dump lines, known to be ASCII.
        logBytes.append(line.text);
        logBytes.append("\r\n");
        return;
    }
    // Two slots a set; a line found in neither takes the one used less
    // recently.
    const std::size_t set = SetOf(line.text);
    RecordSlot* slots = &recordCache_[set * kRecordWays];
    RecordSlot* slot = slots[0].line == line.text ? &slots[0] : slots[1].line == line.text ? &slots[1] : nullptr;
    if (slot == nullptr) {
        slot = &slots[recordOlder_[set]];
        slot->line.assign(line.text);
        slot->record.clear();
        AppendLogRecord(slot->record, line.text);
    }
    recordOlder_[set] = slot == &slots[0] ? 1 : 0;
    logBytes.append(slot->record);
}

std::size_t ConsoleOutput::SetOf(std::string_view line) {
    // A few bytes of the line and its length tell the texts of a report
    // apart well enough: a line that finds its set taken only costs a
    // conversion, and hashing every byte of every line costs more.
    std::uint64_t head = 0, tail = 0;
    std::memcpy(&head, line.data(), std::min<std::size_t>(line.size(), 8));
    if (line.size() > 8) {
        const std::size_t n = std::min<std::size_t>(line.size() - 8, 8);
        std::memcpy(&tail, line.data() + line.size() - n, n);
    }
    const std::uint64_t mixed = (head ^ (tail * 0xC2B2AE3D27D4EB4Full) ^ line.size()) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(mixed >> 32) % kRecordSets;
}

bool ConsoleOutput::AdmitLogLocked(std::string& records, std::string& paneNote) {
    paneNote.clear();
    if (log_ == nullptr || records.empty()) return false;
    if (keptFree_) {
        logPrefix_.clear();
        AppendLogRecord(logPrefix_, std::string(kLogResumedHead) + std::to_string(unloggedLines_));
    }
    if (!log_->HasRoomFor(logPrefix_.size() + records.size())) {
        // Whole batches are held back, never a part of one: the file keeps
        // whole records only.
        for (std::size_t at = 0; (at = records.find("\r\n", at)) != std::string::npos; at += 2) ++unloggedLines_;
        if (!keptFree_) {
            keptFree_ = true;
            paneNote = kLogStoppedLine;
            if (keptFreeNotice_) keptFreeNotice_(true);
        }
        logPrefix_.clear();
        return false;
    }
    if (keptFree_) {
        records.insert(0, logPrefix_);
        paneNote = std::string(kLogResumedHead) + std::to_string(unloggedLines_);
        keptFree_ = false;
        unloggedLines_ = 0;
        logPrefix_.clear();
        if (keptFreeNotice_) keptFreeNotice_(false);
    }
    return true;
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
    std::string& pending = pending_.text;
    if (pending_.lineCount != 0) pending.push_back('\n');
    ++pending_.lineCount;
    ++open_.lines;
    if (text.size() <= kPaneLineLimit) {
        pending.append(text);
        open_.bytes += text.size() + 1;
        return;
    }
    const std::size_t shown = ShownLength(text);
    pending.append(text.substr(0, shown));
    pending.append(kCutMark);
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
