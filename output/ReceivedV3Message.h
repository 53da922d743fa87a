// An SNMPv3 message received, as a report reads and shows it: the datagram
// as it travelled (its size in the first line, and its dump), its PDU where
// it lies (in the datagram, or in the buffer an encrypted scoped PDU was
// decrypted into), the lines of its message header (after the first line
// and the details), and the decrypted scoped PDU for a second dump when it
// was encrypted.
//
// It holds pointers only: the datagram, the plaintext and the lines must
// outlive the report that reads them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output/OutputBatch.h"

namespace quillet {

struct ReceivedV3Message {
    const std::uint8_t* bytes = nullptr;
    int size = 0;
    // The PDU, tag to end: [pduAt, pduEnd) of pduBase. Empty (pduBase null)
    // when the message did not open.
    const std::uint8_t* pduBase = nullptr;
    std::size_t pduAt = 0;
    std::size_t pduEnd = 0;
    const OutputBatch* messageLines = nullptr;
    const std::uint8_t* plain = nullptr;  // null: not encrypted, or not decrypted
    std::size_t plainSize = 0;
};

// "  復号したscopedPDU=" and the dump of the decrypted scoped PDU, PduLine,
// when there is one.
inline void AppendPlainDump(const ReceivedV3Message& message, OutputBatch& out) {
    if (message.plain == nullptr) return;
    out.WriteLine("  復号したscopedPDU=", PduLine);
    out.DumpPdu(message.plain, message.plainSize, PduLine);
}

}  // namespace quillet
