#include "response/ResponseScan.h"

#include <cstdint>

#include "text/BerReader.h"
#include "text/BerTags.h"

namespace quillet {

namespace {

// The walk from `start` to `end`, its integer list begun with `leading` when
// given: the state the walk would be in after passing a message's SEQUENCE
// header, version and community itself.
void Walk(const std::uint8_t* data, std::size_t start, std::size_t end, const std::uint32_t* leading,
          ResponseScanResult& out) {
    out.integerCount = 0;
    out.oidCount = 0;
    out.bindingCount = 0;
    out.frameError = false;
    if (leading != nullptr) out.integers[out.integerCount++] = *leading;

    BerReader reader(data, end, start);
    // Yes once a binding's name has been met and until its value is: the next
    // OBJECT IDENTIFIER is then that value rather than a new name.
    bool awaitingValue = false;
    // The record that values are written into: the last binding whose name
    // was recorded. Names met after the binding table is full are not
    // recorded, and their values must not overwrite the last recorded
    // binding, so it is cleared then.
    BindingRecord* current = nullptr;
    bool stopped = false;

    std::uint8_t tag = 0;
    while (!stopped && reader.PeekTag(tag)) {
        // Every element the walk knows has a tag and a length octet.
        if (reader.Left() < 2) {
            stopped = true;
            break;
        }
        BerElement element;
        switch (tag) {
        case kSequenceTag:
        case kGetRequestTag:
        case kResponseTag:
        case kSetRequestTag:
            // Step in: only the header is passed over and the contents are
            // walked next. The declared length is not compared with what
            // follows; a message that does not add up shows as a frame
            // error only through where the walk ends.
            stopped = !reader.StepInto();
            break;
        case kIntegerTag:
        case kCounter32Tag:
        case kGauge32Tag:
        case kTimeTicksTag: {
            // Integers are taken with a short-form length only (see
            // LengthForm::ShortOnly): a long form ends the walk.
            if (!reader.ReadElement(LengthForm::ShortOnly, element)) {
                stopped = true;
                break;
            }
            // The list keeps ReadNumber's reading (0 or more than 4 content
            // octets read 0): the request-id and error-status come from it.
            // The binding lines read the value again as its type means it.
            const std::uint32_t value = ReadNumber(data + element.start, element.length);
            if (out.integerCount < kMaxResponseIntegers) out.integers[out.integerCount++] = value;
            if (current != nullptr) {
                current->valueType = static_cast<ValueType>(tag);
                current->valueLength = static_cast<std::int32_t>(element.length);
                current->valueStart = element.start;
                current->integerValue = value;
            }
            awaitingValue = false;
            break;
        }
        case kCounter64Tag:  // short-form length, as the integers
        case kNoSuchObjectTag:
        case kNoSuchInstanceTag:
        case kEndOfMibViewTag:
            // An exception value has no content; one with content is not a
            // value any agent sends, and stays a frame error.
            if (!reader.ReadElement(LengthForm::ShortOnly, element) || (tag != kCounter64Tag && element.length != 0)) {
                stopped = true;
                break;
            }
            // Counter64 is not a 32-bit word and stays out of the integer list.
            if (current != nullptr) {
                current->valueType = static_cast<ValueType>(tag);
                current->valueLength = static_cast<std::int32_t>(element.length);
                current->valueStart = element.start;
                current->integerValue = 0;
            }
            awaitingValue = false;
            break;
        case kOctetStringTag:
        case kIpAddressTag: {
            if (!reader.ReadHeader(LengthForm::NumberLongForm, element) || element.length > reader.Left() ||
                element.length > static_cast<std::size_t>(INT32_MAX) || !reader.Skip(element.length)) {
                stopped = true;
                break;
            }
            if (current != nullptr) {
                current->valueType = static_cast<ValueType>(tag);
                current->valueLength = static_cast<std::int32_t>(element.length);
                current->valueStart = element.start;
            }
            awaitingValue = false;
            break;
        }
        case kNullTag:
            // Passed as two octets whatever its length octet says: a NULL
            // with content leaves the walk on its content octet, which then
            // ends it. A binding awaiting its value keeps value type None.
            awaitingValue = false;
            reader.Skip(2);
            break;
        case kObjectIdTag: {
            // Short-form length only, for the same reason as the integers.
            if (!reader.ReadElement(LengthForm::ShortOnly, element)) {
                stopped = true;
                break;
            }
            const auto length = static_cast<std::uint8_t>(element.length);
            if (out.oidCount < kMaxResponseOids) out.oids[out.oidCount++] = OidRef{element.start, length};
            if (!awaitingValue) {
                // A binding's name opens a new binding record.
                if (out.bindingCount < kMaxResponseBindings) {
                    current = &out.bindings[out.bindingCount++];
                    *current = BindingRecord{element.start, length, ValueType::None, 0, 0, 0};
                } else {
                    current = nullptr;
                }
                awaitingValue = true;
            } else {
                // An identifier that is a binding's value.
                if (current != nullptr) {
                    current->valueType = ValueType::ObjectId;
                    current->valueLength = length;
                    current->valueStart = element.start;
                }
                awaitingValue = false;
            }
            break;
        }
        default:
            // Tags the console does not decode: GetNextRequest-PDU, the other
            // SNMPv2 PDUs, Opaque and anything else.
            stopped = true;
            break;
        }
    }

    out.frameError = stopped || reader.Position() != end;
}

}  // namespace

void ResponseScan(const std::uint8_t* data, std::size_t size, ResponseScanResult& out) {
    Walk(data, 0, size, nullptr, out);
}

void ResponsePduScan(const std::uint8_t* base, std::size_t pduAt, std::size_t end, std::uint32_t version,
                     ResponseScanResult& out) {
    Walk(base, pduAt, end, &version, out);
}

bool ReadResponseRequestId(const std::uint8_t* data, std::size_t size, const CommunityMessage& message,
                           std::uint32_t& requestId) {
    constexpr LengthForm kForm = LengthForm::Definite;
    if (!message.Inside(size)) return false;
    BerReader reader(data, size, message.pduAt);
    BerElement element;
    if (!reader.ReadHeader(kForm, element) || element.tag != kResponseTag || element.length > reader.Left())
        return false;
    if (!reader.ReadElement(kIntegerTag, kForm, element)) return false;
    requestId = ReadNumber(data + element.start, element.length);
    return true;
}

}  // namespace quillet
