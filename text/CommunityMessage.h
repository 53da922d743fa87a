// The message of SNMPv1 and SNMPv2c (RFC 1157, RFC 1901), read up to its
// PDU:
//   SEQUENCE { version INTEGER, community OCTET STRING, PDU }
// The read leaves a cursor on the PDU, from which the PDU's own scan (an
// answer's, a trap's, a notification's) goes on in the same datagram.
//
// The three headers are read in any definite length form (BerReader's
// Definite), the version and the community each inside the datagram. The
// SEQUENCE's length is only read, not held to the datagram: the scans that
// need the message whole ask Whole(), and the tolerant walk of an answer
// does not ask at all. Nothing is copied: positions are offsets from the
// first octet of the datagram.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/BerReader.h"

namespace quillet {

struct CommunityMessage {
    // The SEQUENCE's header, the version and the community were read.
    // Everything below is meaningful only then.
    bool read = false;
    BerElement message;  // the SEQUENCE: its content as its length declares it
    BerElement version, community;
    std::size_t versionTag = 0, communityTag = 0;  // offsets of their tags
    // The version as BerReader's ReadNumber reads it (0 for more than four
    // content octets).
    std::uint32_t versionNumber = 0;
    // The PDU's tag: where the PDU's scan starts. pduTag is 0 when the
    // datagram ends after the community.
    std::size_t pduAt = 0;
    std::uint8_t pduTag = 0;
    // Every length field of the three is short, 81 x or 82 hi lo, as net-snmp
    // writes them (the notification decoding takes no other).
    bool commonLengthForms = false;
    // The version's length field is the one octet below 0x80 (the answer's
    // walk takes INTEGERs in no other form).
    bool versionShortForm = false;

    // The SEQUENCE ends exactly at the end of a datagram of `size` octets.
    bool Whole(std::size_t size) const { return read && message.End() == size; }
    // Its declared content does not pass the end of the datagram.
    bool Inside(std::size_t size) const { return read && message.End() <= size; }
};

// Reads `size` octets at `data` (data may be null when size is 0) into
// `out`, rebuilt. Never reads outside the datagram.
void ReadCommunityMessage(const std::uint8_t* data, std::size_t size, CommunityMessage& out);

}  // namespace quillet
