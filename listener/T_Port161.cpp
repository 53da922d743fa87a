#include "listener/T_Port161.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "platform/LocalTime.h"
#include "response/ResponseReport.h"
#include "snmpv3/MessageOpen.h"
#include "snmpv3/UsmReports.h"
#include "snmpv3/V3Lines.h"
#include "text/DecimalText.h"

namespace quillet {
namespace {

std::int64_t MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A Report that came noAuthNoPriv in the clear to a user this console does
// not have (discovery's, with no user at all) is shown and its engine learnt:
// by its nature nothing in it is authenticated.
bool UnauthenticatedReport(const V3MessageScan& scan, const OpenedV3Message& opened) {
    return scan.status == V3ScanStatus::Ok && opened.status == UsmStatus::UnknownUserName &&
           (scan.msgFlags & (kFlagAuth | kFlagPriv)) == 0 && !scan.encrypted && scan.scoped.pduTag == kReportTag;
}

}  // namespace

T_Port161::T_Port161(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter, RequestState& request,
                     RequestTracker& tracker, V3Session& v3, std::function<void(const V3Report&)> onReport,
                     DatagramQueueBound bound)
    : ListenerThread(socket, output, reporter,
                     "PORT161受信エラー： Ether Port 161を使用するプログラムを起動していませんか？ ", kLossLineHead,
                     bound),
      request_(request),
      tracker_(tracker),
      v3_(v3),
      onReport_(std::move(onReport)),
      plain_(65536) {}

void T_Port161::HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender,
                               std::int64_t arrivalNs, OutputBatch& batch) {
    const std::size_t length = static_cast<std::size_t>(size < 0 ? 0 : size);
    const std::int64_t arrival = arrivalNs != 0 ? arrivalNs : RealtimeNs();
    seenWalk_ = request_.walkPending.load();
    reportDue_ = false;
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
    const std::size_t length = static_cast<std::size_t>(size);
    clearWalk_ = false;
    const std::shared_ptr<const V3Config> config = v3_.Config();
    static const UsmUserTable kNoUsers;
    const V3MessageScan& v3scan = inbound_.v3;
    OpenedV3Message opened;
    OpenV3Message(data, length, v3scan, config != nullptr ? config->users : kNoUsers, nullptr, plain_.data(),
                  plain_.size(), opened);
    const bool trusted = opened.status == UsmStatus::Ok;
    const bool report = trusted ? opened.scoped.pduTag == kReportTag : UnauthenticatedReport(v3scan, opened);
    const std::uint8_t* scopedBase = trusted ? opened.scopedBase : data;
    const ScopedPduScan& scoped = trusted ? opened.scoped : v3scan.scoped;

    messageLines_.Clear();
    AppendV3HeaderLines(data, v3scan, messageLines_);
    if (report && !trusted) {
        AppendV3SentSecurityLines(AuthProtocol::None, PrivProtocol::None, false, false, messageLines_);
    } else {
        AppendV3ReceivedSecurityLines(v3scan, opened, messageLines_);
    }
    if (trusted || report) AppendScopedPduLines(scopedBase, scoped, messageLines_);

    const ReceivedV3Message received = ReceivedV3(data, size, messageLines_, v3scan, opened);
    std::optional<PeerDetails> peer;
    if (DetailsOn()) peer = PeerOf(sender, arrivalNs);
    const std::int64_t arrival = arrivalNs != 0 ? arrivalNs : RealtimeNs();

    if (report || !trusted) {
        // A Report, or a message that did not open: counted and shown, and
        // nothing of its PDU written back.
        batch.CountDatagram(Counter::Recv);
        std::string line = report ? "report 受信 request ID=" : "response 受信 request ID=";
        AppendDecimal(line, report && scoped.hasRequestId ? scoped.requestId : 0);
        line += "  SIZE=";
        AppendDecimal(line, size);
        if (report && scoped.hasRequestId) {
            const std::int64_t roundTrip = tracker_.Answered(static_cast<std::uint32_t>(scoped.requestId),
                                                             sender.octets, sender.port, arrival);
            if (peer) peer->roundTripUs = roundTrip;
        }
        batch.WriteLine(line, SummaryLine);
        if (peer) AppendReceivedDetails(*peer, batch);
        batch.Append(messageLines_);
        batch.WriteLine("  受信DATA=", PduLine);
        batch.DumpPdu(data, length, PduLine);
        AppendPlainDump(received, batch);
        batch.ChargeOutput(static_cast<int>(std::min<std::int64_t>(std::int64_t{size} * 3, INT32_MAX)));
        if (!report) return;
        const std::string text = ReportText(scopedBase + scoped.pduAt, scoped.pduLength);
        batch.WriteLine("  " + (text.empty() ? std::string("(Reportの内容を読めません)") : text), SummaryLine);
        batch.ChargeOutput(40);
        // The engine the agent names: its ID, boots and time, for the next
        // request (discovery, or a time window that moved).
        if (v3scan.engineId.length >= kMinEngineIdLength) {
            v3_.Learn(sender.octets, sender.port, ByteSpan(data + v3scan.engineId.start, v3scan.engineId.length),
                      v3scan.engineBoots, v3scan.engineTime, MonotonicMs());
        }
        std::copy(sender.octets, sender.octets + 4, report_.address);
        report_.port = sender.port;
        report_.msgId = v3scan.msgId;
        report_.authenticated = opened.authenticated;
        report_.counter = text.substr(0, text.find(' '));
        reportDue_ = true;
        return;
    }
    // An answer whose scoped PDU opened: its PDU read where it lies, as an
    // SNMPv2c answer's is, shown with the datagram as it travelled.
    if (scoped.hasRequestId && peer)
        peer->roundTripUs = tracker_.Answered(static_cast<std::uint32_t>(scoped.requestId), sender.octets,
                                              sender.port, arrival);
    else if (scoped.hasRequestId)
        tracker_.Answered(static_cast<std::uint32_t>(scoped.requestId), sender.octets, sender.port, arrival);
    clearWalk_ = ReportV3Response(received, seenWalk_, request_.varBindCount.load(), scan_, batch,
                                  peer ? &*peer : nullptr);
}

void T_Port161::AfterReceiveFailure() { request_.walkPending = 0; }

void T_Port161::AfterCommit() {
    // A malformed datagram leaves the walk pending for the real answer. Only
    // the walk this datagram was handled under is cleared: a GetNext pressed
    // meanwhile keeps its write-back for its own answer.
    if (clearWalk_) ClearWalk(request_, seenWalk_);
    if (reportDue_ && onReport_) onReport_(report_);
    reportDue_ = false;
}

}  // namespace quillet
