#include "snmpv3/MessageScan.h"

#include "snmpv3/UsmTypes.h"
#include "text/BerTags.h"

namespace quillet {
namespace {

constexpr std::int32_t kMinMaxSize = 484;

enum class IntegerRead { Ok, Malformed, OutOfRange };

// A non-negative INTEGER of 1 to 4 content octets at the reader's cursor.
// Longer ones hold no value this scan accepts.
IntegerRead ReadNonNegative(const std::uint8_t* data, BerReader& reader, std::int32_t& value) {
    BerElement element;
    if (!reader.ReadElement(kIntegerTag, LengthForm::ShortOnly, element) || element.length == 0)
        return IntegerRead::Malformed;
    if (!ReadSigned32(data + element.start, element.length, value) || value < 0) return IntegerRead::OutOfRange;
    return IntegerRead::Ok;
}

bool ReadString(BerReader& reader, BerElement& element) {
    return reader.ReadElement(kOctetStringTag, LengthForm::ShortOr8182, element);
}

// The USM security parameters inside the msgSecurityParameters string.
V3ScanStatus ScanSecurityParameters(const std::uint8_t* data, const BerElement& string, V3MessageScan& out) {
    BerReader reader(data, string.End(), string.start);
    BerElement sequence;
    if (!reader.ReadElement(kSequenceTag, LengthForm::ShortOr8182, sequence) || !reader.AtEnd())
        return V3ScanStatus::Malformed;
    BerReader fields(data, sequence.End(), sequence.start);
    std::int32_t boots = 0;
    std::int32_t time = 0;
    if (!ReadString(fields, out.engineId) || out.engineId.length > kMaxEngineIdLength) return V3ScanStatus::Malformed;
    for (std::int32_t* value : {&boots, &time}) {
        const IntegerRead read = ReadNonNegative(data, fields, *value);
        if (read != IntegerRead::Ok)
            return read == IntegerRead::Malformed ? V3ScanStatus::Malformed : V3ScanStatus::ValueOutOfRange;
    }
    out.engineBoots = static_cast<std::uint32_t>(boots);
    out.engineTime = static_cast<std::uint32_t>(time);
    if (!ReadString(fields, out.userName) || out.userName.length > kMaxUserNameLength ||
        !ReadString(fields, out.authParams) || !ReadString(fields, out.privParams) || !fields.AtEnd())
        return V3ScanStatus::Malformed;
    return V3ScanStatus::Ok;
}

V3ScanStatus Scan(const std::uint8_t* data, std::size_t size, V3MessageScan& out) {
    BerReader top(data, size);
    BerElement message;
    if (!top.ReadElement(kSequenceTag, LengthForm::ShortOr8182, message)) return V3ScanStatus::Malformed;
    BerReader reader(data, message.End(), message.start);
    std::int32_t version = 0;
    if (ReadNonNegative(data, reader, version) == IntegerRead::Malformed) return V3ScanStatus::Malformed;
    if (version != 3) return V3ScanStatus::NotVersion3;
    if (!top.AtEnd()) return V3ScanStatus::TrailingOctets;

    BerElement global;
    if (!reader.ReadElement(kSequenceTag, LengthForm::ShortOr8182, global)) return V3ScanStatus::Malformed;
    BerReader header(data, global.End(), global.start);
    for (std::int32_t* value : {&out.msgId, &out.msgMaxSize}) {
        const IntegerRead read = ReadNonNegative(data, header, *value);
        if (read != IntegerRead::Ok)
            return read == IntegerRead::Malformed ? V3ScanStatus::Malformed : V3ScanStatus::ValueOutOfRange;
    }
    BerElement flags;
    if (!ReadString(header, flags) || flags.length != 1) return V3ScanStatus::Malformed;
    out.msgFlags = data[flags.start];
    const IntegerRead model = ReadNonNegative(data, header, out.securityModel);
    if (model == IntegerRead::Malformed || !header.AtEnd()) return V3ScanStatus::Malformed;
    if (out.msgMaxSize < kMinMaxSize) return V3ScanStatus::ValueOutOfRange;
    if ((out.msgFlags & (kFlagAuth | kFlagPriv)) == kFlagPriv) return V3ScanStatus::InvalidFlags;

    BerElement security;
    if (!ReadString(reader, security)) return V3ScanStatus::Malformed;
    if (model != IntegerRead::Ok || out.securityModel != kUsmSecurityModel) return V3ScanStatus::UnknownSecurityModel;
    const V3ScanStatus parameters = ScanSecurityParameters(data, security, out);
    if (parameters != V3ScanStatus::Ok) return parameters;

    out.encrypted = (out.msgFlags & kFlagPriv) != 0;
    out.msgDataAt = reader.Position();
    out.msgDataLength = message.End() - out.msgDataAt;
    if (out.encrypted) {
        if (!ReadString(reader, out.encryptedPdu) || !reader.AtEnd()) return V3ScanStatus::Malformed;
        return V3ScanStatus::Ok;
    }
    if (!ScanScopedPdu(data, reader.Position(), message.End(), 0, out.scoped)) return V3ScanStatus::Malformed;
    return V3ScanStatus::Ok;
}

}  // namespace

const char* V3ScanStatusText(V3ScanStatus status) {
    switch (status) {
    case V3ScanStatus::Ok: return "ok";
    case V3ScanStatus::NotVersion3: return "not an SNMPv3 message";
    case V3ScanStatus::Malformed: return "malformed message";
    case V3ScanStatus::TrailingOctets: return "octets after the message";
    case V3ScanStatus::ValueOutOfRange: return "header value out of range";
    case V3ScanStatus::InvalidFlags: return "privacy flag without authentication";
    case V3ScanStatus::UnknownSecurityModel: return "security model not USM";
    }
    return "?";
}

bool ScanScopedPdu(const std::uint8_t* data, std::size_t start, std::size_t end, std::size_t maxTrailing,
                   ScopedPduScan& out) {
    out = ScopedPduScan{};
    BerReader reader(data, end, start);
    BerElement sequence;
    if (!reader.ReadElement(kSequenceTag, LengthForm::ShortOr8182, sequence) || reader.Left() > maxTrailing) return false;
    out.at = start;
    out.length = sequence.End() - start;
    BerReader inside(data, sequence.End(), sequence.start);
    if (!ReadString(inside, out.contextEngineId) || !ReadString(inside, out.contextName)) return false;
    out.pduAt = inside.Position();
    BerElement pdu;
    if (!inside.PeekTag(out.pduTag) || out.pduTag < kFirstPduTag || out.pduTag > kLastPduTag ||
        !inside.ReadElement(LengthForm::ShortOr8182, pdu) || !inside.AtEnd())
        return false;
    out.pduLength = pdu.End() - out.pduAt;
    BerReader fields(data, pdu.End(), pdu.start);
    BerElement requestId;
    if (fields.ReadElement(kIntegerTag, LengthForm::ShortOnly, requestId) &&
        ReadSigned32(data + requestId.start, requestId.length, out.requestId))
        out.hasRequestId = true;
    return true;
}

void ScanV3Message(const std::uint8_t* data, std::size_t size, V3MessageScan& out) {
    out = V3MessageScan{};
    out.status = Scan(data, size, out);
}

bool IsSnmpV3Message(const std::uint8_t* data, std::size_t size) {
    BerReader reader(data, size);
    BerElement version;
    return reader.PeekTag(version.tag) && version.tag == kSequenceTag && reader.StepInto() &&
           reader.ReadElement(kIntegerTag, LengthForm::ShortOnly, version) && version.length == 1 &&
           data[version.start] == 3;
}

}  // namespace quillet
