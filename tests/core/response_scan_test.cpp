// The response scan's walk and tables, the OID texts and the error-status
// names. Datagrams are written by hand as hex.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "response/ErrorStatusNames.h"
#include "text/OidText.h"
#include "response/ResponseScan.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

std::string Repeat(const std::string& hex, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += hex + " ";
    return out;
}

struct WalkCase {
    const char* fault;
    const char* hex;
    bool frameError;
    std::vector<std::uint32_t> integers;
};

TEST(ResponseScan, WalkEndsExactlyAtTheEndOrReportsAFrameError) {
    const WalkCase cases[] = {
        {"empty datagram", "", false, {}},
        {"lone tag octet", "30", true, {}},
        {"SEQUENCE 0x80 (no length octets) still advances", "30 80 02 01 05", false, {5}},
        {"SEQUENCE long-form length octets missing", "30 82 01", true, {}},
        {"SEQUENCE length not compared with contents", "30 7F 02 01 05", false, {5}},
        {"integer of zero octets reads 0", "02 00 02 01 07", false, {0, 7}},
        {"five-octet Counter reads 0", "41 05 00 80 00 00 00", false, {0}},
        {"one octet FF has no sign extension", "02 01 FF", false, {255}},
        {"four-octet TimeTicks keeps its top bit", "43 04 80 00 00 00", false, {0x80000000u}},
        {"integer running past the end", "02 04 00 01", true, {}},
        {"long-form length on an integer", "02 81 01 05", true, {}},
        {"long-form length on an OBJECT IDENTIFIER", "06 81 01 2B", true, {}},
        {"OBJECT IDENTIFIER running past the end", "06 03 2B 06", true, {}},
        {"OCTET STRING long form with four length octets", "04 84 00 00 00 02 61 62", false, {}},
        {"OCTET STRING with more than four length octets has length 0", "04 85 01 02 03 04 05 02 01 09", false, {9}},
        {"OCTET STRING 0x80 has length 0", "04 80 02 01 03", false, {3}},
        {"OCTET STRING running past the end", "04 82 00 05 61", true, {}},
        {"OCTET STRING long-form length octets missing", "04 FF 00", true, {}},
        {"NULL as the last single octet", "05 00 05", true, {}},
        {"NULL with a content octet stops on it", "05 01 00", true, {}},
        {"GetNextRequest-PDU is not stepped into", "A1 03 02 01 01", true, {}},
        {"SNMPv2-Trap-PDU is not stepped into", "A7 03 02 01 01", true, {}},
        {"Opaque stops", "02 01 01 44 01 00", true, {1}},
        {"Counter64 stops, or joins the integer list", "46 01 00 02 01 05", false, {5}},
        {"Counter64 with a long-form length", "46 81 01 00", true, {}},
        {"noSuchObject stops", "80 00", false, {}},
        {"noSuchInstance stops", "81 00", false, {}},
        {"endOfMibView stops", "82 00 02 01 05", false, {5}},
        {"exception value with content decoded", "82 01 00", true, {}},
        {"exception value without its length octet read past the end", "80", true, {}},
        {"one trailing octet", "30 03 02 01 01 00", true, {1}},
    };
    ResponseScanResult scan{};
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const std::vector<std::uint8_t> bytes = Hex(c.hex);
        ResponseScan(bytes.data(), bytes.size(), scan);
        EXPECT_EQ(scan.frameError, c.frameError);
        EXPECT_EQ(std::vector<std::uint32_t>(scan.integers, scan.integers + scan.integerCount), c.integers);
    }
}

TEST(ResponseScan, MissingIntegersReadZeroEvenAfterALongerDatagram) {
    ResponseScanResult scan{};
    const auto longer = Hex("02 01 01 02 01 02 02 01 03");
    ResponseScan(longer.data(), longer.size(), scan);
    const auto shorter = Hex("02 01 09");
    ResponseScan(shorter.data(), shorter.size(), scan);
    EXPECT_EQ(scan.Integer(0), 9u);
    EXPECT_EQ(scan.Integer(1), 0u);
    EXPECT_EQ(scan.Integer(2), 0u);
    EXPECT_EQ(scan.Integer(199), 0u);
}

TEST(ResponseScan, AnIdentifierAfterANameIsItsValueAndNullClearsTheWait) {
    // name, OID value, name with NULL, name with INTEGER
    const auto bytes = Hex("30 80 06 01 2B 06 02 2B 06 30 80 06 01 2C 05 00 30 80 06 01 2D 02 01 2A");
    ResponseScanResult scan{};
    ResponseScan(bytes.data(), bytes.size(), scan);
    ASSERT_FALSE(scan.frameError);
    ASSERT_EQ(scan.oidCount, 4u);
    ASSERT_EQ(scan.bindingCount, 3u);
    EXPECT_EQ(scan.bindings[0].valueType, ValueType::ObjectId);
    EXPECT_EQ(scan.bindings[0].valueStart, 7u);
    EXPECT_EQ(scan.bindings[0].valueLength, 2);
    EXPECT_EQ(scan.bindings[1].nameStart, 13u);
    EXPECT_EQ(scan.bindings[1].valueType, ValueType::None);
    EXPECT_EQ(scan.bindings[2].valueType, ValueType::Integer);
    EXPECT_EQ(scan.bindings[2].integerValue, 42u);
    EXPECT_EQ(scan.oids[3].start, 20u);
}

