#include "listener/T_Port161.h"

#include "platform/LocalTime.h"
#include "response/ResponseReport.h"

namespace quillet {

T_Port161::T_Port161(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, RequestState& request,
                     RequestTracker& tracker, DatagramQueueBound bound)
    : ListenerThread(socket, output, reporter,
                     "PORT161受信エラー： Ether Port 161を使用するプログラムを起動していませんか？ ", kLossLineHead,
                     bound),
      request_(request),
      tracker_(tracker) {}

void T_Port161::HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender,
                               std::int64_t arrivalNs, OutputBatch& batch) {
    // An answer to a request of ours, from the agent it went to, ends that
    // request's wait, whether or not the details are shown.
    std::int64_t roundTripUs = -1;
    std::uint32_t requestId = 0;
    if (ReadResponseRequestId(data, static_cast<std::size_t>(size < 0 ? 0 : size), requestId))
        roundTripUs = tracker_.Answered(requestId, sender.octets, sender.port,
                                        arrivalNs != 0 ? arrivalNs : RealtimeNs());
    seenWalk_ = request_.walkPending.load();
    if (DetailsOn()) {
        PeerDetails peer = PeerOf(sender, arrivalNs);
        peer.roundTripUs = roundTripUs;
        clearWalk_ = ReportResponse(data, size, seenWalk_, request_.varBindCount.load(), scan_, batch, &peer);
    } else {
        clearWalk_ = ReportResponse(data, size, seenWalk_, request_.varBindCount.load(), scan_, batch);
    }
}

void T_Port161::AfterReceiveFailure() { request_.walkPending = 0; }

void T_Port161::AfterCommit() {
    // A malformed datagram leaves the walk pending for the real answer. Only
    // the walk this datagram was handled under is cleared: a GetNext pressed
    // meanwhile keeps its write-back for its own answer.
    if (clearWalk_) ClearWalk(request_, seenWalk_);
}

}  // namespace quillet
