#include "listener/DropCount.h"

#include <string>

namespace quillet {

// What the loss line adds to the pane budget: as much as a value line.
constexpr int kLossLineCharge = 30;

void AppendLossLine(OutputBatch& batch, std::string_view head, std::uint64_t lost) {
    if (lost == 0) return;
    std::string line(head);
    line += std::to_string(lost);
    batch.WriteLine(line, SummaryLine);
    batch.ChargeOutput(kLossLineCharge);
}

}  // namespace quillet
