// The request encoder: whole datagrams of the worked examples, the set value
// encodings, the request id counter and the size limit. Community "ravine" is
// 72 61 76 69 6E 65; its requests hold the request id at offset 19 and, for a
// Set of OID 1.3, the value from offset 40 on.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "request/ObjectIdentifierText.h"
#include "request/RequestEncoder.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

std::string Sent(const RequestState& state, std::size_t from = 0) {
    return HexOf(state.sendBuffer.data() + from, static_cast<std::size_t>(state.sendSize) - from);
}

std::unique_ptr<RequestState> State(const char* oid1 = "1.3", std::string_view community = "ravine") {
    auto state = std::make_unique<RequestState>();
    std::copy(community.begin(), community.end(), state->community.begin());
    state->communityLength = static_cast<std::int32_t>(community.size());
    EXPECT_EQ(ParseOid(oid1, state->requestOids[0]), 0);
    return state;
}

TEST(BuildRequest, WorkedExamplesByteForByte) {
    auto get = State("1.3.6.1.4.1");
    ASSERT_EQ(BuildRequest(*get, kGetRequestTag, SnmpV1, 0, ""), kBuildOk);
    EXPECT_EQ(Sent(*get), "30 82 00 2A 02 01 00 04 06 72 61 76 69 6E 65 A0 82 00 1B 02 02 00 01 02 01 00 02 01 00 "
                          "30 82 00 0D 30 82 00 09 06 05 2B 06 01 04 01 05 00");

    auto set = State("1.3.6.1.2.1.2.2.1.7.130");
    set->requestId = 1;
    set->varBindCount = 3;  // forced to 1
    ASSERT_EQ(BuildRequest(*set, kSetRequestTag, SnmpV2c, IntegerValue, "300"), kBuildOk);
    EXPECT_EQ(Sent(*set), "30 82 00 32 02 01 01 04 06 72 61 76 69 6E 65 A3 82 00 23 02 02 00 02 02 01 00 02 01 00 "
                          "30 82 00 15 30 82 00 11 06 0B 2B 06 01 02 01 02 02 01 07 81 02 02 02 01 2C");
    EXPECT_EQ(set->varBindCount, 1);

    auto bulk = State("1.3.6.1.2.1.1.3");
    bulk->requestId = 3;
    bulk->varBindCount = 1;
    bulk->maxRepetitions = 5;
    bulk->repeaterCount = 1;
    ASSERT_EQ(ParseOid("1.3.6.1.2.1.2.2.1.2", bulk->repeaterOids[0]), 0);
    ASSERT_EQ(BuildRequest(*bulk, kGetBulkRequestTag, SnmpV2c, 0, ""), kBuildOk);
    EXPECT_EQ(Sent(*bulk), "30 82 00 3D 02 01 01 04 06 72 61 76 69 6E 65 A5 82 00 2E 02 02 00 04 02 01 01 02 01 05 "
                           "30 82 00 20 30 82 00 0B 06 07 2B 06 01 02 01 01 03 05 00 "
                           "30 82 00 0D 06 09 2B 06 01 02 01 02 02 01 02 05 00");
}

