// The response listener on local UDP port 161: every SNMPv1 and SNMPv2c
// datagram is taken as an answer to the console, counted, shown with its
// bindings, and its object identifiers written back into the OID fields so
// that GetNext walks on. An SNMPv3 datagram is handed to the requests in
// flight (V3Requests), which alone decide whether it is an answer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "exchange/V3Requests.h"
#include "listener/ListenerThread.h"
#include "request/RequestState.h"
#include "request/RequestTracker.h"
#include "response/ResponseScan.h"
#include "snmpv3/InboundMessage.h"

namespace quillet {

class T_Port161 : public ListenerThread {
public:
    // The line that says how many datagrams were lost, before the count.
    static constexpr const char* kLossLineHead = "response 受信欠落  COUNT=";

    // `tracker` holds the requests sent: an answer to one of them is marked
    // answered (and its round trip shown with the details).
    // SNMPv3 datagrams are handed to `v3`, the requests in flight; what
    // one of them asks of the window (the next message of its operation, or
    // the end of one) is told to `onFollowup`, on this listener's reporting
    // thread, after the datagram's lines were committed.
    // The answer to a walk's SNMPv1/v2c request (RequestState::walkRequestId),
    // from the agent it went to, is handed whole to `onWalkAnswer` likewise.
    T_Port161(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, RequestState& request,
              RequestTracker& tracker, V3Requests& v3, std::function<void(V3Taken&&)> onFollowup = {},
              DatagramQueueBound bound = {}, std::function<void(std::vector<std::uint8_t>&&)> onWalkAnswer = {});

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
    V3Requests& v3_;
    std::function<void(V3Taken&&)> onFollowup_;
    V3Taken followup_;
    std::function<void(std::vector<std::uint8_t>&&)> onWalkAnswer_;
    std::vector<std::uint8_t> walkAnswer_;
    bool walkAnswerDue_ = false;
    InboundMessage inbound_{};  // the datagram in hand
    bool followupDue_ = false;
    ResponseScanResult scan_{};
    bool clearWalk_ = false;
    std::int32_t seenWalk_ = 0;  // walkPending as the last datagram found it
};

}  // namespace quillet
