// The lines of an SNMPv3 message in a report, sent or received, after the
// report's first line: the header fields, the USM fields, whether it was
// authenticated and encrypted, and its scoped PDU's context. One fact a
// line, indented like the report's other lines, all SummaryLine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output/OutputBatch.h"
#include "output/ReceivedV3Message.h"
#include "snmpv3/MessageOpen.h"
#include "snmpv3/MessageScan.h"
#include "snmpv3/UsmTypes.h"

namespace quillet {

// "  msgID=", "  msgMaxSize=", "  msgFlags=" (hex and the flags' names),
// "  msgSecurityModel=", then "  msgAuthoritativeEngineID=" (hex, "(空)"
// when empty), "  msgAuthoritativeEngineBoots=", "  msgAuthoritativeEngineTime="
// and "  msgUserName=", from `scan` of `datagram`; charged 100.
void AppendV3HeaderLines(const std::uint8_t* datagram, const V3MessageScan& scan, OutputBatch& out);

// Of a message sent: "  認証=" and "  暗号化=" with the protocols, or "なし".
void AppendV3SentSecurityLines(AuthProtocol auth, PrivProtocol priv, bool authenticated, bool encrypted,
                               OutputBatch& out, KeyExtension extension = KeyExtension::Blumenthal);

// Of a message received: the same, "確認済み" after an authentication that
// was checked; when `opened` refused the message, "  USM検証失敗=" and the
// reason (UsmStatusText) instead, and the message's PDU is not to be trusted.
void AppendV3ReceivedSecurityLines(const V3MessageScan& scan, const OpenedV3Message& opened, OutputBatch& out);

// "  contextEngineID=" (hex) and "  contextName=" of a scoped PDU read at
// `base`.
void AppendScopedPduLines(const std::uint8_t* base, const ScopedPduScan& scoped, OutputBatch& out);

// What a report reads and shows of an SNMPv3 datagram
// (output/ReceivedV3Message.h): its bytes as they travelled, `messageLines`,
// and when `opened` opened it, its PDU where it lies and, when it was
// encrypted, its scoped PDU in the clear.
ReceivedV3Message ReceivedV3(const std::uint8_t* datagram, int size, const OutputBatch& messageLines,
                             const V3MessageScan& scan, const OpenedV3Message& opened);

// Octets as upper-case hex pairs with a blank between them.
void AppendHexOctets(std::string& out, const std::uint8_t* octets, std::size_t length);

}  // namespace quillet
