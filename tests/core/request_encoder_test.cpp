// The request encoder: whole datagrams of the worked examples, the set value
// encodings, the request id counter and the size limit.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "request/ObjectIdentifierText.h"
#include "request/RequestEncoder.h"
#include "request/RequestState.h"

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

std::string Sent(const RequestState& state) {
    return HexOf(state.sendBuffer.data(), static_cast<std::size_t>(state.sendSize));
}

// "ravine" = 72 61 76 69 6E 65.
std::unique_ptr<RequestState> StateWithCommunity(std::string_view community = "ravine") {
    auto state = std::make_unique<RequestState>();
    std::copy(community.begin(), community.end(), state->community.begin());
    state->communityLength = static_cast<std::int32_t>(community.size());
    return state;
}

void SetOid(OidSlot& slot, const char* text) { ASSERT_EQ(ParseOid(text, slot), 0) << text; }

TEST(BuildRequest, GetRequestV1MatchesTheWorkedExample) {
    auto state = StateWithCommunity();
    SetOid(state->requestOids[0], "1.3.6.1.4.1");
    ASSERT_EQ(BuildRequest(*state, kGetRequestTag, SnmpV1, 0, ""), kBuildOk);
    EXPECT_EQ(state->sendSize, 46);
    EXPECT_EQ(Sent(*state),
              "30 82 00 2A 02 01 00 04 06 72 61 76 69 6E 65 A0 82 00 1B 02 02 00 01 02 01 00 02 01 00 "
              "30 82 00 0D 30 82 00 09 06 05 2B 06 01 04 01 05 00");
    EXPECT_EQ(state->requestId, 1);
    EXPECT_EQ(state->varBindCount, 1);
}

TEST(BuildRequest, SetRequestV2IntegerMatchesTheWorkedExample) {
    auto state = StateWithCommunity();
    state->requestId = 1;
    SetOid(state->requestOids[0], "1.3.6.1.2.1.2.2.1.7.130");
    ASSERT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV2c, IntegerValue, "300"), kBuildOk);
    EXPECT_EQ(state->sendSize, 54);
    EXPECT_EQ(Sent(*state),
              "30 82 00 32 02 01 01 04 06 72 61 76 69 6E 65 A3 82 00 23 02 02 00 02 02 01 00 02 01 00 "
              "30 82 00 15 30 82 00 11 06 0B 2B 06 01 02 01 02 02 01 07 81 02 02 02 01 2C");
}

TEST(BuildRequest, GetBulkRequestMatchesTheWorkedExample) {
    auto state = StateWithCommunity();
    state->requestId = 3;
    state->varBindCount = 1;
    state->maxRepetitions = 5;
    state->repeaterCount = 1;
    SetOid(state->requestOids[0], "1.3.6.1.2.1.1.3");
    SetOid(state->repeaterOids[0], "1.3.6.1.2.1.2.2.1.2");
    ASSERT_EQ(BuildRequest(*state, kGetBulkRequestTag, SnmpV2c, 0, ""), kBuildOk);
    EXPECT_EQ(state->sendSize, 65);
    EXPECT_EQ(Sent(*state),
              "30 82 00 3D 02 01 01 04 06 72 61 76 69 6E 65 A5 82 00 2E 02 02 00 04 02 01 01 02 01 05 "
              "30 82 00 20 30 82 00 0B 06 07 2B 06 01 02 01 01 03 05 00 "
              "30 82 00 0D 06 09 2B 06 01 02 01 02 02 01 02 05 00");
}

