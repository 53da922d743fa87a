// The trap scan: hex datagram in, integer and string tables, the verdict on
// the message's wholeness and the equipment flag out.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "trap/TrapScan.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

// The header of an SNMPv1/v2c message, read as the listeners read it.
CommunityMessage MessageOf(const std::uint8_t* data, std::size_t size) {
    CommunityMessage message;
    ReadCommunityMessage(data, size, message);
    return message;
}

// A whole SNMPv1 trap around `bindings` (the content of the binding list),
// with `enterprise` (content octets of its identifier) and generic-trap 6,
// specific-trap 1. Lengths are computed here in the short form or 82 hi lo.
std::string Length(std::size_t n) {
    char text[32];
    if (n < 128) std::snprintf(text, sizeof text, "%02zX ", n);
    else std::snprintf(text, sizeof text, "82 %02zX %02zX ", n >> 8, n & 0xFF);
    return text;
}
std::string Wrap(const char* tag, const std::string& contentHex) {
    return std::string(tag) + " " + Length(Hex(contentHex).size()) + contentHex;
}
std::string V1Trap(const std::string& bindings, const std::string& enterprise = "2B 06 01 04 01 86 8D 1F",
                   const char* version = "00") {
    const std::string pdu = Wrap("06", enterprise) + " 40 04 C0 00 02 02 02 01 06 02 01 01 43 01 00 " +
                            Wrap("30", bindings);
    return Wrap("30", std::string("02 01 ") + version + " 04 06 72 61 76 69 6E 65 " + Wrap("A4", pdu));
}
std::string Binding(const std::string& nameHex, const std::string& valueHex) {
    return Wrap("30", Wrap("06", nameHex) + " " + valueHex);
}

#define PREFIX "2B 06 01 04 01 82 3D 02 1A 01 02"
const std::string kName = "2B 06 01 04 01 86 8D 1F 01";

struct ScanCase {
    const char* fault;  // what a failure of this row would mean
    std::string hex;
    std::int32_t flagIn;
    std::vector<std::int32_t> integers;  // ReadNumber's reading
    std::vector<std::int32_t> signedIntegers;
    std::vector<std::int32_t> stringLengths;
    bool frameError;
    std::int32_t flagOut;
};

const std::vector<ScanCase>& ScanCases() {
    static const std::vector<ScanCase> cases = {
        {"a trap without bindings refused", V1Trap(""), 1, {0, 6, 1}, {0, 6, 1}, {6}, false, 0},
        {"one-octet FF not read as 255 for the tables",
         V1Trap(Binding(kName, "02 01 FF")), 0, {0, 6, 1, 255}, {0, 6, 1, -1}, {6}, false, 0},
        {"four-octet value misread", V1Trap(Binding(kName, "02 04 FF FF FF FF")), 0, {0, 6, 1, -1},
         {0, 6, 1, -1}, {6}, false, 0},
        {"five-octet INTEGER not read as 0", V1Trap(Binding(kName, "02 05 00 80 00 00 00")), 0, {0, 6, 1, 0},
         {0, 6, 1, 0}, {6}, false, 0},
        {"long-form lengths refused",
         "30 81 32 02 81 01 00 04 84 00 00 00 06 72 61 76 69 6E 65 A4 82 00 1E 06 08 2B 06 01 04 01 86 8D 1F"
         " 40 04 C0 00 02 02 02 01 06 02 01 01 43 01 00 30 83 00 00 00",
         0, {0, 6, 1}, {0, 6, 1}, {6}, false, 0},
        {"values of other types ended the read",
         V1Trap(Binding(kName, "41 01 2A") + Binding(kName, "42 01 05") + Binding(kName, "05 00") +
                Binding(kName, "46 01 7B") + Binding(kName, "44 04 9F 7A 01 FD") + Binding(kName, "02 01 09") +
                Binding(kName, "04 03 61 62 63")),
         0, {0, 6, 1, 9}, {0, 6, 1, 9}, {6, 3}, false, 0},
        {"OCTET STRING of 200 octets misread", V1Trap(Binding(kName, "04 81 C8 " + std::string(400, '4'))), 0,
         {0, 6, 1}, {0, 6, 1}, {6, 200}, false, 0},
        // Not whole: each leaves the tables empty and the flag as it was.
        {"empty datagram read as a trap", "", 1, {}, {}, {}, true, 1},
        {"text read as a trap", "68 65 6C 6C 6F 0A", 1, {}, {}, {}, true, 1},
        {"bare SEQUENCE read as a trap", "30 03 02 01 0A", 0, {}, {}, {}, true, 0},
        {"trailing octet ignored", V1Trap("") + " 00", 1, {}, {}, {}, true, 1},
        {"version 1 taken for SNMPv1", V1Trap("", "2B 06 01 04 01 86 8D 1F", "01"), 0, {}, {}, {}, true, 0},
        {"SNMPv2-Trap-PDU read as a v1 trap", "30 0F 02 01 00 04 01 63 A7 07 02 01 05 02 01 00 30 00", 0, {},
         {}, {}, true, 0},
        {"binding with two values accepted", V1Trap(Wrap("30", Wrap("06", kName) + " 02 01 05 02 01 06")), 0, {},
         {}, {}, true, 0},
        {"binding without a name accepted", V1Trap(Wrap("30", "02 01 05")), 0, {}, {}, {}, true, 0},
        {"indefinite length accepted", "30 80 02 01 00 00 00", 0, {}, {}, {}, true, 0},
        {"five length octets accepted", "30 85 00 00 00 00 03 02 01 00", 0, {}, {}, {}, true, 0},
        {"a length past the end accepted", "30 1E 02 01 00", 0, {}, {}, {}, true, 0},
        {"missing time-stamp accepted",
         "30 23 02 01 00 04 06 72 61 76 69 6E 65 A4 16 06 08 2B 06 01 04 01 86 8D 1F 40 04 C0 00 02 02"
         " 02 01 06 02 01 01 30 00",
         0, {}, {}, {}, true, 0},
        // The equipment flag: the last identifier of a whole trap decides.
        {"equipment enterprise not recognised", V1Trap("", PREFIX), 0, {0, 6, 1}, {0, 6, 1}, {6}, false, 1},
        {"binding names after the enterprise ignored", V1Trap(Binding(PREFIX " 01 00", "02 01 05"), kName), 0,
         {0, 6, 1, 5}, {0, 6, 1, 5}, {6}, false, 1},
        {"identifier value ignored", V1Trap(Binding(PREFIX " 01 00", "06 03 2B 06 01"), PREFIX), 1, {0, 6, 1},
         {0, 6, 1}, {6}, false, 0},
        {"a shorter identifier matched the prefix", V1Trap("", "2B 06 01 04 01 82 3D 02 1A 01"), 1, {0, 6, 1},
         {0, 6, 1}, {6}, false, 0},
    };
    return cases;
}

