// What a report shows of a datagram that came as an SNMPv3 message, whose
// PDU the report reads from a SNMPv2c-shaped copy: the size and the bytes of
// the datagram as it travelled (its first line and its dump), the lines of
// its message header (after the first line and the details), and the
// decrypted scoped PDU for a second dump when it was encrypted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output/OutputBatch.h"

namespace quillet {

struct ShownDatagram {
    const std::uint8_t* bytes = nullptr;
    int size = 0;
    const OutputBatch* messageLines = nullptr;
    const std::uint8_t* plain = nullptr;  // null: not encrypted
    std::size_t plainSize = 0;
};

// "  復号したscopedPDU=" and the dump of the decrypted scoped PDU, PduLine,
// when there is one.
inline void AppendPlainDump(const ShownDatagram& shown, OutputBatch& out) {
    if (shown.plain == nullptr) return;
    out.WriteLine("  復号したscopedPDU=", PduLine);
    out.DumpPdu(shown.plain, shown.plainSize, PduLine);
}

}  // namespace quillet
