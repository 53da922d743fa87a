// Runs the inbound message scan and the whole response report over arbitrary
// datagrams, under the walk states that change which OID fields are
// written: the scan must stay inside the bytes, end, and leave tables the
// binding lines can use safely. An SNMPv3 message whose scoped PDU is in
// the clear has its PDU reported where it lies, as an answer that opened
// at noAuthNoPriv is; the scan must then stay inside that PDU.
// Seeds: tests/fuzz/corpus/response (answers captured from net-snmp's snmpd,
// among them noSuchObject, noSuchInstance, endOfMibView and Counter64).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "output/OutputBatch.h"
#include "response/ResponseReport.h"
#include "response/ResponseScan.h"
#include "snmpv3/InboundMessage.h"

namespace {

quillet::OutputBatch batch;  // reused, as the listener reuses its batch
quillet::ResponseScanResult scratch;
quillet::InboundMessage inbound;
quillet::OutputBatch messageLines;

// (walkPending, varBindCount): after a Get or Set, a GetBulk with
// non-repeaters 0, and a GetNext of one, two and three identifiers.
constexpr int kWalkStates[][2] = {{0, 1}, {1, 0}, {1, 1}, {1, 2}, {1, 3}};

// Every offset the scan recorded lies inside [from, size).
void CheckScan(std::size_t size, std::size_t from = 0) {
    if (scratch.integerCount > quillet::kMaxResponseIntegers || scratch.oidCount > quillet::kMaxResponseOids ||
        scratch.bindingCount > quillet::kMaxResponseBindings)
        std::abort();
    for (std::size_t i = 0; i < scratch.oidCount; ++i) {
        const quillet::OidRef& oid = scratch.oids[i];
        if (oid.length > 127 || oid.start < from || oid.start + oid.length > size) std::abort();
    }
    for (std::size_t i = 0; i < scratch.bindingCount; ++i) {
        const quillet::BindingRecord& r = scratch.bindings[i];
        if (r.nameLength > 127 || r.nameStart < from || r.nameStart + r.nameLength > size) std::abort();
        if (r.valueLength < 0) std::abort();
        // Every recorded value has its content inside the datagram: the
        // binding lines read the numbers (Counter64 included) from there.
        const bool positioned = r.valueType != quillet::ValueType::None;
        if (positioned && r.valueStart + static_cast<std::size_t>(r.valueLength) > size) std::abort();
    }
}

}  // namespace

// The count and the header line always come first.
void CheckHead() {
    if (batch.Size() < 2 || batch[0].type != quillet::OutputBatch::ItemType::Count ||
        batch[1].type != quillet::OutputBatch::ItemType::Line)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The listener never receives more than 65,536 bytes.
    if (size > 65536) return 0;
    quillet::ScanInboundMessage(data, size, inbound);
    const quillet::V3MessageScan& v3 = inbound.v3;
    const bool clearV3 =
        inbound.version == quillet::MessageVersion::V3 && v3.status == quillet::V3ScanStatus::Ok && !v3.encrypted;
    if (inbound.version == quillet::MessageVersion::V3 && !clearV3) return 0;
    for (const auto& state : kWalkStates) {
        batch.Clear();
        bool clearWalk = false;
        if (clearV3) {
            quillet::ReceivedV3Message received;
            received.bytes = data;
            received.size = static_cast<int>(size);
            received.pduBase = data;
            received.pduAt = v3.scoped.pduAt;
            received.pduEnd = v3.scoped.pduAt + v3.scoped.pduLength;
            received.messageLines = &messageLines;
            if (received.pduEnd > size) std::abort();
            clearWalk = quillet::ReportV3Response(received, state[0], state[1], scratch, batch);
            CheckScan(received.pduEnd, received.pduAt);
        } else {
            clearWalk = quillet::ReportResponse(data, static_cast<int>(size), inbound.community, state[0], state[1],
                                                scratch, batch);
            CheckScan(size);
        }
        if (clearWalk == scratch.frameError) std::abort();
        CheckHead();
    }
    return 0;
}
