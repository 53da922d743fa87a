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
      plain_(65536),
      wrapped_(65536 + 16) {}

void T_Port161::HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& sender,
                               std::int64_t arrivalNs, OutputBatch& batch) {
    const std::size_t length = static_cast<std::size_t>(size < 0 ? 0 : size);
    const std::int64_t arrival = arrivalNs != 0 ? arrivalNs : RealtimeNs();
    seenWalk_ = request_.walkPending.load();
    reportDue_ = false;
    if (IsSnmpV3Message(data, length)) {
        HandleV3(data, size, sender, arrivalNs, batch);
        return;
    }
    // An answer to a request of ours, from the agent it went to, ends that
    // request's wait, whether or not the details are shown.
    std::int64_t roundTripUs = -1;
    std::uint32_t requestId = 0;
    if (ReadResponseRequestId(data, length, requestId))
        roundTripUs = tracker_.Answered(requestId, sender.octets, sender.port, arrival);
    if (DetailsOn()) {
        PeerDetails peer = PeerOf(sender, arrivalNs);
        peer.roundTripUs = roundTripUs;
        clearWalk_ = ReportResponse(data, size, seenWalk_, request_.varBindCount.load(), scan_, batch, &peer);
    } else {
        clearWalk_ = ReportResponse(data, size, seenWalk_, request_.varBindCount.load(), scan_, batch);
    }
}

void T_Port161::HandleV3(const std::uint8_t* data, int size, const Ipv4Endpoint& sender, std::int64_t arrivalNs,
                         OutputBatch& batch) {
    const std::size_t length = static_cast<std::size_t>(size);
    clearWalk_ = false;
    const std::shared_ptr<const V3Config> config = v3_.Config();
    static const UsmUserTable kNoUsers;
    ScanV3Message(data, length, v3scan_);
    OpenedV3Message opened;
    OpenV3Message(data, length, v3scan_, config != nullptr ? config->users : kNoUsers, nullptr, plain_.data(),
                  plain_.size(), opened);
    const bool trusted = opened.status == UsmStatus::Ok;
    const bool report = trusted ? opened.scoped.pduTag == kReportTag : UnauthenticatedReport(v3scan_, opened);
    const std::uint8_t* scopedBase = trusted ? opened.scopedBase : data;
    const ScopedPduScan& scoped = trusted ? opened.scoped : v3scan_.scoped;

    messageLines_.Clear();
    AppendV3HeaderLines(data, v3scan_, messageLines_);
    if (report && !trusted) {
        AppendV3SentSecurityLines(AuthProtocol::None, PrivProtocol::None, false, false, messageLines_);
    } else {
        AppendV3ReceivedSecurityLines(v3scan_, opened, messageLines_);
    }
    if (trusted || report) AppendScopedPduLines(scopedBase, scoped, messageLines_);

    const ShownDatagram shown = ShownV3(data, size, messageLines_, v3scan_, opened);
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
        AppendPlainDump(shown, batch);
        batch.ChargeOutput(static_cast<int>(std::min<std::int64_t>(std::int64_t{size} * 3, INT32_MAX)));
        if (!report) return;
        const std::string text = ReportText(scopedBase + scoped.pduAt, scoped.pduLength);
        batch.WriteLine("  " + (text.empty() ? std::string("(Reportの内容を読めません)") : text), SummaryLine);
        batch.ChargeOutput(40);
        // The engine the agent names: its ID, boots and time, for the next
        // request (discovery, or a time window that moved).
        if (v3scan_.engineId.length >= kMinEngineIdLength) {
            v3_.Learn(sender.octets, sender.port, ByteSpan(data + v3scan_.engineId.start, v3scan_.engineId.length),
                      v3scan_.engineBoots, v3scan_.engineTime, MonotonicMs());
        }
        std::copy(sender.octets, sender.octets + 4, report_.address);
        report_.port = sender.port;
        report_.msgId = v3scan_.msgId;
        report_.authenticated = opened.authenticated;
        report_.counter = text.substr(0, text.find(' '));
        reportDue_ = true;
        return;
    }
    // An answer whose scoped PDU opened: read as an SNMPv2c answer of the
    // same PDU, shown with the datagram as it travelled.
    if (scoped.hasRequestId && peer)
        peer->roundTripUs = tracker_.Answered(static_cast<std::uint32_t>(scoped.requestId), sender.octets,
                                              sender.port, arrival);
    else if (scoped.hasRequestId)
        tracker_.Answered(static_cast<std::uint32_t>(scoped.requestId), sender.octets, sender.port, arrival);
    const std::size_t wrapped =
        WrapPduAsV2c(scopedBase + scoped.pduAt, scoped.pduLength, wrapped_.data(), wrapped_.size());
    clearWalk_ = ReportResponse(wrapped_.data(), static_cast<int>(wrapped), seenWalk_, request_.varBindCount.load(),
                                scan_, batch, peer ? &*peer : nullptr, &shown);
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