TEST(ResponseScan, FullTablesStopRecordingButTheWalkGoesOn) {
    ResponseScanResult scan{};

    const auto integers = Hex(Repeat("02 01 07", 201));
    ResponseScan(integers.data(), integers.size(), scan);
    EXPECT_FALSE(scan.frameError);
    EXPECT_EQ(scan.integerCount, kMaxResponseIntegers);

    // 101 bindings, each an OID name with an OID value: 202 identifiers.
    std::string hex = "30 82 03 F2 ";
    for (int i = 0; i < 101; ++i) {
        char binding[64];
        std::snprintf(binding, sizeof binding, "30 08 06 02 2B %02X 06 02 2B %02X ", i, i + 1);
        hex += binding;
    }
    const auto bindings = Hex(hex);
    ResponseScan(bindings.data(), bindings.size(), scan);
    EXPECT_FALSE(scan.frameError);
    EXPECT_EQ(scan.oidCount, kMaxResponseOids);
    ASSERT_EQ(scan.bindingCount, kMaxResponseBindings);
    // The dropped 101st binding's value must not land in the 100th record.
    const BindingRecord& last = scan.bindings[99];
    EXPECT_EQ(last.valueType, ValueType::ObjectId);
    EXPECT_EQ(bindings[last.valueStart + 1], 100);

    // Values of a dropped binding do not touch the last recorded one either.
    const auto integerValues = Hex(Repeat("30 07 06 02 2B 01 02 01 05", 100) + "30 07 06 02 2B 02 02 01 09");
    ResponseScan(integerValues.data(), integerValues.size(), scan);
    ASSERT_EQ(scan.bindingCount, kMaxResponseBindings);
    EXPECT_EQ(scan.bindings[99].integerValue, 5u);
}

struct OidCase {
    const char* content;
    const char* lineText;
};

TEST(OidText, DecodesBase128SubidentifiersAndTheFirstTwoArcs) {
    const OidCase cases[] = {
        {"2B 06 01 02 01 01 01 00", "1.3.6.1.2.1.1.1.0"},
        {"2B", "1.3"},
        {"2B 81 48", "1.3.200"},
        {"2B FF 7F", "1.3.16383"},
        {"2B 81 80 00", "1.3.16384"},
        {"2B 06 01 04 01 81 C9 58 00", "1.3.6.1.4.1.25816.0"},
        {"2B 81 FF FF FF FF FF FF FF FF 7F", "1.3.18446744073709551615"},
        {"2B 06 81", "1.3.6.1"},        // cut off after one octet
        {"2B 06 82 81", "1.3.6.257"},   // cut off after two octets
        {"55 04 03", "2.5.4.3"},
        {"00 01", "0.0.1"},
        {"27", "0.39"},
        {"28", "1.0"},
        {"4F", "1.39"},
        {"50", "2.0"},
        {"88 37 01", "2.999.1"},        // a first subidentifier of two octets
        {"81", "0.1"},                  // a cut-off first subidentifier
    };
    for (const OidCase& c : cases) {
        SCOPED_TRACE(c.content);
        const auto bytes = Hex(c.content);
        EXPECT_EQ(OidLineText(bytes.data(), bytes.size()), c.lineText);
        EXPECT_EQ(OidFieldText(bytes.data(), bytes.size()), c.lineText);
    }
}

TEST(OidText, EmptyIdentifierIsOneThreeInALineAndEmptyInAField) {
    EXPECT_EQ(OidLineText(nullptr, 0), "1.3");
    EXPECT_EQ(OidFieldText(nullptr, 0), "");
    std::string text = "x";
    AppendOidLineText(text, nullptr, 0);
    EXPECT_EQ(text, "x1.3");
}

TEST(ErrorStatusNames, EveryNameAsShownAndNumbersBeyondTheTable) {
    const std::string expected =
        ",tooBig,noSuchName,badValue,readOnly,genErr,noAccess,wrongType,wrongLength,wrongEncoding,wrogValue,"
        "noCreation,inconsistentValue,resourceUnavailable,commitFailed,undoFailed,authorizationError,notWritable,"
        "inconsistentName";
    std::string names;
    for (std::int32_t status = 0; status < kErrorStatusNameCount; ++status)
        names += (status > 0 ? "," : "") + std::string(ErrorStatusName(status));
    EXPECT_EQ(names, expected);
    EXPECT_EQ(ErrorStatusName(19), "");
    const std::pair<std::int32_t, const char*> shown[] = {{2, "noSuchName"}, {19, "19"}, {-1, "-1"}};
    for (const auto& [status, text] : shown) {
        std::string out;
        AppendErrorStatusText(out, status);
        EXPECT_EQ(out, text);
    }
}

}  // namespace
}  // namespace quillet
