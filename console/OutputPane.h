// The output pane and the fields the output hub changes, brought up to date
// on the GUI thread from the hub's pending pane work.
//
// Any thread that commits to the hub wakes the pane (Schedule); the GUI
// thread then applies the pending work whole (Flush) when the PanePacer says
// it is due: at once after a quiet spell, less often in a storm, so that the
// pane takes a small share of the GUI thread. Handlers call Flush themselves
// when the operator must see their work at once.
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

    ConsoleOutput& output_;
    QPlainTextEdit* pane_;
    std::array<QLineEdit*, static_cast<int>(Field::Count)> fields_;
    QTimer timer_;
    PanePacer pacer_;
    PaneUpdate update_;
};

}  // namespace quillet
