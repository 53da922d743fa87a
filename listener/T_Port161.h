// The response listener on local UDP port 161: every datagram is taken as an
// answer to the console, counted, shown with its bindings, and its object
// identifiers written back into the OID fields so that GetNext walks on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "listener/ListenerThread.h"
#include "request/RequestState.h"
#include "request/RequestTracker.h"
#include "request/V3Session.h"
#include "snmpv3/InboundMessage.h"
#include "response/ResponseScan.h"

namespace quillet {

// A Report from an agent, as the window needs it to go on: which agent,
// the msgID it reports on, and its counter's name (usmStatsUnknownEngineIDs,
// usmStatsNotInTimeWindows, ...).
struct V3Report {
    std::uint8_t address[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;
    std::int32_t msgId = 0;
    bool authenticated = false;
    std::string counter;
};

class T_Port161 : public ListenerThread {
public:
    // The line that says how many datagrams were lost, before the count.
    static constexpr const char* kLossLineHead = "response 受信欠落  COUNT=";

    // `tracker` holds the requests sent: an answer to one of them is marked
    // answered (and its round trip shown with the details).
    // SNMPv3 answers are opened with `v3`'s user; a Report is shown, its
    // engine learnt into `v3`, and then told to `onReport` (on this
    // listener's reporting thread, after its lines were committed).
    T_Port161(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, RequestState& request,
              RequestTracker& tracker, V3Session& v3, std::function<void(const V3Report&)> onReport = {},
              DatagramQueueBound bound = {});

protected:
    void HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender, std::int64_t arrivalNs,
                        OutputBatch& batch) override;
    void AfterReceiveFailure() override;
    void AfterCommit() override;

private:
    void HandleV3(const std::uint8_t* data, int size, const Ipv4Endpoint& sender, std::int64_t arrivalNs,
                  OutputBatch& batch);

    RequestState& request_;
    RequestTracker& tracker_;
    V3Session& v3_;
    std::function<void(const V3Report&)> onReport_;
    InboundMessage inbound_{};  // the datagram in hand
    OutputBatch messageLines_;
    std::vector<std::uint8_t> plain_;  // a decrypted scoped PDU
    V3Report report_;
    bool reportDue_ = false;
    ResponseScanResult scan_{};
    bool clearWalk_ = false;
    std::int32_t seenWalk_ = 0;  // walkPending as the last datagram found it
};

}  // namespace quillet