TEST(BuildRequest, SetValueEncodingsByType) {
    const struct { int type; std::string value; const char* bytes; } cases[] = {
        {IntegerValue, "0", "02 01 00"}, {IntegerValue, "127", "02 01 7F"}, {IntegerValue, "128", "02 02 00 80"},
        {IntegerValue, "32767", "02 02 7F FF"}, {IntegerValue, "32768", "02 04 00 00 80 00"},
        {IntegerValue, "40000", "02 04 00 00 9C 40"}, {IntegerValue, "99999999", "02 04 05 F5 E0 FF"},
        {IntegerValue, "00000300", "02 02 01 2C"},
        {IntegerValue, "", nullptr}, {IntegerValue, " 1", nullptr}, {IntegerValue, "1g", nullptr},
        // Beyond the classic range, as net-snmp's snmpset sends them.
        {IntegerValue, "-5", "02 01 FB"}, {IntegerValue, "-1", "02 01 FF"}, {IntegerValue, "-128", "02 01 80"},
        {IntegerValue, "-129", "02 02 FF 7F"}, {IntegerValue, "123456789", "02 04 07 5B CD 15"},
        {IntegerValue, "2147483647", "02 04 7F FF FF FF"}, {IntegerValue, "-2147483648", "02 04 80 00 00 00"},
        {IntegerValue, "2147483648", nullptr}, {IntegerValue, "-2147483649", nullptr}, {IntegerValue, "-", nullptr},
        {IntegerValue, "--1", nullptr}, {IntegerValue, "+1", nullptr},
        // The new types, each as net-snmp's snmpset or snmptrap encodes it.
        {Unsigned32Value, "0", "42 01 00"}, {Unsigned32Value, "128", "42 02 00 80"},
        {Unsigned32Value, "4294967295", "42 05 00 FF FF FF FF"}, {Unsigned32Value, "4294967296", nullptr},
        {Unsigned32Value, "-1", nullptr}, {Unsigned32Value, "1a", nullptr},
        {TimeTicksValue, "1234", "43 02 04 D2"}, {TimeTicksValue, "4294967295", "43 05 00 FF FF FF FF"},
        {Counter32Value, "128", "41 02 00 80"}, {Counter32Value, "4294967295", "41 05 00 FF FF FF FF"},
        {Counter64Value, "0", "46 01 00"},
        {Counter64Value, "18446744073709551615", "46 09 00 FF FF FF FF FF FF FF FF"},
        {Counter64Value, "18446744073709551616", nullptr},
        {ObjectIdValue, "1.3.6.1.2.1", "06 05 2B 06 01 02 01"}, {ObjectIdValue, ".1.3.6.1", "06 03 2B 06 01"},
        {ObjectIdValue, "1.3.x", nullptr}, {ObjectIdValue, "", nullptr},
        {IpAddressValue, "192.0.2.1", "40 04 C0 00 02 01"}, {IpAddressValue, "010.0.0.0x1", "40 04 08 00 00 01"},
        {IpAddressValue, "192.0.2.256", nullptr}, {IpAddressValue, "", nullptr},
        {HexStringValue, "0aFF", "04 02 0A FF"}, {HexStringValue, "0aF", nullptr}, {HexStringValue, "0g", nullptr},
        {HexStringValue, "", nullptr},
        {AsciiStringValue, "abc", "04 03 61 62 63"}, {AsciiStringValue, "a\r\nb", "04 04 61 0D 0A 62"},
        {AsciiStringValue, "\x82\xA0", "04 02 82 A0"}, {AsciiStringValue, "", nullptr},
        {9, "1", nullptr}, {-1, "1", nullptr},
    };
    for (const auto& c : cases) {
        auto state = State();
        const int rc = BuildRequest(*state, kSetRequestTag, SnmpV1, c.type, c.value);
        EXPECT_EQ(rc, c.bytes ? kBuildOk : kBuildBadValue) << c.type << " '" << c.value << "'";
        if (rc != kBuildOk || !c.bytes) continue;
        EXPECT_EQ(Sent(*state, 40), c.bytes) << c.value;
        if (c.type == IpAddressValue) {
            EXPECT_EQ("40 04 " + HexOf(state->valueAddress.data(), 4), c.bytes);
        }
    }
}

TEST(BuildRequest, LongOctetStringsUseTheMinimalLengthForm) {
    const struct { int type; std::size_t length; const char* header; int size; } cases[] = {
        {HexStringValue, 300, "04 81 96 AA", 40 + 3 + 150},
        {HexStringValue, 600, "04 82 01 2C AA", 40 + 4 + 300},
        {AsciiStringValue, 127, "04 7F AA", 40 + 2 + 127},
        {AsciiStringValue, 128, "04 81 80 AA", 40 + 3 + 128},
        {AsciiStringValue, 255, "04 81 FF AA", 40 + 3 + 255},
        {AsciiStringValue, 256, "04 82 01 00 AA", 40 + 4 + 256},
    };
    for (const auto& c : cases) {
        auto state = State();
        const char fill = c.type == HexStringValue ? 'a' : '\xAA';  // both give bytes AA
        ASSERT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, c.type, std::string(c.length, fill)), kBuildOk);
        EXPECT_EQ(state->sendSize, c.size) << c.header;
        EXPECT_EQ(Sent(*state, 40).substr(0, std::string(c.header).size()), c.header);
        // The constructed lengths stay in the 82 hi lo form.
        EXPECT_EQ(state->sendBuffer[1], 0x82);
        EXPECT_EQ(state->sendBuffer[2] * 256 + state->sendBuffer[3], c.size - 4);
    }
}

