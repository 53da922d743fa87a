// The four request buttons of the main window: read the fields, run the
// checks and the encoder, send, and report.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QCheckBox>

#include "console/MainForm.h"

#include <QTimer>

#include <algorithm>
#include <chrono>

#include "platform/LocalTime.h"
#include "request/RequestEncoder.h"
#include "request/RequestOperation.h"
#include "snmpv3/MessageOpen.h"
#include "snmpv3/MessageScan.h"
#include "snmpv3/V3Lines.h"

namespace quillet {
namespace {

RequestFields ReadFields(const TMainForm& form) {
    RequestFields fields;
    fields.community = form.CommunityEdit->text().toStdString();
    fields.ipAddress = form.IpEdit->text().toStdString();
    fields.oid1 = form.OID1Edit->text().toStdString();
    fields.oid2 = form.OID2Edit->text().toStdString();
    fields.oid3 = form.OID3Edit->text().toStdString();
    fields.nonRepeatersCount = form.NonOID_C_Edit->text().toStdString();
    fields.maxRepetitions = form.MaxEdit->text().toStdString();
    fields.repeaterCount = form.MaxOID_C_Edit->text().toStdString();
    fields.maxOid1 = form.MaxOID1Edit->text().toStdString();
    fields.maxOid2 = form.MaxOID2Edit->text().toStdString();
    fields.maxOid3 = form.MaxOID3Edit->text().toStdString();
    fields.value = form.InMemo->toPlainText().toStdString();
    fields.version = form.Version();
    fields.dataType = form.DataType();
    return fields;
}

}  // namespace

void TMainForm::RunRequest(RequestKind kind) {
    // Answers already taken in but not yet shown (the pane is paced in a
    // storm) may have changed the identifier fields: apply them first, so a
    // GetNext walks on from what the last answer returned.
    FlushPane();
    const RequestFields fields = ReadFields(*this);
    const PrepareResult result = PrepareRequest(kind, fields, request_);
    if (result.addressAccepted) SetAgentAddress(result.agentAddressText, result.agentAddress.data());
    if (result.messageChanged) MessageEdit->setText(QString::fromStdString(result.message));
    if (result.conversionError) {
        reporter_->ShowConversionError(result.conversionErrorText);
        return;
    }
    if (!result.ready) return;
    if (fields.version == SnmpV3) {
        RunV3Request(kind, std::string(ReportedOidText(kind, request_, fields)));
        return;
    }
    // The report is committed before the datagram leaves: an agent on the
    // same link answers within microseconds, and its answer must follow the
    // request in the pane and the log, not come before it. The report does
    // not depend on how the send went: a failed send adds its own line.
    OutputBatch batch;
    const SocketEntry& agent = sockets_.At(0);
    PeerDetails destination;
    std::copy(agent.destination.octets, agent.destination.octets + 4, destination.address);
    destination.port = agent.destination.port;
    destination.when = LocalTimeOfNs(RealtimeNs());
    ReportRequest(kind, request_, ReportedOidText(kind, request_, fields), dataDisplayCheckBox->isChecked(), batch,
                  output_.Details() ? &destination : nullptr);
    output_.Commit(batch);
    // Waited for from before the send: a near agent's answer can be taken
    // in before the send call has even returned.
    const std::int32_t requestId = request_.requestId;
    tracker_.Sent(requestId, destination.address, destination.port, RealtimeNs());
    if (!SendDatagram(0, request_.sendBuffer.data(), request_.sendSize)) {
        tracker_.Expire(requestId);
        // A walk whose request never left expects no answer to write back.
        ClearWalk(request_, request_.walkToken);
        return;
    }
    WaitForAnswer(requestId);
}

void TMainForm::WaitForAnswer(std::int32_t requestId) {
    QTimer::singleShot(RequestTracker::kAnswerWaitMs, this, [this, requestId] {
        if (!tracker_.Expire(requestId)) return;
        // Said in the message field whatever the details say; it stays until
        // the next request changes the field.
        MessageEdit->setText(QString::fromStdString(NoAnswerMessage(requestId)));
        if (!output_.Details()) return;
        OutputBatch batch;
        ReportNoAnswer(requestId, RequestTracker::kAnswerWaitMs, batch);
        output_.Commit(batch);
    });
}

namespace {

constexpr const char* kNoV3UserMessage = "SNMPv3の設定(ユーザー)を入力して下さい。";

// The request user is configured, but its secrets were not typed in this run.
std::string NoV3SecretMessage(const std::string& user) {
    return "SNMPv3ユーザー「" + user + "」のパスフレーズ（キー）が未入力です。設定で入力して下さい。";
}

std::int64_t MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void TMainForm::RunV3Request(RequestKind kind, const std::string& oidText) {
    const std::shared_ptr<const V3Config> config = v3_.Config();
    if (config == nullptr || config->requestUser.empty() || config->RequestUser() == nullptr) {
        const bool named = config != nullptr && !config->requestUser.empty();
        MessageEdit->setText(named ? QString::fromStdString(NoV3SecretMessage(config->requestUser))
                                   : QString::fromUtf8(kNoV3UserMessage));
        ClearWalk(request_, request_.walkToken);
        return;
    }
    const ByteSpan pdu = RequestPdu(request_.sendBuffer.data(), static_cast<std::size_t>(request_.sendSize));
    pendingV3_ = PendingV3{};
    pendingV3_.active = true;
    pendingV3_.kind = kind;
    pendingV3_.pdu.assign(pdu.begin(), pdu.end());
    pendingV3_.requestId = request_.requestId;
    pendingV3_.oidText = oidText;
    const SocketEntry& agent = sockets_.At(0);
    std::copy(agent.destination.octets, agent.destination.octets + 4, pendingV3_.agent.address);
    pendingV3_.agent.port = agent.destination.port;
    AgentEngine engine;
    if (v3_.EngineOf(pendingV3_.agent.address, pendingV3_.agent.port, engine)) {
        SendV3Request();
        return;
    }
    // The agent's engine is not known yet: discovery first (RFC 3414 4), and
    // the request once its Report has named the engine.
    pendingV3_.awaitingDiscovery = true;
    pendingV3_.discoveryMsgId = v3_.NextMsgId();
    // Discovery takes the request's id, and the request the next one, so
    // that the ids go out in order: the encoder writes the id as the two
    // octets after the PDU's header and 02 02.
    const std::int32_t discoveryId = request_.requestId;
    AdvanceRequestId(request_);
    pendingV3_.requestId = request_.requestId;
    if (pendingV3_.pdu.size() > 7 && pendingV3_.pdu[4] == 0x02 && pendingV3_.pdu[5] == 0x02) {
        pendingV3_.pdu[6] = static_cast<std::uint8_t>(pendingV3_.requestId >> 8);
        pendingV3_.pdu[7] = static_cast<std::uint8_t>(pendingV3_.requestId);
    }
    std::vector<std::uint8_t> datagram(512);
    const std::size_t size = BuildDiscovery(pendingV3_.discoveryMsgId, discoveryId, datagram.data(), datagram.size());
    V3MessageScan scan;
    ScanV3Message(datagram.data(), size, scan);
    OutputBatch lines;
    lines.WriteLine("  SNMPv3 エンジンID探索(discovery)", SummaryLine);
    AppendV3HeaderLines(datagram.data(), scan, lines);
    AppendV3SentSecurityLines(AuthProtocol::None, PrivProtocol::None, false, false, lines);
    PeerDetails destination = pendingV3_.agent;
    destination.when = LocalTimeOfNs(RealtimeNs());
    OutputBatch batch;
    ReportV3Request(RequestKind::Get, discoveryId, datagram.data(), size, "", dataDisplayCheckBox->isChecked(), lines,
                    nullptr, 0, batch, output_.Details() ? &destination : nullptr);
    output_.Commit(batch);
    tracker_.Sent(discoveryId, destination.address, destination.port, RealtimeNs());
    if (!SendDatagram(0, datagram.data(), static_cast<int>(size))) {
        tracker_.Expire(discoveryId);
        pendingV3_.active = false;
        ClearWalk(request_, request_.walkToken);
        return;
    }
    WaitForAnswer(discoveryId);
}

void TMainForm::SendV3Request() {
    const std::shared_ptr<const V3Config> config = v3_.Config();
    const UsmUser* user = config != nullptr ? config->RequestUser() : nullptr;
    AgentEngine engine;
    if (user == nullptr || !v3_.EngineOf(pendingV3_.agent.address, pendingV3_.agent.port, engine)) return;
    if (!user->keysEngineId.empty() && user->keysEngineId != engine.engineId) {
        // Keys localised to another engine would only draw wrongDigest Reports.
        MessageEdit->setText(QString::fromStdString("SNMPv3ユーザー「" + user->name +
                                                    "」のキーは別のエンジン用です（キーのエンジンIDを確認して下さい）。"));
        pendingV3_.active = false;
        ClearWalk(request_, request_.walkToken);
        return;
    }
    pendingV3_.awaitingDiscovery = false;
    pendingV3_.msgId = v3_.NextMsgId();
    const Salt salt = v3_.NextSalt(user->priv, engine.boots);
    std::vector<std::uint8_t> datagram(kSendBufferSize + 1024);
    const std::size_t size = BuildV3Request(*config, engine, MonotonicMs(), pendingV3_.msgId, salt,
                                            ByteSpan(pendingV3_.pdu.data(), pendingV3_.pdu.size()), datagram.data(),
                                            datagram.size());
    if (size == 0 || size > 65507) {
        MessageEdit->setText(QStringLiteral("入力データが異常です。"));
        pendingV3_.active = false;
        ClearWalk(request_, request_.walkToken);
        return;
    }
    // Our own message, scanned and opened as an agent would, for its lines
    // and its scoped PDU in the clear.
    V3MessageScan scan;
    ScanV3Message(datagram.data(), size, scan);
    std::vector<std::uint8_t> plain(size);
    OpenedV3Message opened;
    OpenV3Message(datagram.data(), size, scan, config->users, nullptr, plain.data(), plain.size(), opened);
    OutputBatch lines;
    AppendV3HeaderLines(datagram.data(), scan, lines);
    AppendV3SentSecurityLines(user->auth, user->priv, (scan.msgFlags & kFlagAuth) != 0, scan.encrypted, lines,
                              user->extension);
    if (opened.status == UsmStatus::Ok) AppendScopedPduLines(opened.scopedBase, opened.scoped, lines);
    const bool encrypted = scan.encrypted && opened.status == UsmStatus::Ok;
    PeerDetails destination = pendingV3_.agent;
    destination.when = LocalTimeOfNs(RealtimeNs());
    OutputBatch batch;
    ReportV3Request(pendingV3_.kind, pendingV3_.requestId, datagram.data(), size, pendingV3_.oidText,
                    dataDisplayCheckBox->isChecked(), lines,
                    encrypted ? opened.scopedBase + opened.scoped.at : nullptr, encrypted ? opened.scoped.length : 0,
                    batch, output_.Details() ? &destination : nullptr);
    output_.Commit(batch);
    tracker_.Sent(pendingV3_.requestId, destination.address, destination.port, RealtimeNs());
    if (!SendDatagram(0, datagram.data(), static_cast<int>(size))) {
        tracker_.Expire(pendingV3_.requestId);
        pendingV3_.active = false;
        ClearWalk(request_, request_.walkToken);
        return;
    }
    WaitForAnswer(pendingV3_.requestId);
}

void TMainForm::OnV3Report(const V3Report& report) {
    if (!pendingV3_.active || report.port != pendingV3_.agent.port ||
        !std::equal(report.address, report.address + 4, pendingV3_.agent.address))
        return;
    if (pendingV3_.awaitingDiscovery && report.msgId == pendingV3_.discoveryMsgId) {
        // Discovery answered: the engine is learnt, the request goes out.
        SendV3Request();
        return;
    }
    const bool newClock = report.counter == "usmStatsNotInTimeWindows" && report.authenticated;
    const bool newEngine = report.counter == "usmStatsUnknownEngineIDs";
    if (!pendingV3_.awaitingDiscovery && !pendingV3_.resent && report.msgId == pendingV3_.msgId &&
        (newClock || newEngine)) {
        // The agent's clock moved on (a restart, a long pause), or it is
        // another engine now: its Report gave boots and time (and engine ID)
        // anew; the request goes once more with them.
        pendingV3_.resent = true;
        const bool resent = pendingV3_.resent;
        SendV3Request();
        pendingV3_.resent = resent;
        return;
    }
    pendingV3_.active = false;
}

void TMainForm::SetButtonClick() { RunRequest(RequestKind::Set); }
void TMainForm::GETButtonClick() { RunRequest(RequestKind::Get); }
void TMainForm::GETNEXTButtonClick() { RunRequest(RequestKind::GetNext); }
void TMainForm::BulkButtonClick() { RunRequest(RequestKind::GetBulk); }

}  // namespace quillet
