// What the output pane holds, as the hub (ConsoleOutput) counts it: the
// datagrams whose lines are in the pane or on their way to it, oldest first,
// each with its lines and their bytes. A "datagram" is the pane lines of one
// datagram, one request or one other unit of output that must stay together
// (OutputBatch::StartDatagram); its lines are never split.
//
// The datagrams the GUI thread has taken (Taken) lie in the widget; the rest
// wait in the hub's pending pane work. DropOldest keeps the text within a
// bound by dropping whole datagrams from the front, never the newest one,
// and says how many lines went from the widget and how many, with how many
// bytes, from the waiting work.
//
// Storage is a ring that only grows: once it has reached the most datagrams
// the pane holds at once, adding and dropping allocate nothing.
#pragma once

#include <cstddef>
#include <vector>

namespace quillet {

class PaneDatagrams {
public:
    struct Datagram {
        std::size_t lines = 0;
        std::size_t bytes = 0;  // UTF-8 bytes shown, a line break after each line
    };
    struct Dropped {
        std::size_t widgetLines = 0;  // from the top of the widget
        bool widgetEmptied = false;   // every datagram the widget held went
        std::size_t queuedLines = 0;  // from the front of the waiting work
        std::size_t queuedBytes = 0;
    };

    // A datagram's lines were queued for the pane (lines > 0).
    void Add(Datagram datagram);
    // The GUI thread took all the waiting work: every datagram is in the
    // widget now.
    void Taken() { taken_ = count_; }
    // When the text of all of them is above `limit` bytes, drops the oldest
    // datagrams, never the newest, until it is at most `after`.
    Dropped DropOldest(std::size_t limit, std::size_t after);
    // The pane is emptied.
    void Clear();

    std::size_t Bytes() const { return bytes_; }
    std::size_t Count() const { return count_; }

private:
    std::vector<Datagram> ring_;
    std::size_t first_ = 0;  // index of the oldest
    std::size_t count_ = 0;
    std::size_t taken_ = 0;  // the oldest `taken_` are in the widget
    std::size_t bytes_ = 0;
};

}  // namespace quillet
