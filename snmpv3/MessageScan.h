// The scan of an SNMPv3 message with the User-based Security Model (RFC 3412
// 6, RFC 3414 2.4):
//
//   SEQUENCE { msgVersion INTEGER (3),
//              msgGlobalData SEQUENCE { msgID INTEGER, msgMaxSize INTEGER,
//                                       msgFlags OCTET STRING (1 octet),
//                                       msgSecurityModel INTEGER (3) },
//              msgSecurityParameters OCTET STRING holding
//                SEQUENCE { msgAuthoritativeEngineID OCTET STRING,
//                           msgAuthoritativeEngineBoots INTEGER,
//                           msgAuthoritativeEngineTime INTEGER,
//                           msgUserName OCTET STRING,
//                           msgAuthenticationParameters OCTET STRING,
//                           msgPrivacyParameters OCTET STRING },
//              msgData: ScopedPDU SEQUENCE { contextEngineID OCTET STRING,
//                                            contextName OCTET STRING, PDU }
//                       or encryptedPDU OCTET STRING }
//
// The message is read whole: every element inside its parent, every
// container filled exactly by its elements, and nothing after the message.
// Lengths of containers and OCTET STRINGs are read in the short, 81 x and
// 82 hi lo forms (BerReader's ShortOr8182: what net-snmp sends, and enough
// for any UDP datagram); INTEGERs in the short form, 1 to 4 octets.
//
// Nothing is copied or allocated: positions are offsets from the first
// octet of the datagram, meaningful only together with it. A bad datagram
// gives a status, never a read outside it. Nothing here is authenticated:
// OpenV3Message (MessageOpen.h) decides what may be trusted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/BerReader.h"

namespace quillet {

enum class V3ScanStatus : std::uint8_t {
    Ok,
    NotVersion3,        // a whole SEQUENCE { INTEGER ... } whose version is not 3
    Malformed,          // the layout above does not hold (tags, lengths, nesting)
    TrailingOctets,     // octets after the message's SEQUENCE
    ValueOutOfRange,    // msgID, msgMaxSize, boots or time outside their ranges
    InvalidFlags,       // privacy without authentication (RFC 3412 7.2 step 5)
    UnknownSecurityModel,  // msgSecurityModel is not 3; the USM fields are not read
};

// A text for the log: "malformed message", "trailing octets", ...
const char* V3ScanStatusText(V3ScanStatus status);

// A ScopedPDU, read from the datagram or from a decrypted buffer.
struct ScopedPduScan {
    std::size_t at = 0;      // offset of the SEQUENCE's tag
    std::size_t length = 0;  // the ScopedPDU whole, tag to end of content
    BerElement contextEngineId;  // OCTET STRING contents
    BerElement contextName;
    std::size_t pduAt = 0;      // offset of the PDU's tag
    std::size_t pduLength = 0;  // the PDU whole, tag to end of content
    std::uint8_t pduTag = 0;    // A0..A8
    // The PDU's request-id, when its first element is an INTEGER of 1 to 4
    // octets (every SNMPv2 PDU has one there).
    bool hasRequestId = false;
    std::int32_t requestId = 0;
};

// Reads the ScopedPDU SEQUENCE that starts at `start`, which with its
// elements must lie inside `end`; at most `maxTrailing` octets may follow it
// before `end` (the pad of a DES plaintext). The PDU may be any of the
// constructed context tags A0 to A8, and must fill the rest of the
// SEQUENCE. False on any fault, `out` then undefined.
bool ScanScopedPdu(const std::uint8_t* data, std::size_t start, std::size_t end, std::size_t maxTrailing,
                   ScopedPduScan& out);

struct V3MessageScan {
    V3ScanStatus status = V3ScanStatus::Malformed;
    std::int32_t msgId = 0;       // 0..2^31-1
    std::int32_t msgMaxSize = 0;  // 484..2^31-1
    std::uint8_t msgFlags = 0;    // kFlagAuth | kFlagPriv | kFlagReportable (UsmTypes.h)
    std::int32_t securityModel = 0;
    // The USM fields (contents of their OCTET STRINGs); engine ID and user
    // name at most 32 octets.
    BerElement engineId, userName, authParams, privParams;
    std::uint32_t engineBoots = 0, engineTime = 0;  // 0..2^31-1
    // msgData: an encryptedPDU (contents: the ciphertext) when the privacy
    // flag is set, a ScopedPDU otherwise; the tag must agree with the flag.
    bool encrypted = false;
    std::size_t msgDataAt = 0;      // offset of msgData's tag
    std::size_t msgDataLength = 0;  // msgData whole, tag to end of content
    BerElement encryptedPdu;
    ScopedPduScan scoped;  // when not encrypted
};

// Scans `size` octets at `data` into `out` (rebuilt). Every field before
// the first fault is filled; out.status says where the walk stopped.
void ScanV3Message(const std::uint8_t* data, std::size_t size, V3MessageScan& out);

// True when the datagram begins SEQUENCE { INTEGER 3: the messages this
// scan is for, and not the SNMPv1/v2c scans'.
bool IsSnmpV3Message(const std::uint8_t* data, std::size_t size);

}  // namespace quillet
