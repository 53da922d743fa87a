// How many Reports the trap port sends, so that it cannot be turned into a
// reflector: a Report is larger than the message that asks for it (a 40-byte
// discovery gets about 100 bytes back), and a forged source address would
// have it sent to a victim. Each source address may draw kPerSourceBurst
// Reports at once and kPerSourcePerSecond a second after that, and all
// sources together kTotalBurst and kTotalPerSecond. An inform sender needs
// two Reports when it first meets us (discovery and time), and one more
// after each of our restarts; a test engineer's script that runs snmpinform
// for fifty users in a row from one host stays within the burst. At these
// bounds what can be reflected is a few kilobytes a second.
//
// Times are the caller's monotonic milliseconds. One thread (the trap
// listener's reporting thread); no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include "output/Endpoint.h"

namespace quillet {

class ReportLimiter {
public:
    static constexpr int kPerSourcePerSecond = 20;
    static constexpr int kPerSourceBurst = 50;
    static constexpr int kTotalPerSecond = 100;
    static constexpr int kTotalBurst = 200;
    // Sources remembered; past this the one heard from longest ago goes.
    static constexpr std::size_t kMaxSources = 1024;

    // Whether a Report may go to `to` (its address; the port is not looked
    // at) now, drawing one if so.
    bool Allow(const Endpoint& to, std::int64_t nowMs);
    // True once: at the first refusal of the run, so that it is said once.
    bool FirstRefusal();

private:
    struct Bucket {
        double tokens = 0;
        std::int64_t atMs = 0;
    };
    static bool Draw(Bucket& bucket, int perSecond, int burst, std::int64_t nowMs);

    std::map<Endpoint, Bucket> sources_;
    Bucket total_{kTotalBurst, 0};
    bool totalStarted_ = false;
    bool refused_ = false;
    bool told_ = false;
};

}  // namespace quillet
