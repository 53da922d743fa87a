#include "exchange/ReportLimiter.h"

#include <algorithm>

namespace quillet {

bool ReportLimiter::Draw(Bucket& bucket, int perSecond, int burst, std::int64_t nowMs) {
    const std::int64_t elapsed = std::max<std::int64_t>(0, nowMs - bucket.atMs);
    bucket.tokens = std::min<double>(burst, bucket.tokens + static_cast<double>(elapsed) * perSecond / 1000.0);
    bucket.atMs = nowMs;
    if (bucket.tokens < 1.0) return false;
    bucket.tokens -= 1.0;
    return true;
}

bool ReportLimiter::Allow(const Endpoint& to, std::int64_t nowMs) {
    Endpoint source = to;
    source.port = 0;
    if (!totalStarted_) {
        total_ = Bucket{kTotalBurst, nowMs};
        totalStarted_ = true;
    }
    auto found = sources_.find(source);
    if (found == sources_.end()) {
        if (sources_.size() >= kMaxSources) {
            const auto oldest = std::min_element(sources_.begin(), sources_.end(), [](const auto& a, const auto& b) {
                return a.second.atMs < b.second.atMs;
            });
            sources_.erase(oldest);
        }
        found = sources_.emplace(source, Bucket{kPerSourceBurst, nowMs}).first;
    }
    // The source's own bound first: a source over it does not use up what
    // the others may draw.
    const bool allowed = Draw(found->second, kPerSourcePerSecond, kPerSourceBurst, nowMs) &&
                         Draw(total_, kTotalPerSecond, kTotalBurst, nowMs);
    if (!allowed) refused_ = true;
    return allowed;
}

bool ReportLimiter::FirstRefusal() {
    if (!refused_ || told_) return false;
    told_ = true;
    return true;
}

}  // namespace quillet
