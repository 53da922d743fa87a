// The four request operations without the window: order and texts of the
// checks, what they leave in the request state, the datagrams they build,
// and the report of a sent request. Community "ravine" is 72 61 76 69 6E 65.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "output/ErrorReporter.h"
#include "request/RequestOperation.h"
#include "request/AgentTransport.h"
#include "request/RequestTracker.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

std::string Sent(const RequestState& state, std::size_t from = 0) {
    return HexOf(state.sendBuffer.data() + from, static_cast<std::size_t>(state.sendSize) - from);
}

// The window as it opens, with an agent address filled in.
RequestFields Window(int version = 0) {
    RequestFields f;
    f.community = "ravine";
    f.ipAddress = "192.0.2.2";
    f.oid1 = "1.3.6.1.4.1";
    f.nonRepeatersCount = f.maxRepetitions = f.repeaterCount = "0";
    f.maxOid1 = f.maxOid2 = f.maxOid3 = "1.3.6.1.4.1";
    f.version = version;
    return f;
}

// An identifier of 201 characters, valid but for its length.
std::string Long201() {
    std::string text = "1.3";
    while (text.size() < 201) text += ".1";
    return text;
}

TEST(PrepareRequest, ChecksRunInTheirOrderAndTheFirstBadFieldIsReported) {
    using K = RequestKind;
    const struct { K kind; std::function<void(RequestFields&)> edit; const char* message; } cases[] = {
        {K::Get, [](RequestFields& f) { f.community = ""; f.ipAddress = "x"; f.oid1 = "x"; }, "コミュニティ名が異常です。"},
        {K::Set, [](RequestFields& f) { f.ipAddress = "1.2.3"; f.oid1 = ""; }, "IPアドレスが異常です。"},
        {K::Get, [](RequestFields& f) { f.ipAddress = "192.0.2.1 "; }, "IPアドレスが異常です。"},
        {K::Get, [](RequestFields& f) { f.community = "caf\xC3\xA9"; }, "コミュニティ名が異常です。"},  // é: no code page 932 form
        {K::GetNext, [](RequestFields& f) { f.oid1 = "1.3."; }, "object IDが異常です。"},
        {K::Get, [](RequestFields& f) { f.oid1 = "3.1.2"; }, "object IDが異常です。"},  // no 40 x X + Y form
        {K::Get, [](RequestFields& f) { f.oid1 = "1.40.2"; }, "object IDが異常です。"},
        {K::Get, [](RequestFields& f) { f.oid1 = "1"; }, "object IDが異常です。"},
        {K::Get, [](RequestFields& f) { f.oid1 = "2.100.3"; }, ""},
        {K::Get, [](RequestFields& f) { f.oid1 = Long201(); }, "object IDが異常です。"},
        {K::GetNext, [](RequestFields& f) { f.oid2 = Long201(); }, "object ID2が異常です。"},
        {K::GetBulk, [](RequestFields& f) { f.maxRepetitions = "1"; f.repeaterCount = "1"; f.maxOid1 = Long201(); },
         "Max OID1が異常です。"},
        {K::Set, [](RequestFields& f) { f.dataType = 3; f.value = "caf\xC3\xA9"; }, "入力データが異常です。"},
        {K::Set, [](RequestFields& f) { f.dataType = 3; f.value = std::string(65464, 'x'); }, "入力データが異常です。"},
        {K::Set, [](RequestFields& f) { f.oid1 = "1.3"; f.dataType = 2; f.value = std::string(2 * 65463, 'a'); }, ""},
        {K::Get, [](RequestFields& f) { f.community = " "; }, ""},
        {K::Set, [](RequestFields&) {}, "入力データが異常です。"},  // empty value
        {K::Set, [](RequestFields& f) { f.dataType = 1; f.value = "192.0.2"; }, "入力データが異常です。"},
        {K::GetNext, [](RequestFields& f) { f.oid2 = "x"; f.oid3 = "y"; }, "object ID2が異常です。"},
        {K::GetNext, [](RequestFields& f) { f.oid2 = "1.3.6"; f.oid3 = "1.3.6 "; }, "object ID3が異常です。"},
        {K::GetNext, [](RequestFields& f) { f.oid2 = " "; }, "object ID2が異常です。"},
        {K::GetNext, [](RequestFields& f) { f.oid3 = "0.40"; }, "object ID3が異常です。"},
        {K::GetBulk, [](RequestFields& f) { f.oid1 = "a"; f.maxRepetitions = "x"; }, "object IDが異常です。"},
        {K::GetBulk, [](RequestFields& f) { f.repeaterCount = "2"; f.nonRepeatersCount = "3"; f.oid3 = "x"; },
         "Max-Repetitionsを入力下さい。"},
        {K::GetBulk, [](RequestFields& f) { f.maxRepetitions = "-1"; }, "Max-Repetitionsを入力下さい。"},
        {K::GetBulk, [](RequestFields& f) { f.nonRepeatersCount = "3"; f.oid2 = "x"; f.oid3 = "y"; },
         "(Min) OID3が異常です。"},
        {K::GetBulk, [](RequestFields& f) { f.nonRepeatersCount = "2"; f.oid2 = "x"; f.oid3 = "y"; },
         "(Min) OID2が異常です。"},
        {K::GetBulk, [](RequestFields& f) { f.nonRepeatersCount = "1"; f.oid2 = "x"; f.oid3 = "y"; }, ""},
        {K::GetBulk,
         [](RequestFields& f) { f.nonRepeatersCount = f.repeaterCount = "3"; f.maxRepetitions = "1"; f.oid3 = f.maxOid3 = "y"; },
         "(Min) OID3が異常です。"},
        {K::GetBulk, [](RequestFields& f) { f.repeaterCount = "3"; f.maxRepetitions = "1"; f.maxOid1 = f.maxOid2 = f.maxOid3 = ""; },
         "Max OID3が異常です。"},
        {K::GetBulk, [](RequestFields& f) { f.repeaterCount = "2"; f.maxRepetitions = "1"; f.maxOid1 = f.maxOid2 = "."; },
         "Max OID2が異常です。"},
        {K::GetBulk, [](RequestFields& f) { f.repeaterCount = "2"; f.maxRepetitions = "1"; f.maxOid1 = "."; },
         "Max OID1が異常です。"},
        {K::GetBulk, [](RequestFields& f) { f.repeaterCount = "1"; f.maxRepetitions = "1"; f.maxOid2 = "."; }, ""},
        {K::GetBulk, [](RequestFields& f) { f.repeaterCount = "1"; f.maxRepetitions = "1"; f.maxOid1 = "4.1"; },
         "Max OID1が異常です。"},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        RequestFields fields = Window(1);
        c.edit(fields);
        const PrepareResult result = PrepareRequest(c.kind, fields, *state);
        EXPECT_TRUE(result.messageChanged) << c.message;
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(result.ready, *c.message == '\0') << c.message;
        if (!result.ready && c.kind != K::Set) {
            EXPECT_EQ(state->requestId, 0) << c.message;
            EXPECT_EQ(state->walkPending, 0) << c.message;
        }
    }
}

