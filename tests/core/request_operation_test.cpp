// The four request operations without the window: order and texts of the
// checks, what they leave in the request state, the datagrams they build,
// and the report of a sent request.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/OutputBatch.h"
#include "request/RequestOperation.h"
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

// The window as it opens, with an agent address filled in.
RequestFields WindowDefaults() {
    RequestFields fields;
    fields.community = "ravine";
    fields.ipAddress = "192.0.2.2";
    fields.oid1 = "1.3.6.1.4.1";
    fields.nonRepeatersCount = "0";
    fields.maxRepetitions = "0";
    fields.repeaterCount = "0";
    fields.maxOid1 = fields.maxOid2 = fields.maxOid3 = "1.3.6.1.4.1";
    return fields;
}

TEST(PrepareRequest, WorkedExamplesGoOutByteForByte) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = WindowDefaults();
    PrepareResult result = PrepareRequest(RequestKind::Get, fields, *state);
    ASSERT_TRUE(result.ready);
    EXPECT_EQ(Sent(*state),
              "30 82 00 2A 02 01 00 04 06 72 61 76 69 6E 65 A0 82 00 1B 02 02 00 01 02 01 00 02 01 00 "
              "30 82 00 0D 30 82 00 09 06 05 2B 06 01 04 01 05 00");

    fields.version = 1;
    fields.oid1 = "1.3.6.1.2.1.2.2.1.7.130";
    fields.dataType = 0;
    fields.value = "300";
    result = PrepareRequest(RequestKind::Set, fields, *state);
    ASSERT_TRUE(result.ready);
    EXPECT_EQ(Sent(*state),
              "30 82 00 32 02 01 01 04 06 72 61 76 69 6E 65 A3 82 00 23 02 02 00 02 02 01 00 02 01 00 "
              "30 82 00 15 30 82 00 11 06 0B 2B 06 01 02 01 02 02 01 07 81 02 02 02 01 2C");

    state->requestId = 3;
    fields.oid1 = "1.3.6.1.2.1.1.3";
    fields.nonRepeatersCount = "1";
    fields.maxRepetitions = "5";
    fields.repeaterCount = "1";
    fields.maxOid1 = "1.3.6.1.2.1.2.2.1.2";
    result = PrepareRequest(RequestKind::GetBulk, fields, *state);
    ASSERT_TRUE(result.ready);
    EXPECT_EQ(Sent(*state),
              "30 82 00 3D 02 01 01 04 06 72 61 76 69 6E 65 A5 82 00 2E 02 02 00 04 02 01 01 02 01 05 "
              "30 82 00 20 30 82 00 0B 06 07 2B 06 01 02 01 01 03 05 00 "
              "30 82 00 0D 06 09 2B 06 01 02 01 02 02 01 02 05 00");
    EXPECT_EQ(state->varBindCount, 1);
    EXPECT_EQ(state->walkPending, 1);
}

struct CheckCase {
    const char* what;
    RequestKind kind;
    std::function<void(RequestFields&)> edit;
    const char* message;  // "" when the request is ready
};

