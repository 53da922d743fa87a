// The output lines of one variable binding of a response.
#pragma once

#include <cstdint>

#include "output/OutputBatch.h"
#include "response/ResponseScan.h"
#include "text/BerReader.h"

namespace quillet {

// Appends to `out`, all as SummaryLine, the lines of `binding`:
//   "  object ID =" + the OID line text of its name, charge 100; then
//   when errorStatus is not 0, "  エラー応答=" + the status name (or its
//   decimal text when it has no name), charge 20, and no value line;
//   otherwise the value line of its type (INTEGER as a signed number,
//   Counter, Gauge and TimeTicks as unsigned 32-bit, Counter64 as unsigned
//   64-bit, each charged 20, a length no valid encoding has showing 0; the
//   exceptions "  応答データ(noSuchObject)", "  応答データ(noSuchInstance)"
//   and "  応答データ(endOfMibView)", charge 20; OCTET STRING header + dump of the
//   content, charge length * 2 + 40; IpAddress, charge length * 2 + 40;
//   OBJECT IDENTIFIER, charge 100), or nothing for a NULL value.
// `datagram` is the scanned datagram the record's offsets refer to; the scan
// has checked that every offset + length lies inside it. Nothing else is read.
// The type a binding's value is recorded with, from its tag: the types the
// binding lines show by name; any other tag (NULL, Opaque, ...) is None, a
// value with no value line.
ValueType BindingValueType(std::uint8_t tag);

// The record of the binding whose name and value elements a scan has read
// from `datagram`: the value's type from its tag, and for the integer family
// its ReadNumber reading.
BindingRecord BindingOf(const std::uint8_t* datagram, const BerElement& name, const BerElement& value);

// `details` (the "詳細表示" check box on) adds the value at a glance: after a
// TimeTicks line its AppendTicksDetail line (none for a length no TimeTicks
// has), after an OCTET STRING's dump its AppendTextDetail line.
void WriteBindingLines(const std::uint8_t* datagram, const BindingRecord& binding, std::int32_t errorStatus,
                       OutputBatch& out, bool details = false);

}  // namespace quillet
