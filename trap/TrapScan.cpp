#include "trap/TrapScan.h"

#include <cstring>

#include "response/BindingLines.h"
#include "text/BerReader.h"
#include "text/BerTags.h"

namespace quillet {
namespace {

constexpr LengthForm kForm = LengthForm::Definite;

// What the walk has found so far; committed only for a whole message.
struct Walk {
    const std::uint8_t* data;
    TrapScanResult& out;
    std::int32_t flag;

    void Integer(const BerElement& element) {
        if (out.integerCount >= kTrapTableSlots) return;
        const std::uint8_t* content = data + element.start;
        out.integers[out.integerCount] = static_cast<std::int32_t>(ReadNumber(content, element.length));
        // A length no valid INTEGER has keeps the reading above (0).
        std::int32_t value = out.integers[out.integerCount];
        ReadSigned32(content, element.length, value);
        out.signedIntegers[out.integerCount++] = value;
    }
    void String(const BerElement& element) {
        if (out.stringCount >= kTrapTableSlots) return;
        out.strings[out.stringCount++] =
            TrapString{static_cast<std::uint32_t>(element.start), static_cast<std::int32_t>(element.length)};
    }
    void Identifier(const BerElement& element) {
        flag = StartsWithOctets(data + element.start, element.length, kEquipmentPrefix, sizeof kEquipmentPrefix)
                   ? 1
                   : 0;
    }
    // One value of any type: INTEGERs and OCTET STRINGs are recorded, an
    // identifier is tested for the equipment prefix, the rest is passed over.
    void Value(const BerElement& element) {
        if (element.tag == kIntegerTag) Integer(element);
        else if (element.tag == kOctetStringTag) String(element);
        else if (element.tag == kObjectIdTag) Identifier(element);
    }
};

// Reads the element at the cursor, whatever its tag, into `element` and
// `inside` (a reader over its content). False when it does not fit.
bool Enter(BerReader& reader, std::uint8_t tag, BerElement& element, BerReader& inside, const std::uint8_t* data) {
    if (!reader.ReadElement(tag, kForm, element)) return false;
    inside = BerReader(data, element.End(), element.start);
    return true;
}

bool WalkBindings(BerReader& list, Walk& walk, const std::uint8_t* data) {
    TrapScanResult& out = walk.out;
    while (!list.AtEnd()) {
        BerElement binding, name, value;
        BerReader inside(data, 0);
        if (!Enter(list, kSequenceTag, binding, inside, data)) return false;
        if (!inside.ReadElement(kObjectIdTag, kForm, name)) return false;
        walk.Identifier(name);
        if (!inside.ReadElement(kForm, value) || !inside.AtEnd()) return false;
        walk.Value(value);
        if (out.bindingCount < kMaxTrapBindings) out.bindings[out.bindingCount++] = BindingOf(data, name, value);
    }
    return true;
}

bool WalkMessage(const std::uint8_t* data, std::size_t size, const CommunityMessage& message, Walk& walk) {
    // version-1 is 0; any other version is not an SNMPv1 message.
    if (!message.Whole(size) || message.version.length != 1 || data[message.version.start] != 0x00) return false;
    walk.Integer(message.version);
    walk.String(message.community);
    BerReader inMessage(data, message.message.End(), message.pduAt), inPdu(data, 0), list(data, 0);
    BerElement pdu, element;
    if (!Enter(inMessage, kTrapPduTag, pdu, inPdu, data) || !inMessage.AtEnd()) return false;
    if (!inPdu.ReadElement(kObjectIdTag, kForm, walk.out.enterprise)) return false;
    walk.Identifier(walk.out.enterprise);
    if (!inPdu.ReadElement(kIpAddressTag, kForm, walk.out.agentAddress)) return false;
    if (!inPdu.ReadElement(kIntegerTag, kForm, element)) return false;  // generic-trap
    walk.Integer(element);
    if (!inPdu.ReadElement(kIntegerTag, kForm, element)) return false;  // specific-trap
    walk.Integer(element);
    if (!inPdu.ReadElement(kTimeTicksTag, kForm, walk.out.timeStamp)) return false;
    if (!Enter(inPdu, kSequenceTag, element, list, data) || !inPdu.AtEnd()) return false;
    return WalkBindings(list, walk, data);
}

void Reset(TrapScanResult& out) {
    // Only the tables and counts: the binding records past the count are
    // never read.
    std::memset(out.integers, 0, sizeof out.integers);
    std::memset(out.signedIntegers, 0, sizeof out.signedIntegers);
    std::memset(out.strings, 0, sizeof out.strings);
    out.integerCount = out.stringCount = 0;
    out.frameError = false;
    out.enterprise = out.agentAddress = out.timeStamp = BerElement{};
    out.bindingCount = 0;
}

}  // namespace

int TrapScan(const std::uint8_t* data, std::size_t size, const CommunityMessage& message, TrapScanResult& out,
             std::int32_t& equipmentFlag) {
    Reset(out);
    Walk walk{data, out, equipmentFlag};
    if (!WalkMessage(data, size, message, walk)) {
        // Nothing of a datagram that is not a whole trap is kept.
        Reset(out);
        out.frameError = true;
        return -1;
    }
    equipmentFlag = walk.flag;
    return 0;
}

}  // namespace quillet
