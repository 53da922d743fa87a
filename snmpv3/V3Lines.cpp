#include "snmpv3/V3Lines.h"

#include <string>

#include "text/DecimalText.h"

namespace quillet {
namespace {

constexpr int kBlockCharge = 100;

// A name or context of printable ASCII as it is, anything else in hex.
void AppendAdminString(std::string& out, const std::uint8_t* octets, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (octets[i] < 0x20 || octets[i] > 0x7E) {
            out += "0x";
            AppendHexOctets(out, octets, length);
            return;
        }
    }
    out.append(reinterpret_cast<const char*>(octets), length);
}

void Line(OutputBatch& out, std::string_view head, std::uint64_t value) {
    std::string line(head);
    AppendUnsignedDecimal(line, value);
    out.WriteLine(line, SummaryLine);
}

}  // namespace

void AppendHexOctets(std::string& out, const std::uint8_t* octets, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0) out.push_back(' ');
        AppendHexByte(out, octets[i]);
    }
}

void AppendV3HeaderLines(const std::uint8_t* datagram, const V3MessageScan& scan, OutputBatch& out) {
    Line(out, "  msgID=", static_cast<std::uint32_t>(scan.msgId));
    Line(out, "  msgMaxSize=", static_cast<std::uint32_t>(scan.msgMaxSize));
    std::string line = "  msgFlags=";
    AppendHexByte(line, scan.msgFlags);
    line += " (";
    line += (scan.msgFlags & kFlagAuth) != 0 ? "auth" : "noAuth";
    line += (scan.msgFlags & kFlagPriv) != 0 ? ", priv" : ", noPriv";
    if ((scan.msgFlags & kFlagReportable) != 0) line += ", reportable";
    line += ")";
    out.WriteLine(line, SummaryLine);
    line = "  msgSecurityModel=";
    AppendDecimal(line, scan.securityModel);
    if (scan.securityModel == kUsmSecurityModel) line += " (USM)";
    out.WriteLine(line, SummaryLine);
    line = "  msgAuthoritativeEngineID=";
    if (scan.engineId.length == 0)
        line += "(空)";
    else
        AppendHexOctets(line, datagram + scan.engineId.start, scan.engineId.length);
    out.WriteLine(line, SummaryLine);
    Line(out, "  msgAuthoritativeEngineBoots=", scan.engineBoots);
    Line(out, "  msgAuthoritativeEngineTime=", scan.engineTime);
    line = "  msgUserName=";
    AppendAdminString(line, datagram + scan.userName.start, scan.userName.length);
    out.WriteLine(line, SummaryLine);
    out.ChargeOutput(kBlockCharge);
}

void AppendV3SentSecurityLines(AuthProtocol auth, PrivProtocol priv, bool authenticated, bool encrypted,
                               OutputBatch& out, KeyExtension extension) {
    std::string line = "  認証=";
    line += authenticated ? std::string("あり(") + AuthProtocolName(auth) + ")" : std::string("なし");
    out.WriteLine(line, SummaryLine);
    line = "  暗号化=";
    line += encrypted ? std::string("あり(") + PrivProtocolName(priv, extension) + ")" : std::string("なし");
    out.WriteLine(line, SummaryLine);
}

void AppendV3ReceivedSecurityLines(const V3MessageScan& scan, const OpenedV3Message& opened, OutputBatch& out) {
    if (opened.status != UsmStatus::Ok) {
        std::string line = "  USM検証失敗=";
        line += UsmStatusText(opened.status);
        if (opened.status == UsmStatus::ParseError && scan.status != V3ScanStatus::Ok) {
            line += " (";
            line += V3ScanStatusText(scan.status);
            line += ")";
        }
        out.WriteLine(line, SummaryLine);
        return;
    }
    const bool auth = (scan.msgFlags & kFlagAuth) != 0;
    const bool priv = (scan.msgFlags & kFlagPriv) != 0;
    std::string line = "  認証=";
    if (auth && opened.user != nullptr)
        line += std::string("あり(") + AuthProtocolName(opened.user->auth) + ") 確認済み";
    else
        line += "なし";
    out.WriteLine(line, SummaryLine);
    line = "  暗号化=";
    if (priv && opened.user != nullptr)
        line += std::string("あり(") + PrivProtocolName(opened.user->priv, opened.user->extension) + ") 復号済み";
    else
        line += "なし";
    out.WriteLine(line, SummaryLine);
}

ReceivedV3Message ReceivedV3(const std::uint8_t* datagram, int size, const OutputBatch& messageLines,
                             const V3MessageScan& scan, const OpenedV3Message& opened) {
    ReceivedV3Message received;
    received.bytes = datagram;
    received.size = size;
    received.messageLines = &messageLines;
    if (opened.status != UsmStatus::Ok) return received;
    received.pduBase = opened.scopedBase;
    received.pduAt = opened.scoped.pduAt;
    received.pduEnd = opened.scoped.pduAt + opened.scoped.pduLength;
    if (scan.encrypted) {
        received.plain = opened.scopedBase + opened.scoped.at;
        received.plainSize = opened.scoped.length;
    }
    return received;
}

void AppendScopedPduLines(const std::uint8_t* base, const ScopedPduScan& scoped, OutputBatch& out) {
    std::string line = "  contextEngineID=";
    AppendHexOctets(line, base + scoped.contextEngineId.start, scoped.contextEngineId.length);
    out.WriteLine(line, SummaryLine);
    line = "  contextName=";
    AppendAdminString(line, base + scoped.contextName.start, scoped.contextName.length);
    out.WriteLine(line, SummaryLine);
}

}  // namespace quillet
