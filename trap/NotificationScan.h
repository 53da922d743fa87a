// The decoding of a notification received on the trap port: an
// SNMPv2-Trap-PDU (tag A7) or an InformRequest-PDU (tag A6), in an SNMPv2c
// message or in an SNMPv3 message's scoped PDU.
//
// Unlike the flat trap scan, this reads the PDU as RFC 3416 lays it out:
//   A7 or A6 { request-id, error-status, error-index INTEGER,
//              SEQUENCE OF SEQUENCE { name OID, value } }
// every length in the short, 81 or 82 form (BerReader), each element inside
// its container and the PDU filling what holds it exactly; the first two
// bindings are sysUpTime.0 and snmpTrapOID.0. In SNMPv2c the message around
// it must be whole too:
//   SEQUENCE { version INTEGER (1), community OCTET STRING, PDU }
// ending exactly at the end of the datagram. An inform is acknowledged only
// when all of this holds, since the acknowledgement repeats its parts.
//
// Nothing is copied or allocated: the result holds offsets into the buffer
// the PDU was read from and is meaningful only together with it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "response/ResponseScan.h"
#include "text/BerReader.h"
#include "text/BerTags.h"
#include "text/CommunityMessage.h"

namespace quillet {

constexpr std::size_t kMaxNotificationBindings = 100;

struct NotificationScanResult {
    std::uint8_t pduTag;  // A6 or A7
    // The message did not decode as laid out above (structure, lengths, or
    // no snmpTrapOID.0 with an OBJECT IDENTIFIER value among the first two
    // bindings).
    bool frameError;
    // The PDU's elements an acknowledgement repeats, whole (tag to end of
    // content); an SNMPv2c acknowledgement repeats the message's version
    // and community too (CommunityMessage).
    BerElement requestId, bindingList;
    std::size_t requestIdTag, bindingListTag;  // offsets of their tags
    // The two INTEGERs an acknowledgement replaces with zeros (content only).
    BerElement errorStatus, errorIndex;
    // The value of snmpTrapOID.0 (the trap's identifier) when found.
    bool hasTrapOid;
    std::size_t trapOidBinding;  // index in `bindings` of snmpTrapOID.0
    // Every binding in order, sysUpTime.0 and snmpTrapOID.0 included; value
    // types the console does not show (NULL, Opaque, ...) are None. Past
    // kMaxNotificationBindings the walk goes on without recording.
    BindingRecord bindings[kMaxNotificationBindings];
    std::size_t bindingCount;
    std::size_t firstShownBinding;  // the first binding after sysUpTime.0 and snmpTrapOID.0
};

// True when the SNMPv1/v2c message `message` has a PDU tagged A6 or A7,
// its headers in the length forms read here (short, 81, 82): such datagrams
// are decoded by NotificationScan; every other one by the SNMPv1 trap scan.
bool IsSnmpV2Notification(const CommunityMessage& message);

// Decodes the SNMPv2c message read into `message` from the `size` octets at
// `data` into `out` (rebuilt): the message whole and of version 1, then its
// PDU as NotificationPduScan reads it. `equipmentFlag` is set by every
// OBJECT IDENTIFIER met (names and values), 1 when it lies under the
// equipment prefix, as the trap scan does, and kept when none is met.
// Never reads outside the datagram and allocates nothing.
void NotificationScan(const std::uint8_t* data, std::size_t size, const CommunityMessage& message,
                      NotificationScanResult& out, std::int32_t& equipmentFlag);

// Decodes the PDU at `pduAt` in `base`, which must fill [pduAt, end)
// exactly, into `out` (rebuilt), where it lies: an SNMPv3 message's, in the
// datagram or in the plaintext it was decrypted into. `equipmentFlag` as
// above.
void NotificationPduScan(const std::uint8_t* base, std::size_t pduAt, std::size_t end, NotificationScanResult& out,
                         std::int32_t& equipmentFlag);

// The trap's generic number from its identifier: 1.3.6.1.6.3.1.1.5.1 to .6
// give 0 (coldStart) to 5 (egpNeighborLoss); any other identifier gives 6
// (enterpriseSpecific).
std::int32_t GenericTrapOfIdentifier(const std::uint8_t* content, std::size_t length);

}  // namespace quillet
