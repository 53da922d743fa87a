#include "trap/TrapReport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/DecimalText.h"
#include "response/BindingLines.h"
#include "text/BerReader.h"
#include "text/OidText.h"
#include "trap/EquipmentAlarm.h"
#include "trap/GenericTrapNames.h"

namespace quillet {
namespace {

constexpr std::int32_t kEnterpriseSpecific = 6;

// Slots 0..2 hold version, generic-trap and specific-trap; slot 0 of the
// strings holds the community. The bindings' values follow.
constexpr int kFirstBindingInteger = 3;
constexpr int kFirstBindingString = 1;

constexpr int kHeaderCharge = 100;
constexpr int kIntegerCharge = 30;
constexpr int kStringChargeBase = 40;

// The line being composed; kept per thread so that reporting a trap
// allocates nothing once it has grown to the longest line seen.
std::string& LineScratch() {
    thread_local std::string line;
    line.clear();
    return line;
}

// 2 × length + 40, computed wide: a length near INT32_MAX cannot come from a
// UDP datagram, but must not overflow either.
int StringCharge(std::int32_t length) {
    const std::int64_t charge = std::int64_t{length} * 2 + kStringChargeBase;
    return charge > INT32_MAX ? INT32_MAX : static_cast<int>(charge);
}

void ReportBindingValues(const std::uint8_t* datagram, const TrapScanResult& scan, OutputBatch& out) {
    std::string& line = LineScratch();
    for (int i = kFirstBindingInteger; i < scan.integerCount; ++i) {
        line.clear();
        line.append("  応答データ(int)=");
        AppendDecimal(line, scan.signedIntegers[i]);
        out.WriteLine(line, SummaryLine);
        out.ChargeOutput(kIntegerCharge);
    }
    for (int i = kFirstBindingString; i < scan.stringCount; ++i) {
        const TrapString& value = scan.strings[i];
        line.clear();
        line.append("  応答データ(OCTET STRING  SIZE=");
        AppendDecimal(line, value.length);
        line.append(")=");
        out.WriteLine(line, SummaryLine);
        out.DumpPdu(datagram + value.offset, static_cast<std::size_t>(value.length), SummaryLine);
        out.ChargeOutput(StringCharge(value.length));
    }
}

// The tables an SNMPv1 equipment trap would have filled, from the bindings
// of an SNMPv2c or SNMPv3 one: its INTEGER and OCTET STRING values in order,
// after the version, generic-trap and specific-trap slots and the community
// slot (SNMPv3 has no community: an empty one). The
// INTEGERs keep ReadNumber's reading, as the alarm codes always have.
void FillEquipmentTables(const NotificationScanResult& scan, const BerElement& community, TrapScanResult& tables) {
    tables = TrapScanResult{};
    tables.integerCount = kFirstBindingInteger;
    tables.integers[1] = tables.signedIntegers[1] = kEnterpriseSpecific;
    tables.strings[0] =
        TrapString{static_cast<std::uint32_t>(community.start), static_cast<std::int32_t>(community.length)};
    tables.stringCount = kFirstBindingString;
    for (std::size_t i = scan.firstShownBinding; i < scan.bindingCount; ++i) {
        const BindingRecord& binding = scan.bindings[i];
        if (binding.valueType == ValueType::Integer && tables.integerCount < kTrapTableSlots) {
            tables.integers[tables.integerCount++] = static_cast<std::int32_t>(binding.integerValue);
        } else if (binding.valueType == ValueType::OctetString && tables.stringCount < kTrapTableSlots) {
            tables.strings[tables.stringCount++] =
                TrapString{static_cast<std::uint32_t>(binding.valueStart), binding.valueLength};
        }
    }
}

// The count, the size and trap type lines, and the dump. `named` false
// leaves the trap type line empty after "=".
// `datagram` and `size` are the datagram as it travelled; `v3` adds an
// SNMPv3 message's lines and its decrypted scoped PDU.
void WriteHeader(const std::uint8_t* datagram, int size, bool named, std::int32_t genericTrap,
                 const PeerDetails* details, OutputBatch& out, const ReceivedV3Message* v3 = nullptr) {
    out.CountDatagram(Counter::Trap);

    std::string& line = LineScratch();
    line.append("TRAP受信  SIZE=");
    AppendDecimal(line, size);
    out.WriteLine(line, SummaryLine);
    if (details != nullptr) AppendReceivedDetails(*details, out);

    line.clear();
    line.append("  TRAP-TYPE=");
    if (named) AppendTrapType(line, genericTrap);
    out.WriteLine(line, SummaryLine);

    if (v3 != nullptr && v3->messageLines != nullptr) out.Append(*v3->messageLines);
    out.WriteLine("  受信DATA=", PduLine);
    out.DumpPdu(datagram, static_cast<std::size_t>(size), PduLine);
    if (v3 != nullptr) AppendPlainDump(*v3, out);
    out.ChargeOutput(kHeaderCharge);
}

// "  PDU=" with the PDU's name, so that an inform is never taken for a trap.
void WritePduName(const char* name, OutputBatch& out) {
    std::string& line = LineScratch();
    line.append("  PDU=");
    line.append(name);
    out.WriteLine(line, SummaryLine);
    out.ChargeOutput(20);
}

// The PDU's name, the community, the Trap-PDU's fields and every binding of a
// whole SNMPv1 trap.
void WriteTrapFields(const std::uint8_t* datagram, const CommunityMessage& message, const TrapScanResult& scan,
                     OutputBatch& out) {
    WritePduName("Trap", out);
    AppendCommunityDetail(datagram + message.community.start, message.community.length, out);
    std::string& line = LineScratch();
    line.append("  enterprise=");
    AppendOidLineText(line, datagram + scan.enterprise.start, scan.enterprise.length);
    out.WriteLine(line, SummaryLine);
    line.clear();
    line.append("  agent-addr=");
    if (scan.agentAddress.length == 4)
        AppendAddress(line, datagram + scan.agentAddress.start);
    else
        for (std::size_t i = 0; i < scan.agentAddress.length; ++i)
            AppendHexByte(line, datagram[scan.agentAddress.start + i]);
    out.WriteLine(line, SummaryLine);
    line.clear();
    line.append("  generic-trap=");
    AppendDecimal(line, scan.signedIntegers[1]);
    out.WriteLine(line, SummaryLine);
    line.clear();
    line.append("  specific-trap=");
    AppendDecimal(line, scan.signedIntegers[2]);
    out.WriteLine(line, SummaryLine);
    line.clear();
    line.append("  time-stamp=");
    std::uint32_t ticks = 0;
    ReadUnsigned32(datagram + scan.timeStamp.start, scan.timeStamp.length, ticks);
    AppendUnsignedDecimal(line, ticks);
    out.WriteLine(line, SummaryLine);
    out.ChargeOutput(kHeaderCharge);
    AppendTicksDetail(ticks, out);
    for (std::size_t i = 0; i < scan.bindingCount; ++i) WriteBindingLines(datagram, scan.bindings[i], 0, out, true);
}

// The lines of a notification `scratch.v2` holds, read from `base`; the
// datagram as it travelled is `datagram` and `size`. `community` is the
// SNMPv2c message's (empty for SNMPv3, whose `v3` adds its parts).
void ReportNotification(const std::uint8_t* base, const std::uint8_t* datagram, int size, const BerElement& community,
                        TrapReportScratch& scratch, std::int32_t& equipmentFlag, const PeerDetails* details,
                        OutputBatch& out, const ReceivedV3Message* v3 = nullptr) {
    const NotificationScanResult& scan = scratch.v2;
    std::int32_t genericTrap = 0;
    if (scan.hasTrapOid) {
        const BindingRecord& trapOid = scan.bindings[scan.trapOidBinding];
        genericTrap = GenericTrapOfIdentifier(base + trapOid.valueStart, static_cast<std::size_t>(trapOid.valueLength));
    }
    WriteHeader(datagram, size, scan.hasTrapOid, genericTrap, details, out, v3);
    if (scan.frameError) {
        out.WriteLine("  受信フレーム異常！", SummaryLine);
        return;
    }
    const bool detailed = details != nullptr;
    if (detailed) {
        WritePduName(scan.pduTag == kInformRequestTag ? "InformRequest" : "SNMPv2-Trap", out);
        if (v3 == nullptr) AppendCommunityDetail(base + community.start, community.length, out);
        // sysUpTime.0 (when the notification has it) in its place before
        // snmpTrapOID.0: with the details every binding is shown once.
        for (std::size_t i = 0; i < scan.trapOidBinding; ++i) WriteBindingLines(base, scan.bindings[i], 0, out, true);
    }
    WriteBindingLines(base, scan.bindings[scan.trapOidBinding], 0, out, detailed);
    const bool alarm =
        genericTrap == kEnterpriseSpecific && equipmentFlag == 1 && scan.bindingCount > scan.firstShownBinding;
    if (alarm && !detailed) {
        FillEquipmentTables(scan, community, scratch.v1);
        EquipmentAlarmLines(base, scratch.v1, out);
        return;
    }
    for (std::size_t i = scan.firstShownBinding; i < scan.bindingCount; ++i)
        WriteBindingLines(base, scan.bindings[i], 0, out, detailed);
    if (alarm) {
        FillEquipmentTables(scan, community, scratch.v1);
        EquipmentAlarmLines(base, scratch.v1, out);
    }
}

}  // namespace

void ReportTrap(const std::uint8_t* datagram, int size, const CommunityMessage& message, TrapReportScratch& scratch,
                std::int32_t& equipmentFlag, OutputBatch& out, const PeerDetails* details) {
    if (size < 0) size = 0;
    const auto length = static_cast<std::size_t>(size);
    scratch.notification = IsSnmpV2Notification(message);
    if (scratch.notification) {
        NotificationScan(datagram, length, message, scratch.v2, equipmentFlag);
        ReportNotification(datagram, datagram, size, message.community, scratch, equipmentFlag, details, out);
        return;
    }
    scratch.v2.pduTag = 0;
    scratch.v2.frameError = true;

    TrapScanResult& scan = scratch.v1;
    TrapScan(datagram, length, message, scan, equipmentFlag);
    if (scan.frameError) {
        // Neither a whole SNMPv1 trap nor a whole SNMPv2c notification: no
        // trap type can be trusted from it.
        WriteHeader(datagram, size, false, 0, details, out);
        out.WriteLine("  受信フレーム異常！", SummaryLine);
        return;
    }
    WriteHeader(datagram, size, true, scan.integers[1], details, out);
    if (details != nullptr) WriteTrapFields(datagram, message, scan, out);
    if (scan.integers[1] != kEnterpriseSpecific) return;
    if (equipmentFlag == 1) {
        EquipmentAlarmLines(datagram, scan, out);
        return;
    }
    // The details have shown every binding with its name already.
    if (details == nullptr) ReportBindingValues(datagram, scan, out);
}

void ReportV3Notification(const ReceivedV3Message& received, TrapReportScratch& scratch, std::int32_t& equipmentFlag,
                          OutputBatch& out, const PeerDetails* details) {
    scratch.notification = true;
    NotificationPduScan(received.pduBase, received.pduAt, received.pduEnd, scratch.v2, equipmentFlag);
    const int size = received.size < 0 ? 0 : received.size;
    ReportNotification(received.pduBase, received.bytes, size, BerElement{}, scratch, equipmentFlag, details, out,
                       &received);
}

void ReportRefusedV3Message(const ReceivedV3Message& received, OutputBatch& out, const PeerDetails* details) {
    WriteHeader(received.bytes, received.size, false, 0, details, out, &received);
}

}  // namespace quillet