TEST(BuildRequest, GetNextCarriesOneVarbindPerFilledSlotAndRepeatersAreDropped) {
    auto state = StateWithCommunity("c");
    state->varBindCount = 2;
    state->repeaterCount = 3;  // left over from a GetBulk: not sent
    SetOid(state->requestOids[0], "1.3.6");
    SetOid(state->requestOids[1], "1.3.7");
    ASSERT_EQ(BuildRequest(*state, kGetNextRequestTag, SnmpV1, 0, ""), kBuildOk);
    EXPECT_EQ(Sent(*state),
              "30 82 00 2C 02 01 00 04 01 63 A1 82 00 22 02 02 00 01 02 01 00 02 01 00 "
              "30 82 00 14 30 82 00 06 06 02 2B 06 05 00 30 82 00 06 06 02 2B 07 05 00");
    EXPECT_EQ(state->varBindCount, 2);
    EXPECT_EQ(state->repeaterCount, 0);
}

TEST(BuildRequest, GetAndSetForceOneVarbind) {
    auto state = StateWithCommunity("c");
    state->varBindCount = 3;
    SetOid(state->requestOids[0], "1.3.6");
    ASSERT_EQ(BuildRequest(*state, kGetRequestTag, SnmpV2c, 0, ""), kBuildOk);
    EXPECT_EQ(state->varBindCount, 1);
    EXPECT_EQ(state->sendSize, 38);
}

// Bytes of a SetRequest after the single OID (community "ravine", OID 1.3):
// the header is 40 bytes up to and including 06 01 2B.
std::string SetValue(RequestState& state, int dataType, std::string_view value, int* rc = nullptr) {
    SetOid(state.requestOids[0], "1.3");
    state.sendSize = 0;
    const int result = BuildRequest(state, kSetRequestTag, SnmpV1, dataType, value);
    if (rc != nullptr) *rc = result;
    if (result != kBuildOk) return "refused";
    return HexOf(state.sendBuffer.data() + 40, static_cast<std::size_t>(state.sendSize) - 40);
}

TEST(BuildRequest, SetValueEncodingsByType) {
    const struct {
        int type;
        std::string value;
        const char* bytes;
    } cases[] = {
        {IntegerValue, "0", "02 01 00"},
        {IntegerValue, "127", "02 01 7F"},
        {IntegerValue, "128", "02 02 00 80"},
        {IntegerValue, "32767", "02 02 7F FF"},
        {IntegerValue, "32768", "02 04 00 00 80 00"},
        {IntegerValue, "40000", "02 04 00 00 9C 40"},
        {IntegerValue, "99999999", "02 04 05 F5 E0 FF"},
        {IntegerValue, "00000300", "02 02 01 2C"},
        {IntegerValue, "123456789", "refused"},  // nine characters
        {IntegerValue, "", "refused"},
        {IntegerValue, "-1", "refused"},
        {IntegerValue, "+1", "refused"},
        {IntegerValue, " 1", "refused"},
        {IntegerValue, "1g", "refused"},
        {IpAddressValue, "192.0.2.1", "40 04 C0 00 02 01"},
        {IpAddressValue, "010.0.0.0x1", "40 04 08 00 00 01"},
        {IpAddressValue, "192.0.2.256", "refused"},
        {IpAddressValue, "", "refused"},
        {HexStringValue, "0aFF", "04 02 0A FF"},
        {HexStringValue, "0aF", "refused"},
        {HexStringValue, "0g", "refused"},
        {HexStringValue, "", "refused"},
        {AsciiStringValue, "abc", "04 03 61 62 63"},
        {AsciiStringValue, "a\r\nb", "04 04 61 0D 0A 62"},
        {AsciiStringValue, " ", "04 01 20"},
        {AsciiStringValue, "\x82\xA0", "04 02 82 A0"},  // code page 932 passes as it is
        {AsciiStringValue, "", "refused"},
        {4, "1", "refused"},
        {-1, "1", "refused"},
    };
    for (const auto& c : cases) {
        auto state = StateWithCommunity();
        EXPECT_EQ(SetValue(*state, c.type, c.value), c.bytes) << "type " << c.type << " value '" << c.value << "'";
    }
}

