// The report of one datagram received on the response port: what the
// response listener writes and changes for it, in order, as one batch.
#pragma once

#include <cstdint>

#include "output/DetailLines.h"
#include "output/OutputBatch.h"
#include "output/ShownDatagram.h"
#include "response/ResponseScan.h"

namespace quillet {

// Scans `size` octets at `datagram` into `scratch` and appends to `out`, in
// this order:
//   CountDatagram(Counter::Recv) (every datagram counts, well formed or not);
//   the header line, SummaryLine, no charge: "get response 受信 request ID="
//     for version 0, else "response 受信 request ID=", then the request-id
//     (signed decimal), "  SIZE=" and `size`;
//   the OID field refresh: SetField(OID1Edit) with the field text of the
//     first OBJECT IDENTIFIER of the datagram unless walkPending is set and
//     varBindCount is 0; OID2Edit with the second when walkPending is set and
//     varBindCount >= 2; OID3Edit with the third when walkPending is set and
//     varBindCount == 3. A field whose identifier the datagram does not
//     hold is left unchanged (no SetField);
//   "  受信DATA=" and the dump of the whole datagram as PduLine, then
//     ChargeOutput(3 * size);
//   on a frame error "  受信フレーム異常！" (SummaryLine), and false;
//   otherwise the binding lines of every recorded binding with the
//     response's error-status (integer entry 2), and true.
// The result tells the caller whether to clear walkPending: a malformed
// datagram leaves it as it was. walkPending counts as set when non-zero.
// The batch is appended to, not cleared. A negative size appends nothing and
// returns false. The datagram is only read; `scratch` is overwritten.
//
// `details` (the "詳細表示" check box on; null when off) adds the sender and
// the receive time right after the header line (AppendReceivedDetails), and,
// for an answer whose error-status is not 0 and whose error-index names one
// of its bindings, "  error-index=<n>  object ID =<that binding's name>"
// (charged 100) before the binding lines.
//
// `shown` (an SNMPv3 answer; `datagram` is then a SNMPv2c-shaped copy of its
// PDU) gives the size of the first line, the message header lines after the
// details, and the dump: the datagram as it travelled, then its decrypted
// scoped PDU.
bool ReportResponse(const std::uint8_t* datagram, int size, int walkPending, int varBindCount,
                    ResponseScanResult& scratch, OutputBatch& out, const PeerDetails* details = nullptr,
                    const ShownDatagram* shown = nullptr);

}  // namespace quillet
