// The trap listener on local UDP port 162: every datagram is counted and
// shown; SNMPv1 enterprise-specific traps with their values or, for the
// managed equipment, as alarm lines in words; SNMPv2c traps and informs with
// their identifier and bindings. Informs are acknowledged from this port.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "exchange/V3Notifications.h"
#include "listener/ListenerThread.h"
#include "snmpv3/InboundMessage.h"
#include "trap/InformAck.h"
#include "trap/TrapReport.h"

namespace quillet {

class T_Port162 : public ListenerThread {
public:
    // The line that says how many traps were lost, before the count.
    static constexpr const char* kLossLineHead = "TRAP受信欠落  COUNT=";

    // `equipmentFlag` is process-wide: kept across datagrams. SNMPv3
    // messages are handed to V3Notifications with `users`; for informs this
    // port is the authoritative engine `engineId` with `engineBoots` (kept
    // by the window's settings).
    T_Port162(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, std::atomic<std::int32_t>& equipmentFlag,
              const V3Users& users, ByteSpan engineId, std::uint32_t engineBoots, DatagramQueueBound bound = {});

protected:
    void HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender, std::int64_t arrivalNs,
                        OutputBatch& batch) override;
    // Sends the acknowledgement of an inform once its lines are committed,
    // so the log shows the inform before its sender can act on the answer.
    void AfterCommit() override;
    // Traps share commits in a storm; an inform to answer is committed on
    // its own, so that its answer leaves right after its lines.
    bool CommitAlone() const override { return ackLength_ > 0; }

private:
    UdpSocket& socket_;
    std::atomic<std::int32_t>& equipmentFlag_;
    TrapReportScratch scan_{};
    // The answer to send after the commit: an SNMPv2c inform's
    // acknowledgement (in ack_), or an SNMPv3 one or a Report of our engine
    // (in v3_'s buffer).
    std::vector<std::uint8_t> ack_;
    const std::uint8_t* answer_ = nullptr;
    std::size_t ackLength_ = 0;
    Ipv4Endpoint ackTo_;
    V3Notifications v3_;
    InboundMessage inbound_{};  // the datagram in hand
};

}  // namespace quillet