TEST(PrepareRequest, ChecksRunInTheirOrderAndTheFirstBadFieldIsReported) {
    const CheckCase cases[] = {
        {"all of community, address, OID1 bad", RequestKind::Get,
         [](RequestFields& f) { f.community = ""; f.ipAddress = "x"; f.oid1 = "x"; }, "コミュニティ名が異常です。"},
        {"address and OID1 bad", RequestKind::Set,
         [](RequestFields& f) { f.ipAddress = "1.2.3"; f.oid1 = ""; }, "IPアドレスが異常です。"},
        {"address with a trailing blank", RequestKind::Get,
         [](RequestFields& f) { f.ipAddress = "192.0.2.1 "; }, "IPアドレスが異常です。"},
        {"OID1 bad", RequestKind::GetNext, [](RequestFields& f) { f.oid1 = "1.3."; }, "object IDが異常です。"},
        {"blank community passes", RequestKind::Get, [](RequestFields& f) { f.community = " "; }, ""},
        {"set with an empty value", RequestKind::Set, [](RequestFields&) {}, "入力データが異常です。"},
        {"set IpAddress that is not one", RequestKind::Set,
         [](RequestFields& f) { f.dataType = 1; f.value = "192.0.2"; }, "入力データが異常です。"},
        {"set odd hex", RequestKind::Set,
         [](RequestFields& f) { f.dataType = 2; f.value = "0aF"; }, "入力データが異常です。"},
        {"next: ID2 before ID3", RequestKind::GetNext,
         [](RequestFields& f) { f.oid2 = "x"; f.oid3 = "y"; }, "object ID2が異常です。"},
        {"next: ID3", RequestKind::GetNext,
         [](RequestFields& f) { f.oid2 = "1.3.6"; f.oid3 = "1.3.6 "; }, "object ID3が異常です。"},
        {"next: blank OID2 is not empty", RequestKind::GetNext,
         [](RequestFields& f) { f.oid2 = " "; }, "object ID2が異常です。"},
        {"bulk: OID1 checked even with no non-repeaters", RequestKind::GetBulk,
         [](RequestFields& f) { f.oid1 = "a"; f.maxRepetitions = "x"; }, "object IDが異常です。"},
        {"bulk: repetitions missing for repeaters", RequestKind::GetBulk,
         [](RequestFields& f) { f.repeaterCount = "2"; f.nonRepeatersCount = "3"; f.oid3 = "x"; },
         "Max-Repetitionsを入力下さい。"},
        {"bulk: negative repetitions", RequestKind::GetBulk,
         [](RequestFields& f) { f.maxRepetitions = "-1"; }, "Max-Repetitionsを入力下さい。"},
        {"bulk: non-repeaters from the last down", RequestKind::GetBulk,
         [](RequestFields& f) { f.nonRepeatersCount = "3"; f.oid2 = "x"; f.oid3 = "y"; }, "(Min) OID3が異常です。"},
        {"bulk: OID2 of two non-repeaters", RequestKind::GetBulk,
         [](RequestFields& f) { f.nonRepeatersCount = "2"; f.oid2 = "x"; f.oid3 = "y"; }, "(Min) OID2が異常です。"},
        {"bulk: one non-repeater ignores OID2 and OID3", RequestKind::GetBulk,
         [](RequestFields& f) { f.nonRepeatersCount = "1"; f.oid2 = "x"; f.oid3 = "y"; }, ""},
        {"bulk: non-repeaters before repeaters", RequestKind::GetBulk,
         [](RequestFields& f) {
             f.nonRepeatersCount = "3"; f.oid3 = "y"; f.repeaterCount = "3"; f.maxRepetitions = "1"; f.maxOid3 = "z";
         },
         "(Min) OID3が異常です。"},
        {"bulk: repeaters from the last down", RequestKind::GetBulk,
         [](RequestFields& f) {
             f.repeaterCount = "3"; f.maxRepetitions = "1"; f.maxOid1 = f.maxOid2 = f.maxOid3 = "";
         },
         "Max OID3が異常です。"},
        {"bulk: Max OID2", RequestKind::GetBulk,
         [](RequestFields& f) { f.repeaterCount = "2"; f.maxRepetitions = "1"; f.maxOid1 = f.maxOid2 = "."; },
         "Max OID2が異常です。"},
        {"bulk: Max OID1", RequestKind::GetBulk,
         [](RequestFields& f) { f.repeaterCount = "2"; f.maxRepetitions = "1"; f.maxOid1 = "."; },
         "Max OID1が異常です。"},
        {"bulk: one repeater ignores MaxOID2", RequestKind::GetBulk,
         [](RequestFields& f) { f.repeaterCount = "1"; f.maxRepetitions = "1"; f.maxOid2 = "."; }, ""},
    };
    for (const CheckCase& c : cases) {
        auto state = std::make_unique<RequestState>();
        RequestFields fields = WindowDefaults();
        c.edit(fields);
        const PrepareResult result = PrepareRequest(c.kind, fields, *state);
        EXPECT_TRUE(result.messageChanged) << c.what;
        EXPECT_EQ(result.message, c.message) << c.what;
        EXPECT_EQ(result.ready, *c.message == '\0') << c.what;
        EXPECT_FALSE(result.conversionError) << c.what;
        if (!result.ready && c.kind != RequestKind::Set) {
            EXPECT_EQ(state->requestId, 0) << c.what;
            EXPECT_EQ(state->walkPending, 0) << c.what;
        }
    }
}

TEST(PrepareRequest, AcceptedAddressBecomesTheDestinationEvenWhenALaterCheckFails) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = WindowDefaults();
    fields.ipAddress = "010.0.2.0x7";
    fields.oid1 = "";
    const PrepareResult result = PrepareRequest(RequestKind::Get, fields, *state);
    EXPECT_FALSE(result.ready);
    ASSERT_TRUE(result.addressAccepted);
    EXPECT_EQ(HexOf(result.agentAddress.data(), 4), "08 00 02 07");
    EXPECT_EQ(result.agentAddressText, "010.0.2.0x7");

    fields = WindowDefaults();
    fields.community = "";
    EXPECT_FALSE(PrepareRequest(RequestKind::Get, fields, *state).addressAccepted);
}

