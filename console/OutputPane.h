// The output pane and the fields the output hub changes, brought up to date
// on the GUI thread from the hub's pending pane work.
//
// Any thread that commits to the hub wakes the pane (Schedule); the GUI
// thread then applies the pending work (an update) when the PanePacer says
// it is due: at once after a quiet spell, less often in a storm, so that the
// pane takes a small share of the GUI thread. An update the GUI thread
// applies on its own goes in slices of about kSliceMs each, one per turn of
// the event loop, so that the window answers between them however large the
// update (a flood of large datagrams makes updates of thousands of lines);
// the fields follow its last slice, so a counter never shows a datagram
// whose lines are not in the pane yet. When the next update empties the
// pane, what is left of the one under way is skipped: it would be emptied
// away unseen. Handlers call Flush themselves when the operator must see
// their work at once: it applies everything pending whole.
//
// The view follows the newest lines while it is at the bottom; scrolled up,
// it stays on the lines it shows while lines come and the oldest go.
#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstddef>

#include "console/QueuedCalls.h"
#include "output/ConsoleOutput.h"
#include "output/PanePacer.h"

class QLineEdit;
class QPlainTextEdit;

namespace quillet {

class OutputPane : public QObject {
public:
    // How long one slice of an update may take the GUI thread, at the cost of
    // a line the pacer has learnt.
    static constexpr int kSliceMs = 8;
    // The fewest lines a slice adds (the cost of a line is an estimate).
    static constexpr std::size_t kSliceLeastLines = 64;
    // An update's text storage larger than this is not kept for the next.
    static constexpr std::size_t kKeptTextBytes = 256u << 10;

    // `fields` are the controls of Field, in its order.
    OutputPane(ConsoleOutput& output, QPlainTextEdit* pane,
               const std::array<QLineEdit*, static_cast<int>(Field::Count)>& fields, QObject* parent);

    // Any thread: pane work is pending; the GUI thread applies it when due.
    void Schedule();
    // GUI thread: applies the pending work now, whole, the rest of an update
    // under way first. False when there was none.
    bool Flush();
    // GUI thread: whether an update is under way (some of its slices not
    // applied yet).
    bool Applying() const { return applying_; }

private:
    using Clock = std::chrono::steady_clock;

    // Milliseconds until the pending work is due.
    int DelayMs();
    // Takes the hub's pending work as the update to apply. False when none.
    bool TakeUpdate();
    // Applies the update's next lines, at most `lines` of them (all: npos),
    // emptying the pane first if the update asks and this is its first
    // slice; after its last slice, the fields. Returns whether the update
    // is done.
    bool ApplySlice(std::size_t lines);
    void FinishUpdate();
    // Removes the pane's first `lines` lines (the oldest datagrams), keeping
    // a view that does not follow on the lines it shows.
    void DropOldestLines(std::size_t lines, bool follow);

    ConsoleOutput& output_;
    QPlainTextEdit* pane_;
    std::array<QLineEdit*, static_cast<int>(Field::Count)> fields_;
    QueuedCalls calls_;
    QTimer timer_;
    PanePacer pacer_;
    PaneUpdate update_;
    // The update under way: whether one is, the bytes of its text applied,
    // its lines applied, and the processor time its slices took.
    bool applying_ = false;
    std::size_t appliedBytes_ = 0;
    std::size_t appliedLines_ = 0;
    Clock::duration cost_{};
    // An outsized update was applied since the heap last gave its room back.
    bool outsized_ = false;
    // The view was at the bottom when the update under way began.
    bool follow_ = true;
};

}  // namespace quillet