TEST(BuildRequest, IpAddressValueIsKeptInValueAddress) {
    auto state = StateWithCommunity();
    SetValue(*state, IpAddressValue, "192.0.2.7");
    EXPECT_EQ(HexOf(state->valueAddress.data(), 4), "C0 00 02 07");
}

TEST(BuildRequest, LongOctetStringsUseTheMinimalLengthForm) {
    auto state = StateWithCommunity();
    const std::string hex300(300, 'a');
    const std::string value150 = SetValue(*state, HexStringValue, hex300);
    EXPECT_EQ(value150.substr(0, 8), "04 81 96");
    EXPECT_EQ(value150.substr(8, 3), " AA");
    EXPECT_EQ(state->sendSize, 40 + 3 + 150);
    // The constructed lengths stay in the 82 hi lo form: 193 - 4 = 0xBD.
    EXPECT_EQ(HexOf(state->sendBuffer.data(), 4), "30 82 00 BD");

    const std::string value300 = SetValue(*state, HexStringValue, std::string(600, 'F'));
    EXPECT_EQ(value300.substr(0, 11), "04 82 01 2C");
    EXPECT_EQ(state->sendSize, 40 + 4 + 300);

    EXPECT_EQ(SetValue(*state, AsciiStringValue, std::string(127, 'x')).substr(0, 5), "04 7F");
    EXPECT_EQ(SetValue(*state, AsciiStringValue, std::string(128, 'x')).substr(0, 8), "04 81 80");
    EXPECT_EQ(SetValue(*state, AsciiStringValue, std::string(255, 'x')).substr(0, 8), "04 81 FF");
    EXPECT_EQ(SetValue(*state, AsciiStringValue, std::string(256, 'x')).substr(0, 11), "04 82 01 00");
}

TEST(BuildRequest, MessageOf65535BytesIsTheLargestAccepted) {
    // 40 header bytes + 04 82 hi lo + 65491 value bytes = 65535.
    auto state = StateWithCommunity();
    int rc = 0;
    SetValue(*state, AsciiStringValue, std::string(65491, 'x'), &rc);
    ASSERT_EQ(rc, kBuildOk);
    EXPECT_EQ(state->sendSize, 65535);
    EXPECT_EQ(HexOf(state->sendBuffer.data(), 4), "30 82 FF FB");
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 40, 4), "04 82 FF D3");

    state->sendSize = 77;
    const int idBefore = state->requestId;
    SetOid(state->requestOids[0], "1.3");
    EXPECT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, AsciiStringValue, std::string(65492, 'x')), kBuildBadValue);
    EXPECT_EQ(state->sendSize, 77);
    EXPECT_EQ(state->requestId, idBefore + 1);
    EXPECT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, HexStringValue, std::string(131072, 'a')), kBuildBadValue);
    EXPECT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, AsciiStringValue, std::string(200000, 'x')), kBuildBadValue);
}

TEST(BuildRequest, IntegerTextWithHexLettersIsAConversionErrorThatUsesUpAnId) {
    auto state = StateWithCommunity();
    SetOid(state->requestOids[0], "1.3");
    state->sendSize = 46;
    EXPECT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, IntegerValue, "1a"), kBuildIntegerConversion);
    EXPECT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, IntegerValue, "ABCDEF"), kBuildIntegerConversion);
    EXPECT_EQ(state->requestId, 2);
    EXPECT_EQ(state->sendSize, 46);
}

