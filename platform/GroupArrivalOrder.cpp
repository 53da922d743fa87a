#include "platform/GroupArrivalOrder.h"

namespace quillet {

std::size_t HandOnCount(const std::vector<GroupTaken>& taken, const std::vector<int>& emptiedAt,
                        const std::vector<std::int64_t>& latestNs) {
    std::size_t count = 0;
    for (const GroupTaken& datagram : taken) {
        for (std::size_t k = 0; k < emptiedAt.size(); ++k) {
            // Its own socket keeps the order itself: whatever still waits
            // there came later.
            if (static_cast<int>(k) == datagram.socket) continue;
            if (emptiedAt[k] > datagram.step) continue;
            if (latestNs[k] >= datagram.arrivalNs) continue;
            return count;
        }
        ++count;
    }
    return count;
}

}  // namespace quillet
