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
quillet::TrapReportScratch scratch;
std::int32_t equipmentFlag = 0;  // carried from input to input, as in the listener

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The listener never receives more than 65,536 bytes.
    if (size > 65536) return 0;
    batch.Clear();
    quillet::ReportTrap(data, static_cast<int>(size), scratch, equipmentFlag, batch);
    for (int i = 0; i < scratch.v1.stringCount; ++i) {
        const quillet::TrapString& s = scratch.v1.strings[i];
        if (s.length < 0 || s.offset + static_cast<std::size_t>(s.length) > size) std::abort();
    }
    if (scratch.v1.integerCount > quillet::kTrapTableSlots || scratch.v1.stringCount > quillet::kTrapTableSlots) std::abort();
    if (equipmentFlag != 0 && equipmentFlag != 1) std::abort();
    return 0;
}
