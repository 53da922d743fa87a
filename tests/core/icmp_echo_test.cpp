// The echo checksum, the echo request bytes and the reading of answers, from
// hand-written datagrams.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ping/IcmpEcho.h"

namespace quillet {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "45 00 3C" -> bytes; a run of blanks separates them.
Bytes Hex(const std::string& text) {
    Bytes bytes;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kThirtyTwoX(32, 0x58);

// RFC 1071 as written there: 16-bit words in network order, carries folded,
// ones' complement; a last odd byte is padded with a zero byte. Returns the
// two checksum bytes as they go on the wire.
Bytes ReferenceChecksumBytes(const Bytes& data) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < data.size(); i += 2) {
        const std::uint32_t high = data[i];
        const std::uint32_t low = i + 1 < data.size() ? data[i + 1] : 0;
        sum += (high << 8) | low;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    const std::uint16_t checksum = static_cast<std::uint16_t>(~sum);
    return {static_cast<std::uint8_t>(checksum >> 8), static_cast<std::uint8_t>(checksum & 0xFF)};
}

// The checksum as it is stored by the echo request: low byte first.
Bytes StoredChecksumBytes(const Bytes& data) {
    const std::uint16_t value = IcmpChecksum(data.data(), static_cast<int>(data.size()));
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

TEST(IcmpChecksum, KnownMessagesGiveTheirHandComputedWireBytes) {
    struct Case {
        const char* name;
        Bytes message;
        Bytes wire;
    };
    const Case cases[] = {
        // The worked example of RFC 1071: sum 2DDF0, folded DDF2.
        {"rfc1071 example", Hex("00 01 F2 03 F4 F5 F6 F7"), Hex("22 0D")},
        // Odd length: 0102 + 0300 = 0402.
        {"odd length three bytes", Hex("01 02 03"), Hex("FB FD")},
        {"single byte counts as high byte", Hex("FF"), Hex("00 FF")},
        // FFFF + FFFF = 1FFFE, folded FFFF, complement 0000.
        {"carry is folded back", Hex("FF FF FF FF"), Hex("00 00")},
        {"empty message", Bytes{}, Hex("FF FF")},
        // Echo request 0 of a run with its checksum field zero:
        // 0800 + 16 * 5858 = 58D80, folded 8D85.
        {"echo request 0", Concat(Hex("08 00 00 00 00 00 00 00"), kThirtyTwoX), Hex("72 7A")},
        // Echo request 1 has 0100 twice more: 58F80, folded 8F85.
        {"echo request 1", Concat(Hex("08 00 00 00 01 00 01 00"), kThirtyTwoX), Hex("70 7A")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StoredChecksumBytes(c.message), c.wire) << c.name;
        EXPECT_EQ(ReferenceChecksumBytes(c.message), c.wire) << c.name << " (reference)";
    }
}

TEST(IcmpChecksum, AgreesWithStraightforwardRfc1071OnEveryLengthUpTo64) {
    // Bytes chosen so that both halves of every word vary and carries occur.
    Bytes data;
    for (int i = 0; i < 64; ++i) data.push_back(static_cast<std::uint8_t>(i * 37 + 0xA5));
    for (std::size_t length = 0; length <= data.size(); ++length) {
        const Bytes message(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(StoredChecksumBytes(message), ReferenceChecksumBytes(message)) << "length " << length;
    }
}

TEST(IcmpChecksum, NullOrNegativeLengthIsTheEmptyMessage) {
    const std::uint8_t byte = 0x12;
    EXPECT_EQ(IcmpChecksum(nullptr, 8), 0xFFFF);
    EXPECT_EQ(IcmpChecksum(&byte, -1), 0xFFFF);
}

TEST(BuildEchoRequest, FortyByteRequestsOfARunByteForByte) {
    struct Case {
        int number;
        Bytes header;
        IcmpFamily family = IcmpFamily::V4;
    };
    const Case cases[] = {
        {0, Hex("08 00 72 7A 00 00 00 00")},
        {1, Hex("08 00 70 7A 01 00 01 00")},
        {2, Hex("08 00 6E 7A 02 00 02 00")},
        // ICMPv6 (RFC 4443 4.1): type 128, the checksum the kernel's to write.
        {2, Hex("80 00 00 00 02 00 02 00"), IcmpFamily::V6},
    };
    for (const Case& c : cases) {
        std::uint8_t buffer[kEchoBufferSize];
        std::fill(std::begin(buffer), std::end(buffer), 0xEE);
        ASSERT_EQ(BuildEchoRequest(buffer, sizeof buffer, 40, c.number, c.number, c.family), 40u);
        EXPECT_EQ(Bytes(buffer, buffer + 40), Concat(c.header, kThirtyTwoX)) << "echo " << c.number;
        EXPECT_EQ(buffer[40], 0xEE) << "wrote past the message";
    }
}

TEST(BuildEchoRequest, IdentifierAndSequenceAreLeastSignificantByteFirstAndApart) {
    std::uint8_t buffer[16];
    // 8-byte message: 0800 + 0201 + 0403 = 0E04.
    ASSERT_EQ(BuildEchoRequest(buffer, sizeof buffer, 8, 0x0304, 0x0102), 8u);
    EXPECT_EQ(Bytes(buffer, buffer + 8), Hex("08 00 F1 FB 02 01 04 03"));
}

TEST(BuildEchoRequest, RefusesSizesThatDoNotFitAndLeavesTheBuffer) {
    std::uint8_t buffer[40];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(BuildEchoRequest(buffer, sizeof buffer, 41, 0, 0), 0u);
    EXPECT_EQ(BuildEchoRequest(buffer, sizeof buffer, 7, 0, 0), 0u);
    EXPECT_EQ(BuildEchoRequest(buffer, sizeof buffer, -40, 0, 0), 0u);
    EXPECT_EQ(BuildEchoRequest(nullptr, 40, 40, 0, 0), 0u);
    EXPECT_EQ(Bytes(buffer, buffer + 40), Bytes(40, 0xEE));
}

// A reply from 192.0.2.2 to 192.0.2.1 as a raw socket hands it over:
// 20-byte IPv4 header (total length 60, TTL 64, protocol 1) and the echo
// reply with identifier and sequence 1.
const Bytes kIpHeader60Ttl64 = Hex("45 00 00 3C 1A 2B 00 00 40 01 00 00 C0 00 02 02 C0 00 02 01");
const Bytes kReplyFor1 = Concat(Hex("00 00 70 7A 01 00 01 00"), kThirtyTwoX);

std::optional<std::string> RawLine(const Bytes& datagram, int echoNumber) {
    return EchoReadingLine(ReadEchoReplyWithIpHeader(datagram.data(), datagram.size(), echoNumber), "192.0.2.2", 7);
}

TEST(ReadEchoReplyWithIpHeader, LineByTypeAndIdentifier) {
    // A time-exceeded or unreachable message quotes the IP header and the
    // first 8 bytes of our request.
    const Bytes quoted = Concat(Hex("45 00 00 3C 00 01 00 00 01 01 00 00 C0 00 02 01 C0 00 02 02"),
                                Hex("08 00 70 7A 01 00 01 00"));
    struct Case {
        const char* name;
        Bytes datagram;
        int echoNumber;
        std::optional<std::string> line;
        IcmpFamily family = IcmpFamily::V4;
    };
    const Case cases[] = {
        {"reply to this echo", Concat(kIpHeader60Ttl64, kReplyFor1), 1,
         "Reply from 192.0.2.2 bytes=28 time=7ms TTL=64"},
        {"reply to another echo", Concat(kIpHeader60Ttl64, kReplyFor1), 2, std::nullopt},
        {"identifier read low byte first",
         Concat(kIpHeader60Ttl64, Concat(Hex("00 00 70 7A 00 01 01 00"), kThirtyTwoX)), 1, std::nullopt},
        {"identifier 256 matches 00 01",
         Concat(kIpHeader60Ttl64, Concat(Hex("00 00 70 7A 00 01 01 00"), kThirtyTwoX)), 256,
         "Reply from 192.0.2.2 bytes=28 time=7ms TTL=64"},
        {"sequence is not looked at",
         Concat(kIpHeader60Ttl64, Concat(Hex("00 00 70 7A 01 00 07 00"), kThirtyTwoX)), 1,
         "Reply from 192.0.2.2 bytes=28 time=7ms TTL=64"},
        {"header with options: 24 bytes, TTL 128",
         Concat(Hex("46 00 00 40 1A 2B 00 00 80 01 00 00 C0 00 02 02 C0 00 02 01 01 01 01 00"), kReplyFor1), 1,
         "Reply from 192.0.2.2 bytes=28 time=7ms TTL=128"},
        {"total length read high byte first",
         Concat(Hex("45 00 05 DC 1A 2B 00 00 FF 01 00 00 C0 00 02 02 C0 00 02 01"), kReplyFor1), 1,
         "Reply from 192.0.2.2 bytes=1468 time=7ms TTL=255"},
        {"destination unreachable", Concat(Concat(kIpHeader60Ttl64, Hex("03 01 FC FE 00 00 00 00")), quoted), 1,
         "Distnation Unreacheble."},
        {"time exceeded", Concat(Concat(kIpHeader60Ttl64, Hex("0B 00 F4 FF 00 00 00 00")), quoted), 1, "TTL"},
        {"own request seen on loopback", Concat(kIpHeader60Ttl64, Concat(Hex("08 00 70 7A 01 00 01 00"), kThirtyTwoX)),
         1, "CMTP TYPE=8"},
        {"redirect", Concat(kIpHeader60Ttl64, Hex("05 01 00 00 C0 00 02 09")), 0, "CMTP TYPE=5"},
        {"type 255 is unsigned", Concat(kIpHeader60Ttl64, Hex("FF")), 0, "CMTP TYPE=255"},
        {"unreachable with only its type byte", Concat(kIpHeader60Ttl64, Hex("03")), 0, "Distnation Unreacheble."},
    };
    for (const Case& c : cases) EXPECT_EQ(RawLine(c.datagram, c.echoNumber), c.line) << c.name;
}

TEST(ReadEchoReplyWithIpHeader, DatagramsTooShortToReadGiveNoLine) {
    const Bytes full = Concat(kIpHeader60Ttl64, kReplyFor1);
    struct Case {
        const char* name;
        Bytes datagram;
    };
    const Case cases[] = {
        {"empty", Bytes{}},
        {"19 bytes of header", Bytes(full.begin(), full.begin() + 19)},
        {"header without a message", Bytes(full.begin(), full.begin() + 20)},
        {"reply cut inside its identifier", Bytes(full.begin(), full.begin() + 25)},
        {"reply of 7 bytes", Bytes(full.begin(), full.begin() + 27)},
        {"header length below 5 words", Concat(Hex("44 00 00 3C 1A 2B 00 00 40 01 00 00 C0 00 02 02"), Concat(Hex("C0 00 02 01"), kReplyFor1))},
        {"header length 60 past the datagram", Concat(Hex("4F 00 00 3C 1A 2B 00 00 40 01 00 00 C0 00 02 02 C0 00 02 01"), kReplyFor1)},
    };
    for (const Case& c : cases) {
        const EchoReading reading = ReadEchoReplyWithIpHeader(c.datagram.data(), c.datagram.size(), 1);
        EXPECT_EQ(reading.verdict, EchoVerdict::NoLine) << c.name;
        EXPECT_EQ(EchoReadingLine(reading, "192.0.2.2", 7), std::nullopt) << c.name;
    }
    EXPECT_EQ(ReadEchoReplyWithIpHeader(nullptr, 60, 1).verdict, EchoVerdict::NoLine);
}

// The unprivileged echo socket hands over the ICMP message alone, with the
// kernel's identifier (here 4F9A) in place of ours; TTL comes beside it.
TEST(ReadEchoReplyWithoutIpHeader, MatchedBySequenceWithTheSameLines) {
    struct Case {
        const char* name;
        Bytes datagram;
        int echoNumber;
        std::optional<std::string> line;
        IcmpFamily family = IcmpFamily::V4;
    };
    const Case cases[] = {
        {"reply to this echo", Concat(Hex("00 00 C1 2A 9A 4F 02 00"), kThirtyTwoX), 2,
         "Reply from 192.0.2.2 bytes=28 time=7ms TTL=64"},
        {"reply to another echo", Concat(Hex("00 00 C1 2A 9A 4F 01 00"), kThirtyTwoX), 2, std::nullopt},
        {"sequence read low byte first", Concat(Hex("00 00 C1 2A 9A 4F 00 02"), kThirtyTwoX), 2, std::nullopt},
        {"identifier equal to the echo is not enough", Concat(Hex("00 00 C1 2A 02 00 01 00"), kThirtyTwoX), 2,
         std::nullopt},
        {"reply of 7 bytes", Hex("00 00 C1 2A 9A 4F 02"), 2, std::nullopt},
        {"empty", Bytes{}, 0, std::nullopt},
        {"unreachable", Hex("03 03 00 00 00 00 00 00"), 0, "Distnation Unreacheble."},
        {"time exceeded", Hex("0B"), 0, "TTL"},
        {"other type", Hex("0D 00 00 00"), 0, "CMTP TYPE=13"},
        // ICMPv6 (RFC 4443): every ICMPv6 socket hands the message alone.
        {"ICMPv6 reply to this echo", Concat(Hex("81 00 C1 2A 9A 4F 02 00"), kThirtyTwoX), 2,
         "Reply from 192.0.2.2 bytes=28 time=7ms TTL=64", IcmpFamily::V6},
        {"ICMPv6 reply to another echo", Concat(Hex("81 00 C1 2A 9A 4F 01 00"), kThirtyTwoX), 2, std::nullopt,
         IcmpFamily::V6},
        {"an ICMP reply type taken for ICMPv6's", Concat(Hex("00 00 C1 2A 9A 4F 02 00"), kThirtyTwoX), 2,
         "CMTP TYPE=0", IcmpFamily::V6},
        {"ICMPv6 unreachable", Hex("01 04 00 00 00 00 00 00"), 0, "Distnation Unreacheble.", IcmpFamily::V6},
        {"ICMPv6 time exceeded read as ICMP's 3", Hex("03 00 00 00"), 0, "TTL", IcmpFamily::V6},
        {"ICMPv6 packet too big", Hex("02 00 00 00 00 00 05 00"), 0, "CMTP TYPE=2", IcmpFamily::V6},
    };
    for (const Case& c : cases) {
        const EchoReading reading =
            ReadEchoReplyWithoutIpHeader(c.datagram.data(), c.datagram.size(), c.echoNumber, 64, c.family);
        EXPECT_EQ(EchoReadingLine(reading, "192.0.2.2", 7), c.line) << c.name;
    }
}

TEST(ReadEchoReplyWithoutIpHeader, ShownSizeIsTheIcmpLengthLessTwelve) {
    const Bytes big = Concat(Hex("00 00 C1 2A 9A 4F 00 00"), Bytes(1472, 0x58));
    EXPECT_EQ(ReadEchoReplyWithoutIpHeader(big.data(), big.size(), 0, 1).bytes, 1468);
}

TEST(ReadIcmpErrorReport, ErrorsBesideTheDatagramsGiveTheirTypeLines) {
    struct Case {
        int type;
        std::optional<std::string> line;
        IcmpFamily family = IcmpFamily::V4;
    };
    const Case cases[] = {
        {3, "Distnation Unreacheble."},
        {11, "TTL"},
        {12, "CMTP TYPE=12"},
        {0, std::nullopt},
        {1, "Distnation Unreacheble.", IcmpFamily::V6},
        {3, "TTL", IcmpFamily::V6},
        {4, "CMTP TYPE=4", IcmpFamily::V6},
        {129, std::nullopt, IcmpFamily::V6},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EchoReadingLine(ReadIcmpErrorReport(c.type, c.family), "x", 0), c.line) << c.type;
}

TEST(EchoReadingLine, AddressTextAndElapsedAsGiven) {
    EchoReading reply;
    reply.verdict = EchoVerdict::Reply;
    reply.bytes = 28;
    reply.ttl = 64;
    EXPECT_EQ(EchoReadingLine(reply, "", 0), "Reply from  bytes=28 time=0ms TTL=64");
    EXPECT_EQ(EchoReadingLine(reply, "0xC0.0.2.2", 499), "Reply from 0xC0.0.2.2 bytes=28 time=499ms TTL=64");
}

TEST(PingingLine, AddressAndSizeFilledIn) {
    EXPECT_EQ(PingingLine("192.0.2.2", 40), "Pinging [192.0.2.2] with 40 bytes of data:");
    EXPECT_EQ(PingingLine("", 40), "Pinging [] with 40 bytes of data:");
}

}  // namespace
}  // namespace quillet
