// The trap scan: hex datagram in, integer and string tables, frame error and
// equipment flag out.
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

struct ScanCase {
    const char* fault;  // what a failure of this row would mean
    std::string hex;
    std::int32_t flagIn;
    std::vector<std::int32_t> integers;
    std::vector<std::pair<std::uint32_t, std::int32_t>> strings;  // offset, length
    bool frameError;
    std::int32_t flagOut;
};

#define PREFIX "2B 06 01 04 01 82 3D 02 1A 01 02"

const ScanCase kScanCases[] = {
    {"empty datagram reported as a frame error", "", 0, {}, {}, false, 0},
    {"one-octet FF is sign-extended", "02 01 FF", 0, {255}, {}, false, 0},
    {"four-octet value loses its sign", "02 04 FF FF FF FF", 0, {-1}, {}, false, 0},
    {"five-octet INTEGER not read as 0", "02 05 00 80 00 00 00 02 01 07", 0, {0, 7}, {}, false, 0},
    {"empty INTEGER not read as 0", "02 00", 0, {0}, {}, false, 0},
    {"long-form INTEGER length accepted", "02 81 01 05", 0, {}, {}, true, 0},
    {"long-form INTEGER length taken as 129", "02 81" + std::string(129 * 2, '0'), 0, {}, {}, true, 0},
    {"INTEGER past the end recorded", "02 02 05", 0, {}, {}, true, 0},
    {"tag without length octet read past end", "02", 0, {}, {}, true, 0},
    {"short OCTET STRING misplaced", "04 03 61 62 63", 0, {}, {{2, 3}}, false, 0},
    {"81 n long form misread", "04 81 03 61 62 63", 0, {}, {{3, 3}}, false, 0},
    {"82 hi lo long form misread", "04 82 00 03 61 62 63", 0, {}, {{4, 3}}, false, 0},
    {"four length octets misread", "04 84 00 00 00 03 61 62 63", 0, {}, {{6, 3}}, false, 0},
    {"80 form not read as length 0", "04 80 02 01 07", 0, {7}, {{2, 0}}, false, 0},
    {"five length octets not read as length 0", "04 85 00 00 00 00 03 02 01 07", 0, {7}, {{7, 0}}, false, 0},
    {"OCTET STRING past the end recorded", "04 05 61 62", 0, {}, {}, true, 0},
    {"length octets past the end read", "04 82 01", 0, {}, {}, true, 0},
    {"SEQUENCE not stepped into", "30 03 02 01 05", 0, {5}, {}, false, 0},
    {"long SEQUENCE length not skipped", "30 82 01 2C 02 01 05", 0, {5}, {}, false, 0},
    {"Trap-PDU with 81 length not stepped into", "A4 81 03 02 01 05", 0, {5}, {}, false, 0},
    {"SNMPv2-Trap-PDU decoded", "A7 03 02 01 05", 0, {}, {}, true, 0},
    {"SEQUENCE length octets past the end", "30 84 00 00", 0, {}, {}, true, 0},
    {"IpAddress not skipped", "40 04 C0 00 02 02 02 01 05", 0, {5}, {}, false, 0},
    {"TimeTicks 81 x not skipped", "43 81 01 00 02 01 05", 0, {5}, {}, false, 0},
    {"TimeTicks 82 hi lo not skipped", "43 82 00 01 00 02 01 05", 0, {5}, {}, false, 0},
    {"TimeTicks 83 form accepted", "43 83 00 00 01 00", 0, {}, {}, true, 0},
    {"TimeTicks 80 form accepted", "43 80", 0, {}, {}, true, 0},
    {"TimeTicks past the end accepted", "43 82 00 05 00", 0, {}, {}, true, 0},
    {"82 length octets read past the end", "43 82 00", 0, {}, {}, true, 0},
    {"81 length octet read past the end", "40 81", 0, {}, {}, true, 0},
    {"NULL walked over", "02 01 05 05 00 02 01 07", 0, {5}, {}, true, 0},
    {"Counter walked over", "02 01 05 41 01 2A 02 01 07", 0, {5}, {}, true, 0},
    {"trailing octet ignored", "02 01 05 00", 0, {5}, {}, true, 0},
    {"prefix OID not recognised", "06 0B " PREFIX, 0, {}, {}, false, 1},
    {"OID under the prefix not recognised", "06 0D " PREFIX " 05 00", 0, {}, {}, false, 1},
    {"foreign OID keeps an old flag", "06 08 2B 06 01 02 01 01 05 00", 1, {}, {}, false, 0},
    {"comparison stops at the OID's own length", "06 03 2B 06 01 04 01 82 3D 02 1A 01 02", 0, {}, {{7, 1}}, true, 1},
    {"prefix compared past the end", "06 0A 2B 06 01 04 01 82 3D 02 1A 01", 1, {}, {}, false, 0},
    {"lone OID tag left the flag", "06", 1, {}, {}, true, 0},
    {"81 length octet not skipped before comparing", "06 81 0B " PREFIX, 1, {}, {}, false, 0},
    {"first OID decides instead of the last", "06 0B " PREFIX " 06 03 2B 06 01", 1, {}, {}, false, 0},
    {"datagram without OID reset the flag", "02 01 05", 1, {5}, {}, false, 1},
    {"datagram without OID changed an odd flag", "02 01 05", 7, {5}, {}, false, 7},
};