TEST(BuildRequest, MessageOf65507BytesIsTheLargestUdpCarries) {
    // UDP over IPv4 carries at most 65,535 - 20 - 8 = 65,507 bytes.
    // 40 header bytes + 04 82 hi lo + 65463 value bytes = 65507.
    auto state = State();
    ASSERT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, AsciiStringValue, std::string(65463, 'x')), kBuildOk);
    EXPECT_EQ(state->sendSize, 65507);
    EXPECT_EQ(HexOf(state->sendBuffer.data(), 4), "30 82 FF DF");
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 40, 4), "04 82 FF B7");

    state->sendSize = 77;
    const struct { int type; std::size_t length; } tooLong[] = {
        {AsciiStringValue, 65464}, {AsciiStringValue, 65491}, {HexStringValue, 2 * 65464}, {HexStringValue, 131072},
    };
    for (const auto& c : tooLong)
        EXPECT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, c.type, std::string(c.length, 'a')), kBuildBadValue)
            << c.length;
    EXPECT_EQ(state->sendSize, 77);
    EXPECT_EQ(state->requestId, 5);
}

TEST(BuildRequest, RequestIdAdvancesOnEveryCallAndWrapsTo1) {
    auto state = State();
    state->sendSize = 46;
    ASSERT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, IntegerValue, "1a"), kBuildBadValue);
    ASSERT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, IntegerValue, ""), kBuildBadValue);
    EXPECT_EQ(state->sendSize, 46);
    ASSERT_EQ(BuildRequest(*state, kGetNextRequestTag, SnmpV1, 0, ""), kBuildOk);
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 19, 4), "02 02 00 03");

    const struct { std::int32_t last; const char* next; } wraps[] = {
        {127, "02 02 00 80"}, {32767, "02 02 80 00"}, {65534, "02 02 FF FF"}, {65535, "02 02 00 01"},
    };
    for (const auto& w : wraps) {
        state->requestId = w.last;
        ASSERT_EQ(BuildRequest(*state, kGetRequestTag, SnmpV1, 0, ""), kBuildOk);
        EXPECT_EQ(HexOf(state->sendBuffer.data() + 19, 4), w.next) << "after " << w.last;
    }
    EXPECT_EQ(state->requestId, 1);
}

TEST(BuildRequest, GetBulkCountsAndMaxRepetitions) {
    // Each varbind of 1.3.6.1.2.1 is 13 bytes; 33 bytes precede the first.
    const struct { std::int32_t nonRepeaters, maxRepetitions; const char* fields; std::int32_t size; } cases[] = {
        {2, 10, "02 01 02 02 01 0A", 33 + 2 * 13},     {0, 0, "02 01 00 02 01 00", 33},
        {0, 127, "02 01 00 02 01 7F", 33},             {0, 128, "02 01 00 02 02 00 80", 34},
        {0, 32768, "02 01 00 02 03 00 80 00", 35},     {3, 2147483647, "02 01 03 02 04 7F FF FF FF", 36 + 3 * 13},
    };
    for (const auto& c : cases) {
        auto state = State("1.3.6.1.2.1");
        state->requestOids[1] = state->requestOids[2] = state->requestOids[0];
        state->varBindCount = c.nonRepeaters;
        state->maxRepetitions = c.maxRepetitions;
        ASSERT_EQ(BuildRequest(*state, kGetBulkRequestTag, SnmpV2c, 0, ""), kBuildOk);
        EXPECT_EQ(state->sendSize, c.size) << c.fields;
        EXPECT_EQ(HexOf(state->sendBuffer.data() + 23, (std::string(c.fields).size() + 1) / 3), c.fields);
        EXPECT_EQ(state->sendBuffer[17] * 256 + state->sendBuffer[18], c.size - 19) << "PDU length";
    }
}

TEST(BuildRequest, DamagedCountsAndSlotsStayInsideTheBuffers) {
    auto state = State("1.3", std::string(64, 'c'));
    state->varBindCount = 9;
    state->requestOids[1].length = 900;
    state->requestOids[2].length = -5;
    ASSERT_EQ(BuildRequest(*state, kGetNextRequestTag, SnmpV1, 0, ""), kBuildOk);
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 7, 2), "04 40");
    EXPECT_EQ(state->sendSize, 4 + 3 + 66 + 4 + 10 + 4 + 3 * 8 + 127 + 1);
}

}  // namespace
}  // namespace quillet
