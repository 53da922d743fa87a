#include "output/PanePacer.h"

namespace quillet {

int PanePacer::DelayMs(std::size_t lines, bool clearFirst, Clock::time_point now, std::size_t dropped) const {
    using namespace std::chrono;
    const std::size_t touched = lines + (clearFirst ? shownLines_ : dropped);
    auto due = rateCredit_ - milliseconds(kMinFrameMs) * (kPaneBurst - 1);
    auto rest = lineCost_ * static_cast<std::int64_t>(touched) * kFrameCostFactor;
    if (rest > milliseconds(kMaxFrameMs)) rest = milliseconds(kMaxFrameMs);
    const auto rested = lastPaneEnd_ + duration_cast<Clock::duration>(rest);
    if (due < rested) due = rested;
    const auto wait = ceil<milliseconds>(due - now).count();
    return wait <= 0 ? 0 : static_cast<int>(wait < kMinFrameMs ? wait : kMinFrameMs);
}

void PanePacer::Applied(std::size_t lines, bool cleared, Clock::time_point started, Clock::duration cost,
                        std::size_t dropped) {
    using namespace std::chrono;
    lastPaneEnd_ = started + cost;
    if (dropped > shownLines_) dropped = shownLines_;
    const std::size_t touched = lines + (cleared ? shownLines_ : dropped);
    shownLines_ = (cleared ? 0 : shownLines_ - dropped) + lines;
    // Learn the cost of a line from updates big enough to measure; a quarter
    // weight for the newest keeps one slow update from swinging the pace.
    if (touched >= kMeasurableLines) {
        const auto perLine = duration_cast<nanoseconds>(cost) / static_cast<std::int64_t>(touched);
        lineCost_ = (lineCost_ * 3 + perLine) / 4;
    }
}

void PanePacer::Paced(Clock::time_point now) {
    if (rateCredit_ < now) rateCredit_ = now;
    rateCredit_ += std::chrono::milliseconds(kMinFrameMs);
}

}  // namespace quillet
