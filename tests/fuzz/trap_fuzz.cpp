// Runs the inbound message scan and the whole trap report over arbitrary
// datagrams: the scan must stay inside the bytes, end, and leave tables the
// report can use safely. For an SNMPv2c notification it also builds the
// inform acknowledgement: an inform answered must be one that decodes, the
// answer must be no longer than the inform, and the answer, tagged back as
// an inform, must decode to the same bindings and be answered by itself. An
// SNMPv3 notification whose scoped PDU is in the clear is reported where it
// lies, as one that opened at noAuthNoPriv is, and must be read inside its
// PDU.
// Seeds: tests/fuzz/corpus/trap (datagrams captured from net-snmp's
// snmptrap and snmpinform).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "output/OutputBatch.h"
#include "snmpv3/InboundMessage.h"
#include "trap/InformAck.h"
#include "trap/TrapReport.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

quillet::OutputBatch batch;  // reused, as the listener reuses its batch
quillet::TrapReportScratch scratch;
quillet::NotificationScanResult again;
quillet::InboundMessage inbound;
quillet::CommunityMessage ackMessage;
quillet::OutputBatch messageLines;
std::vector<std::uint8_t> ack(quillet::kInformAckCapacity), ackAgain(quillet::kInformAckCapacity);

// Every binding lies inside [from, size).
void CheckBindings(const quillet::NotificationScanResult& scan, std::size_t size, std::size_t from = 0) {
    if (scan.bindingCount > quillet::kMaxNotificationBindings) std::abort();
    for (std::size_t i = 0; i < scan.bindingCount; ++i) {
        const quillet::BindingRecord& r = scan.bindings[i];
        if (r.valueLength < 0 || r.nameStart < from || r.valueStart < from || r.nameStart + r.nameLength > size ||
            r.valueStart + static_cast<std::size_t>(r.valueLength) > size)
            std::abort();
    }
}

void CheckAck(const std::uint8_t* data, std::size_t size) {
    const quillet::CommunityMessage& message = inbound.community;
    const std::size_t length = quillet::BuildInformAck(data, message, scratch.v2, ack.data(), ack.size());
    if (length == 0) return;
    if (scratch.v2.pduTag != quillet::kInformRequestTag || scratch.v2.frameError) std::abort();
    // Never longer than the inform, with no allowance (InformAck.h says why):
    // an answer that outgrew its inform would let a small datagram draw out
    // a larger one.
    if (length > size) std::abort();
    // Tag the answer's PDU back as an inform: its tag follows the message
    // header and the copies of the version and the community.
    const std::size_t header = ack[1] < 0x80 ? 2 : 2 + (ack[1] - 0x80);
    const std::size_t at = header + (message.version.End() - message.versionTag) +
                           (message.community.End() - message.communityTag);
    if (at >= length || ack[at] != quillet::kResponseTag) std::abort();
    ack[at] = quillet::kInformRequestTag;
    std::int32_t flag = 0;
    quillet::ReadCommunityMessage(ack.data(), length, ackMessage);
    if (ackMessage.pduAt != at) std::abort();
    quillet::NotificationScan(ack.data(), length, ackMessage, again, flag);
    if (again.frameError || again.bindingCount != scratch.v2.bindingCount) std::abort();
    const std::size_t second =
        quillet::BuildInformAck(ack.data(), ackMessage, again, ackAgain.data(), ackAgain.size());
    ack[at] = quillet::kResponseTag;
    if (second != length || std::memcmp(ack.data(), ackAgain.data(), length) != 0) std::abort();
}

// An SNMPv3 message whose scoped PDU is in the clear: its PDU reported in
// place when it is a notification.
void RunClearV3(const std::uint8_t* data, std::size_t size, std::int32_t& equipmentFlag) {
    const quillet::V3MessageScan& v3 = inbound.v3;
    if (v3.status != quillet::V3ScanStatus::Ok || v3.encrypted ||
        (v3.scoped.pduTag != quillet::kSnmpV2TrapTag && v3.scoped.pduTag != quillet::kInformRequestTag))
        return;
    quillet::ReceivedV3Message received;
    received.bytes = data;
    received.size = static_cast<int>(size);
    received.pduBase = data;
    received.pduAt = v3.scoped.pduAt;
    received.pduEnd = v3.scoped.pduAt + v3.scoped.pduLength;
    received.messageLines = &messageLines;
    if (received.pduEnd > size) std::abort();
    quillet::ReportV3Notification(received, scratch, equipmentFlag, batch);
    CheckBindings(scratch.v2, received.pduEnd, received.pduAt);
}

}  // namespace

// The listener carries the equipment flag from one datagram to the next. Each
// input is run from both values the flag can have when it arrives, so what an
// input does depends on its bytes alone and a crash file reproduces on its own.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The listener never receives more than 65,536 bytes.
    if (size > 65536) return 0;
    quillet::ScanInboundMessage(data, size, inbound);
    for (const std::int32_t arriving : {0, 1}) {
        std::int32_t equipmentFlag = arriving;
        batch.Clear();
        if (inbound.version == quillet::MessageVersion::V3) {
            RunClearV3(data, size, equipmentFlag);
            if (equipmentFlag != 0 && equipmentFlag != 1) std::abort();
            continue;
        }
        quillet::ReportTrap(data, static_cast<int>(size), inbound.community, scratch, equipmentFlag, batch);
        // The SNMPv1 tables belong to the last datagram that went through the
        // SNMPv1 scan (or an SNMPv2c equipment trap's alarm lines).
        for (int i = 0; i < scratch.v1.stringCount && !scratch.notification; ++i) {
            const quillet::TrapString& s = scratch.v1.strings[i];
            if (s.length < 0 || s.offset + static_cast<std::size_t>(s.length) > size) std::abort();
        }
        if (scratch.v1.integerCount > quillet::kTrapTableSlots || scratch.v1.stringCount > quillet::kTrapTableSlots)
            std::abort();
        if (equipmentFlag != 0 && equipmentFlag != 1) std::abort();
        // A datagram is named a trap only when it is a whole one, and then
        // never called a frame error: the type line is empty exactly when
        // the frame-error line closes the report.
        const std::vector<std::string> lines = batch.LineTexts();
        const bool unnamed = lines.size() > 1 && lines[1] == "  TRAP-TYPE=";
        const bool frameError = !lines.empty() && lines.back() == "  受信フレーム異常！";
        if (unnamed != frameError) std::abort();
        if (scratch.notification) {
            CheckBindings(scratch.v2, size);
            CheckAck(data, size);
        }
    }
    return 0;
}
