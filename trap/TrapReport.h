// The report of one datagram received on the trap port: scan it, count it
// and append its lines to an output batch.
#pragma once

#include <cstdint>

#include "output/DetailLines.h"
#include "output/OutputBatch.h"
#include "output/ReceivedV3Message.h"
#include "trap/NotificationScan.h"
#include "trap/TrapScan.h"

namespace quillet {

// The reused tables of the report: the SNMPv1 scan's, the SNMPv2c
// notification's, and which of the two the last datagram went through.
struct TrapReportScratch {
    TrapScanResult v1;
    NotificationScanResult v2;
    bool notification;  // the last datagram was an SNMPv2c trap or inform
};

// Reports the SNMPv1/v2c datagram `message` was read from
// (ReadCommunityMessage over the same `size` octets at `datagram`): scans
// its PDU into `scratch` (overwritten; reused tables, so that a listener
// allocates nothing per datagram) and appends to `out`.
//
// An SNMPv2c trap or inform (IsSnmpV2Notification) is decoded by
// NotificationScan and shown as:
//   - CountDatagram(Counter::Trap);
//   - "TRAP受信  SIZE=<size>" and "  TRAP-TYPE=<name>", the name from the
//     value of snmpTrapOID.0: coldStart .. egpNeighborLoss for
//     1.3.6.1.6.3.1.1.5.1 .. .6, enterpriseSpecific for any other, nothing
//     after "=" when the datagram has no snmpTrapOID.0;
//   - "  受信DATA=" and the dump (PduLine), then ChargeOutput(100);
//   - when it does not decode: "  受信フレーム異常！" and nothing more;
//   - the snmpTrapOID.0 binding as binding lines ("  object ID =" +
//     1.3.6.1.6.3.1.1.4.1.0, "  応答データ(OBJECT IDENTIFIER)=" + the trap's
//     identifier), then for an enterpriseSpecific trap whose last identifier
//     lies under the equipment prefix and that has bindings after
//     snmpTrapOID.0, the five equipment alarm lines from those bindings
//     (INTEGERs and OCTET STRINGs in order, as an SNMPv1 equipment trap);
//     otherwise the binding lines of every binding after sysUpTime.0 and
//     snmpTrapOID.0, as a response's (WriteBindingLines).
//
// Any other datagram is scanned as an SNMPv1 trap (TrapScan) and shown, in
// this order:
//   - CountDatagram(Counter::Trap);
//   - "TRAP受信  SIZE=<size>" and "  TRAP-TYPE=<generic-trap name>"
//     (SummaryLine; a generic-trap without a name shows its decimal value);
//     nothing after "=" when the datagram is not a whole trap message;
//   - "  受信DATA=" and the dump of the whole datagram (PduLine), then
//     ChargeOutput(100);
//   - when it is not a whole trap message: "  受信フレーム異常！" and
//     nothing more;
//   - for an enterprise-specific trap (generic-trap 6) only: the five
//     equipment alarm lines when `equipmentFlag` is 1; else one
//     "  応答データ(int)=" line per INTEGER
//     binding value, signed (charged 30 each), then per OCTET STRING binding value
//     its size line and its dump (SummaryLine, charged 2 × length + 40).
// Nothing is cleared from `out`: the lines are added after what it holds.
//
// `equipmentFlag` is the process-wide equipment flag, read and updated by
// the scan. It is a plain reference so that the core stays free of threads:
// the listener, which alone writes the flag, keeps it in a
// std::atomic<std::int32_t> that the response side may read, loads it into
// a local, passes the local here and stores it back after the call.
//
// A negative size (a failed receive) is reported as an empty datagram.
// `datagram` may be null when size is 0.
//
// `details` (the "詳細表示" check box on; null when off) adds lines:
//   - right after the first line, the sender and the receive time
//     (AppendReceivedDetails);
//   - for a whole SNMPv1 trap, after the dump and before the lines above:
//     "  PDU=Trap", the community (AppendCommunityDetail), "  enterprise=",
//     "  agent-addr=", "  generic-trap=", "  specific-trap=" and
//     "  time-stamp=" with the Trap-PDU's fields, charged 100, the time-stamp
//     at a glance (AppendTicksDetail), then the binding lines of every
//     binding, as a response's with their details (WriteBindingLines); the
//     "  応答データ(int)=" and OCTET STRING lines of an enterprise-specific
//     trap are then left out, so that each binding shows once;
//   - for a whole SNMPv2c notification, after the dump: "  PDU=SNMPv2-Trap"
//     or "  PDU=InformRequest", the community, then every binding in the
//     order it came, sysUpTime.0 included, with their details, and after
//     them an equipment alarm's five lines.
void ReportTrap(const std::uint8_t* datagram, int size, const CommunityMessage& message, TrapReportScratch& scratch,
                std::int32_t& equipmentFlag, OutputBatch& out, const PeerDetails* details = nullptr);

// An SNMPv3 trap or inform whose scoped PDU was opened: its PDU, read where
// it lies (NotificationPduScan), reported as an SNMPv2c notification's but
// for what `received` gives: the size and dump of the datagram as it
// travelled, its message lines after the first line (and the details), the
// dump of its decrypted scoped PDU. The details are an SNMPv2c
// notification's but for the community line.
void ReportV3Notification(const ReceivedV3Message& received, TrapReportScratch& scratch, std::int32_t& equipmentFlag,
                          OutputBatch& out, const PeerDetails* details = nullptr);

// An SNMPv3 message on the trap port that was not opened (its lines say
// why), or opened to no notification: counted, its size line, details, an
// empty trap type, its message lines and its dump.
void ReportRefusedV3Message(const ReceivedV3Message& received, OutputBatch& out,
                            const PeerDetails* details = nullptr);

}  // namespace quillet
