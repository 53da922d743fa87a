// The response listener on local UDP port 161: every datagram is taken as an
// answer to the console, counted, shown with its bindings, and its object
// identifiers written back into the OID fields so that GetNext walks on.
#pragma once

#include <cstdint>

#include "listener/ListenerThread.h"
#include "request/RequestState.h"
#include "request/RequestTracker.h"
#include "response/ResponseScan.h"

namespace quillet {

class T_Port161 : public ListenerThread {
public:
    // The line that says how many datagrams were lost, before the count.
    static constexpr const char* kLossLineHead = "response 受信欠落  COUNT=";

    // `tracker` holds the requests sent: an answer to one of them is marked
    // answered (and its round trip shown with the details).
    T_Port161(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, RequestState& request,
              RequestTracker& tracker, DatagramQueueBound bound = {});

protected:
    void HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender, std::int64_t arrivalNs,
                        OutputBatch& batch) override;
    void AfterReceiveFailure() override;
    void AfterCommit() override;

private:
    RequestState& request_;
    RequestTracker& tracker_;
    ResponseScanResult scan_{};
    bool clearWalk_ = false;
    std::int32_t seenWalk_ = 0;  // walkPending as the last datagram found it
};

}  // namespace quillet
