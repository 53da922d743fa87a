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

#include "listener/ListenerThread.h"
#include "request/V3Session.h"
#include "snmpv3/LocalEngine.h"
#include "snmpv3/InboundMessage.h"
#include "trap/InformAck.h"
#include "trap/TrapReport.h"

namespace quillet {

class T_Port162 : public ListenerThread {
public:
    // The line that says how many traps were lost, before the count.
    static constexpr const char* kLossLineHead = "TRAP受信欠落  COUNT=";

    // `equipmentFlag` is process-wide: kept across datagrams. SNMPv3
    // notifications are opened with `v3`'s user; for informs this port is
    // the authoritative engine `engineId` with `engineBoots` (kept by the
    // window's settings), and answers discovery and refused informs with
    // Reports.
    T_Port162(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, std::atomic<std::int32_t>& equipmentFlag,
              V3Session& v3, ByteSpan engineId, std::uint32_t engineBoots, DatagramQueueBound bound = {});

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
    void HandleV3(const std::uint8_t* data, int size, const Ipv4Endpoint& sender, std::int64_t arrivalNs,
                  OutputBatch& batch);

    UdpSocket& socket_;
    std::atomic<std::int32_t>& equipmentFlag_;
    TrapReportScratch scan_{};
    // The answer to send after the commit: an inform's acknowledgement, or a
    // Report of our engine (SNMPv3 adds its header, and a cipher's pad).
    std::vector<std::uint8_t> ack_;
    std::size_t ackLength_ = 0;
    Ipv4Endpoint ackTo_;
    V3Session& v3_;
    LocalEngine engine_;
    std::int64_t startSeconds_;
    SaltSource salts_;
    InboundMessage inbound_{};  // the datagram in hand
    OutputBatch messageLines_;
    std::vector<std::uint8_t> plain_;  // a decrypted scoped PDU
};

}  // namespace quillet
