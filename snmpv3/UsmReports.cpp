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

// An INTEGER or Counter32 with the fewest two's-complement octets (a
// Counter32 from 2^31 up gets a leading 00); returns the octets written.
std::size_t PutNumber(std::uint8_t* at, std::uint8_t tag, std::int64_t value) {
    std::size_t count = 1;
    while (count < 5 && (value < -(std::int64_t{1} << (8 * count - 1)) || value >= (std::int64_t{1} << (8 * count - 1))))
        ++count;
    at[0] = tag;
    at[1] = static_cast<std::uint8_t>(count);
    for (std::size_t i = 0; i < count; ++i) at[2 + i] = static_cast<std::uint8_t>(value >> (8 * (count - 1 - i)));
    return 2 + count;
}

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
    // Everything here is short: request-id 6, error fields 6, a binding of
    // at most 2 + 12 + 7 octets.
    std::uint8_t binding[32];
    std::size_t b = 0;
    binding[b++] = 0x06;
    binding[b++] = sizeof kUsmStats + 2;
    std::memcpy(binding + b, kUsmStats, sizeof kUsmStats);
    b += sizeof kUsmStats;
    binding[b++] = static_cast<std::uint8_t>(counter);
    binding[b++] = 0x00;
    b += PutNumber(binding + b, 0x41, value);

    std::uint8_t head[16];
    std::size_t h = PutNumber(head, 0x02, requestId);
    static constexpr std::uint8_t kNoError[] = {0x02, 0x01, 0x00, 0x02, 0x01, 0x00};
    std::memcpy(head + h, kNoError, sizeof kNoError);
    h += sizeof kNoError;

    const std::size_t pduContent = h + 2 + 2 + b;
    const std::size_t total = 2 + pduContent;
    if (total > capacity) return 0;
    std::uint8_t* at = out;
    at += PutHeader(at, kReportTag, pduContent);
    std::memcpy(at, head, h);
    at += h;
    at += PutHeader(at, 0x30, 2 + b);
    at += PutHeader(at, 0x30, b);
    std::memcpy(at, binding, b);
    return total;
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
    static constexpr std::uint8_t kNoError[] = {0x02, 0x01, 0x00, 0x02, 0x01, 0x00};
    const std::size_t requestIdSize = requestId.End() - requestIdAt;
    const std::size_t listSize = list.End() - listAt;
    const std::size_t content = requestIdSize + sizeof kNoError + listSize;
    if (content > 0xFFFF) return 0;
    const std::size_t total = 1 + LengthFieldSize(content) + content;
    if (total > capacity) return 0;
    std::uint8_t* at = out;
    at += PutHeader(at, kResponseTag, content);
    std::memcpy(at, informPdu + requestIdAt, requestIdSize);
    at += requestIdSize;
    std::memcpy(at, kNoError, sizeof kNoError);
    at += sizeof kNoError;
    std::memcpy(at, informPdu + listAt, listSize);
    return total;
}

}  // namespace quillet