TEST(PrepareRequest, AcceptedAddressBecomesTheDestinationEvenWhenALaterCheckFails) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = Window();
    fields.ipAddress = "010.0.2.0x7";
    fields.oid1 = "";
    PrepareResult result = PrepareRequest(RequestKind::Get, fields, *state);
    EXPECT_FALSE(result.ready);
    ASSERT_TRUE(result.addressAccepted);
    EXPECT_EQ(HexOf(result.agentAddress.data(), 4), "08 00 02 07");
    EXPECT_EQ(result.agentAddressText, "010.0.2.0x7");
    fields.community = "";
    EXPECT_FALSE(PrepareRequest(RequestKind::Get, fields, *state).addressAccepted);
}

TEST(PrepareRequest, CommunityOfMoreThan64BytesIsRefusedNotCut) {
    const struct { std::string text, bytes; bool ready; } cases[] = {
        {"ravine", "ravine", true},
        {std::string(64, 'x'), std::string(64, 'x'), true},
        {std::string(62, 'x') + "受", std::string(62, 'x') + "\x8E\xF3", true},
        {"受信", "\x8E\xF3\x90\x4D", true},
        {std::string(64, 'x') + "y", "", false},
        {std::string(63, 'x') + "受", "", false},
        {std::string(300, 'x'), "", false},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        RequestFields fields = Window();
        fields.community = c.text;
        const PrepareResult result = PrepareRequest(RequestKind::Get, fields, *state);
        ASSERT_EQ(result.ready, c.ready) << c.text;
        if (!c.ready) {
            EXPECT_EQ(result.message, "コミュニティ名が異常です。");
            continue;
        }
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(state->community.data())), c.bytes);  // zero-ended
        EXPECT_EQ(state->communityLength, static_cast<std::int32_t>(c.bytes.size()));
        EXPECT_EQ(state->sendBuffer[8], c.bytes.size()) << "04 L on the wire";
    }
}

