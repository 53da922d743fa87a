// The trap listener on local UDP port 162: every datagram is counted and
// shown; SNMPv1 enterprise-specific traps with their values or, for the
// managed equipment, as alarm lines in words.
#pragma once

#include <atomic>
#include <cstdint>

#include "console/ListenerThread.h"
#include "trap/TrapScan.h"

namespace quillet {

class T_Port162 : public ListenerThread {
public:
    // The line that says how many traps were lost, before the count.
    static constexpr const char* kLossLineHead = "TRAP受信欠落  COUNT=";

    // `equipmentFlag` is process-wide: kept across datagrams.
    T_Port162(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, std::atomic<std::int32_t>& equipmentFlag,
              DatagramQueueBound bound = {});

protected:
    void HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender, OutputBatch& batch) override;
    // A trap has nothing to do after its lines are committed: traps share
    // commits in a storm.
    bool CommitAlone() const override { return false; }

private:
    std::atomic<std::int32_t>& equipmentFlag_;
    TrapScanResult scan_{};
};

}  // namespace quillet
