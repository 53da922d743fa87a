#include "ping/IcmpEcho.h"

#include <cstring>

namespace quillet {
namespace {

constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::size_t kMinimumIpHeaderSize = 20;
// The size a reply line shows is the ICMP message less 12 bytes: 28 for
// the 40-byte echo of a run.
constexpr int kShownSizeAdjustment = 12;

int ReadLittleEndian16(const std::uint8_t* at) { return at[0] | (at[1] << 8); }

constexpr int kEchoReplyType = 0;
constexpr int kEchoReplyTypeV6 = 129;

int EchoReplyType(IcmpFamily family) { return family == IcmpFamily::V6 ? kEchoReplyTypeV6 : kEchoReplyType; }

EchoReading ClassifyType(int type, IcmpFamily family) {
    EchoReading reading;
    reading.type = type;
    const bool v6 = family == IcmpFamily::V6;
    if (type == EchoReplyType(family))
        reading.verdict = EchoVerdict::NoLine;
    else if (type == (v6 ? 1 : 3))
        reading.verdict = EchoVerdict::Unreachable;
    else if (type == (v6 ? 3 : 11))
        reading.verdict = EchoVerdict::TimeExceeded;
    else
        reading.verdict = EchoVerdict::OtherType;
    return reading;
}

}  // namespace

std::uint16_t IcmpChecksum(const std::uint8_t* data, int length) {
    if (data == nullptr || length < 0) length = 0;
    // A 64-bit sum cannot overflow for any int length; folding until no carry
    // is left gives the same result as the two folds of a 32-bit sum wherever
    // that one does not overflow.
    std::uint64_t sum = 0;
    int i = 0;
    for (; i + 1 < length; i += 2) sum += ReadLittleEndian16(data + i);
    if (i < length) sum += data[i];
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

IcmpFamily IcmpFamilyOf(std::string_view addressText) {
    return addressText.find(':') != std::string_view::npos ? IcmpFamily::V6 : IcmpFamily::V4;
}

std::size_t BuildEchoRequest(std::uint8_t* buffer, std::size_t capacity, int size, int sequence, int identifier,
                             IcmpFamily family) {
    if (buffer == nullptr || size < static_cast<int>(kIcmpHeaderSize) || static_cast<std::size_t>(size) > capacity) return 0;
    buffer[0] = family == IcmpFamily::V6 ? 128 : 8;
    buffer[1] = 0;
    buffer[2] = 0;
    buffer[3] = 0;
    buffer[4] = static_cast<std::uint8_t>(identifier & 0xFF);
    buffer[5] = static_cast<std::uint8_t>((identifier >> 8) & 0xFF);
    buffer[6] = static_cast<std::uint8_t>(sequence & 0xFF);
    buffer[7] = static_cast<std::uint8_t>((sequence >> 8) & 0xFF);
    std::memset(buffer + kIcmpHeaderSize, kEchoDataByte, static_cast<std::size_t>(size) - kIcmpHeaderSize);
    if (family == IcmpFamily::V6) return static_cast<std::size_t>(size);
    const std::uint16_t checksum = IcmpChecksum(buffer, size);
    buffer[2] = static_cast<std::uint8_t>(checksum & 0xFF);
    buffer[3] = static_cast<std::uint8_t>(checksum >> 8);
    return static_cast<std::size_t>(size);
}

EchoReading ReadEchoReplyWithIpHeader(const std::uint8_t* data, std::size_t length, int echoNumber) {
    if (data == nullptr || length < kMinimumIpHeaderSize) return {};
    const std::size_t headerLength = static_cast<std::size_t>(data[0] & 0x0F) * 4;
    if (headerLength < kMinimumIpHeaderSize || length <= headerLength) return {};
    const std::uint8_t* icmp = data + headerLength;
    const std::size_t icmpLength = length - headerLength;

    EchoReading reading = ClassifyType(icmp[0], IcmpFamily::V4);
    if (reading.type != kEchoReplyType) return reading;
    if (icmpLength < kIcmpHeaderSize) return {};
    if (ReadLittleEndian16(icmp + 4) != (echoNumber & 0xFFFF)) return reading;
    const int totalLength = (data[2] << 8) | data[3];
    reading.verdict = EchoVerdict::Reply;
    reading.bytes = totalLength - static_cast<int>(headerLength) - kShownSizeAdjustment;
    reading.ttl = data[8];
    return reading;
}

EchoReading ReadEchoReplyWithoutIpHeader(const std::uint8_t* data, std::size_t length, int echoNumber, int ttl,
                                         IcmpFamily family) {
    if (data == nullptr || length == 0) return {};
    EchoReading reading = ClassifyType(data[0], family);
    if (reading.type != EchoReplyType(family)) return reading;
    if (length < kIcmpHeaderSize) return {};
    if (ReadLittleEndian16(data + 6) != (echoNumber & 0xFFFF)) return reading;
    reading.verdict = EchoVerdict::Reply;
    reading.bytes = static_cast<int>(length) - kShownSizeAdjustment;
    reading.ttl = ttl;
    return reading;
}

EchoReading ReadIcmpErrorReport(int type, IcmpFamily family) { return ClassifyType(type, family); }

std::optional<std::string> EchoReadingLine(const EchoReading& reading, std::string_view addressText, int elapsedMs) {
    switch (reading.verdict) {
    case EchoVerdict::NoLine: return std::nullopt;
    case EchoVerdict::Reply: {
        std::string line = "Reply from ";
        line += addressText;
        line += " bytes=" + std::to_string(reading.bytes);
        line += " time=" + std::to_string(elapsedMs) + "ms";
        line += " TTL=" + std::to_string(reading.ttl);
        return line;
    }
    case EchoVerdict::Unreachable: return std::string(kUnreachableLine);
    case EchoVerdict::TimeExceeded: return std::string(kTimeExceededLine);
    case EchoVerdict::OtherType: return "CMTP TYPE=" + std::to_string(reading.type);
    }
    return std::nullopt;
}

std::string PingingLine(std::string_view addressText, int size) {
    std::string line = "Pinging [";
    line += addressText;
    line += "] with " + std::to_string(size) + " bytes of data:";
    return line;
}

}  // namespace quillet
