// The BER tags of SNMP, one name each, for every scan and every builder.
//
// All of them are one-octet identifiers: the universal types of X.680, the
// application types of SMIv2 (RFC 2578, RFC 1155 for Opaque), the exception
// values of RFC 3416 (context-specific, primitive, always of length 0) and
// the PDUs (context-specific, constructed) of RFC 1157 and RFC 3416.
#pragma once

#include <cstdint>

namespace quillet {

// Universal types.
constexpr std::uint8_t kIntegerTag = 0x02;
constexpr std::uint8_t kOctetStringTag = 0x04;
constexpr std::uint8_t kNullTag = 0x05;
constexpr std::uint8_t kObjectIdTag = 0x06;
constexpr std::uint8_t kSequenceTag = 0x30;

// Application types.
constexpr std::uint8_t kIpAddressTag = 0x40;
constexpr std::uint8_t kCounter32Tag = 0x41;
constexpr std::uint8_t kGauge32Tag = 0x42;  // also Unsigned32
constexpr std::uint8_t kTimeTicksTag = 0x43;
constexpr std::uint8_t kOpaqueTag = 0x44;
constexpr std::uint8_t kCounter64Tag = 0x46;

// Exception values, which stand in a binding in place of a value.
constexpr std::uint8_t kNoSuchObjectTag = 0x80;
constexpr std::uint8_t kNoSuchInstanceTag = 0x81;
constexpr std::uint8_t kEndOfMibViewTag = 0x82;

// PDUs.
constexpr std::uint8_t kGetRequestTag = 0xA0;
constexpr std::uint8_t kGetNextRequestTag = 0xA1;
constexpr std::uint8_t kResponseTag = 0xA2;  // SNMPv1 calls it GetResponse-PDU
constexpr std::uint8_t kSetRequestTag = 0xA3;
constexpr std::uint8_t kTrapPduTag = 0xA4;  // SNMPv1 only
constexpr std::uint8_t kGetBulkRequestTag = 0xA5;
constexpr std::uint8_t kInformRequestTag = 0xA6;
constexpr std::uint8_t kSnmpV2TrapTag = 0xA7;
constexpr std::uint8_t kReportTag = 0xA8;
// Every PDU tag lies in [kFirstPduTag, kLastPduTag].
constexpr std::uint8_t kFirstPduTag = kGetRequestTag;
constexpr std::uint8_t kLastPduTag = kReportTag;

}  // namespace quillet