TEST(PrepareRequest, RefusedSetValueUsesUpARequestId) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = Window();
    ASSERT_TRUE(PrepareRequest(RequestKind::Get, fields, *state).ready);
    EXPECT_FALSE(PrepareRequest(RequestKind::Set, fields, *state).ready);  // empty value
    fields.dataType = 3;
    fields.value = "\xE2\x82\xAC";  // €: code page 932 has no euro sign
    EXPECT_EQ(PrepareRequest(RequestKind::Set, fields, *state).message, "入力データが異常です。");
    EXPECT_EQ(state->requestId, 3);
    EXPECT_EQ(state->sendSize, 46);  // the GetRequest's, untouched
    fields.community = "\xE2\x82\xAC";  // refused before any id is used
    EXPECT_EQ(PrepareRequest(RequestKind::Get, fields, *state).message, "コミュニティ名が異常です。");
    EXPECT_EQ(state->communityLength, 6);
    fields.community = "ravine";
    fields.dataType = 0;
    fields.value.clear();
    state->requestId = 2;  // as if the euro had never been typed

    // Hex-looking or not, an integer that is no decimal number gets the
    // value message and uses up its request id.
    for (const char* value : {"1e3", "0x10"}) {
        fields.value = value;
        const PrepareResult result = PrepareRequest(RequestKind::Set, fields, *state);
        EXPECT_FALSE(result.ready) << value;
        EXPECT_TRUE(result.messageChanged) << value;
        EXPECT_EQ(result.message, "入力データが異常です。") << value;
        EXPECT_EQ(state->sendSize, 46) << value;
    }
    EXPECT_EQ(state->requestId, 4);

    ASSERT_TRUE(PrepareRequest(RequestKind::GetNext, fields, *state).ready);
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 19, 4), "02 02 00 05");
}

TEST(PrepareRequest, SetValueLinesGoOutWithCrLfInCodePage932) {
    const struct { std::string value; const char* tail; } cases[] = {
        {"a\nb", "04 04 61 0D 0A 62"}, {"a\r\nb", "04 04 61 0D 0A 62"}, {"\n", "04 02 0D 0A"},
        {"あ～", "04 04 82 A0 81 60"},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        RequestFields fields = Window();
        fields.oid1 = "1.3";
        fields.dataType = 3;
        fields.value = c.value;
        ASSERT_TRUE(PrepareRequest(RequestKind::Set, fields, *state).ready);
        EXPECT_EQ(Sent(*state, 40), c.tail);
    }
}

