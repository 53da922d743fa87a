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

// The report of an answer whose PDU `scan` holds, read from `base`;
// `travelled` and `size` are the datagram as it came, `v3` the parts of an
// SNMPv3 message.
bool Report(const std::uint8_t* base, const std::uint8_t* travelled, int size, int walkPending, int varBindCount,
            const ResponseScanResult& scan, OutputBatch& out, const PeerDetails* details,
            const ReceivedV3Message* v3, bool writeBack = true) {
    out.CountDatagram(Counter::Recv);

    std::string line = scan.Integer(0) == 0 ? "get response 受信 request ID=" : "response 受信 request ID=";
    AppendDecimal(line, static_cast<std::int32_t>(scan.Integer(1)));
    line += "  SIZE=";
    AppendDecimal(line, size);
    out.WriteLine(line, SummaryLine);
    if (details != nullptr) AppendReceivedDetails(*details, out);
    if (v3 != nullptr && v3->messageLines != nullptr) out.Append(*v3->messageLines);

    // After a GetNextRequest or GetBulkRequest the fields that the request
    // used receive the identifiers that came back, so the next press asks
    // for the objects that follow; otherwise only the first field is set.
    const bool walking = walkPending != 0;
    if (writeBack && (!walking || varBindCount != 0)) RefreshField(base, scan, 0, Field::OID1Edit, line, out);
    if (writeBack && walking && varBindCount >= 2) RefreshField(base, scan, 1, Field::OID2Edit, line, out);
    if (writeBack && walking && varBindCount == 3) RefreshField(base, scan, 2, Field::OID3Edit, line, out);

    out.WriteLine("  受信DATA=", PduLine);
    out.DumpPdu(travelled, static_cast<std::size_t>(size), PduLine);
    if (v3 != nullptr) AppendPlainDump(*v3, out);
    const std::int64_t charge = static_cast<std::int64_t>(size) * 3;
    out.ChargeOutput(charge > INT32_MAX ? INT32_MAX : static_cast<int>(charge));

    if (scan.frameError) {
        out.WriteLine("  受信フレーム異常！", SummaryLine);
        return false;
    }

    const std::int32_t errorStatus = static_cast<std::int32_t>(scan.Integer(2));
    const std::uint32_t errorIndex = scan.Integer(3);
    if (details != nullptr && errorStatus != 0 && errorIndex >= 1 && errorIndex <= scan.bindingCount) {
        const BindingRecord& named = scan.bindings[errorIndex - 1];
        line = "  error-index=";
        AppendDecimal(line, static_cast<std::int32_t>(errorIndex));
        line += "  object ID =";
        AppendOidLineText(line, base + named.nameStart, named.nameLength);
        out.WriteLine(line, SummaryLine);
        out.ChargeOutput(100);
    }
    for (std::size_t i = 0; i < scan.bindingCount; ++i)
        WriteBindingLines(base, scan.bindings[i], errorStatus, out, details != nullptr);
    return true;
}

}  // namespace

bool ReportResponse(const std::uint8_t* datagram, int size, const CommunityMessage& message, int walkPending,
                    int varBindCount, ResponseScanResult& scratch, OutputBatch& out, const PeerDetails* details) {
    if (size < 0) return false;
    const auto length = static_cast<std::size_t>(size);
    // The walk reads the header as ReadCommunityMessage does only when the
    // version has a short-form length; any other header it walks itself,
    // from the first octet, as it always has.
    if (message.read && message.versionShortForm)
        ResponsePduScan(datagram, message.pduAt, length, message.versionNumber, scratch);
    else
        ResponseScan(datagram, length, scratch);
    return Report(datagram, datagram, size, walkPending, varBindCount, scratch, out, details, nullptr);
}

bool ReportV3Response(const ReceivedV3Message& received, int walkPending, int varBindCount,
                      ResponseScanResult& scratch, OutputBatch& out, const PeerDetails* details, bool writeBack) {
    if (received.size < 0) return false;
    constexpr std::uint32_t kVersion3 = 3;
    ResponsePduScan(received.pduBase, received.pduAt, received.pduEnd, kVersion3, scratch);
    return Report(received.pduBase, received.bytes, received.size, walkPending, varBindCount, scratch, out, details,
                  &received, writeBack) &&
           writeBack;
}

}  // namespace quillet
