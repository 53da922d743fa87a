// The text checks of the request engine: object identifiers, dotted IPv4
// addresses and hexadecimal characters.
#include <gtest/gtest.h>

#include <string>

#include "text/HexText.h"
#include "request/Ipv4Text.h"
#include "request/ObjectIdentifierText.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

std::string Repeat(std::string_view piece, int times) {
    std::string text;
    while (times-- > 0) text += piece;
    return text;
}

TEST(ParseOid, EncodesArcsAndRejectsMalformedText) {
    const struct { std::string text; const char* bytes; } cases[] = {  // bytes nullptr: rejected
        {"1.3.6.1.2.1.1.1.0", "2B 06 01 02 01 01 01 00"}, {"1.3.4.3", "2B 04 03"}, {"1.3", "2B"},
        {"1.3.6.1.010", "2B 06 01 0A"},
        // The first two arcs as typed, 40 x X + Y (2.5.4.3 and 2.999.3 as net-snmp's snmpget sends them).
        {"2.5.4.3", "55 04 03"}, {"2.999.3", "88 37 03"}, {"0.0", "00"}, {"0.39", "27"}, {"1.39", "4F"},
        {"2.5", "55"}, {"2.40", "78"}, {"2.47", "7F"}, {"2.48", "81 00"}, {"2.4294967295", "90 80 80 80 4F"},
        {"0.40", nullptr}, {"1.40", nullptr}, {"3.1", nullptr}, {"1", nullptr}, {"2", nullptr}, {"0", nullptr},
        {"1.3.127", "2B 7F"}, {"1.3.128", "2B 81 00"}, {"1.3.200", "2B 81 48"}, {"1.3.16383", "2B FF 7F"},
        {"1.3.16384", "2B 81 80 00"}, {"1.3.4294967295", "2B 8F FF FF FF 7F"}, {"1.3.0000000001", "2B 01"},
        {"1.3.4294967296", nullptr}, {"1.3.00000000001", nullptr}, {"99999999999.3", nullptr},
        {".1.3.6.1.2.1.1.5.0", "2B 06 01 02 01 01 05 00"}, {"..1.3", nullptr}, {".", nullptr},
        {"", nullptr}, {"1..3", nullptr}, {"1.3.", nullptr}, {"1.3.a", nullptr},
        {" 1.3", nullptr}, {"1.3 ", nullptr}, {"1.3.+6", nullptr}, {"1.3.-6", nullptr}, {".", nullptr},
        {"1.3.\xEF\xBC\x96", nullptr},  // full-width digit
    };
    for (const auto& c : cases) {
        OidSlot slot;
        const int rc = ParseOid(c.text, slot);
        EXPECT_EQ(rc, c.bytes ? 0 : -1) << c.text;
        if (rc == 0 && c.bytes) {
            EXPECT_EQ(HexOf(slot.bytes.data(), static_cast<std::size_t>(slot.length)), c.bytes) << c.text;
        }
    }
}

TEST(ParseOid, TextsOfMoreThan200CharactersAreRefusedNotCut) {
    const std::string valid200 = "1.3" + Repeat(".1", 98) + "5";  // last arc 15
    ASSERT_EQ(valid200.size(), 200u);
    OidSlot slot;
    ASSERT_EQ(ParseOid(valid200, slot), 0);
    EXPECT_EQ(slot.length, 99);
    EXPECT_EQ(HexOf(slot.bytes.data() + 96, 3), "01 01 0F");
    // One character more, or a 237-character text whose first 200 make an
    // identifier: refused, so no other identifier than the typed one goes out.
    EXPECT_EQ(ParseOid(valid200 + "1", slot), -1);
    EXPECT_EQ(ParseOid(valid200 + "." + Repeat("1.", 18), slot), -1);
    EXPECT_EQ(slot.length, 99);
}

TEST(ParseOid, RejectedTextLeavesSlotAsItWasAndAcceptedTextClearsIt) {
    OidSlot slot;
    slot.bytes.fill(0xEE);
    slot.length = 7;
    EXPECT_EQ(ParseOid("1.3.6.1.x", slot), -1);
    EXPECT_EQ(slot.length, 7);
    EXPECT_EQ(slot.bytes[0], 0xEE);
    ASSERT_EQ(ParseOid("1.3.6", slot), 0);
    EXPECT_EQ(HexOf(slot.bytes.data(), 3), "2B 06 00");
    EXPECT_EQ(slot.bytes[511], 0x00);
}

TEST(ParseIpv4, ReadsPartsLikeTheClassicConversion) {
    const struct { const char* text; const char* octets; } cases[] = {  // octets nullptr: rejected
        {"192.0.2.1", "C0 00 02 01"}, {"255.255.255.255", "FF FF FF FF"}, {"192.168.100.200", "C0 A8 64 C8"},
        {"010.0.0.1", "08 00 00 01"}, {"0377.0.0.1", "FF 00 00 01"},  // octal
        {"0x0A.0.0.1", "0A 00 00 01"}, {"0XfF.0x0.0.1", "FF 00 00 01"},  // hexadecimal
        {" 1.2.3.4", "01 02 03 04"}, {"1. 2.\t3.4", "01 02 03 04"}, {"+1.2.3.4", "01 02 03 04"},
        {"-0.2.3.4", "00 02 03 04"},
        {"192.0.2.256", nullptr}, {"1.2.3", nullptr}, {"1.2.3.4.5", nullptr}, {"1..3.4", nullptr},
        {"1.2.3.", nullptr}, {"1.2.3.4 ", nullptr}, {"-1.2.3.4", nullptr}, {"0400.0.0.1", nullptr},
        {"0x100.0.0.1", nullptr}, {"08.0.0.1", nullptr}, {"0x.0.0.1", nullptr}, {"1.2.3.4x", nullptr},
        {"a.b.c.d", nullptr}, {"", nullptr}, {"1 .2.3.4", nullptr}, {"001.002.003.0004", nullptr},
        {"\xEF\xBC\x91.2.3.4", nullptr},
    };
    for (const auto& c : cases) {
        std::uint8_t out[4] = {9, 9, 9, 9};
        const int rc = ParseIpv4(c.text, out);
        EXPECT_EQ(rc == 0, c.octets != nullptr) << c.text;
        EXPECT_EQ(HexOf(out, 4), c.octets ? c.octets : "09 09 09 09") << c.text;  // untouched on failure
    }
}

TEST(IsHexText, LooksAtExactlyTheFirstNCharacters) {
    const struct { const char* text; std::size_t n; bool expected; } cases[] = {
        {"0aFF", 4, true}, {"0123456789abcdefABCDEF", 22, true}, {"0g", 2, false}, {"g0", 2, false},
        {"", 0, true}, {"xyz", 0, true}, {"ag", 1, true}, {"12", 3, false}, {"1 ", 2, false},
        {"-1", 2, false}, {"0x1", 3, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsHexText(c.text, c.n), c.expected) << c.text << " n=" << c.n;
}

}  // namespace
}  // namespace quillet