TEST(PrepareRequest, GetNextSkipsAnEmptyOid2AndRaisesTheWalk) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = Window();
    fields.oid3 = "1.3.6.1.2.1.1.5";
    ASSERT_TRUE(PrepareRequest(RequestKind::GetNext, fields, *state).ready);
    EXPECT_EQ(state->varBindCount, 2);
    EXPECT_EQ(state->walkPending, 1);
    EXPECT_EQ(Sent(*state), "30 82 00 39 02 01 00 04 06 72 61 76 69 6E 65 A1 82 00 2A 02 02 00 01 02 01 00 02 01 00 "
                            "30 82 00 1C 30 82 00 09 06 05 2B 06 01 04 01 05 00 "
                            "30 82 00 0B 06 07 2B 06 01 02 01 01 05 05 00");
    fields.oid2 = "1.3.6.1.2.1.1.4";
    ASSERT_TRUE(PrepareRequest(RequestKind::GetNext, fields, *state).ready);
    EXPECT_EQ(state->varBindCount, 3);

    state->walkPending = 0;  // a GetRequest leaves the walk alone
    ASSERT_TRUE(PrepareRequest(RequestKind::Get, fields, *state).ready);
    EXPECT_EQ(state->walkPending, 0);
    EXPECT_EQ(state->varBindCount, 1);
}

TEST(PrepareRequest, AWalkIsClearedOnlyForTheRequestThatRaisedIt) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = Window(1);
    ASSERT_TRUE(PrepareRequest(RequestKind::GetNext, fields, *state).ready);
    const std::int32_t first = state->walkPending;  // the listener reads it for an answer ...
    EXPECT_NE(first, 0);
    ASSERT_TRUE(PrepareRequest(RequestKind::GetBulk, fields, *state).ready);  // ... a second press meanwhile
    const std::int32_t second = state->walkPending;
    EXPECT_NE(second, 0);
    EXPECT_NE(second, first);
    EXPECT_FALSE(ClearWalk(*state, first));  // the answer to the first clears nothing
    EXPECT_EQ(state->walkPending, second);
    EXPECT_TRUE(ClearWalk(*state, second));
    EXPECT_EQ(state->walkPending, 0);
    EXPECT_FALSE(ClearWalk(*state, 0));

    state->walkToken = 2147483647;  // tokens wrap without ever being 0
    ASSERT_TRUE(PrepareRequest(RequestKind::GetNext, fields, *state).ready);
    EXPECT_EQ(state->walkPending, 1);
}

TEST(PrepareRequest, GetBulkNeedsRepetitionsForRepeatersAndLeavesOid1Out) {
    auto state = std::make_unique<RequestState>();
    RequestFields fields = Window(1);
    fields.repeaterCount = "2";
    fields.maxOid1 = "1.3.6.1.2.1.2.2.1.2";
    fields.maxOid2 = "1.3.6.1.2.1.2.2.1.3";
    PrepareResult result = PrepareRequest(RequestKind::GetBulk, fields, *state);
    EXPECT_EQ(result.message, "Max-Repetitionsを入力下さい。");
    EXPECT_FALSE(result.ready);
    EXPECT_EQ(state->walkPending, 0);
    EXPECT_EQ(state->repeaterCount, 2);  // stored before the check

    fields.maxRepetitions = "3";
    ASSERT_TRUE(PrepareRequest(RequestKind::GetBulk, fields, *state).ready);
    EXPECT_EQ(state->walkPending, 1);
    EXPECT_EQ(Sent(*state), "30 82 00 3F 02 01 01 04 06 72 61 76 69 6E 65 A5 82 00 30 02 02 00 01 02 01 00 02 01 03 "
                            "30 82 00 22 30 82 00 0D 06 09 2B 06 01 02 01 02 02 01 02 05 00 "
                            "30 82 00 0D 06 09 2B 06 01 02 01 02 02 01 03 05 00");

    // Nothing to ask at all: sent with an empty binding list.
    fields.nonRepeatersCount = fields.maxRepetitions = fields.repeaterCount = "";
    ASSERT_TRUE(PrepareRequest(RequestKind::GetBulk, fields, *state).ready);
    EXPECT_EQ(Sent(*state), "30 82 00 1D 02 01 01 04 06 72 61 76 69 6E 65 A5 82 00 0E 02 02 00 02 02 01 00 02 01 00 "
                            "30 82 00 00");

    fields.maxRepetitions = " 128 ";  // sent as typed, in a wider INTEGER
    ASSERT_TRUE(PrepareRequest(RequestKind::GetBulk, fields, *state).ready);
    EXPECT_EQ(HexOf(state->sendBuffer.data() + 23, 7), "02 01 00 02 02 00 80");
}

