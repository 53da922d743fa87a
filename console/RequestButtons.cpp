// The four request buttons of the main window: read the fields, run the
// checks and the encoder, send, and report.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QCheckBox>
#include <QPushButton>

#include "console/MainForm.h"

#include <QTimer>

#include <algorithm>
#include <chrono>

#include "platform/LocalTime.h"
#include "request/ObjectIdentifierText.h"
#include "request/RequestEncoder.h"
#include "request/RequestOperation.h"
#include "response/ResponseScan.h"
#include "text/OidText.h"

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

std::int64_t MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void TMainForm::RunRequest(RequestKind kind) {
    // Answers already taken in but not yet shown (the pane is paced in a
    // storm) may have changed the identifier fields: apply them first, so a
    // GetNext walks on from what the last answer returned.
    FlushPane();
    RunRequestWith(kind, ReadFields(*this));
}

bool TMainForm::RunRequestWith(RequestKind kind, const RequestFields& fields) {
    const PrepareResult result = PrepareRequest(kind, fields, request_);
    if (result.addressAccepted)
        SetAgentAddress(result.agentAddressText, result.agentAddress.data());
    if (result.messageChanged) {
        MessageEdit->setText(QString::fromStdString(result.message));
        // The field now speaks of this request (emptied: it passed its
        // checks), or of an input error that no answer may replace.
        messageRequestId_ = result.ready ? request_.requestId : 0;
    }
    if (!result.ready) return false;
    // A walk's request writes nothing back: the walk keeps its own place.
    if (walk_ != nullptr) request_.varBindCount = 0;
    if (fields.version == SnmpV3) return RunV3Request(kind, std::string(ReportedOidText(kind, request_, fields)));
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
    if (walk_ != nullptr) request_.walkRequestId = requestId;
    tracker_.Sent(requestId, destination.address, destination.port, RealtimeNs(),
                  std::span<const std::uint8_t>(request_.sendBuffer.data(), static_cast<std::size_t>(request_.sendSize)),
                  transport_.retries);
    if (!SendDatagram(0, request_.sendBuffer.data(), request_.sendSize)) {
        tracker_.Forget(requestId);
        // A walk whose request never left expects no answer to write back.
        ClearWalk(request_, request_.walkToken);
        return false;
    }
    WaitForAnswer(requestId);
    return true;
}

void TMainForm::WaitForAnswer(std::int32_t requestId) {
    QTimer::singleShot(transport_.timeoutMs, this, [this, requestId] {
        std::vector<std::uint8_t> again;
        int tries = 0;
        switch (tracker_.Expire(requestId, RealtimeNs(), again, tries)) {
        case RequestTracker::Expiry::NotWaiting: return;
        case RequestTracker::Expiry::NoAnswer: SayNoAnswer(requestId, tries); return;
        case RequestTracker::Expiry::Retry: break;
        }
        // The same datagram once more, to where it went.
        OutputBatch batch;
        const SocketEntry& agent = sockets_.At(0);
        PeerDetails destination;
        std::copy(agent.destination.octets, agent.destination.octets + 4, destination.address);
        destination.port = agent.destination.port;
        destination.when = LocalTimeOfNs(RealtimeNs());
        ReportRetry(requestId, again.data(), again.size(), tries, transport_.retries + 1, batch,
                    output_.Details() ? &destination : nullptr);
        output_.Commit(batch);
        if (!SendDatagram(0, again.data(), static_cast<int>(again.size()))) {
            tracker_.Forget(requestId);
            return;
        }
        WaitForAnswer(requestId);
    });
}

void TMainForm::SayNoAnswer(std::int32_t requestId, int tries) {
    // Said in the message field whatever the details say, unless the field
    // speaks of a later action by now; it stays until the next request
    // changes the field.
    if (messageRequestId_ == requestId) MessageEdit->setText(QString::fromStdString(NoAnswerMessage(requestId, tries)));
    if (output_.Details()) {
        OutputBatch batch;
        ReportNoAnswer(requestId, transport_.timeoutMs, batch, tries);
        output_.Commit(batch);
    }
    if (walk_ != nullptr && (request_.walkRequestId.load() == requestId || walkOperation_ != 0)) {
        walk_->NoAnswer();
        FinishWalk();
    }
}

bool TMainForm::RunV3Request(RequestKind kind, const std::string& oidText) {
    const SocketEntry& agent = sockets_.At(0);
    V3RequestInput input;
    input.kind = kind;
    const ByteSpan pdu = RequestPdu(request_.sendBuffer.data(), static_cast<std::size_t>(request_.sendSize));
    input.pdu.assign(pdu.begin(), pdu.end());
    input.requestId = request_.requestId;
    input.oidText = oidText;
    input.agent = Endpoint::V4(agent.destination.octets, agent.destination.port);
    input.pduDisplayChecked = dataDisplayCheckBox->isChecked();
    input.retries = transport_.retries;
    const LocalDateTime when = LocalTimeOfNs(RealtimeNs());
    V3Start start = v3Requests_.Start(input, V3Moment{MonotonicMs(), RealtimeNs(), output_.Details() ? &when : nullptr});
    if (start.status != V3StartStatus::Ready) {
        MessageEdit->setText(QString::fromStdString(start.message));
        messageRequestId_ = 0;
        ClearWalk(request_, request_.walkToken);
        return false;
    }
    if (walk_ != nullptr) walkOperation_ = start.outgoing.operation;
    return SendV3(start.outgoing);
}