TEST(TrapScan, WalksTheTagTable) {
    for (const ScanCase& c : kScanCases) {
        SCOPED_TRACE(c.fault);
        const std::vector<std::uint8_t> bytes = Hex(c.hex);
        TrapScanResult result;
        std::int32_t flag = c.flagIn;
        const int rc = TrapScan(bytes.data(), bytes.size(), result, flag);
        EXPECT_EQ(result.frameError, c.frameError);
        EXPECT_EQ(rc, c.frameError ? -1 : 0);
        EXPECT_EQ(flag, c.flagOut);
        EXPECT_EQ(std::vector<std::int32_t>(result.integers, result.integers + result.integerCount), c.integers);
        std::vector<std::pair<std::uint32_t, std::int32_t>> strings;
        for (int i = 0; i < result.stringCount; ++i) strings.emplace_back(result.strings[i].offset, result.strings[i].length);
        EXPECT_EQ(strings, c.strings);
    }
}

TEST(TrapScan, UnusedSlotsReadZeroAfterAFullerDatagram) {
    const std::vector<std::uint8_t> full = Hex("02 01 01 02 01 02 02 01 03 04 01 61 04 01 62");
    const std::vector<std::uint8_t> small = Hex("02 01 09");
    TrapScanResult result;
    std::int32_t flag = 0;
    TrapScan(full.data(), full.size(), result, flag);
    TrapScan(small.data(), small.size(), result, flag);
    EXPECT_EQ(result.integers[0], 9);
    EXPECT_EQ(result.integers[1], 0);
    EXPECT_EQ(result.integers[2], 0);
    EXPECT_EQ(result.stringCount, 0);
    EXPECT_EQ(result.strings[1].offset, 0u);
    EXPECT_EQ(result.strings[1].length, 0);
}

TEST(TrapScan, MoreThanTwentyValuesAreWalkedButNotRecorded) {
    // 25 pairs of (OCTET STRING "x", INTEGER i), then the equipment prefix:
    // the flag shows whether the walk went on after the tables were full.
    std::string hex;
    char pair[32];
    for (int i = 1; i <= 25; ++i) {
        std::snprintf(pair, sizeof pair, "04 01 78 02 01 %02X ", i);
        hex += pair;
    }
    const std::vector<std::uint8_t> bytes = Hex(hex + "06 0B " PREFIX);
    TrapScanResult result;
    std::int32_t flag = 0;
    EXPECT_EQ(TrapScan(bytes.data(), bytes.size(), result, flag), 0);
    EXPECT_FALSE(result.frameError);
    EXPECT_EQ(result.integerCount, 20);
    EXPECT_EQ(result.stringCount, 20);
    EXPECT_EQ(result.integers[19], 20);
    EXPECT_EQ(result.strings[19].offset, 19u * 6 + 2);
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
    EXPECT_EQ(TrapScan(bytes.data(), bytes.size(), result, flag), 0);
    EXPECT_EQ(std::vector<std::int32_t>(result.integers, result.integers + result.integerCount),
              (std::vector<std::int32_t>{0, 6, 1, 6, 10, 3, 255}));
    ASSERT_EQ(result.stringCount, 2);
    EXPECT_EQ(result.strings[0].offset, 8u);
    EXPECT_EQ(result.strings[0].length, 6);
    EXPECT_EQ(result.strings[1].offset, 149u);
    EXPECT_EQ(result.strings[1].length, 14);
    EXPECT_EQ(flag, 1);

    bytes = Hex(kV2cTrap);
    EXPECT_EQ(TrapScan(bytes.data(), bytes.size(), result, flag), -1);
    EXPECT_EQ(result.integerCount, 1);
    EXPECT_EQ(result.stringCount, 1);
    EXPECT_EQ(flag, 1);  // the walk stops at A7 before any identifier
}

}  // namespace
}  // namespace quillet