TEST(PrepareRequest, GetBulkNumbersThatAreNotIntegersGiveTheMaxRepetitionsMessage) {
    const struct { const char *nonRepeaters, *maxRepetitions, *repeaters, *offending; std::int32_t stored; } cases[] = {
        {"x", "abc", "0", "x", 7}, {"2", "abc", "0", "abc", 2}, {"2", "5", "1.5", "1.5", 2},
        {"1", "2147483648", "0", "2147483648", 1}, {"1", "0x10", "0", "0x10", 1}, {"1", "1e3", "0", "1e3", 1},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        state->varBindCount = 7;
        RequestFields fields = Window(1);
        fields.nonRepeatersCount = c.nonRepeaters;
        fields.maxRepetitions = c.maxRepetitions;
        fields.repeaterCount = c.repeaters;
        const PrepareResult result = PrepareRequest(RequestKind::GetBulk, fields, *state);
        EXPECT_FALSE(result.ready) << c.offending;
        EXPECT_TRUE(result.messageChanged) << c.offending;
        EXPECT_EQ(result.message, "Max-Repetitionsを入力下さい。") << c.offending;
        EXPECT_EQ(state->varBindCount, c.stored) << c.offending;
        EXPECT_EQ(state->walkPending, 0);
    }
}

TEST(ReadIntegerField, AcceptsSignedDecimalWithBlanksAround) {
    const struct { const char* text; bool ok; std::int32_t value; } cases[] = {
        {"", true, 0}, {"5", true, 5}, {" 5 ", true, 5}, {"\t12", true, 12}, {"+3", true, 3}, {"-3", true, -3},
        {"007", true, 7}, {"2147483647", true, 2147483647}, {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0}, {"-2147483649", false, 0}, {"99999999999999999999", false, 0}, {" ", false, 0},
        {"+", false, 0}, {"- 3", false, 0}, {"3a", false, 0}, {"1e3", false, 0}, {"\xEF\xBC\x95", false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t value = 99;
        EXPECT_EQ(ReadIntegerField(c.text, value), c.ok) << "'" << c.text << "'";
        EXPECT_EQ(value, c.ok ? c.value : 99) << "'" << c.text << "'";
    }
}

TEST(ReportRequest, GetRequestLinesDumpAndCharge) {
    auto state = std::make_unique<RequestState>();
    ASSERT_TRUE(PrepareRequest(RequestKind::Get, Window(), *state).ready);
    OutputBatch batch;
    ReportRequest(RequestKind::Get, *state, "1.3.6.1.4.1", true, batch);
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
    const int kinds[] = {SummaryLine, SummaryLine, PduLine, PduLine, PduLine, PduLine};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(batch[i].value, kinds[i]) << i;
    EXPECT_EQ(batch[6].type, OutputBatch::ItemType::Charge);
    EXPECT_EQ(batch[6].value, 238);
}

TEST(ReportRequest, ObjectIdLineNamesTheFirstIdentifierSent) {
    using K = RequestKind;
    const struct { K kind; const char *nonRepeaters, *repeaters, *named; } cases[] = {
        {K::Get, "0", "0", "1.3.6.1.4.1"}, {K::Set, "0", "0", "1.3.6.1.4.1"}, {K::GetNext, "0", "0", "1.3.6.1.4.1"},
        {K::GetBulk, "1", "2", "1.3.6.1.4.1"}, {K::GetBulk, "0", "2", "1.3.6.1.2.1.2.2.1.2"},
        {K::GetBulk, "0", "0", ""},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        RequestFields fields = Window(1);
        fields.value = "1";
        fields.nonRepeatersCount = c.nonRepeaters;
        fields.repeaterCount = c.repeaters;
        fields.maxRepetitions = "4";
        fields.maxOid1 = "1.3.6.1.2.1.2.2.1.2";
        fields.oid2 = "1.3.6.1.2.1.1.5";
        ASSERT_TRUE(PrepareRequest(c.kind, fields, *state).ready) << c.named;
        EXPECT_EQ(ReportedOidText(c.kind, *state, fields), c.named);
    }
}

TEST(ReportRequest, FirstLineAndChargeByKind) {
    using K = RequestKind;
    const struct { K kind; std::int32_t size; bool pduDisplay; int charge; const char* first; } cases[] = {
        {K::Get, 46, false, 100, "get request 送信 request ID=65535  SIZE=46"},
        {K::Set, 53, true, 269, "set request 送信 request ID=65535  SIZE=53"},
        {K::Set, 53, false, 269, "set request 送信 request ID=65535  SIZE=53"},
        {K::Set, 54, true, 272, "set request 送信 request ID=65535  SIZE=54"},  // 172.8 truncated
        {K::Set, 55, false, 276, "set request 送信 request ID=65535  SIZE=55"},  // exactly 176
        {K::GetNext, 61, true, 283, "get next request 送信 request ID=65535  SIZE=61"},
        {K::GetNext, 61, false, 100, "get next request 送信 request ID=65535  SIZE=61"},
        {K::GetBulk, 65, true, 295, "get bulk request 送信 request ID=65535  SIZE=65"},
        {K::GetBulk, 65, false, 100, "get bulk request 送信 request ID=65535  SIZE=65"},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        state->requestId = 65535;
        state->sendSize = c.size;
        OutputBatch batch;
        ReportRequest(c.kind, *state, "1.3.6.1.2.1.1.4", c.pduDisplay, batch);
        const auto lines = batch.LineTexts();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0], c.first);
        EXPECT_EQ(lines[1], "  object ID =1.3.6.1.2.1.1.4");
        EXPECT_EQ(batch[batch.Size() - 1].type, OutputBatch::ItemType::Charge);
        EXPECT_EQ(batch[batch.Size() - 1].value, c.charge) << c.first;
    }
}