TEST(BuildRequest, RequestIdSkipsTheIdOfAFailedSetAndWrapsTo1) {
    auto state = StateWithCommunity();
    SetOid(state->requestOids[0], "1.3");
    ASSERT_EQ(BuildRequest(*state, kGetRequestTag, SnmpV1, 0, ""), kBuildOk);
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 19, 4), "02 02 00 01");
    ASSERT_EQ(BuildRequest(*state, kSetRequestTag, SnmpV1, IntegerValue, ""), kBuildBadValue);
    ASSERT_EQ(BuildRequest(*state, kGetNextRequestTag, SnmpV1, 0, ""), kBuildOk);
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 19, 4), "02 02 00 03");

    const struct {
        std::int32_t last;
        const char* next;
    } wraps[] = {
        {127, "02 02 00 80"},
        {255, "02 02 01 00"},
        {32767, "02 02 80 00"},
        {65534, "02 02 FF FF"},
        {65535, "02 02 00 01"},
    };
    for (const auto& w : wraps) {
        state->requestId = w.last;
        ASSERT_EQ(BuildRequest(*state, kGetRequestTag, SnmpV1, 0, ""), kBuildOk);
        EXPECT_EQ(HexOf(state->sendBuffer.data() + 19, 4), w.next) << "after " << w.last;
        EXPECT_EQ(state->requestId, w.last == 65535 ? 1 : w.last + 1);
    }
}

TEST(BuildRequest, GetBulkCountsAndMaxRepetitions) {
    // Bytes 23.. hold non-repeaters and max-repetitions (community "ravine").
    const struct {
        std::int32_t nonRepeaters;
        std::int32_t maxRepetitions;
        const char* fields;
        std::int32_t size;
    } cases[] = {
        {2, 10, "02 01 02 02 01 0A", 33 + 2 * 13},
        {0, 0, "02 01 00 02 01 00", 33},
        {0, 127, "02 01 00 02 01 7F", 33},
        {0, 128, "02 01 00 02 02 00 80", 34},
        {0, 255, "02 01 00 02 02 00 FF", 34},
        {0, 32768, "02 01 00 02 03 00 80 00", 35},
        {3, 2147483647, "02 01 03 02 04 7F FF FF FF", 36 + 3 * 13},
    };
    for (const auto& c : cases) {
        auto state = StateWithCommunity();
        for (auto& slot : state->requestOids) SetOid(slot, "1.3.6.1.2.1");
        state->varBindCount = c.nonRepeaters;
        state->maxRepetitions = c.maxRepetitions;
        state->repeaterCount = 0;
        ASSERT_EQ(BuildRequest(*state, kGetBulkRequestTag, SnmpV2c, 0, ""), kBuildOk);
        EXPECT_EQ(state->sendSize, c.size) << c.fields;
        const std::size_t fieldsLength = (std::string(c.fields).size() + 1) / 3;
        EXPECT_EQ(HexOf(state->sendBuffer.data() + 23, fieldsLength), c.fields);
        // The message and PDU lengths follow the wider field.
        EXPECT_EQ(state->sendBuffer[2] * 256 + state->sendBuffer[3], c.size - 4) << c.fields;
        EXPECT_EQ(state->sendBuffer[17] * 256 + state->sendBuffer[18], c.size - 19) << c.fields;
    }
}

TEST(BuildRequest, GetBulkWithNothingToAskSendsAnEmptyBindingList) {
    auto state = StateWithCommunity();
    state->varBindCount = 0;
    state->repeaterCount = 0;
    ASSERT_EQ(BuildRequest(*state, kGetBulkRequestTag, SnmpV2c, 0, ""), kBuildOk);
    EXPECT_EQ(Sent(*state),
              "30 82 00 1D 02 01 01 04 06 72 61 76 69 6E 65 A5 82 00 0E 02 02 00 01 02 01 00 02 01 00 30 82 00 00");
}

TEST(BuildRequest, CommunityOf64BytesAndDamagedCountsStayInsideTheBuffers) {
    auto state = StateWithCommunity(std::string(64, 'c'));
    SetOid(state->requestOids[0], "1.3");
    state->varBindCount = 9;
    state->requestOids[1].length = 900;
    ASSERT_EQ(BuildRequest(*state, kGetNextRequestTag, SnmpV1, 0, ""), kBuildOk);
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 7, 2), "04 40");
    EXPECT_EQ(state->sendBuffer[9 + 64], kGetNextRequestTag);
    EXPECT_LT(state->sendSize, 1000);
}

}  // namespace
}  // namespace quillet
