// The report of one datagram received on the trap port: scan it, count it
// and append its lines to an output batch.
#pragma once

#include <cstdint>

#include "console/OutputBatch.h"
#include "trap/TrapScan.h"

namespace quillet {

// Scans `size` octets at `datagram` into `scratch` (overwritten; a reused
// table, so that a listener allocates nothing per datagram) and appends to
// `out`, in this order:
//   - CountDatagram(Counter::Trap);
//   - "TRAP受信  SIZE=<size>" and "  TRAP-TYPE=<generic-trap name>"
//     (SummaryLine; a generic-trap without a name shows its decimal value);
//   - "  受信DATA=" and the dump of the whole datagram (PduLine), then
//     ChargeOutput(100);
//   - for an enterprise-specific trap (generic-trap 6) only: the frame-error
//     line when the walk failed; else the five equipment alarm lines when
//     `equipmentFlag` is 1; else one "  応答データ(int)=" line per INTEGER
//     binding value (charged 30 each), then per OCTET STRING binding value
//     its size line and its dump (SummaryLine, charged 2 × length + 40).
// Nothing is cleared from `out`: the lines are added after what it holds.
//
// `equipmentFlag` is the process-wide equipment flag, read and updated by
// the scan. It is a plain reference so that the core stays free of threads:
// the listener, which alone writes the flag, keeps it in a
// std::atomic<std::int32_t> that the response side may read, loads it into
// a local, passes the local here and stores it back after the call.
//
// A negative size (a failed receive) is reported as an empty datagram.
// `datagram` may be null when size is 0.
void ReportTrap(const std::uint8_t* datagram, int size, TrapScanResult& scratch, std::int32_t& equipmentFlag,
                OutputBatch& out);

}  // namespace quillet
