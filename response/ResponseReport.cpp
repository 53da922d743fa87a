#include "response/ResponseReport.h"

#include <cstdint>
#include <string>

#include "text/DecimalText.h"
#include "response/BindingLines.h"
#include "text/OidText.h"

namespace quillet {

namespace {

// Writes OID list entry `index` into `field` when the datagram holds it; a
// response with fewer identifiers leaves the field as the operator sees it
// rather than wiping what the last answer put there.
void RefreshField(const std::uint8_t* datagram, const ResponseScanResult& scan, std::size_t index, Field field,
                  std::string& text, OutputBatch& out) {
    if (index >= scan.oidCount) return;
    const OidRef& oid = scan.oids[index];
    text.clear();
    AppendOidFieldText(text, datagram + oid.start, oid.length);
    out.SetField(field, text);
}

}  // namespace

bool ReportResponse(const std::uint8_t* datagram, int size, int walkPending, int varBindCount,
                    ResponseScanResult& scratch, OutputBatch& out, const PeerDetails* details,
                    const ShownDatagram* shown) {
    if (size < 0) return false;
    ResponseScan(datagram, static_cast<std::size_t>(size), scratch);

    out.CountDatagram(Counter::Recv);

    std::string line = scratch.Integer(0) == 0 ? "get response 受信 request ID=" : "response 受信 request ID=";
    AppendDecimal(line, static_cast<std::int32_t>(scratch.Integer(1)));
    line += "  SIZE=";
    AppendDecimal(line, shown != nullptr ? shown->size : size);
    out.WriteLine(line, SummaryLine);
    if (details != nullptr) AppendReceivedDetails(*details, out);
    if (shown != nullptr && shown->messageLines != nullptr) out.Append(*shown->messageLines);

    // After a GetNextRequest or GetBulkRequest the fields that the request
    // used receive the identifiers that came back, so the next press asks
    // for the objects that follow; otherwise only the first field is set.
    const bool walking = walkPending != 0;
    if (!walking || varBindCount != 0) RefreshField(datagram, scratch, 0, Field::OID1Edit, line, out);
    if (walking && varBindCount >= 2) RefreshField(datagram, scratch, 1, Field::OID2Edit, line, out);
    if (walking && varBindCount == 3) RefreshField(datagram, scratch, 2, Field::OID3Edit, line, out);

    const std::uint8_t* travelled = shown != nullptr ? shown->bytes : datagram;
    const int travelledSize = shown != nullptr ? shown->size : size;
    out.WriteLine("  受信DATA=", PduLine);
    out.DumpPdu(travelled, static_cast<std::size_t>(travelledSize), PduLine);
    if (shown != nullptr) AppendPlainDump(*shown, out);
    const std::int64_t charge = static_cast<std::int64_t>(travelledSize) * 3;
    out.ChargeOutput(charge > INT32_MAX ? INT32_MAX : static_cast<int>(charge));

    if (scratch.frameError) {
        out.WriteLine("  受信フレーム異常！", SummaryLine);
        return false;
    }

    const std::int32_t errorStatus = static_cast<std::int32_t>(scratch.Integer(2));
    const std::uint32_t errorIndex = scratch.Integer(3);
    if (details != nullptr && errorStatus != 0 && errorIndex >= 1 && errorIndex <= scratch.bindingCount) {
        const BindingRecord& named = scratch.bindings[errorIndex - 1];
        line = "  error-index=";
        AppendDecimal(line, static_cast<std::int32_t>(errorIndex));
        line += "  object ID =";
        AppendOidLineText(line, datagram + named.nameStart, named.nameLength);
        out.WriteLine(line, SummaryLine);
        out.ChargeOutput(100);
    }
    for (std::size_t i = 0; i < scratch.bindingCount; ++i)
        WriteBindingLines(datagram, scratch.bindings[i], errorStatus, out);
    return true;
}

}  // namespace quillet
