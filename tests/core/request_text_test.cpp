// The text checks of the request engine: object identifiers, dotted IPv4
// addresses and hexadecimal characters.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "request/HexText.h"
#include "request/Ipv4Text.h"
#include "request/ObjectIdentifierText.h"

namespace quillet {
namespace {

std::string HexOf(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += byte;
    }
    return text;
}

std::string Repeat(std::string_view piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

struct OidCase {
    const char* what;
    std::string text;
    const char* bytes;  // nullptr: rejected
};

TEST(ParseOid, EncodesArcsAndRejectsMalformedText) {
    const OidCase cases[] = {
        {"system description", "1.3.6.1.2.1.1.1.0", "2B 06 01 02 01 01 01 00"},
        {"first arcs are always 2B", "2.5.4.3", "2B 04 03"},
        {"same as 1.3.4.3", "1.3.4.3", "2B 04 03"},
        {"one arc", "1", "2B"},
        {"two arcs", "1.3", "2B"},
        {"other two arcs", "2.5", "2B"},
        {"leading zeros", "1.3.6.1.010", "2B 06 01 0A"},
        {"largest one-byte arc", "1.3.127", "2B 7F"},
        {"smallest two-byte arc", "1.3.128", "2B 81 00"},
        {"arc 200", "1.3.200", "2B 81 48"},
        {"largest two-byte arc", "1.3.16383", "2B FF 7F"},
        {"three-byte arc", "1.3.16384", "2B 81 80 00"},
        {"largest arc", "1.3.4294967295", "2B 8F FF FF FF 7F"},
        {"ten digits with leading zeros", "1.3.0000000001", "2B 01"},
        {"arc above 32 bits", "1.3.4294967296", nullptr},
        {"eleven digits", "1.3.00000000001", nullptr},
        {"huge first arc", "99999999999.3", nullptr},
        {"empty", "", nullptr},
        {"empty arc", "1..3", nullptr},
        {"leading dot", ".1.3", nullptr},
        {"trailing dot", "1.3.", nullptr},
        {"letter", "1.3.a", nullptr},
        {"leading blank", " 1.3", nullptr},
        {"trailing blank", "1.3 ", nullptr},
        {"sign", "1.3.+6", nullptr},
        {"negative", "1.3.-6", nullptr},
        {"full-width digit", "1.3.\xEF\xBC\x96", nullptr},
        {"dot only", ".", nullptr},
    };
    for (const OidCase& c : cases) {
        OidSlot slot;
        const int rc = ParseOid(c.text, slot);
        if (c.bytes == nullptr) {
            EXPECT_EQ(rc, -1) << c.what;
        } else {
            ASSERT_EQ(rc, 0) << c.what;
            EXPECT_EQ(HexOf(slot.bytes.data(), static_cast<std::size_t>(slot.length)), c.bytes) << c.what;
        }
    }
}

TEST(ParseOid, OnlyTheFirst200CharactersCount) {
    // 199 characters of "1.3.1.1...", then "5": the last arc read is 15.
    const std::string valid200 = "1.3" + Repeat(".1", 98) + "5";
    ASSERT_EQ(valid200.size(), 200u);
    OidSlot slot;
    ASSERT_EQ(ParseOid(valid200 + Repeat("x", 50), slot), 0);
    EXPECT_EQ(slot.length, 99);
    EXPECT_EQ(slot.bytes[0], 0x2B);
    EXPECT_EQ(slot.bytes[97], 0x01);
    EXPECT_EQ(slot.bytes[98], 0x0F);

    // A valid text whose 200th character is a dot ends in an empty arc once cut.
    const std::string cutAtDot = "1.3" + Repeat(".1", 98) + "." + Repeat("1", 50);
    ASSERT_EQ(cutAtDot.size(), 250u);
    EXPECT_EQ(ParseOid(cutAtDot, slot), -1);
}

TEST(ParseOid, RejectedTextLeavesSlotAsItWasAndAcceptedTextClearsIt) {
    OidSlot slot;
    slot.bytes.fill(0xEE);
    slot.length = 7;
    EXPECT_EQ(ParseOid("1.3.6.1.x", slot), -1);
    EXPECT_EQ(slot.length, 7);
    EXPECT_EQ(slot.bytes[0], 0xEE);
    EXPECT_EQ(slot.bytes[511], 0xEE);

    ASSERT_EQ(ParseOid("1.3.6", slot), 0);
    EXPECT_EQ(slot.length, 2);
    EXPECT_EQ(HexOf(slot.bytes.data(), 3), "2B 06 00");
    EXPECT_EQ(slot.bytes[511], 0x00);
}

struct Ipv4Case {
    const char* text;
    int a, b, c, d;  // a < 0: rejected
};

TEST(ParseIpv4, ReadsPartsLikeTheClassicConversion) {
    const Ipv4Case cases[] = {
        {"192.0.2.1", 192, 0, 2, 1},
        {"255.255.255.255", 255, 255, 255, 255},
        {"0.0.0.0", 0, 0, 0, 0},
        {"010.0.0.1", 8, 0, 0, 1},      // octal
        {"0377.0.0.1", 255, 0, 0, 1},
        {"0x0A.0.0.1", 10, 0, 0, 1},    // hexadecimal
        {"0XfF.0x0.0.1", 255, 0, 0, 1},
        {" 1.2.3.4", 1, 2, 3, 4},       // leading blanks of a part
        {"1. 2.\t3.4", 1, 2, 3, 4},
        {"+1.2.3.4", 1, 2, 3, 4},
        {"-0.2.3.4", 0, 2, 3, 4},
        {"192.0.2.256", -1, 0, 0, 0},
        {"1.2.3", -1, 0, 0, 0},
        {"1.2.3.4.5", -1, 0, 0, 0},
        {"1..3.4", -1, 0, 0, 0},
        {"1.2.3.", -1, 0, 0, 0},
        {"1.2.3.4 ", -1, 0, 0, 0},       // trailing blank
        {"-1.2.3.4", -1, 0, 0, 0},       // negative as a signed number
        {"0400.0.0.1", -1, 0, 0, 0},     // 256 in octal
        {"0x100.0.0.1", -1, 0, 0, 0},
        {"08.0.0.1", -1, 0, 0, 0},       // octal part stops at the 8
        {"0x.0.0.1", -1, 0, 0, 0},       // no hex digit: stops at the x
        {"1.2.3.4x", -1, 0, 0, 0},
        {"a.b.c.d", -1, 0, 0, 0},
        {"", -1, 0, 0, 0},
        {"1 .2.3.4", -1, 0, 0, 0},
        {"001.002.003.0004", -1, 0, 0, 0},  // 16 characters
        {"192.168.100.200", 192, 168, 100, 200},  // 15 characters
        {"\xEF\xBC\x91.2.3.4", -1, 0, 0, 0},  // full-width digit
    };
    for (const Ipv4Case& c : cases) {
        std::uint8_t out[4] = {9, 9, 9, 9};
        const int rc = ParseIpv4(c.text, out);
        if (c.a < 0) {
            EXPECT_NE(rc, 0) << c.text;
            EXPECT_EQ(out[0], 9) << c.text;  // untouched
        } else {
            ASSERT_EQ(rc, 0) << c.text;
            EXPECT_EQ(out[0], c.a) << c.text;
            EXPECT_EQ(out[1], c.b) << c.text;
            EXPECT_EQ(out[2], c.c) << c.text;
            EXPECT_EQ(out[3], c.d) << c.text;
        }
    }
}

TEST(IsHexText, LooksAtExactlyTheFirstNCharacters) {
    const struct {
        const char* text;
        std::size_t n;
        bool expected;
    } cases[] = {
        {"0aFF", 4, true},    {"0123456789abcdefABCDEF", 22, true},
        {"0g", 2, false},     {"g0", 2, false},
        {"", 0, true},        {"xyz", 0, true},
        {"ag", 1, true},      {"12", 3, false},
        {"1 ", 2, false},     {"-1", 2, false},
        {"0x1", 3, false},    {"\xEF\xBC\x90", 3, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsHexText(c.text, c.n), c.expected) << c.text << " n=" << c.n;
}

}  // namespace
}  // namespace quillet
