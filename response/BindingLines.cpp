#include "response/BindingLines.h"

#include <cstdint>
#include <string>

#include "console/DecimalText.h"
#include "response/ErrorStatusNames.h"
#include "response/OidText.h"

namespace quillet {

namespace {

constexpr int kOidCharge = 100;
constexpr int kShortValueCharge = 20;

// Charge of a value shown with its size: two characters an octet and the
// line around them.
int SizedValueCharge(std::int32_t length) {
    const std::int64_t charge = static_cast<std::int64_t>(length) * 2 + 40;
    return charge > INT32_MAX ? INT32_MAX : static_cast<int>(charge);
}

const char* IntegerLinePrefix(ValueType type) {
    switch (type) {
    case ValueType::Integer: return "  応答データ(Integer)=";
    case ValueType::Counter: return "  応答データ(Counter)=";
    case ValueType::Gauge: return "  応答データ(Gauge)=";
    case ValueType::TimeTicks: return "  応答データ(Ticks)=";
    default: return nullptr;
    }
}

}  // namespace

void WriteBindingLines(const std::uint8_t* datagram, const BindingRecord& binding, std::int32_t errorStatus,
                       OutputBatch& out) {
    std::string line = "  object ID =";
    AppendOidLineText(line, datagram + binding.nameStart, binding.nameLength);
    out.WriteLine(line, SummaryLine);
    out.ChargeOutput(kOidCharge);

    if (errorStatus != 0) {
        line = "  エラー応答=";
        AppendErrorStatusText(line, errorStatus);
        out.WriteLine(line, SummaryLine);
        out.ChargeOutput(kShortValueCharge);
        return;
    }

    switch (binding.valueType) {
    case ValueType::Integer:
    case ValueType::Counter:
    case ValueType::Gauge:
    case ValueType::TimeTicks:
        line = IntegerLinePrefix(binding.valueType);
        // Shown as a signed word: a four-octet Counter, Gauge or TimeTicks
        // with its top bit set appears negative.
        AppendDecimal(line, static_cast<std::int32_t>(binding.integerValue));
        out.WriteLine(line, SummaryLine);
        out.ChargeOutput(kShortValueCharge);
        break;
    case ValueType::OctetString:
        line = "  応答データ(OCTET STRING  SIZE=";
        AppendDecimal(line, binding.valueLength);
        line += ")=";
        out.WriteLine(line, SummaryLine);
        out.DumpPdu(datagram + binding.valueStart, static_cast<std::size_t>(binding.valueLength), SummaryLine);
        out.ChargeOutput(SizedValueCharge(binding.valueLength));
        break;
    case ValueType::IpAddress: {
        line = "  応答データ(IpAddress  SIZE=";
        AppendDecimal(line, binding.valueLength);
        line += ")=";
        // Four octets make the address. A value of another length shows
        // only the octets it has (at most four), so that nothing beyond the
        // value, and never anything past the datagram, is read.
        const std::int32_t shown = binding.valueLength < 4 ? binding.valueLength : 4;
        for (std::int32_t i = 0; i < shown; ++i) {
            if (i > 0) line.push_back('.');
            AppendDecimal(line, datagram[binding.valueStart + static_cast<std::size_t>(i)]);
        }
        out.WriteLine(line, SummaryLine);
        out.ChargeOutput(SizedValueCharge(binding.valueLength));
        break;
    }
    case ValueType::ObjectId:
        line = "  応答データ(OBJECT IDENTIFIER)=";
        AppendOidLineText(line, datagram + binding.valueStart, static_cast<std::size_t>(binding.valueLength));
        out.WriteLine(line, SummaryLine);
        out.ChargeOutput(kOidCharge);
        break;
    case ValueType::None:
        break;
    }
}

}  // namespace quillet
