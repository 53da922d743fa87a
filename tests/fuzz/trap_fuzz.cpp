// Runs the whole trap report over arbitrary datagrams: the scan must stay
// inside the bytes, end, and leave tables the report can use safely.
// Seeds: tests/fuzz/corpus/trap (datagrams captured from net-snmp's snmptrap).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "console/OutputBatch.h"
#include "trap/TrapReport.h"

namespace {

quillet::OutputBatch batch;  // reused, as the listener reuses its batch
quillet::TrapScanResult scratch;

}  // namespace

// The listener carries the equipment flag from one datagram to the next. Each
// input is run from both values the flag can have when it arrives, so what an
// input does depends on its bytes alone and a crash file reproduces on its own.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The listener never receives more than 65,536 bytes.
    if (size > 65536) return 0;
    for (const std::int32_t arriving : {0, 1}) {
        std::int32_t equipmentFlag = arriving;
        batch.Clear();
        quillet::ReportTrap(data, static_cast<int>(size), scratch, equipmentFlag, batch);
        for (int i = 0; i < scratch.stringCount; ++i) {
            const quillet::TrapString& s = scratch.strings[i];
            if (s.length < 0 || s.offset + static_cast<std::size_t>(s.length) > size) std::abort();
        }
        if (scratch.integerCount > quillet::kTrapTableSlots || scratch.stringCount > quillet::kTrapTableSlots)
            std::abort();
        if (equipmentFlag != 0 && equipmentFlag != 1) std::abort();
    }
    return 0;
}
