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

void TMainForm::RunV3Request(RequestKind kind, const std::string& oidText) {
    const SocketEntry& agent = sockets_.At(0);
    V3RequestInput input;
    input.kind = kind;
    const ByteSpan pdu = RequestPdu(request_.sendBuffer.data(), static_cast<std::size_t>(request_.sendSize));
    input.pdu.assign(pdu.begin(), pdu.end());
    input.requestId = request_.requestId;
    input.oidText = oidText;
    input.agent = Endpoint::V4(agent.destination.octets, agent.destination.port);
    input.pduDisplayChecked = dataDisplayCheckBox->isChecked();
    const LocalDateTime when = LocalTimeOfNs(RealtimeNs());
    V3Start start = v3Requests_.Start(input, V3Moment{MonotonicMs(), RealtimeNs(), output_.Details() ? &when : nullptr});
    if (start.status != V3StartStatus::Ready) {
        MessageEdit->setText(QString::fromStdString(start.message));
        ClearWalk(request_, request_.walkToken);
        return;
    }
    SendV3(start.outgoing);
}

void TMainForm::SendV3(V3Outgoing& outgoing) {
    // The lines first, then the datagram: its answer can never come first.
    output_.Commit(outgoing.lines);
    Ipv4Endpoint to;
    std::copy(outgoing.to.address.begin(), outgoing.to.address.begin() + 4, to.octets);
    to.port = outgoing.to.port;
    if (!SendDatagram(0, outgoing.datagram.data(), static_cast<int>(outgoing.datagram.size()), &to)) {
        v3Requests_.Abandon(outgoing.operation);
        ClearWalk(request_, request_.walkToken);
        return;
    }
    WaitForV3Answer(outgoing.operation, outgoing.attempt);
}

void TMainForm::OnV3Followup(V3Taken& taken) {
    if (taken.send) SendV3(*taken.send);
    if (taken.ended) MessageEdit->setText(QString::fromStdString(taken.ended->message));
}

void TMainForm::WaitForV3Answer(std::uint64_t operation, std::uint32_t attempt) {
    QTimer::singleShot(RequestTracker::kAnswerWaitMs, this, [this, operation, attempt] {
        std::int32_t requestId = 0;
        if (!v3Requests_.Expire(operation, attempt, requestId)) return;
        MessageEdit->setText(QString::fromStdString(NoAnswerMessage(requestId)));
        if (!output_.Details()) return;
        OutputBatch batch;
        ReportNoAnswer(requestId, RequestTracker::kAnswerWaitMs, batch);
        output_.Commit(batch);
    });
}

void TMainForm::SetButtonClick() { RunRequest(RequestKind::Set); }
void TMainForm::GETButtonClick() { RunRequest(RequestKind::Get); }
void TMainForm::GETNEXTButtonClick() { RunRequest(RequestKind::GetNext); }
void TMainForm::BulkButtonClick() { RunRequest(RequestKind::GetBulk); }

}  // namespace quillet