TEST(ReportRequest, TheDetailsNameTheDestinationTheSendTimeEveryIdentifierAndTheBulkNumbers) {
    PeerDetails agent;
    const std::uint8_t address[4] = {192, 0, 2, 2};
    std::copy(address, address + 4, agent.address);
    agent.port = 161;
    agent.when = LocalDateTime{2026, 1, 2, 3, 4, 5, 60};
    const std::vector<std::string> sent = {"  送信先=192.0.2.2:161", "  送信時刻=2026/01/02 03:04:05.060"};
    // Kind, OID3Edit, non-repeaters, max-repetitions, repeaters; the lines after the send time.
    const struct { RequestKind kind; const char *oid3, *nonRepeaters, *maxRepetitions, *repeaters;
                   std::vector<std::string> after; } cases[] = {
        {RequestKind::GetNext, ".1.3.6.1.2.1.1.5", "0", "0", "0",
         {"  object ID =1.3.6.1.4.1", "  object ID2=1.3.6.1.2.1.1.5"}},
        {RequestKind::GetBulk, "", "1", "10", "2",
         {"  non-repeaters=1  max-repetitions=10", "  object ID =1.3.6.1.4.1", "  object ID2=1.3.6.1.2.1.2.2.1.2",
          "  object ID3=1.3.6.1.2.1.2.2.1.10"}},
        {RequestKind::GetBulk, "", "0", "300", "1",
         {"  non-repeaters=0  max-repetitions=300", "  object ID =1.3.6.1.2.1.2.2.1.2"}},
        {RequestKind::GetBulk, "", "0", "0", "0", {"  non-repeaters=0  max-repetitions=0", "  object ID ="}},
    };
    for (const auto& c : cases) {
        auto state = std::make_unique<RequestState>();
        RequestFields fields = Window(1);
        fields.oid3 = c.oid3;
        fields.nonRepeatersCount = c.nonRepeaters;
        fields.maxRepetitions = c.maxRepetitions;
        fields.repeaterCount = c.repeaters;
        fields.maxOid1 = "1.3.6.1.2.1.2.2.1.2";
        fields.maxOid2 = "1.3.6.1.2.1.2.2.1.10";
        ASSERT_TRUE(PrepareRequest(c.kind, fields, *state).ready);
        OutputBatch batch;
        ReportRequest(c.kind, *state, ReportedOidText(c.kind, *state, fields), false, batch, &agent);
        std::vector<std::string> lines = batch.LineTexts();
        lines.resize(3 + c.after.size());  // the dump's lines follow
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 3), sent);
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()), c.after) << c.after[0];
    }
    OutputBatch batch;
    ReportNoAnswer(7, 5000, batch);
    EXPECT_EQ(batch.LineTexts(), std::vector<std::string>{"  応答なし：request ID=7  5000ms 待ちました"});
    EXPECT_EQ(NoAnswerMessage(7), "応答がありません（request ID=7）");
}