TEST(PrepareRequest, CommunityIsCutAt64BytesWithoutSplittingACharacter) {
    const struct {
        std::string text;
        std::string bytes;
    } cases[] = {
        {"ravine", "ravine"},
        {std::string(64, 'x') + "y", std::string(64, 'x')},
        {std::string(63, 'x') + "受", std::string(63, 'x')},
        {std::string(62, 'x') + "受", std::string(62, 'x') + "\x8E\xF3"},
        {"受信", "\x8E\xF3\x90\x4D"},
        {" ", " "},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        state->community.fill(0xEE);
        RequestFields fields = WindowDefaults();
        fields.community = c.text;
        ASSERT_TRUE(PrepareRequest(RequestKind::Get, fields, *state).ready) << c.text;
        ASSERT_EQ(state->communityLength, static_cast<std::int32_t>(c.bytes.size())) << c.text;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(state->community.data()), c.bytes.size()), c.bytes);
        EXPECT_EQ(state->community[c.bytes.size()], 0) << c.text;
        // On the wire: 04 L and the bytes as stored.
        EXPECT_EQ(state->sendBuffer[8], c.bytes.size()) << c.text;
    }
}

TEST(PrepareRequest, FailedSetValueUsesUpARequestId) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = WindowDefaults();
    ASSERT_TRUE(PrepareRequest(RequestKind::Get, fields, *state).ready);
    EXPECT_EQ(state->requestId, 1);
    const std::int32_t sizeBefore = state->sendSize;

    const PrepareResult refused = PrepareRequest(RequestKind::Set, fields, *state);  // empty value
    EXPECT_FALSE(refused.ready);
    EXPECT_EQ(refused.message, "入力データが異常です。");
    EXPECT_EQ(state->sendSize, sizeBefore);

    ASSERT_TRUE(PrepareRequest(RequestKind::GetNext, fields, *state).ready);
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 19, 4), "02 02 00 03");
}

TEST(PrepareRequest, IntegerValueWithHexLettersRaisesTheConversionError) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = WindowDefaults();
    fields.value = "1a";
    const PrepareResult result = PrepareRequest(RequestKind::Set, fields, *state);
    EXPECT_FALSE(result.ready);
    EXPECT_TRUE(result.conversionError);
    EXPECT_EQ(result.conversionErrorText, "1a");
    // The message field was emptied before the value was encoded.
    EXPECT_TRUE(result.messageChanged);
    EXPECT_EQ(result.message, "");
    EXPECT_EQ(state->requestId, 1);
    EXPECT_EQ(ConversionErrorMessage(result.conversionErrorText), "'1a' is not a valid integer value");
}

TEST(PrepareRequest, SetValueLinesGoOutWithCrLfInCodePage932) {
    const struct {
        int type;
        std::string value;
        const char* tail;
    } cases[] = {
        {3, "a\nb", "04 04 61 0D 0A 62"},
        {3, "a\r\nb", "04 04 61 0D 0A 62"},
        {3, "\n", "04 02 0D 0A"},
        {3, "あ～", "04 04 82 A0 81 60"},
        {2, "0aFF", "04 02 0A FF"},
        {1, "192.0.2.9", "40 04 C0 00 02 09"},
        {0, "32768", "02 04 00 00 80 00"},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        RequestFields fields = WindowDefaults();
        fields.oid1 = "1.3";
        fields.dataType = c.type;
        fields.value = c.value;
        ASSERT_TRUE(PrepareRequest(RequestKind::Set, fields, *state).ready) << c.value;
        // 40 bytes up to the OID 06 01 2B with community "ravine".
        EXPECT_EQ(HexOf(state->sendBuffer.data() + 40, static_cast<std::size_t>(state->sendSize) - 40), c.tail);
    }
}

TEST(PrepareRequest, GetNextSkipsAnEmptyOid2AndRaisesTheWalk) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = WindowDefaults();
    fields.oid3 = "1.3.6.1.2.1.1.5";
    ASSERT_TRUE(PrepareRequest(RequestKind::GetNext, fields, *state).ready);
    EXPECT_EQ(state->varBindCount, 2);
    EXPECT_EQ(state->walkPending, 1);
    EXPECT_EQ(Sent(*state),
              "30 82 00 39 02 01 00 04 06 72 61 76 69 6E 65 A1 82 00 2A 02 02 00 01 02 01 00 02 01 00 "
              "30 82 00 1C 30 82 00 09 06 05 2B 06 01 04 01 05 00 "
              "30 82 00 0B 06 07 2B 06 01 02 01 01 05 05 00");

    fields.oid2 = "1.3.6.1.2.1.1.4";
    ASSERT_TRUE(PrepareRequest(RequestKind::GetNext, fields, *state).ready);
    EXPECT_EQ(state->varBindCount, 3);

    // A GetRequest neither raises nor lowers the walk.
    state->walkPending = 0;
    ASSERT_TRUE(PrepareRequest(RequestKind::Get, fields, *state).ready);
    EXPECT_EQ(state->walkPending, 0);
    EXPECT_EQ(state->varBindCount, 1);
}