bool TMainForm::SendV3(V3Outgoing& outgoing) {
    // The lines first, then the datagram: its answer can never come first.
    output_.Commit(outgoing.lines);
    Ipv4Endpoint to;
    std::copy(outgoing.to.address.begin(), outgoing.to.address.begin() + 4, to.octets);
    to.port = outgoing.to.port;
    if (!SendDatagram(0, outgoing.datagram.data(), static_cast<int>(outgoing.datagram.size()), &to)) {
        v3Requests_.Abandon(outgoing.operation);
        ClearWalk(request_, request_.walkToken);
        return false;
    }
    WaitForV3Answer(outgoing.operation, outgoing.attempt);
    return true;
}

void TMainForm::OnV3Followup(V3Taken& taken) {
    if (taken.send && !SendV3(*taken.send) && walk_ != nullptr && walkOperation_ == taken.send->operation) {
        walk_->NoAnswer();
        FinishWalk();
    }
    if (taken.ended) {
        // A Report's reason is the message of its own request only.
        if (messageRequestId_ == taken.ended->requestId)
            MessageEdit->setText(QString::fromStdString(taken.ended->message));
        if (walk_ != nullptr && walkOperation_ == taken.ended->operation) {
            walk_->Refused();
            FinishWalk();
        }
    }
    if (taken.answered != 0 && walk_ != nullptr && walkOperation_ == taken.answered)
        OnWalkAnswer(taken.answerPdu.data(), 0, taken.answerPdu.size(), 3);
}

void TMainForm::WaitForV3Answer(std::uint64_t operation, std::uint32_t attempt) {
    QTimer::singleShot(transport_.timeoutMs, this, [this, operation, attempt] {
        const LocalDateTime when = LocalTimeOfNs(RealtimeNs());
        V3Requests::Expired expired = v3Requests_.Expire(
            operation, attempt, V3Moment{MonotonicMs(), RealtimeNs(), output_.Details() ? &when : nullptr});
        switch (expired.expiry) {
        case V3Requests::Expiry::NotWaiting: return;
        case V3Requests::Expiry::NoAnswer: SayNoAnswer(expired.requestId, expired.tries); return;
        case V3Requests::Expiry::Retry: SendV3(expired.again); return;
        }
    });
}

void TMainForm::WalkButtonClick() {
    if (walk_ != nullptr) {
        walk_->Stop();
        FinishWalk();
        return;
    }
    FlushPane();
    OidSlot root;
    if (ParseOid(OID1Edit->text().toStdString(), root) != 0 || root.length == 0) {
        MessageEdit->setText(QStringLiteral("object IDが異常です。"));
        messageRequestId_ = 0;
        return;
    }
    walk_ = std::make_unique<SubtreeWalk>(std::vector<std::uint8_t>(root.bytes.begin(), root.bytes.begin() + root.length),
                                          MonotonicMs());
    walkOperation_ = 0;
    ShowWalking();
    SendWalkStep();
}

void TMainForm::SendWalkStep() {
    RequestFields fields = ReadFields(*this);
    const std::vector<std::uint8_t>& next = walk_->Next();
    const std::string from = OidFieldText(next.data(), next.size());
    RequestKind kind = RequestKind::GetNext;
    if (fields.version == 0) {
        // SNMPv1 has no GetBulk: one GetNext after another.
        fields.oid1 = from;
        fields.oid2.clear();
        fields.oid3.clear();
    } else {
        // As snmpbulkwalk: no non-repeater, one repeater, the max-repetitions
        // typed (10 when it is 0, as snmpbulkwalk's default).
        kind = RequestKind::GetBulk;
        fields.nonRepeatersCount = "0";
        fields.repeaterCount = "1";
        std::int32_t typed = 0;
        if (!ReadIntegerField(fields.maxRepetitions, typed) || typed <= 0) fields.maxRepetitions = "10";
        fields.maxOid1 = from;
    }
    request_.walkRequestId = 0;
    walkOperation_ = 0;
    if (!RunRequestWith(kind, fields)) {
        walk_->NoAnswer();
        FinishWalk();
    }
}

void TMainForm::OnWalkAnswer(const std::uint8_t* base, std::size_t pduAt, std::size_t end, std::uint32_t version) {
    if (walk_ == nullptr) return;
    ResponseScanResult scan{};
    if (version == 3)
        ResponsePduScan(base, pduAt, end, version, scan);
    else
        ResponseScan(base, end, scan);
    request_.walkRequestId = 0;
    if (walk_->Take(base, scan, MonotonicMs())) {
        ShowWalking();
        SendWalkStep();
        return;
    }
    FinishWalk();
}

void TMainForm::FinishWalk() {
    if (walk_ == nullptr) return;
    request_.walkRequestId = 0;
    OutputBatch batch;
    batch.WriteLine(walk_->EndLine(MonotonicMs()), SummaryLine);
    batch.ChargeOutput(100);
    output_.Commit(batch);
    walk_.reset();
    walkOperation_ = 0;
    ShowWalking();
    FlushPane();
}

void TMainForm::ShowWalking() {
    const bool walking = walk_ != nullptr;
    WalkButton->setText(walking ? QStringLiteral("停止 %1件").arg(walk_->Objects()) : QStringLiteral("WALK"));
    for (QPushButton* button : {SetButton, GETButton, GETNEXTButton, BulkButton}) button->setEnabled(!walking);
    if (!walking) VerRadioGroupClick();  // the GetBulk button as the version allows
}

void TMainForm::TransportButtonClick() {
    transportDialog_->SetValues(transport_);
    if (transportDialog_->exec() != QDialog::Accepted) return;
    ApplyTransport(transportDialog_->Values());
}

void TMainForm::SetButtonClick() { RunRequest(RequestKind::Set); }
void TMainForm::GETButtonClick() { RunRequest(RequestKind::Get); }
void TMainForm::GETNEXTButtonClick() { RunRequest(RequestKind::GetNext); }
void TMainForm::BulkButtonClick() { RunRequest(RequestKind::GetBulk); }

}  // namespace quillet
