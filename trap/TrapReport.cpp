#include "trap/TrapReport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/DecimalText.h"
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
        AppendDecimal(line, scan.integers[i]);
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

}  // namespace

void ReportTrap(const std::uint8_t* datagram, int size, TrapScanResult& scratch, std::int32_t& equipmentFlag,
                OutputBatch& out) {
    if (size < 0) size = 0;
    TrapScan(datagram, static_cast<std::size_t>(size), scratch, equipmentFlag);
    out.CountDatagram(Counter::Trap);

    std::string& line = LineScratch();
    line.append("TRAP受信  SIZE=");
    AppendDecimal(line, size);
    out.WriteLine(line, SummaryLine);

    line.clear();
    line.append("  TRAP-TYPE=");
    AppendTrapType(line, scratch.integers[1]);
    out.WriteLine(line, SummaryLine);

    out.WriteLine("  受信DATA=", PduLine);
    out.DumpPdu(datagram, static_cast<std::size_t>(size), PduLine);
    out.ChargeOutput(kHeaderCharge);

    if (scratch.integers[1] != kEnterpriseSpecific) return;
    if (scratch.frameError) {
        out.WriteLine("  受信フレーム異常！", SummaryLine);
        return;
    }
    if (equipmentFlag == 1) {
        EquipmentAlarmLines(datagram, scratch, out);
        return;
    }
    ReportBindingValues(datagram, scratch, out);
}

}  // namespace quillet