TEST(PrepareRequest, GetBulkNeedsRepetitionsForRepeatersAndLeavesOid1Out) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = WindowDefaults();
    fields.version = 1;
    fields.repeaterCount = "2";
    fields.maxOid1 = "1.3.6.1.2.1.2.2.1.2";
    fields.maxOid2 = "1.3.6.1.2.1.2.2.1.3";
    PrepareResult result = PrepareRequest(RequestKind::GetBulk, fields, *state);
    EXPECT_EQ(result.message, "Max-Repetitionsを入力下さい。");
    EXPECT_FALSE(result.ready);
    EXPECT_EQ(state->walkPending, 0);
    // The counts were stored before the check failed.
    EXPECT_EQ(state->repeaterCount, 2);
    EXPECT_EQ(state->varBindCount, 0);

    fields.maxRepetitions = "3";
    result = PrepareRequest(RequestKind::GetBulk, fields, *state);
    ASSERT_TRUE(result.ready);
    EXPECT_EQ(state->walkPending, 1);
    EXPECT_EQ(Sent(*state),
              "30 82 00 3F 02 01 01 04 06 72 61 76 69 6E 65 A5 82 00 30 02 02 00 01 02 01 00 02 01 03 "
              "30 82 00 22 30 82 00 0D 06 09 2B 06 01 02 01 02 02 01 02 05 00 "
              "30 82 00 0D 06 09 2B 06 01 02 01 02 02 01 03 05 00");
}

TEST(PrepareRequest, GetBulkWithNoBindingsAtAllIsSent) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = WindowDefaults();
    fields.version = 1;
    fields.nonRepeatersCount = "";
    fields.maxRepetitions = "";
    fields.repeaterCount = "";
    ASSERT_TRUE(PrepareRequest(RequestKind::GetBulk, fields, *state).ready);
    EXPECT_EQ(Sent(*state),
              "30 82 00 1D 02 01 01 04 06 72 61 76 69 6E 65 A5 82 00 0E 02 02 00 01 02 01 00 02 01 00 30 82 00 00");
}

TEST(PrepareRequest, GetBulkNumbersThatAreNotIntegersRaiseTheConversionError) {
    const struct {
        const char* nonRepeaters;
        const char* maxRepetitions;
        const char* repeaters;
        const char* offending;
        std::int32_t storedNonRepeaters;
    } cases[] = {
        {"x", "abc", "0", "x", 7},
        {"2", "abc", "0", "abc", 2},
        {"2", "5", "1.5", "1.5", 2},
        {"1", "2147483648", "0", "2147483648", 1},
        {"1", "0x10", "0", "0x10", 1},
        {"1", "1 2", "0", "1 2", 1},
        {"1", "-", "0", "-", 1},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        state->varBindCount = 7;
        state->walkPending = 0;
        RequestFields fields = WindowDefaults();
        fields.nonRepeatersCount = c.nonRepeaters;
        fields.maxRepetitions = c.maxRepetitions;
        fields.repeaterCount = c.repeaters;
        fields.maxOid1 = "1.3.6";
        const PrepareResult result = PrepareRequest(RequestKind::GetBulk, fields, *state);
        EXPECT_TRUE(result.conversionError) << c.offending;
        EXPECT_EQ(result.conversionErrorText, c.offending);
        EXPECT_FALSE(result.ready) << c.offending;
        EXPECT_FALSE(result.messageChanged) << c.offending;  // MessageEdit keeps its text
        EXPECT_EQ(state->varBindCount, c.storedNonRepeaters) << c.offending;
        EXPECT_EQ(state->requestId, 0) << c.offending;
        EXPECT_EQ(state->walkPending, 0) << c.offending;
    }
}

TEST(PrepareRequest, WideMaxRepetitionsIsSentAsTyped) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = WindowDefaults();
    fields.version = 1;
    fields.maxRepetitions = " 128 ";
    ASSERT_TRUE(PrepareRequest(RequestKind::GetBulk, fields, *state).ready);
    EXPECT_EQ(state->maxRepetitions, 128);
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 23, 7), "02 01 00 02 02 00 80");
}

