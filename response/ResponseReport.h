// The report of one datagram received on the response port: what the
// response listener writes and changes for it, in order, as one batch.
#pragma once

#include <cstdint>

#include "output/DetailLines.h"
#include "output/OutputBatch.h"
#include "output/ReceivedV3Message.h"
#include "response/ResponseScan.h"

namespace quillet {

// Reports the SNMPv1/v2c answer `message` was read from (ReadCommunityMessage
// over the same `size` octets at `datagram`): scans its PDU where it lies
// into `scratch` (ResponsePduScan from the message's PDU, the version as the
// first integer; or, when the header did not read as the walk reads it, the
// whole datagram with ResponseScan) and appends to `out`, in this order:
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
// (charged 100) before the binding lines, and the values at a glance in the
// binding lines (WriteBindingLines with details).
bool ReportResponse(const std::uint8_t* datagram, int size, const CommunityMessage& message, int walkPending,
                    int varBindCount, ResponseScanResult& scratch, OutputBatch& out,
                    const PeerDetails* details = nullptr);

// Reports an SNMPv3 answer that opened, as ReportResponse reports an
// SNMPv1/v2c one, but for what `received` gives: its PDU is scanned where it
// lies (version 3 as the first integer, so the first line is always
// "response 受信"); the size and the dump are the datagram's as it
// travelled; its message lines follow the first line and the details, and
// its decrypted scoped PDU is dumped after the datagram. An answer that was
// not taken as the answer to its request (`writeBack` false) is shown the
// same way but changes no field, and the result is false: no walk is done.
bool ReportV3Response(const ReceivedV3Message& received, int walkPending, int varBindCount,
                      ResponseScanResult& scratch, OutputBatch& out, const PeerDetails* details = nullptr,
                      bool writeBack = true);

}  // namespace quillet
