#include "console/ConsoleOutput.h"

#include "console/DecimalText.h"

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
    std::lock_guard<std::mutex> lock(mutex_);
    log_ = sink;
}

void ConsoleOutput::SetSwitches(bool pduDisplay, bool noDisplay) {
    std::lock_guard<std::mutex> lock(mutex_);
    pduDisplay_ = pduDisplay;
    noDisplay_ = noDisplay;
}

void ConsoleOutput::Commit(const OutputBatch& batch) {
    if (batch.Empty()) return;
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool hadPending = hasPending_;
        logScratch_.clear();
        for (const OutputBatch::Item& item : batch) ApplyLocked(item, logScratch_);
        // All records of the batch leave in one write, so a datagram's lines
        // stay together in the file and cost one system call.
        if (log_ != nullptr && !logScratch_.empty()) log_->Write(logScratch_.data(), logScratch_.size());
        wake = hasPending_ && !hadPending;
    }
    if (wake && wakeGui_) wakeGui_();
}

void ConsoleOutput::WriteLine(std::string_view text, int kind) {
    OutputBatch batch;
    batch.WriteLine(text, kind);
    Commit(batch);
}

void ConsoleOutput::DumpPdu(const std::uint8_t* data, std::size_t length, int kind) {
    OutputBatch batch;
    batch.DumpPdu(data, length, kind);
    Commit(batch);
}

void ConsoleOutput::ChargeOutput(int count) {
    OutputBatch batch;
    batch.ChargeOutput(count);
    Commit(batch);
}

void ConsoleOutput::WriteLogMark(int which, const LocalDateTime& when) {
    std::string record;
    AppendLogMarkRecord(record, which, when);
    if (record.empty()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (log_ != nullptr) log_->Write(record.data(), record.size());
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

std::int32_t ConsoleOutput::CounterValue(Counter counter) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_[static_cast<int>(counter)];
}

std::int32_t ConsoleOutput::OutputTotal() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outputTotal_;
}

bool ConsoleOutput::TakePaneUpdate(PaneUpdate& update) {
    update.Reset();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hasPending_) return false;
    std::swap(update, pending_);
    hasPending_ = false;
    return true;
}

void ConsoleOutput::ApplyLocked(const OutputBatch::Item& item, std::string& logBytes) {
    switch (item.type) {
        case OutputBatch::ItemType::Line:
            if (!noDisplay_ && (pduDisplay_ || item.value == SummaryLine)) QueueLineLocked(item.text);
            AppendLogRecord(logBytes, item.text);
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
    }
}

void ConsoleOutput::QueueLineLocked(std::string_view text) {
    MarkPendingLocked();
    pending_.lines.emplace_back(text);
}

void ConsoleOutput::ChargeLocked(int count) {
    if (noDisplay_) return;
    outputTotal_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(outputTotal_) + static_cast<std::uint32_t>(count));
    if (outputTotal_ > kPaneBudgetLimit) {
        outputTotal_ = 0;
        // The pane is emptied whole, the lines just written included: queued
        // lines need never reach the widget.
        MarkPendingLocked();
        pending_.lines.clear();
        pending_.clearFirst = true;
    }
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
