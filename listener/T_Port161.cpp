#include "listener/T_Port161.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "platform/LocalTime.h"
#include "response/ResponseReport.h"
#include "snmpv3/InboundMessage.h"

namespace quillet {
namespace {

std::int64_t MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

T_Port161::T_Port161(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, RequestState& request,
                     RequestTracker& tracker, V3Requests& v3, std::function<void(V3Taken&&)> onFollowup,
                     DatagramQueueBound bound, std::function<void(std::vector<std::uint8_t>&&)> onWalkAnswer)
    : ListenerThread(socket, output, reporter,
                     "PORT161受信エラー： Ether Port 161を使用するプログラムを起動していませんか？ ", kLossLineHead,
                     bound),
      request_(request),
      tracker_(tracker),
      v3_(v3),
      onFollowup_(std::move(onFollowup)),
      onWalkAnswer_(std::move(onWalkAnswer)) {}

void T_Port161::HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender,
                               std::int64_t arrivalNs, OutputBatch& batch) {
    const std::size_t length = static_cast<std::size_t>(size < 0 ? 0 : size);
    const std::int64_t arrival = arrivalNs != 0 ? arrivalNs : RealtimeNs();
    seenWalk_ = request_.walkPending.load();
    followupDue_ = false;
    walkAnswerDue_ = false;
    ScanInboundMessage(data, length, inbound_);
    if (inbound_.version == MessageVersion::V3) {
        HandleV3(data, size, sender, arrivalNs, batch);
        return;
    }
    const CommunityMessage& message = inbound_.community;
    // An answer to a request of ours, from the agent it went to, ends that
    // request's wait, whether or not the details are shown.
    std::int64_t roundTripUs = -1;
    std::uint32_t requestId = 0;
    if (ReadResponseRequestId(data, length, message, requestId))
        roundTripUs = tracker_.Answered(requestId, sender.octets, sender.port, arrival);
    const std::int32_t walking = request_.walkRequestId.load();
    if (walking != 0 && roundTripUs >= 0 && requestId == static_cast<std::uint32_t>(walking)) {
        walkAnswer_.assign(data, data + length);
        walkAnswerDue_ = true;
    }
    if (DetailsOn()) {
        PeerDetails peer = PeerOf(sender, arrivalNs);
        peer.roundTripUs = roundTripUs;
        clearWalk_ =
            ReportResponse(data, size, message, seenWalk_, request_.varBindCount.load(), scan_, batch, &peer);
    } else {
        clearWalk_ = ReportResponse(data, size, message, seenWalk_, request_.varBindCount.load(), scan_, batch);
    }
}

void T_Port161::HandleV3(const std::uint8_t* data, int size, const Ipv4Endpoint& sender, std::int64_t arrivalNs,
                         OutputBatch& batch) {
    std::optional<PeerDetails> peer;
    LocalDateTime when;
    if (DetailsOn()) {
        peer = PeerOf(sender, arrivalNs);
        when = LocalTimeOfNs(RealtimeNs());
    }
    const V3Moment moment{MonotonicMs(), RealtimeNs(), peer ? &when : nullptr};
    followup_ = v3_.Take(data, static_cast<std::size_t>(size), inbound_.v3, Endpoint::V4(sender.octets, sender.port),
                         arrivalNs != 0 ? arrivalNs : RealtimeNs(), moment, peer ? &*peer : nullptr, seenWalk_,
                         request_.varBindCount.load(), scan_, batch);
    clearWalk_ = followup_.clearWalk;
    followupDue_ = followup_.send.has_value() || followup_.ended.has_value() || followup_.answered != 0;
}

void T_Port161::AfterReceiveFailure() { request_.walkPending = 0; }

void T_Port161::AfterCommit() {
    // A malformed datagram leaves the walk pending for the real answer. Only
    // the walk this datagram was handled under is cleared: a GetNext pressed
    // meanwhile keeps its write-back for its own answer.
    if (clearWalk_) ClearWalk(request_, seenWalk_);
    if (followupDue_ && onFollowup_) onFollowup_(std::move(followup_));
    followupDue_ = false;
    if (walkAnswerDue_ && onWalkAnswer_) onWalkAnswer_(std::move(walkAnswer_));
    walkAnswerDue_ = false;
}

}  // namespace quillet