TEST(ReadIntegerField, AcceptsSignedDecimalWithBlanksAround) {
    const struct {
        const char* text;
        bool ok;
        std::int32_t value;
    } cases[] = {
        {"", true, 0},         {"0", true, 0},       {"5", true, 5},
        {" 5 ", true, 5},      {"\t12", true, 12},   {"+3", true, 3},
        {"-3", true, -3},      {"007", true, 7},     {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},      {"2147483648", false, 0},
        {"-2147483649", false, 0},                   {"99999999999999999999", false, 0},
        {" ", false, 0},       {"+", false, 0},      {"- 3", false, 0},
        {"3a", false, 0},      {"1e3", false, 0},    {"1,000", false, 0},
        {"\xEF\xBC\x95", false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t value = 99;
        EXPECT_EQ(ReadIntegerField(c.text, value), c.ok) << "'" << c.text << "'";
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(ReportRequest, GetRequestLinesDumpAndCharge) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = WindowDefaults();
    ASSERT_TRUE(PrepareRequest(RequestKind::Get, fields, *state).ready);
    OutputBatch batch;
    ReportRequest(RequestKind::Get, *state, fields.oid1, true, batch);
    const std::vector<std::string> expected = {
        "get request 送信 request ID=1  SIZE=46",
        "  object ID =1.3.6.1.4.1",
        "  送信DATA=",
        "  30 82 00 2A 02 01 00 04 06 72 61 76 69 6E 65 A0   0..*.....ravine.",
        "  82 00 1B 02 02 00 01 02 01 00 02 01 00 30 82 00   .............0..",
        "  0D 30 82 00 09 06 05 2B 06 01 04 01 05 00         .0.....+......",
    };
    EXPECT_EQ(batch.LineTexts(), expected);
    ASSERT_EQ(batch.Size(), 7u);
    EXPECT_EQ(batch[0].value, SummaryLine);
    EXPECT_EQ(batch[1].value, SummaryLine);
    for (std::size_t i = 2; i < 6; ++i) EXPECT_EQ(batch[i].value, PduLine) << i;
    EXPECT_EQ(batch[6].type, OutputBatch::ItemType::Charge);
    EXPECT_EQ(batch[6].value, 238);
}

TEST(ReportRequest, FirstLineNamesTheKindAndOnlyOid1IsNamed) {
    const struct {
        RequestKind kind;
        const char* first;
    } cases[] = {
        {RequestKind::Set, "set request 送信 request ID=65535  SIZE=12"},
        {RequestKind::Get, "get request 送信 request ID=65535  SIZE=12"},
        {RequestKind::GetNext, "get next request 送信 request ID=65535  SIZE=12"},
        {RequestKind::GetBulk, "get bulk request 送信 request ID=65535  SIZE=12"},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        state->requestId = 65535;
        state->sendSize = 12;
        OutputBatch batch;
        ReportRequest(c.kind, *state, "1.3.6.1.2.1.1.4", false, batch);
        const auto lines = batch.LineTexts();
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0], c.first);
        EXPECT_EQ(lines[1], "  object ID =1.3.6.1.2.1.1.4");
    }
}

TEST(ReportRequest, ChargeDependsOnKindAndPduDisplay) {
    const struct {
        RequestKind kind;
        std::int32_t size;
        bool pduDisplay;
        int charge;
    } cases[] = {
        {RequestKind::Get, 46, true, 238},      {RequestKind::Get, 46, false, 100},
        {RequestKind::Set, 53, true, 269},      {RequestKind::Set, 53, false, 269},
        {RequestKind::Set, 55, false, 276},     // 55 x 3.2 is exactly 176
        {RequestKind::Set, 54, true, 272},      // 172.8 truncated
        {RequestKind::GetNext, 61, true, 283},  {RequestKind::GetNext, 61, false, 100},
        {RequestKind::GetBulk, 65, true, 295},  {RequestKind::GetBulk, 65, false, 100},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        state->sendSize = c.size;
        OutputBatch batch;
        ReportRequest(c.kind, *state, "1.3", c.pduDisplay, batch);
        ASSERT_GT(batch.Size(), 0u);
        const auto& last = batch[batch.Size() - 1];
        EXPECT_EQ(last.type, OutputBatch::ItemType::Charge);
        EXPECT_EQ(last.value, c.charge) << "size " << c.size;
    }
}

}  // namespace
}  // namespace quillet