TEST(RequestTracker, AnAnswerFromTheAgentEndsTheWaitAndGivesTheRoundTrip) {
    const std::uint8_t agent[4] = {192, 0, 2, 2};
    const std::uint8_t other[4] = {192, 0, 2, 9};
    struct Case {
        const char* fault;
        std::uint32_t id;
        const std::uint8_t* from;
        std::uint16_t port;
        std::int64_t roundTripUs;  // -1: not an answer
        bool stillWaited;          // for request 5 afterwards
    };
    const Case cases[] = {
        {"an answer from the agent not matched", 5, agent, 161, 1500, false},
        {"another agent's answer taken", 5, other, 161, -1, true},
        {"another port's answer taken", 5, agent, 162, -1, true},
        {"another id taken", 6, agent, 161, -1, true},
        {"a second copy of the answer counted again", 0, agent, 161, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        RequestTracker tracker;
        tracker.Sent(5, agent, 161, 1'000'000'000);
        if (c.id == 0) tracker.Answered(5, agent, 161, 1'000'100'000);
        EXPECT_EQ(tracker.Answered(c.id == 0 ? 5 : c.id, c.from, c.port, 1'001'500'000), c.roundTripUs);
        std::vector<std::uint8_t> again;
        int tries = 0;
        EXPECT_EQ(tracker.Expire(5, 0, again, tries) == RequestTracker::Expiry::NoAnswer, c.stillWaited);
        EXPECT_EQ(tracker.Expire(5, 0, again, tries), RequestTracker::Expiry::NotWaiting);  // forgotten once expired
    }
    // The id counter wraps: the newest request with an id is the one waited for.
    RequestTracker tracker;
    tracker.Sent(9, agent, 161, 0);
    tracker.Sent(9, other, 161, 0);
    EXPECT_EQ(tracker.Answered(9, agent, 161, 0), -1);
    EXPECT_EQ(tracker.Answered(9, other, 161, 0), 0);
}

TEST(RequestTracker, AnUnansweredRequestGoesAgainAsItWasThenIsSaidWithItsTries) {
    const std::uint8_t agent[4] = {192, 0, 2, 2};
    const std::vector<std::uint8_t> datagram = {0x30, 0x03, 0x02, 0x01, 0x00};
    RequestTracker tracker;
    tracker.Sent(5, agent, 161, 0, datagram, 2);
    std::vector<std::uint8_t> again;
    int tries = 0;
    ASSERT_EQ(tracker.Expire(5, 5'000'000'000, again, tries), RequestTracker::Expiry::Retry);
    EXPECT_EQ(again, datagram);
    EXPECT_EQ(tries, 2);
    ASSERT_EQ(tracker.Expire(5, 10'000'000'000, again, tries), RequestTracker::Expiry::Retry);
    EXPECT_EQ(tries, 3);
    // The round trip runs from the latest send.
    EXPECT_EQ(tracker.Answered(5, agent, 161, 10'000'700'000), 700);
    EXPECT_EQ(tracker.Expire(5, 0, again, tries), RequestTracker::Expiry::NotWaiting);
    tracker.Sent(6, agent, 161, 0, datagram, 1);
    tracker.Expire(6, 0, again, tries);
    EXPECT_EQ(tracker.Expire(6, 0, again, tries), RequestTracker::Expiry::NoAnswer);
    EXPECT_EQ(tries, 2);
    OutputBatch batch;
    ReportNoAnswer(6, 500, batch, tries);
    EXPECT_EQ(batch.LineTexts(), std::vector<std::string>{"  応答なし：request ID=6  500ms × 2回 待ちました"});
    EXPECT_EQ(NoAnswerMessage(6, tries), "応答がありません（request ID=6、2回送信）");
}

}  // namespace
}  // namespace quillet

namespace quillet {
namespace {

TEST(AgentTransport, TakesWhatNetSnmpsOptionsTakeAndRefusesTheRest) {
    struct Case {
        const char *port, *timeout, *retries;
        int wantPort, wantTimeoutMs, wantRetries;  // wantPort 0: refused
        const char* error;
    };
    const Case cases[] = {
        {"161", "5", "0", 161, 5000, 0, ""},
        {" 1161 ", "0.5", "3", 1161, 500, 3, ""},
        {"65535", "1.25", "10", 65535, 1250, 10, ""},
        {"0", "5", "0", 0, 0, 0, "エージェントのポートは1～65535で入力して下さい。"},
        {"65536", "5", "0", 0, 0, 0, "エージェントのポートは1～65535で入力して下さい。"},
        {"161", "0.05", "0", 0, 0, 0, "タイムアウトは0.1～60秒で入力して下さい。"},
        {"161", "61", "0", 0, 0, 0, "タイムアウトは0.1～60秒で入力して下さい。"},
        {"161", "1.", "0", 0, 0, 0, "タイムアウトは0.1～60秒で入力して下さい。"},
        {"161", "1e3", "0", 0, 0, 0, "タイムアウトは0.1～60秒で入力して下さい。"},
        {"161", "5", "11", 0, 0, 0, "再送回数は0～10で入力して下さい。"},
        {"161", "5", "-1", 0, 0, 0, "再送回数は0～10で入力して下さい。"},
    };
    for (const Case& c : cases) {
        AgentTransport got;
        std::string error;
        const bool taken = ParseAgentTransport(c.port, c.timeout, c.retries, got, error);
        EXPECT_EQ(taken, c.wantPort != 0) << c.port << " " << c.timeout << " " << c.retries;
        if (taken) {
            EXPECT_EQ(got.port, c.wantPort);
            EXPECT_EQ(got.timeoutMs, c.wantTimeoutMs);
            EXPECT_EQ(got.retries, c.wantRetries);
            EXPECT_EQ(TimeoutSecondsText(got.timeoutMs), c.timeout);
        } else {
            EXPECT_EQ(error, c.error);
        }
    }
}

}  // namespace
}  // namespace quillet
