#include "response/BindingLines.h"

#include <cstdint>
#include <string>

#include "output/DetailLines.h"
#include "text/BerTags.h"
#include "text/DecimalText.h"
#include "text/BerReader.h"
#include "response/ErrorStatusNames.h"
#include "text/OidText.h"

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
    case ValueType::Counter64: return "  応答データ(Counter64)=";
    default: return nullptr;
    }
}

// The exception values have no content: the line names them and ends there.
const char* ExceptionLine(ValueType type) {
    switch (type) {
    case ValueType::NoSuchObject: return "  応答データ(noSuchObject)";
    case ValueType::NoSuchInstance: return "  応答データ(noSuchInstance)";
    case ValueType::EndOfMibView: return "  応答データ(endOfMibView)";
    default: return nullptr;
    }
}

// The value of an integer-family binding as the agent meant it: INTEGER
// signed, Counter, Gauge and TimeTicks unsigned 32-bit, Counter64 unsigned
// 64-bit. A length no valid encoding of the type has keeps the reading of the
// integer list shown as a signed word (0, since such lengths read 0).
void AppendIntegerValue(std::string& line, const std::uint8_t* datagram, const BindingRecord& binding) {
    const std::uint8_t* content = datagram + binding.valueStart;
    const auto count = static_cast<std::size_t>(binding.valueLength);
    switch (binding.valueType) {
    case ValueType::Integer: {
        std::int32_t value = 0;
        if (ReadSigned32(content, count, value)) return AppendDecimal(line, value);
        break;
    }
    case ValueType::Counter64: {
        std::uint64_t value = 0;
        if (ReadUnsigned64(content, count, value)) return AppendUnsignedDecimal(line, value);
        break;
    }
    default: {
        std::uint32_t value = 0;
        if (ReadUnsigned32(content, count, value)) return AppendUnsignedDecimal(line, value);
        break;
    }
    }
    AppendDecimal(line, static_cast<std::int32_t>(binding.integerValue));
}

}  // namespace

ValueType BindingValueType(std::uint8_t tag) {
    switch (tag) {
    case kIntegerTag: case kOctetStringTag: case kObjectIdTag: case kIpAddressTag: case kCounter32Tag:
    case kGauge32Tag: case kTimeTicksTag: case kCounter64Tag:
    case kNoSuchObjectTag: case kNoSuchInstanceTag: case kEndOfMibViewTag:
        return static_cast<ValueType>(tag);
    default:
        return ValueType::None;
    }
}

BindingRecord BindingOf(const std::uint8_t* datagram, const BerElement& name, const BerElement& value) {
    const ValueType type = BindingValueType(value.tag);
    BindingRecord record{name.start, name.length, type, static_cast<std::int32_t>(value.length), value.start, 0};
    if (type == ValueType::Integer || type == ValueType::Counter || type == ValueType::Gauge ||
        type == ValueType::TimeTicks)
        record.integerValue = ReadNumber(datagram + value.start, value.length);
    return record;
}

void WriteBindingLines(const std::uint8_t* datagram, const BindingRecord& binding, std::int32_t errorStatus,
                       OutputBatch& out, bool details) {
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
    case ValueType::Counter64:
        line = IntegerLinePrefix(binding.valueType);
        AppendIntegerValue(line, datagram, binding);
        out.WriteLine(line, SummaryLine);
        out.ChargeOutput(kShortValueCharge);
        if (details && binding.valueType == ValueType::TimeTicks) {
            std::uint32_t ticks = 0;
            if (ReadUnsigned32(datagram + binding.valueStart, static_cast<std::size_t>(binding.valueLength), ticks))
                AppendTicksDetail(ticks, out);
        }
        break;
    case ValueType::NoSuchObject:
    case ValueType::NoSuchInstance:
    case ValueType::EndOfMibView:
        out.WriteLine(ExceptionLine(binding.valueType), SummaryLine);
        out.ChargeOutput(kShortValueCharge);
        break;
    case ValueType::OctetString:
        line = "  応答データ(OCTET STRING  SIZE=";
        AppendDecimal(line, binding.valueLength);
        line += ")=";
        out.WriteLine(line, SummaryLine);
        out.DumpPdu(datagram + binding.valueStart, static_cast<std::size_t>(binding.valueLength), SummaryLine);
        out.ChargeOutput(SizedValueCharge(binding.valueLength));
        if (details)
            AppendTextDetail(datagram + binding.valueStart, static_cast<std::size_t>(binding.valueLength), out);
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
