// The response scan: a tolerant, flat, single forward walk over the BER of
// one datagram received on the response port. It does not build a tree and
// does not check the message structure: it reads the elements one after
// another, steps into constructed ones (SEQUENCE, GetRequest-PDU,
// GetResponse-PDU, SetRequest-PDU), records what the report needs and marks
// a frame error when the walk does not end exactly at the end of the datagram.
// Lengths and numbers are read through BerReader.
//
// Nothing is copied and nothing is allocated: the result holds fixed tables
// of positions (offsets from the first octet of the datagram) and numbers,
// and is meant to be reused for every datagram.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/BerTags.h"
#include "text/CommunityMessage.h"

namespace quillet {

constexpr std::size_t kMaxResponseIntegers = 200;
constexpr std::size_t kMaxResponseOids = 200;
constexpr std::size_t kMaxResponseBindings = 100;

// The tag of a binding's value as recorded by the scan; None when the value
// is NULL or was never met.
enum class ValueType : std::uint8_t {
    None = 0x00,
    Integer = kIntegerTag,
    OctetString = kOctetStringTag,
    ObjectId = kObjectIdTag,
    IpAddress = kIpAddressTag,
    Counter = kCounter32Tag,
    Gauge = kGauge32Tag,
    TimeTicks = kTimeTicksTag,
    Counter64 = kCounter64Tag,
    // The SNMPv2 exception values, which stand in place of a value.
    NoSuchObject = kNoSuchObjectTag,
    NoSuchInstance = kNoSuchInstanceTag,
    EndOfMibView = kEndOfMibViewTag,
};

// The content octets of one OBJECT IDENTIFIER element.
struct OidRef {
    std::size_t start;    // offset of the first content octet
    std::uint8_t length;  // 0..127 (the scan takes OID lengths in the short form only)
};

// One variable binding. Offsets point into the scanned datagram; the scan
// guarantees that start + length never passes its end.
struct BindingRecord {
    std::size_t nameStart;
    std::size_t nameLength;  // 0..127 from the response scan
    ValueType valueType;
    std::int32_t valueLength;  // content length; for the integer family its length octet
    std::size_t valueStart;    // start of the value's content (every type but None)
    std::uint32_t integerValue;  // integer family: ReadNumber's result (the list's reading)
};

struct ResponseScanResult {
    // Every INTEGER, Counter, Gauge and TimeTicks value in order of
    // appearance, as ReadNumber reads it: version, request-id, error-status,
    // error-index, then the binding values of a well-formed response
    // (Counter64 values are not in it). Only the first integerCount
    // entries are meaningful; read through Integer() to get 0 beyond them.
    std::uint32_t integers[kMaxResponseIntegers];
    std::size_t integerCount;
    // Every OBJECT IDENTIFIER element in order: binding names and OID values.
    OidRef oids[kMaxResponseOids];
    std::size_t oidCount;
    BindingRecord bindings[kMaxResponseBindings];
    std::size_t bindingCount;
    // True when the walk stopped on a tag it does not know, on an element
    // that would run past the end, or did not end exactly at the end.
    bool frameError;

    // Entry `index` of the integer list; 0 when the datagram did not supply it.
    std::uint32_t Integer(std::size_t index) const { return index < integerCount ? integers[index] : 0; }
};

// Scans `size` octets at `data` (data may be null when size is 0) into `out`,
// which is rebuilt from scratch. Stepped into: 30, A0, A2, A3. Values: 02,
// 41, 42, 43 and 46 (short-form length), 04 and 40 (short form or 0x80 + n
// read as a number), 06 (short form), 05 (two octets), and the exception
// values 80, 81, 82 with length 0. Anything else ends the walk. Never reads outside [data, data + size),
// never moves backwards and ends after at most size / 2 steps. A table that
// fills up stops recording further entries of its kind while the walk goes
// on, so a long answer still shows its first entries.
//
// This walks the whole datagram, message header included: what the report
// of an answer does when the message's header did not read as the walk
// would read it.
void ResponseScan(const std::uint8_t* data, std::size_t size, ResponseScanResult& out);

// The same walk over the PDU of a message whose header was read already, in
// place: from its tag at `pduAt` to `end` in `base` (the datagram, or the
// plaintext an SNMPv3 message decrypted into), every offset recorded from
// `base`. The integer list starts with `version`, the message's, as the
// whole walk would have recorded it; frameError when the walk does not end
// exactly at `end`.
void ResponsePduScan(const std::uint8_t* base, std::size_t pduAt, std::size_t end, std::uint32_t version,
                     ResponseScanResult& out);

// True when the SNMPv1/v2c message read into `message` lies inside the
// datagram and its PDU is a Response (tag A2) that begins with an INTEGER,
// every header in a definite form inside the datagram; `requestId` is then
// that INTEGER as ReadNumber reads it. Only what is needed to match an
// answer to its request is read.
bool ReadResponseRequestId(const std::uint8_t* data, std::size_t size, const CommunityMessage& message,
                           std::uint32_t& requestId);

}  // namespace quillet
