// Report-PDUs (tag A8, RFC 3412 7.1 and RFC 3414 3.2): the counters they
// carry, by name, so that a Report can be shown as "usmStatsWrongDigests =
// 3", and the Report-PDU an authoritative engine answers with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "snmpv3/MessageOpen.h"
#include "text/BerTags.h"

namespace quillet {

// The six usmStats counters, numbered as their arcs under
// usmStats (1.3.6.1.6.3.15.1.1): usmStatsUnsupportedSecLevels.0 is .1.0.
enum class UsmStatsCounter : std::uint8_t {
    UnsupportedSecLevels = 1,
    NotInTimeWindows = 2,
    UnknownUserNames = 3,
    UnknownEngineIds = 4,
    WrongDigests = 5,
    DecryptionErrors = 6,
};

// The name of the counter whose OBJECT IDENTIFIER has these content octets:
// the six usmStats counters (1.3.6.1.6.3.15.1.1.1.0 to .6.0) and the MPD
// and target counters a Report may carry as well (snmpUnknownSecurityModels,
// snmpInvalidMsgs, snmpUnknownPDUHandlers, snmpUnavailableContexts,
// snmpUnknownContexts). Null for any other identifier.
const char* ReportCounterName(const std::uint8_t* oid, std::size_t length);

// The counter a failure of OpenV3Message is reported with; false for Ok and
// ParseError, which get no Report.
bool CounterOfStatus(UsmStatus status, UsmStatsCounter& counter);

// The text of a Report-PDU (tag to end, `length` octets at `pdu`): its
// first binding as "name = value", the name from ReportCounterName or else
// the dotted identifier, the value a Counter32 or INTEGER in decimal. Empty
// when the PDU is not a Report or has no such binding.
std::string ReportText(const std::uint8_t* pdu, std::size_t length);

// Writes Report-PDU A8 { requestId, 0, 0, { { counter.0, Counter32 value } } }
// and returns its length; 0 when `capacity` is too small.
std::size_t BuildReportPdu(std::int32_t requestId, UsmStatsCounter counter, std::uint32_t value, std::uint8_t* out,
                           std::size_t capacity);

// Writes the Response-PDU (A2) that acknowledges the InformRequest-PDU (A6)
// `informPdu`: its request-id and bindings copied octet for octet,
// error-status and error-index 0, the shortest length forms. Returns its
// length; 0 when `informPdu` is not a whole A6 { INTEGER, INTEGER, INTEGER,
// SEQUENCE } or `capacity` is too small.
std::size_t BuildResponsePduForInform(const std::uint8_t* informPdu, std::size_t length, std::uint8_t* out,
                                      std::size_t capacity);

}  // namespace quillet
