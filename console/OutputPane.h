// The output pane and the fields the output hub changes, brought up to date
// on the GUI thread from the hub's pending pane work.
//
// Any thread that commits to the hub wakes the pane (Schedule); the GUI
// thread then applies the pending work whole (Flush) when the PanePacer says
// it is due: at once after a quiet spell, less often in a storm, so that the
// pane takes a small share of the GUI thread. Handlers call Flush themselves
// when the operator must see their work at once.
//
// The view follows the newest lines while it is at the bottom; scrolled up,
// it stays on the lines it shows while lines come and the oldest go.
#pragma once

#include <QObject>
#include <QTimer>

#include <array>

#include "output/ConsoleOutput.h"
#include "output/PanePacer.h"

class QLineEdit;
class QPlainTextEdit;

namespace quillet {

class OutputPane : public QObject {
public:
    // `fields` are the controls of Field, in its order.
    OutputPane(ConsoleOutput& output, QPlainTextEdit* pane,
               const std::array<QLineEdit*, static_cast<int>(Field::Count)>& fields, QObject* parent);

    // Any thread: pane work is pending; the GUI thread applies it when due.
    void Schedule();
    // GUI thread: applies the pending work now. False when there was none.
    bool Flush();

private:
    // Milliseconds until the pending work is due.
    int DelayMs();
    // Removes the pane's first `lines` lines (the oldest datagrams), keeping
    // a view that does not follow on the lines it shows.
    void DropOldestLines(std::size_t lines, bool follow);

    ConsoleOutput& output_;
    QPlainTextEdit* pane_;
    std::array<QLineEdit*, static_cast<int>(Field::Count)> fields_;
    QTimer timer_;
    PanePacer pacer_;
    PaneUpdate update_;
};

}  // namespace quillet
