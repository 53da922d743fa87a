#include "trap/NotificationScan.h"

#include "response/BindingLines.h"
#include "text/BerTags.h"
#include "trap/TrapScan.h"

namespace quillet {
namespace {

constexpr std::uint8_t kSysUpTime0[] = {0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x00};
constexpr std::uint8_t kSnmpTrapOid0[] = {0x2B, 0x06, 0x01, 0x06, 0x03, 0x01, 0x01, 0x04, 0x01, 0x00};
// snmpTraps, 1.3.6.1.6.3.1.1.5: the six generic traps are .1 to .6 below it.
constexpr std::uint8_t kSnmpTraps[] = {0x2B, 0x06, 0x01, 0x06, 0x03, 0x01, 0x01, 0x05};
constexpr std::int32_t kEnterpriseSpecific = 6;

constexpr LengthForm kForm = LengthForm::ShortOr8182;

// Reads one element of `tag` and remembers where its tag was.
bool ReadPart(BerReader& reader, std::uint8_t tag, BerElement& element, std::size_t& tagAt) {
    tagAt = reader.Position();
    return reader.ReadElement(tag, kForm, element);
}

void NoteIdentifier(const std::uint8_t* data, const BerElement& oid, std::int32_t& equipmentFlag) {
    equipmentFlag = StartsWithOctets(data + oid.start, oid.length, kEquipmentPrefix, sizeof kEquipmentPrefix) ? 1 : 0;
}

// Reads the bindings inside [list.start, list.End()). False when one of
// them is not SEQUENCE { OID, value } filling its container exactly.
bool ReadBindings(const std::uint8_t* data, const BerElement& list, NotificationScanResult& out,
                  std::int32_t& equipmentFlag) {
    BerReader reader(data, list.End(), list.start);
    while (!reader.AtEnd()) {
        BerElement binding, name, value;
        if (!reader.ReadElement(kSequenceTag, kForm, binding)) return false;
        BerReader inside(data, binding.End(), binding.start);
        if (!inside.ReadElement(kObjectIdTag, kForm, name)) return false;
        NoteIdentifier(data, name, equipmentFlag);
        if (!inside.ReadElement(kForm, value) || !inside.AtEnd()) return false;
        if (value.tag == kObjectIdTag) NoteIdentifier(data, value, equipmentFlag);
        // The values the console reads as numbers or exceptions must be of
        // a form the response scan would take too.
        if (value.tag >= kNoSuchObjectTag && value.tag <= kEndOfMibViewTag && value.length != 0) return false;
        if (value.length > static_cast<std::size_t>(INT32_MAX)) return false;
        if (out.bindingCount < kMaxNotificationBindings)
            out.bindings[out.bindingCount++] = BindingOf(data, name, value);
    }
    return true;
}

bool NameIs(const std::uint8_t* data, const BindingRecord& record, const std::uint8_t* oid, std::size_t length) {
    return SameOctets(data + record.nameStart, record.nameLength, oid, length);
}

}  // namespace

bool IsSnmpV2Notification(const CommunityMessage& message) {
    return message.read && message.commonLengthForms &&
           (message.pduTag == kInformRequestTag || message.pduTag == kSnmpV2TrapTag);
}

void NotificationPduScan(const std::uint8_t* base, std::size_t pduAt, std::size_t end, NotificationScanResult& out,
                         std::int32_t& equipmentFlag) {
    out.pduTag = 0;
    out.frameError = true;
    out.requestId = out.bindingList = out.errorStatus = out.errorIndex = BerElement{};
    out.requestIdTag = out.bindingListTag = 0;
    out.hasTrapOid = false;
    out.trapOidBinding = 0;
    out.bindingCount = 0;
    out.firstShownBinding = 0;

    BerReader reader(base, end, pduAt);
    BerElement pdu;
    std::uint8_t tag = 0;
    if (!reader.PeekTag(tag) || (tag != kInformRequestTag && tag != kSnmpV2TrapTag)) return;
    out.pduTag = tag;
    if (!reader.ReadElement(kForm, pdu) || !reader.AtEnd()) return;
    BerReader inPdu(base, pdu.End(), pdu.start);
    if (!ReadPart(inPdu, kIntegerTag, out.requestId, out.requestIdTag) ||
        !inPdu.ReadElement(kIntegerTag, kForm, out.errorStatus) ||
        !inPdu.ReadElement(kIntegerTag, kForm, out.errorIndex))
        return;
    if (!ReadPart(inPdu, kSequenceTag, out.bindingList, out.bindingListTag) || !inPdu.AtEnd()) return;
    if (!ReadBindings(base, out.bindingList, out, equipmentFlag)) return;

    // sysUpTime.0 first (optional here), then snmpTrapOID.0 with the trap's
    // identifier as its value.
    std::size_t next = 0;
    if (out.bindingCount > next && NameIs(base, out.bindings[next], kSysUpTime0, sizeof kSysUpTime0)) ++next;
    if (out.bindingCount > next && NameIs(base, out.bindings[next], kSnmpTrapOid0, sizeof kSnmpTrapOid0) &&
        out.bindings[next].valueType == ValueType::ObjectId) {
        out.hasTrapOid = true;
        out.trapOidBinding = next++;
    }
    out.firstShownBinding = next;
    out.frameError = !out.hasTrapOid;
}

void NotificationScan(const std::uint8_t* data, std::size_t size, const CommunityMessage& message,
                      NotificationScanResult& out, std::int32_t& equipmentFlag) {
    // version-2c is 1: a notification PDU under any other version is not an
    // SNMPv2c message.
    if (!message.commonLengthForms || !message.Whole(size) || message.version.length != 1 ||
        data[message.version.start] != 0x01) {
        NotificationPduScan(data, 0, 0, out, equipmentFlag);
        return;
    }
    NotificationPduScan(data, message.pduAt, message.message.End(), out, equipmentFlag);
}

std::int32_t GenericTrapOfIdentifier(const std::uint8_t* content, std::size_t length) {
    if (length == sizeof kSnmpTraps + 1 && StartsWithOctets(content, length, kSnmpTraps, sizeof kSnmpTraps)) {
        const std::uint8_t last = content[sizeof kSnmpTraps];
        if (last >= 1 && last <= 6) return last - 1;
    }
    return kEnterpriseSpecific;
}

}  // namespace quillet
