#include "snmpv3/UsmReports.h"

#include <cstring>

#include "text/BerReader.h"
#include "text/BerTags.h"
#include "text/BerWriter.h"
#include "text/OidText.h"

namespace quillet {
namespace {

// usmStats: 1.3.6.1.6.3.15.1.1; each counter adds its arc and .0.
constexpr std::uint8_t kUsmStats[] = {0x2B, 0x06, 0x01, 0x06, 0x03, 0x0F, 0x01, 0x01};

struct NamedCounter {
    std::uint8_t oid[10];
    std::size_t length;
    const char* name;
};

constexpr NamedCounter kCounters[] = {
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0F, 0x01, 0x01, 0x01, 0x00}, 10, "usmStatsUnsupportedSecLevels"},
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0F, 0x01, 0x01, 0x02, 0x00}, 10, "usmStatsNotInTimeWindows"},
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0F, 0x01, 0x01, 0x03, 0x00}, 10, "usmStatsUnknownUserNames"},
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0F, 0x01, 0x01, 0x04, 0x00}, 10, "usmStatsUnknownEngineIDs"},
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0F, 0x01, 0x01, 0x05, 0x00}, 10, "usmStatsWrongDigests"},
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0F, 0x01, 0x01, 0x06, 0x00}, 10, "usmStatsDecryptionErrors"},
    // snmpMPDStats 1.3.6.1.6.3.11.2.1 (RFC 3412)
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0B, 0x02, 0x01, 0x01, 0x00}, 10, "snmpUnknownSecurityModels"},
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0B, 0x02, 0x01, 0x02, 0x00}, 10, "snmpInvalidMsgs"},
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0B, 0x02, 0x01, 0x03, 0x00}, 10, "snmpUnknownPDUHandlers"},
    // snmpTargetObjects 1.3.6.1.6.3.12.1 (RFC 3413)
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0C, 0x01, 0x04, 0x00}, 9, "snmpUnavailableContexts"},
    {{0x2B, 0x06, 0x01, 0x06, 0x03, 0x0C, 0x01, 0x05, 0x00}, 9, "snmpUnknownContexts"},
};

}  // namespace

const char* ReportCounterName(const std::uint8_t* oid, std::size_t length) {
    for (const NamedCounter& counter : kCounters)
        if (SameOctets(oid, length, counter.oid, counter.length)) return counter.name;
    return nullptr;
}

bool CounterOfStatus(UsmStatus status, UsmStatsCounter& counter) {
    switch (status) {
    case UsmStatus::UnsupportedSecLevel: counter = UsmStatsCounter::UnsupportedSecLevels; return true;
    case UsmStatus::NotInTimeWindow: counter = UsmStatsCounter::NotInTimeWindows; return true;
    case UsmStatus::UnknownUserName: counter = UsmStatsCounter::UnknownUserNames; return true;
    case UsmStatus::UnknownEngineId: counter = UsmStatsCounter::UnknownEngineIds; return true;
    case UsmStatus::WrongDigest: counter = UsmStatsCounter::WrongDigests; return true;
    case UsmStatus::DecryptionError: counter = UsmStatsCounter::DecryptionErrors; return true;
    case UsmStatus::Ok:
    case UsmStatus::ParseError: break;
    }
    return false;
}

std::string ReportText(const std::uint8_t* pdu, std::size_t length) {
    BerReader reader(pdu, length);
    BerElement element, list, binding, name, value;
    if (!reader.ReadElement(kReportTag, LengthForm::ShortOr8182, element)) return {};
    BerReader fields(pdu, element.End(), element.start);
    for (int i = 0; i < 3; ++i)
        if (!fields.ReadElement(kIntegerTag, LengthForm::ShortOnly, value)) return {};
    if (!fields.ReadElement(kSequenceTag, LengthForm::ShortOr8182, list)) return {};
    BerReader bindings(pdu, list.End(), list.start);
    if (!bindings.ReadElement(kSequenceTag, LengthForm::ShortOr8182, binding)) return {};
    BerReader parts(pdu, binding.End(), binding.start);
    if (!parts.ReadElement(kObjectIdTag, LengthForm::ShortOr8182, name) || !parts.ReadElement(LengthForm::ShortOnly, value))
        return {};
    std::uint32_t number = 0;
    std::int32_t signedNumber = 0;
    std::string text;
    if (value.tag == kCounter32Tag && ReadUnsigned32(pdu + value.start, value.length, number)) {
        text = std::to_string(number);
    } else if (value.tag == kIntegerTag && ReadSigned32(pdu + value.start, value.length, signedNumber)) {
        text = std::to_string(signedNumber);
    } else {
        return {};
    }
    const char* counter = ReportCounterName(pdu + name.start, name.length);
    return (counter != nullptr ? std::string(counter) : OidLineText(pdu + name.start, name.length)) + " = " + text;
}

std::size_t BuildReportPdu(std::int32_t requestId, UsmStatsCounter counter, std::uint32_t value, std::uint8_t* out,
                           std::size_t capacity) {
    std::uint8_t name[sizeof kUsmStats + 2];
    std::memcpy(name, kUsmStats, sizeof kUsmStats);
    name[sizeof kUsmStats] = static_cast<std::uint8_t>(counter);
    name[sizeof kUsmStats + 1] = 0x00;  // the instance .0
    BerWriter writer(out, capacity);
    const BerWriter::Container pdu = writer.Open(kReportTag);
    writer.Integer(requestId);
    writer.Integer(0);  // error-status
    writer.Integer(0);  // error-index
    const BerWriter::Container list = writer.Open(kSequenceTag);
    const BerWriter::Container binding = writer.Open(kSequenceTag);
    writer.Element(kObjectIdTag, name);
    writer.Unsigned(kCounter32Tag, value);
    writer.Close(binding);
    writer.Close(list);
    writer.Close(pdu);
    return writer.Finish();
}

std::size_t BuildResponsePduForInform(const std::uint8_t* informPdu, std::size_t length, std::uint8_t* out,
                                      std::size_t capacity) {
    BerReader reader(informPdu, length);
    BerElement pdu, requestId, status, index, list;
    if (!reader.ReadElement(kInformRequestTag, LengthForm::ShortOr8182, pdu) || !reader.AtEnd()) return 0;
    BerReader fields(informPdu, pdu.End(), pdu.start);
    const std::size_t requestIdAt = fields.Position();
    if (!fields.ReadElement(kIntegerTag, LengthForm::ShortOnly, requestId) ||
        !fields.ReadElement(kIntegerTag, LengthForm::ShortOnly, status) ||
        !fields.ReadElement(kIntegerTag, LengthForm::ShortOnly, index))
        return 0;
    const std::size_t listAt = fields.Position();
    if (!fields.ReadElement(kSequenceTag, LengthForm::ShortOr8182, list) || !fields.AtEnd()) return 0;
    BerWriter writer(out, capacity);
    const BerWriter::Container response = writer.Open(kResponseTag);
    writer.Octets(std::span(informPdu + requestIdAt, requestId.End() - requestIdAt));
    writer.Integer(0);  // error-status
    writer.Integer(0);  // error-index
    writer.Octets(std::span(informPdu + listAt, list.End() - listAt));
    writer.Close(response);
    return writer.Finish();
}

}  // namespace quillet
