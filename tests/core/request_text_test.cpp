// The text checks of the request engine: object identifiers, dotted IPv4
// addresses and hexadecimal characters.
#include <gtest/gtest.h>

#include <string>

#include "text/HexText.h"
#include "request/AgentAddress.h"
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

// The interfaces of the agent field's tests: eth0 is interface 2.
std::uint32_t TestZones(std::string_view zone) { return zone == "eth0" || zone == "2" ? 2 : 0; }

TEST(ParseAgentAddress, TakesIpv4OrAnIpv6LiteralAndShowsItInCanonicalForm) {
    // The canonical texts are RFC 5952's own examples (sections 4 and 5).
    const struct { const char* text; const char* shown = nullptr; const char* octets = nullptr; std::uint32_t scope = 0; } cases[] = {
        {"010.0.2.0x7", "010.0.2.0x7", "08 00 02 07", 0},  // IPv4 as the classic conversion reads it, shown as typed
        {"2001:0db8::0001", "2001:db8::1", "20 01 0D B8 00 00 00 00 00 00 00 00 00 00 00 01", 0},
        {"2001:DB8:0:0:0:0:2:1", "2001:db8::2:1", "20 01 0D B8 00 00 00 00 00 00 00 00 00 02 00 01", 0},
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1", "20 01 0D B8 00 00 00 01 00 01 00 01 00 01 00 01", 0},
        {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1", "20 01 00 00 00 00 00 01 00 00 00 00 00 00 00 01", 0},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1", "20 01 0D B8 00 00 00 00 00 01 00 00 00 00 00 01", 0},
        {"::1", "::1", "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01", 0},
        {"1:2:3:4:5:6:7::", "1:2:3:4:5:6:7:0", "00 01 00 02 00 03 00 04 00 05 00 06 00 07 00 00", 0},
        {"::2:3:4:5:6:7:8", "0:2:3:4:5:6:7:8", "00 00 00 02 00 03 00 04 00 05 00 06 00 07 00 08", 0},
        {"64:ff9b::192.0.2.33", "64:ff9b::c000:221", "00 64 FF 9B 00 00 00 00 00 00 00 00 C0 00 02 21", 0},
        {"::ffff:192.0.2.1", "192.0.2.1", "C0 00 02 01", 0},  // IPv4-mapped: the IPv4 agent
        {"fe80::1%eth0", "fe80::1%eth0", "FE 80 00 00 00 00 00 00 00 00 00 00 00 00 00 01", 2},
        {"FE80::0:1%2", "fe80::1%2", "FE 80 00 00 00 00 00 00 00 00 00 00 00 00 00 01", 2},
        // Refused: blanks, brackets, a port, groups too many or too long, two
        // "::", a bad IPv4 tail, a zone where none belongs or none named.
        {"2001:db8::1 ", nullptr}, {" ::1", nullptr}, {"[2001:db8::1]", nullptr}, {"[::1]:161", nullptr},
        {"1:2:3:4:5:6:7:8:9", nullptr}, {"1:2:3:4:5:6:7:8::", nullptr}, {"1:2:3:4:5:6:7", nullptr},
        {"12345::1", nullptr}, {"2001:db8:::1", nullptr}, {"1::2::3", nullptr}, {":1::", nullptr},
        {"1::", "1::", "00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00", 0}, {"1::2:", nullptr},
        {"::ffff:192.0.2.256", nullptr}, {"::ffff:192.0.02.1", nullptr}, {"::1.2.3", nullptr},
        {"1:2:3:4:5:6:7:1.2.3.4", nullptr}, {"2001:db8::g", nullptr},
        {"2001:db8::1%eth0", nullptr}, {"fe80::1", nullptr}, {"fe80::1%", nullptr}, {"fe80::1%wlan9", nullptr},
        {"::", "::", "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00", 0},
        {"fe80:0000:0000:0000:0000:0000:0000:0001%eth0123456789", nullptr},  // longer than any agent text
    };
    for (const auto& c : cases) {
        Endpoint out;
        out.port = 9;
        std::string shown = "untouched";
        const bool accepted = ParseAgentAddress(c.text, TestZones, out, shown);
        EXPECT_EQ(accepted, c.shown != nullptr) << c.text;
        if (c.shown == nullptr) {
            EXPECT_EQ(shown, "untouched") << c.text;
            EXPECT_EQ(out.port, 9) << c.text;
            continue;
        }
        EXPECT_EQ(shown, c.shown) << c.text;
        EXPECT_EQ(HexOf(out.address.data(), out.IsV6() ? 16 : 4), c.octets) << c.text;
        EXPECT_EQ(out.scope, c.scope) << c.text;
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