TEST(TrapScan, ReadsOnlyWholeTrapMessages) {
    for (const ScanCase& c : ScanCases()) {
        SCOPED_TRACE(c.fault);
        const std::vector<std::uint8_t> bytes = Hex(c.hex);
        TrapScanResult result;
        std::int32_t flag = c.flagIn;
        const int rc = TrapScan(bytes.data(), bytes.size(), MessageOf(bytes.data(), bytes.size()), result, flag);
        EXPECT_EQ(result.frameError, c.frameError);
        EXPECT_EQ(rc, c.frameError ? -1 : 0);
        EXPECT_EQ(flag, c.flagOut);
        EXPECT_EQ(std::vector<std::int32_t>(result.integers, result.integers + result.integerCount), c.integers);
        EXPECT_EQ(std::vector<std::int32_t>(result.signedIntegers, result.signedIntegers + result.integerCount),
                  c.signedIntegers);
        std::vector<std::int32_t> lengths;
        for (int i = 0; i < result.stringCount; ++i) {
            lengths.push_back(result.strings[i].length);
            EXPECT_LE(result.strings[i].offset + static_cast<std::uint32_t>(result.strings[i].length), bytes.size());
        }
        EXPECT_EQ(lengths, c.stringLengths);
    }
}

TEST(TrapScan, MoreThanTwentyValuesAreReadButNotRecorded) {
    // 25 pairs of (OCTET STRING "x", INTEGER i), then a name under the
    // equipment prefix: the flag shows whether the read went on after the
    // tables were full.
    std::string bindings;
    char pair[64];
    for (int i = 1; i <= 25; ++i) {
        std::snprintf(pair, sizeof pair, "04 01 78 ");
        bindings += Binding(kName, pair);
        std::snprintf(pair, sizeof pair, "02 01 %02X", i);
        bindings += Binding(kName, pair);
    }
    bindings += Binding(PREFIX, "05 00");
    const std::vector<std::uint8_t> bytes = Hex(V1Trap(bindings));
    TrapScanResult result;
    std::int32_t flag = 0;
    EXPECT_EQ(TrapScan(bytes.data(), bytes.size(), MessageOf(bytes.data(), bytes.size()), result, flag), 0);
    EXPECT_EQ(result.integerCount, 20);
    EXPECT_EQ(result.stringCount, 20);
    EXPECT_EQ(result.integers[19], 17);
    EXPECT_EQ(flag, 1);
}

// Captured from net-snmp's snmptrap (see tests/fuzz/corpus/trap).
const char* const kEquipmentTrap =
    "3081A00201000406726176696E65A48192060B2B06010401823D021A01024004C000020202010602010143"
    "0300D34830723012060D2B06010401823D021A010201000201063012060D2B06010401823D021A01020200"
    "02010A3012060D2B06010401823D021A010203000201033013060D2B06010401823D021A01020400020200"
    "FF301F060D2B06010401823D021A01020500040E3230303530333037303930353030";
const char* const kV2cTrap =
    "30570201010406726176696E65A74A02040123BA03020100020100303C300F06082B0601020101030043030"
    "0D3723017060A2B06010603010104010006092B0601060301010501301006082B060102010105000404686F7374";

TEST(TrapScan, RealTrapsFromSnmptrap) {
    TrapScanResult result;
    std::int32_t flag = 0;
    std::vector<std::uint8_t> bytes = Hex(kEquipmentTrap);
    ASSERT_EQ(bytes.size(), 163u);
    EXPECT_EQ(TrapScan(bytes.data(), bytes.size(), MessageOf(bytes.data(), bytes.size()), result, flag), 0);
    EXPECT_EQ(std::vector<std::int32_t>(result.integers, result.integers + result.integerCount),
              (std::vector<std::int32_t>{0, 6, 1, 6, 10, 3, 255}));
    ASSERT_EQ(result.stringCount, 2);
    EXPECT_EQ(result.strings[0].offset, 8u);
    EXPECT_EQ(result.strings[0].length, 6);
    EXPECT_EQ(result.strings[1].offset, 149u);
    EXPECT_EQ(result.strings[1].length, 14);
    EXPECT_EQ(flag, 1);

    bytes = Hex(kV2cTrap);
    EXPECT_EQ(TrapScan(bytes.data(), bytes.size(), MessageOf(bytes.data(), bytes.size()), result, flag), -1);
    EXPECT_EQ(result.integerCount, 0);
    EXPECT_EQ(result.stringCount, 0);
    EXPECT_EQ(flag, 1);
}

}  // namespace
}  // namespace quillet
