#include "console/OutputPane.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <chrono>

namespace quillet {

OutputPane::OutputPane(ConsoleOutput& output, QPlainTextEdit* pane,
                       const std::array<QLineEdit*, static_cast<int>(Field::Count)>& fields, QObject* parent)
    : QObject(parent), output_(output), pane_(pane), fields_(fields) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        // More work may have come since the timer was armed: look again
        // later if the pane's pace does not allow it yet.
        if (const int wait = DelayMs(); wait > 0) {
            timer_.start(wait);
            return;
        }
        // Only an update that applied something counts toward the steady
        // rate: a handler may have flushed the work since the timer was armed.
        if (Flush()) pacer_.Paced(std::chrono::steady_clock::now());
    });
}

void OutputPane::Schedule() {
    // Called from any thread: hop to the GUI thread and apply the pending
    // work at most once a frame, so a storm of lines costs one repaint each.
    QMetaObject::invokeMethod(
        this,
        [this] {
            // Nothing to arm for when a handler has flushed the work already.
            if (!timer_.isActive() && output_.Pending().any) timer_.start(DelayMs());
        },
        Qt::QueuedConnection);
}

bool OutputPane::Flush() {
    const auto started = std::chrono::steady_clock::now();
    // Whatever is pending is applied now; work committed from here on wakes
    // the GUI thread again and arms the timer afresh.
    timer_.stop();
    if (!output_.TakePaneText(update_)) return false;
    QScrollBar* scroll = pane_->verticalScrollBar();
    const bool follow = scroll->value() == scroll->maximum();
    if (update_.clearFirst) pane_->clear();
    else if (update_.dropLines != 0) DropOldestLines(update_.dropLines, follow);
    if (update_.lineCount != 0) {
        pane_->appendPlainText(QString::fromUtf8(update_.text.data(), static_cast<qsizetype>(update_.text.size())));
        if (follow) scroll->setValue(scroll->maximum());
    }
    for (int i = 0; i < static_cast<int>(Field::Count); ++i) {
        if (update_.fields[i]) fields_[i]->setText(QString::fromStdString(*update_.fields[i]));
    }
    pacer_.Applied(update_.lineCount, update_.clearFirst, started, std::chrono::steady_clock::now() - started,
                   update_.dropLines);
    return true;
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
    return pacer_.DelayMs(pending.lineCount, pending.clearFirst, std::chrono::steady_clock::now(), pending.dropLines);
}

}  // namespace quillet
