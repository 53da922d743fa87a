// The pace of the pane updates the GUI thread makes on its own (handlers
// that flush the pane at once are not paced). Two rules, both must allow an
// update:
//  - rate: a steady stream of updates is held to one per kMinFrameMs, with
//    bursts of kPaneBurst, so that an answer after a quiet spell shows at
//    once;
//  - cost: before an update that will take c to apply, the GUI thread has
//    been free of the pane for kFrameCostFactor x c since the last one, but
//    never more than kMaxFrameMs. In a storm the GUI thread so spends a
//    small share of its time on the pane. The longest rest is a second: a
//    storm brings more than the pane holds within it (the pane's 2 MiB in
//    0.4 s at 5,000 traps/s), so the lines that would have gone from the
//    pane before it was next seen are never laid out; with 200 ms, the GUI
//    thread spent three times as much on a steady storm (bench/README.md).
// The cost of an update is its lines (those it adds, and those it removes
// from the widget: the oldest past the pane's bound, or all on an emptying)
// times the cost of one line, learnt from the updates applied so far. Times are given by the caller, so the rules can be
// followed on any clock.
#pragma once

#include <chrono>
#include <cstddef>

namespace quillet {

class PanePacer {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kMinFrameMs = 15;
    static constexpr int kPaneBurst = 3;
    static constexpr int kMaxFrameMs = 1000;
    static constexpr int kFrameCostFactor = 24;
    // Updates with fewer lines are too small to measure the cost of a line.
    static constexpr std::size_t kMeasurableLines = 64;
    // The cost of a line until one has been measured.
    static constexpr std::chrono::nanoseconds kFirstLineCost{2000};

    // Milliseconds from `now` until an update that adds `lines` (after
    // emptying the pane first if `clearFirst`, else removing its first
    // `dropped`) is due; 0: now. At most
    // kMinFrameMs: the answer changes as work comes in (an emptying makes it
    // cheap), so the caller asks again at least once a frame.
    int DelayMs(std::size_t lines, bool clearFirst, Clock::time_point now, std::size_t dropped = 0) const;
    // An update that added `lines` (after emptying the pane if `cleared`,
    // else removing its first `dropped`) began at `started` and took `cost`.
    void Applied(std::size_t lines, bool cleared, Clock::time_point started, Clock::duration cost,
                 std::size_t dropped = 0);
    // An update was made because DelayMs allowed it (it counts toward the
    // steady rate).
    void Paced(Clock::time_point now);

    std::size_t ShownLines() const { return shownLines_; }
    std::chrono::nanoseconds LineCost() const { return lineCost_; }

private:
    // The end of the last update, the lines the pane holds, the cost of one
    // line added or emptied away as measured so far, and the credit of the
    // steady rate (each paced update adds kMinFrameMs; it never lags the
    // present).
    Clock::time_point lastPaneEnd_{};
    std::size_t shownLines_ = 0;
    std::chrono::nanoseconds lineCost_ = kFirstLineCost;
    Clock::time_point rateCredit_{};
};

}  // namespace quillet
