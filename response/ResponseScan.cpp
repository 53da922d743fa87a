#include "response/ResponseScan.h"

#include <cstdint>

#include "response/NumberReader.h"

namespace quillet {

namespace {

constexpr std::uint8_t kLongForm = 0x80;  // length octet 0x80 + n: n length octets follow

}  // namespace

void ResponseScan(const std::uint8_t* data, std::size_t size, ResponseScanResult& out) {
    out.integerCount = 0;
    out.oidCount = 0;
    out.bindingCount = 0;
    out.frameError = false;

    const std::size_t end = size;
    std::size_t pos = 0;
    // Yes once a binding's name has been met and until its value is: the next
    // OBJECT IDENTIFIER is then that value rather than a new name.
    bool awaitingValue = false;
    // The record that values are written into: the last binding whose name
    // was recorded. Names met after the binding table is full are not
    // recorded, and their values must not overwrite the last recorded
    // binding, so it is cleared then.
    BindingRecord* current = nullptr;
    bool stopped = false;

    while (pos < end) {
        const std::uint8_t tag = data[pos];
        // Every element the walk knows has a tag and a length octet.
        if (end - pos < 2) {
            stopped = true;
            break;
        }
        const std::uint8_t lengthOctet = data[pos + 1];
        const std::size_t room = end - pos - 2;  // octets after the length octet

        switch (tag) {
        case 0x30:    // SEQUENCE
        case 0xA0:    // GetRequest-PDU
        case 0xA2:    // GetResponse-PDU
        case 0xA3: {  // SetRequest-PDU
            // Step in: only the header is passed over and the contents are
            // walked next. The declared length is not compared with what
            // follows; a message that does not add up shows as a frame
            // error only through where the walk ends. A long-form 0x80 + n is
            // followed by n length octets that are skipped unread (0x80
            // itself still moves the walk two octets on).
            std::size_t header = 2;
            if (lengthOctet >= kLongForm) {
                const std::size_t n = lengthOctet - kLongForm;
                if (n > room) {
                    stopped = true;
                    break;
                }
                header += n;
            }
            pos += header;
            break;
        }
        case 0x02:    // INTEGER
        case 0x41:    // Counter
        case 0x42:    // Gauge
        case 0x43: {  // TimeTicks
            // Integers are taken with a short-form length only. A long-form
            // length octet would otherwise be read as 128 or more content
            // octets and the rest of the message misread without notice;
            // agents always send minimal lengths here, so such an element
            // ends the walk and the datagram shows as a frame error.
            if (lengthOctet >= kLongForm || lengthOctet > room) {
                stopped = true;
                break;
            }
            // 0 or more than 4 content octets read as 0 (the number reader's
            // rule), and the walk goes on past them.
            const std::uint32_t value = ReadNumber(data + pos + 2, lengthOctet);
            if (out.integerCount < kMaxResponseIntegers) out.integers[out.integerCount++] = value;
            if (current != nullptr) {
                current->valueType = static_cast<ValueType>(tag);
                current->valueLength = lengthOctet;
                current->integerValue = value;
            }
            awaitingValue = false;
            pos += 2 + lengthOctet;
            break;
        }
        case 0x04:    // OCTET STRING
        case 0x40: {  // IpAddress
            std::size_t header = 2;
            std::uint32_t length = lengthOctet;
            if (lengthOctet >= kLongForm) {
                const std::size_t n = lengthOctet - kLongForm;
                if (n > room) {
                    stopped = true;
                    break;
                }
                // The n length octets go through the number reader, so more
                // than four of them (or none, 0x80) give a length of 0 with
                // the content starting after them.
                length = ReadNumber(data + pos + 2, n);
                header += n;
            }
            if (length > end - pos - header || length > static_cast<std::uint32_t>(INT32_MAX)) {
                stopped = true;
                break;
            }
            if (current != nullptr) {
                current->valueType = static_cast<ValueType>(tag);
                current->valueLength = static_cast<std::int32_t>(length);
                current->valueStart = pos + header;
            }
            awaitingValue = false;
            pos += header + length;
            break;
        }
        case 0x05:  // NULL
            // Passed as two octets whatever its length octet says: a NULL
            // with content leaves the walk on its content octet, which then
            // ends it. A binding awaiting its value keeps value type None.
            awaitingValue = false;
            pos += 2;
            break;
        case 0x06: {  // OBJECT IDENTIFIER
            // Short-form length only, for the same reason as the integers.
            if (lengthOctet >= kLongForm || lengthOctet > room) {
                stopped = true;
                break;
            }
            const std::size_t start = pos + 2;
            if (out.oidCount < kMaxResponseOids) out.oids[out.oidCount++] = OidRef{start, lengthOctet};
            if (!awaitingValue) {
                // A binding's name opens a new binding record.
                if (out.bindingCount < kMaxResponseBindings) {
                    current = &out.bindings[out.bindingCount++];
                    *current = BindingRecord{start, lengthOctet, ValueType::None, 0, 0, 0};
                } else {
                    current = nullptr;
                }
                awaitingValue = true;
            } else {
                // An identifier that is a binding's value.
                if (current != nullptr) {
                    current->valueType = ValueType::ObjectId;
                    current->valueLength = lengthOctet;
                    current->valueStart = start;
                }
                awaitingValue = false;
            }
            pos = start + lengthOctet;
            break;
        }
        default:
            // Tags the console does not decode: GetNextRequest-PDU, the
            // SNMPv2 PDUs and exception values (noSuchObject 0x80 ...),
            // Opaque, Counter64 and anything else.
            stopped = true;
            break;
        }
        if (stopped) break;
    }

    out.frameError = stopped || pos != end;
}

}  // namespace quillet
