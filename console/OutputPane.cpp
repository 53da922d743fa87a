#include "console/OutputPane.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cstring>

#include "platform/ReservedMemory.h"

namespace quillet {

OutputPane::OutputPane(ConsoleOutput& output, QPlainTextEdit* pane,
                       const std::array<QLineEdit*, static_cast<int>(Field::Count)>& fields, QObject* parent)
    : QObject(parent), output_(output), pane_(pane), fields_(fields), calls_(this) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (!applying_) {
            // More work may have come since the timer was armed: look again
            // later if the pane's pace does not allow it yet.
            if (const int wait = DelayMs(); wait > 0) {
                timer_.start(wait);
                return;
            }
            if (!TakeUpdate()) return;
            // Only an update that applied something counts toward the
            // steady rate: a handler may have flushed the work since the
            // timer was armed.
            pacer_.Paced(Clock::now());
        }
        // A slice as long as kSliceMs at the learnt cost of a line; the next
        // one after the event loop has served what waits.
        const std::int64_t lineNs = std::max<std::int64_t>(pacer_.LineCost().count(), 1);
        const std::size_t lines = std::max<std::size_t>(
            kSliceLeastLines, static_cast<std::size_t>(std::int64_t{kSliceMs} * 1'000'000 / lineNs));
        if (!ApplySlice(lines)) {
            timer_.start(0);
            return;
        }
        if (output_.Pending().any) timer_.start(DelayMs());
    });
}

void OutputPane::Schedule() {
    // Called from any thread: hop to the GUI thread and apply the pending
    // work at most once a frame, so a storm of lines costs one repaint each.
    calls_.Post([this] {
        // Nothing to arm for when a handler has flushed the work already,
        // or while an update is under way (its slices re-arm the timer).
        if (!timer_.isActive() && !applying_ && output_.Pending().any) timer_.start(DelayMs());
    });
}

bool OutputPane::Flush() {
    // Whatever is pending is applied now; work committed from here on wakes
    // the GUI thread again and arms the timer afresh.
    timer_.stop();
    bool applied = false;
    if (applying_) {
        ApplySlice(static_cast<std::size_t>(-1));
        applied = true;
    }
    if (TakeUpdate()) {
        ApplySlice(static_cast<std::size_t>(-1));
        applied = true;
    }
    return applied;
}

bool OutputPane::TakeUpdate() {
    if (!output_.TakePaneText(update_)) return false;
    applying_ = true;
    appliedBytes_ = 0;
    appliedLines_ = 0;
    cost_ = Clock::duration::zero();
    return true;
}

bool OutputPane::ApplySlice(std::size_t lines) {
    const auto started = Clock::now();
    QScrollBar* scroll = pane_->verticalScrollBar();
    if (appliedBytes_ == 0 && appliedLines_ == 0) {
        // The view follows the newest lines only while it is at the bottom
        // when the update begins; scrolled up, it stays where it was.
        follow_ = scroll->value() == scroll->maximum();
        if (update_.clearFirst)
            pane_->clear();
        else if (update_.dropLines != 0)
            DropOldestLines(update_.dropLines, follow_);
    }
    // The next update empties the pane: what is left of this one would be
    // emptied away unseen.
    const bool skipRest = lines != static_cast<std::size_t>(-1) && output_.Pending().clearFirst;
    const std::string& text = update_.text;
    if (!skipRest && appliedLines_ < update_.lineCount) {
        // The slice's lines, and where they end: after the last one's line
        // break, or at the text's end for the update's last line.
        std::size_t end = appliedBytes_;
        std::size_t taken = 0;
        bool last = false;
        while (taken < lines) {
            const void* br = std::memchr(text.data() + end, '\n', text.size() - end);
            ++taken;
            if (br == nullptr) {
                end = text.size();
                last = true;
                break;
            }
            end = static_cast<std::size_t>(static_cast<const char*>(br) - text.data()) + 1;
        }
        // appendPlainText starts a line of its own: the slice goes without
        // its last line break, as the whole text would.
        const std::size_t length = end - appliedBytes_ - (last ? 0 : 1);
        pane_->appendPlainText(QString::fromUtf8(text.data() + appliedBytes_, static_cast<qsizetype>(length)));
        if (follow_) scroll->setValue(scroll->maximum());
        appliedBytes_ = end;
        appliedLines_ += taken;
    }
    cost_ += Clock::now() - started;
    if (!skipRest && appliedLines_ < update_.lineCount) return false;
    FinishUpdate();
    return true;
}

void OutputPane::FinishUpdate() {
    const auto started = Clock::now();
    for (int i = 0; i < static_cast<int>(Field::Count); ++i) {
        if (update_.fields[i]) fields_[i]->setText(QString::fromStdString(*update_.fields[i]));
    }
    const auto now = Clock::now();
    cost_ += now - started;
    pacer_.Applied(appliedLines_, update_.clearFirst, now - cost_, cost_, update_.dropLines);
    applying_ = false;
    // The text's storage goes back to the hub with the next update: an
    // outsized one's (a flood of long datagrams) is not kept, and once the
    // flood is over, the heap gives the room back.
    if (update_.text.capacity() > kKeptTextBytes) {
        std::string().swap(update_.text);
        outsized_ = true;
    }
    if (outsized_ && !output_.Pending().any) {
        outsized_ = false;
        ReturnFreedHeap();
    }
}

void OutputPane::DropOldestLines(std::size_t lines, bool follow) {
    QTextDocument* document = pane_->document();
    const QTextBlock end = document->findBlockByNumber(static_cast<int>(lines));
    if (!end.isValid()) {
        pane_->clear();
    } else {
        // The scroll bar counts lines as laid out (a long line wraps into
        // several): the view keeps its place by as many as went.
        QScrollBar* scroll = pane_->verticalScrollBar();
        const int shownAt = scroll->value() - end.firstLineNumber();
        QTextCursor cursor(document);
        cursor.setPosition(end.position(), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        if (!follow) scroll->setValue(shownAt);
    }
}

int OutputPane::DelayMs() {
    const PendingPane pending = output_.Pending();
    return pacer_.DelayMs(pending.lineCount, pending.clearFirst, Clock::now(), pending.dropLines);
}

}  // namespace quillet
