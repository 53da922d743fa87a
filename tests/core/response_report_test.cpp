// The report of one received datagram: header, OID field refresh, dump,
// frame error and binding lines. The fixtures marked "snmpd" are answers of
// net-snmp 5.9.3's snmpd captured on loopback; the rest are written by hand.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <string>
#include <vector>

#include "output/OutputBatch.h"
#include "response/BindingLines.h"
#include "response/ResponseReport.h"
#include "response/ResponseScan.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

// The header of an SNMPv1/v2c message, read as the listeners read it.
CommunityMessage MessageOf(const std::uint8_t* data, std::size_t size) {
    CommunityMessage message;
    ReadCommunityMessage(data, size, message);
    return message;
}

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// A TLV with a minimal length, for wrapping hand-written bindings.
Bytes Tlv(std::uint8_t tag, const Bytes& body) {
    Bytes out{tag};
    const std::size_t n = body.size();
    if (n >= 256) out.insert(out.end(), {0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    else if (n >= 128) out.insert(out.end(), {0x81, static_cast<std::uint8_t>(n)});
    else out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// An SNMPv2c response, request-id 1, community "ravine", with the given
// error-status element and variable-binding list contents.
Bytes V2Response(const std::string& errorStatusHex, const Bytes& varbinds) {
    Bytes pdu = Hex("02 01 01 " + errorStatusHex + " 02 01 00");
    const Bytes list = Tlv(0x30, varbinds);
    pdu.insert(pdu.end(), list.begin(), list.end());
    Bytes message = Hex("02 01 01 04 06 72 61 76 69 6E 65");
    const Bytes wrapped = Tlv(0xA2, pdu);
    message.insert(message.end(), wrapped.begin(), wrapped.end());
    return Tlv(0x30, message);
}

// The batch as readable entries: summary lines as they are, "P:" + text for
// PDU lines, "+N" for charges, "OIDnEdit=" for field texts, "count Recv".
// With compressDump, a run of datagram dump lines becomes "P:dump N".
Lines Transcript(const OutputBatch& batch, bool compressDump = true) {
    Lines out;
    int dumpRun = 0;
    for (const OutputBatch::Item& item : batch) {
        const bool dumpLine = item.type == OutputBatch::ItemType::Line && item.value == PduLine &&
                              item.text != "  受信DATA=";
        if (compressDump && dumpLine) {
            ++dumpRun;
            continue;
        }
        if (dumpRun > 0) out.push_back("P:dump " + std::to_string(dumpRun));
        dumpRun = 0;
        switch (item.type) {
        case OutputBatch::ItemType::Line:
            out.push_back((item.value == PduLine ? "P:" : "") + item.text);
            break;
        case OutputBatch::ItemType::Charge: out.push_back("+" + std::to_string(item.value)); break;
        case OutputBatch::ItemType::SetField:
            out.push_back("OID" + std::to_string(item.value - static_cast<int>(Field::OID1Edit) + 1) +
                          "Edit=" + item.text);
            break;
        case OutputBatch::ItemType::Count: out.push_back("count " + std::to_string(item.value)); break;
        case OutputBatch::ItemType::PaneLine: out.push_back("pane " + item.text); break;
        case OutputBatch::ItemType::Start: out.push_back("start"); break;
        }
    }
    if (dumpRun > 0) out.push_back("P:dump " + std::to_string(dumpRun));
    return out;
}

const std::string kCountRecv = "count " + std::to_string(static_cast<int>(Counter::Recv));

// snmpd: v2c GetRequest sysUpTime.0, sysObjectID.0 (request-id 1234).
const char* const kUptimeAndObjectId =
    "30 41 02 01 01 04 06 72 61 76 69 6E 65 A2 34 02 02 04 D2 02 01 00 02 01 00 30 28 30 0E 06 08 2B "
    "06 01 02 01 01 03 00 43 02 03 81 30 16 06 08 2B 06 01 02 01 01 02 00 06 0A 2B 06 01 04 01 BF 08 "
    "03 02 0A";
// snmpd: v1 GetRequest of two unknown objects, error-status 2, NULL values.
const char* const kNoSuchNameV1 =
    "30 36 02 01 00 04 06 72 61 76 69 6E 65 A2 29 02 01 06 02 01 02 02 01 02 30 1E 30 0D 06 09 2B 06 "
    "01 04 01 81 C9 58 00 05 00 30 0D 06 09 2B 06 01 04 01 81 C9 59 00 05 00";
// snmpd: v2c GetRequest of 1.3.6.1.2.1.1.99.0, answered noSuchObject (80 00).
const char* const kNoSuchObjectV2 =
    "30 26 02 01 01 04 06 72 61 76 69 6E 65 A2 19 02 01 05 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 "
    "01 02 01 01 63 00 80 00";
// snmpd: v1 GetNextRequest of three identifiers: IpAddress, Gauge, Counter.
const char* const kIpGaugeCounterV1 =
    "30 55 02 01 00 04 06 72 61 76 69 6E 65 A2 48 02 01 08 02 01 00 02 01 00 30 3D 30 15 06 0D 2B 06 "
    "01 02 01 04 14 01 01 7F 00 00 01 40 04 7F 00 00 01 30 12 06 0A 2B 06 01 02 01 02 02 01 05 01 42 "
    "04 00 98 96 80 30 10 06 0A 2B 06 01 02 01 02 02 01 0A 01 41 02 13 0B";
// snmpd: v2c GetBulkRequest, non-repeaters 0, max-repetitions 3 over ifDescr.
const char* const kBulkIfDescrV2 =
    "30 52 02 01 01 04 06 72 61 76 69 6E 65 A2 45 02 01 09 02 01 00 02 01 00 30 3A 30 10 06 0A 2B 06 "
    "01 02 01 02 02 01 02 01 04 02 6C 6F 30 12 06 0A 2B 06 01 02 01 02 02 01 02 02 04 04 69 66 62 30 "
    "30 12 06 0A 2B 06 01 02 01 02 02 01 02 03 04 04 69 66 62 31";
// snmpd: v1 SetRequest of sysLocation.0 with the read-only community.
const char* const kSetReadOnlyV1 =
    "30 30 02 01 00 04 06 72 61 76 69 6E 65 A2 23 02 01 07 02 01 02 02 01 01 30 18 30 16 06 08 2B 06 "
    "01 02 01 01 06 00 04 0A 4C 61 62 20 72 61 63 6B 20 38";
// snmpd: v2c GetNextRequest past the last object, answered endOfMibView (82 00).
const char* const kEndOfMibViewV2 =
    "30 1F 02 01 01 04 06 72 61 76 69 6E 65 A2 12 02 01 0D 02 01 00 02 01 00 30 07 30 05 06 01 2C 82 "
    "00";
// snmpd: v2c GetRequest of sysUpTime.1, answered noSuchInstance (81 00).
const char* const kNoSuchInstanceV2 =
    "30 26 02 01 01 04 06 72 61 76 69 6E 65 A2 19 02 01 15 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 "
    "01 02 01 01 03 01 81 00";
// snmpd: v2c GetRequest of ifHCInOctets.1 (lo), a Counter64 of four octets.
const char* const kIfHCInOctetsV2 =
    "30 2D 02 01 01 04 06 72 61 76 69 6E 65 A2 20 02 01 16 02 01 00 02 01 00 30 15 30 13 06 0B 2B 06 "
    "01 02 01 1F 01 01 01 06 01 46 04 01 23 B2 37";
// snmpd: v2c GetRequest of two Counter64 objects served by a pass script,
// 2^64 - 1 and 2^63, each nine octets with the leading 00.
const char* const kCounter64HighV2 =
    "30 4A 02 01 01 04 06 72 61 76 69 6E 65 A2 3D 02 01 17 02 01 00 02 01 00 30 32 30 17 06 0A 2B 06 "
    "01 04 01 86 8D 1F 40 00 46 09 00 FF FF FF FF FF FF FF FF 30 17 06 0A 2B 06 01 04 01 86 8D 1F 40 01 "
    "46 09 00 80 00 00 00 00 00 00 00";
// snmpd: v2c GetRequest sysDescr.0 whose sysDescr is 200 characters long (04 81 C8).
const std::string kLongDescrV2 =
    "30 81 F2 02 01 01 04 06 72 61 76 69 6E 65 A2 81 E4 02 01 0A 02 01 00 02 01 00 30 81 D8 30 81 D5 "
    "06 08 2B 06 01 02 01 01 01 00 04 81 C8 51 75 69 6C 6C 65 74 20 62 65 6E 63 68 20 61 67 65 6E 74 "
    "20" + [] {
        std::string x;
        for (int i = 0; i < 180; ++i) x += " 78";
        return x;
    }();

struct ReportCase {
    const char* name;
    std::string hex;
    int walkPending;
    int varBindCount;
    bool clearWalkPending;
    Lines transcript;
};

TEST(ReportResponse, AgentAnswersGiveTheirLinesChargesAndFieldsInOrder) {
    const ReportCase cases[] = {
        {"v2c Get: TimeTicks and an OID-typed value", kUptimeAndObjectId, 0, 1, true,
         {kCountRecv, "response 受信 request ID=1234  SIZE=67", "OID1Edit=1.3.6.1.2.1.1.3.0", "P:  受信DATA=",
          "P:dump 5", "+201", "  object ID =1.3.6.1.2.1.1.3.0", "+100", "  応答データ(Ticks)=897", "+20",
          "  object ID =1.3.6.1.2.1.1.2.0", "+100", "  応答データ(OBJECT IDENTIFIER)=1.3.6.1.4.1.8072.3.2.10",
          "+100"}},
        {"v1 noSuchName shows the status for each NULL binding", kNoSuchNameV1, 0, 1, true,
         {kCountRecv, "get response 受信 request ID=6  SIZE=56", "OID1Edit=1.3.6.1.4.1.25816.0", "P:  受信DATA=",
          "P:dump 4", "+168", "  object ID =1.3.6.1.4.1.25816.0", "+100", "  エラー応答=noSuchName", "+20",
          "  object ID =1.3.6.1.4.1.25817.0", "+100", "  エラー応答=noSuchName", "+20"}},
        {"v1 Set refused: the status replaces the value", kSetReadOnlyV1, 0, 1, true,
         {kCountRecv, "get response 受信 request ID=7  SIZE=50", "OID1Edit=1.3.6.1.2.1.1.6.0", "P:  受信DATA=",
          "P:dump 4", "+150", "  object ID =1.3.6.1.2.1.1.6.0", "+100", "  エラー応答=noSuchName", "+20"}},
        {"noSuchObject shown as a frame error", kNoSuchObjectV2, 0, 1, true,
         {kCountRecv, "response 受信 request ID=5  SIZE=40", "OID1Edit=1.3.6.1.2.1.1.99.0", "P:  受信DATA=",
          "P:dump 3", "+120", "  object ID =1.3.6.1.2.1.1.99.0", "+100", "  応答データ(noSuchObject)", "+20"}},
        {"noSuchInstance shown as a frame error", kNoSuchInstanceV2, 0, 1, true,
         {kCountRecv, "response 受信 request ID=21  SIZE=40", "OID1Edit=1.3.6.1.2.1.1.3.1", "P:  受信DATA=",
          "P:dump 3", "+120", "  object ID =1.3.6.1.2.1.1.3.1", "+100", "  応答データ(noSuchInstance)", "+20"}},
        {"endOfMibView ending a walk with a frame error", kEndOfMibViewV2, 1, 1, true,
         {kCountRecv, "response 受信 request ID=13  SIZE=33", "OID1Edit=1.4", "P:  受信DATA=", "P:dump 3", "+99",
          "  object ID =1.4", "+100", "  応答データ(endOfMibView)", "+20"}},
        {"Counter64 shown as a frame error (snmpget: Counter64: 19116599)", kIfHCInOctetsV2, 0, 1, true,
         {kCountRecv, "response 受信 request ID=22  SIZE=47", "OID1Edit=1.3.6.1.2.1.31.1.1.1.6.1", "P:  受信DATA=",
          "P:dump 3", "+141", "  object ID =1.3.6.1.2.1.31.1.1.1.6.1", "+100", "  応答データ(Counter64)=19116599",
          "+20"}},
        {"Counter64 from 2^63 up signed or cut", kCounter64HighV2, 0, 1, true,
         {kCountRecv, "response 受信 request ID=23  SIZE=76", "OID1Edit=1.3.6.1.4.1.99999.64.0", "P:  受信DATA=",
          "P:dump 5", "+228", "  object ID =1.3.6.1.4.1.99999.64.0", "+100",
          "  応答データ(Counter64)=18446744073709551615", "+20", "  object ID =1.3.6.1.4.1.99999.64.1", "+100",
          "  応答データ(Counter64)=9223372036854775808", "+20"}},
        {"v1 GetNext of three: IpAddress, Gauge, Counter and three fields", kIpGaugeCounterV1, 1, 3, true,
         {kCountRecv, "get response 受信 request ID=8  SIZE=87", "OID1Edit=1.3.6.1.2.1.4.20.1.1.127.0.0.1",
          "OID2Edit=1.3.6.1.2.1.2.2.1.5.1", "OID3Edit=1.3.6.1.2.1.2.2.1.10.1", "P:  受信DATA=", "P:dump 6", "+261",
          "  object ID =1.3.6.1.2.1.4.20.1.1.127.0.0.1", "+100", "  応答データ(IpAddress  SIZE=4)=127.0.0.1", "+48",
          "  object ID =1.3.6.1.2.1.2.2.1.5.1", "+100", "  応答データ(Gauge)=10000000", "+20",
          "  object ID =1.3.6.1.2.1.2.2.1.10.1", "+100", "  応答データ(Counter)=4875", "+20"}},
        {"GetBulk with non-repeaters 0 changes no field", kBulkIfDescrV2, 1, 0, true,
         {kCountRecv, "response 受信 request ID=9  SIZE=84", "P:  受信DATA=", "P:dump 6", "+252",
          "  object ID =1.3.6.1.2.1.2.2.1.2.1", "+100", "  応答データ(OCTET STRING  SIZE=2)=",
          "  6C 6F " + std::string(42, ' ') + "  lo", "+44", "  object ID =1.3.6.1.2.1.2.2.1.2.2", "+100",
          "  応答データ(OCTET STRING  SIZE=4)=", "  69 66 62 30 " + std::string(36, ' ') + "  ifb0", "+48",
          "  object ID =1.3.6.1.2.1.2.2.1.2.3", "+100", "  応答データ(OCTET STRING  SIZE=4)=",
          "  69 66 62 31 " + std::string(36, ' ') + "  ifb1", "+48"}},
        {"one octet after the end of the message is a frame error", std::string(kUptimeAndObjectId) + " 00", 0, 1,
         false,
         {kCountRecv, "response 受信 request ID=1234  SIZE=68", "OID1Edit=1.3.6.1.2.1.1.3.0", "P:  受信DATA=",
          "P:dump 5", "+204", "  受信フレーム異常！"}},
    };
    ResponseScanResult scan{};
    OutputBatch batch;
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = Hex(c.hex);
        batch.Clear();
        EXPECT_EQ(ReportResponse(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()),
                                 c.walkPending, c.varBindCount, scan, batch),
                  c.clearWalkPending);
        EXPECT_EQ(Transcript(batch), c.transcript);
    }
}

TEST(ReportResponse, DatagramDumpIsPduLinesWithTheHeaderAndBindingsAsSummaryLines) {
    const Bytes bytes = Hex("30 0A 02 01 00 30 05 06 01 2B 05 00");
    ResponseScanResult scan{};
    OutputBatch batch;
    EXPECT_TRUE(ReportResponse(bytes.data(), 12, MessageOf(bytes.data(), 12), 0, 1, scan, batch));
    const Lines expected = {kCountRecv,
                            "get response 受信 request ID=0  SIZE=12",
                            "OID1Edit=1.3",
                            "P:  受信DATA=",
                            "P:  30 0A 02 01 00 30 05 06 01 2B 05 00 " + std::string(12, ' ') + "  0....0...+..",
                            "+36",
                            "  object ID =1.3",
                            "+100"};
    EXPECT_EQ(Transcript(batch, false), expected);
}

TEST(ReportResponse, OidFieldRefreshFollowsTheWalkAndLeavesMissingOnesAlone) {
    struct FieldCase {
        int walkPending;
        int varBindCount;
        const char* hex;
        Lines fields;
    };
    const std::string a = "OID1Edit=1.3.6.1.2.1.1.3.0", b = "OID2Edit=1.3.6.1.2.1.1.2.0",
                      c = "OID3Edit=1.3.6.1.4.1.8072.3.2.10";
    const FieldCase cases[] = {
        {0, 1, kUptimeAndObjectId, {a}},
        {0, 0, kUptimeAndObjectId, {a}},
        {0, 3, kUptimeAndObjectId, {a}},
        {1, 0, kUptimeAndObjectId, {}},
        {1, 1, kUptimeAndObjectId, {a}},
        {1, 2, kUptimeAndObjectId, {a, b}},
        // the OID-typed value of the first binding is the third identifier
        {1, 3, kUptimeAndObjectId, {a, b, c}},
        {1, 4, kUptimeAndObjectId, {a, b}},
        {1, 3, kSetReadOnlyV1, {"OID1Edit=1.3.6.1.2.1.1.6.0"}},
        {1, 2, "30 0B 02 01 01 A2 06 02 01 01 30 01 00", {}},  // no identifier before the frame error
    };
    ResponseScanResult scan{};
    OutputBatch batch;
    for (const FieldCase& fc : cases) {
        SCOPED_TRACE(std::to_string(fc.walkPending) + "/" + std::to_string(fc.varBindCount));
        const Bytes bytes = Hex(fc.hex);
        batch.Clear();
        ReportResponse(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()),
                       fc.walkPending, fc.varBindCount, scan, batch);
        Lines fields;
        for (const std::string& entry : Transcript(batch))
            if (entry.rfind("OID", 0) == 0) fields.push_back(entry);
        EXPECT_EQ(fields, fc.fields);
    }
}

TEST(ReportResponse, EmptyFirstIdentifierEmptiesTheFieldButShowsOneThree) {
    const Bytes bytes = V2Response("02 01 00", Hex("30 04 06 00 05 00"));
    ResponseScanResult scan{};
    OutputBatch batch;
    ASSERT_TRUE(ReportResponse(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()), 0,
                               1, scan, batch));
    const Lines transcript = Transcript(batch);
    EXPECT_EQ(transcript[2], "OID1Edit=");
    EXPECT_EQ(transcript[transcript.size() - 2], "  object ID =1.3");
}

TEST(ReportResponse, LongFormSequenceAndOctetStringAreReadInFull) {
    // 30 82 01 2C around a 254-octet OCTET STRING (04 82 00 FE).
    Bytes bytes = Hex("30 82 01 2C 02 01 01 04 06 72 61 76 69 6E 65 A2 82 01 1D 02 01 07 02 01 00 02 01 00 "
                      "30 82 01 10 30 82 01 0C 06 08 2B 06 01 02 01 01 01 00 04 82 00 FE");
    bytes.insert(bytes.end(), 254, 'x');
    ResponseScanResult scan{};
    OutputBatch batch;
    ASSERT_TRUE(ReportResponse(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()), 0,
                               1, scan, batch));
    Lines transcript = Transcript(batch);
    ASSERT_EQ(transcript.size(), 6u + 2 + 1 + 16 + 1);
    EXPECT_EQ(transcript[1], "response 受信 request ID=7  SIZE=304");
    EXPECT_EQ(transcript[6], "  object ID =1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(transcript[8], "  応答データ(OCTET STRING  SIZE=254)=");
    EXPECT_EQ(transcript[24], "  78 78 78 78 78 78 78 78 78 78 78 78 78 78 " + std::string(6, ' ') + "  xxxxxxxxxxxxxx");
    EXPECT_EQ(transcript[25], "+548");

    // snmpd's own 81 C8 form.
    const Bytes descr = Hex(kLongDescrV2);
    batch.Clear();
    ASSERT_TRUE(ReportResponse(descr.data(), static_cast<int>(descr.size()), MessageOf(descr.data(), descr.size()), 0,
                               1, scan, batch));
    transcript = Transcript(batch);
    ASSERT_EQ(transcript.size(), 6u + 2 + 1 + 13 + 1);
    EXPECT_EQ(transcript[1], "response 受信 request ID=10  SIZE=245");
    EXPECT_EQ(transcript[8], "  応答データ(OCTET STRING  SIZE=200)=");
    EXPECT_EQ(transcript[9], "  51 75 69 6C 6C 65 74 20 62 65 6E 63 68 20 61 67   Quillet bench ag");
    EXPECT_EQ(transcript[22], "+440");
}

TEST(ReportResponse, TheDetailsAddThePeerTheTimeAndTheBindingAnErrorNames) {
    PeerDetails agent;
    const std::uint8_t address[4] = {192, 0, 2, 2};
    std::copy(address, address + 4, agent.address);
    agent.port = 161;
    agent.when = LocalDateTime{2026, 12, 9, 8, 5, 3, 7};
    struct Case {
        const char* fault;
        const char* hex;
        std::int64_t roundTripUs;
        std::vector<std::string> lines;  // the summary lines, dump and values left out
    };
    const Case cases[] = {
        {"an answer's time not given to the millisecond", kNoSuchObjectV2, -1,
         {"response 受信 request ID=5  SIZE=40", "  送信元=192.0.2.2:161", "  受信時刻=2026/12/09 08:05:03.007",
          "  object ID =1.3.6.1.2.1.1.99.0", "  応答データ(noSuchObject)"}},
        {"the round trip left out or misplaced", kNoSuchObjectV2, 1234,
         {"response 受信 request ID=5  SIZE=40", "  送信元=192.0.2.2:161",
          "  受信時刻=2026/12/09 08:05:03.007  応答時間=1.234ms", "  object ID =1.3.6.1.2.1.1.99.0",
          "  応答データ(noSuchObject)"}},
        {"error-index 2 not naming the second binding", kNoSuchNameV1, 40,
         {"get response 受信 request ID=6  SIZE=56", "  送信元=192.0.2.2:161",
          "  受信時刻=2026/12/09 08:05:03.007  応答時間=0.040ms", "  error-index=2  object ID =1.3.6.1.4.1.25817.0",
          "  object ID =1.3.6.1.4.1.25816.0", "  エラー応答=noSuchName", "  object ID =1.3.6.1.4.1.25817.0",
          "  エラー応答=noSuchName"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const std::vector<std::uint8_t> bytes = Hex(c.hex);
        ResponseScanResult scan{};
        OutputBatch batch;
        agent.roundTripUs = c.roundTripUs;
        ReportResponse(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()), 0, 1, scan,
                       batch, &agent);
        std::vector<std::string> lines;
        for (const OutputBatch::Item& item : batch)
            if (item.type == OutputBatch::ItemType::Line && item.value == SummaryLine) lines.push_back(item.text);
        EXPECT_EQ(lines, c.lines);
    }
}

TEST(ReportResponse, NegativeSizeWritesNothing) {
    ResponseScanResult scan{};
    OutputBatch batch;
    EXPECT_FALSE(ReportResponse(nullptr, -1, MessageOf(nullptr, 0), 1, 1, scan, batch));
    EXPECT_TRUE(batch.Empty());
}

TEST(ReportResponse, EveryTruncationOfARealAnswerStaysInsideTheDatagram) {
    const std::string fixtures[] = {kUptimeAndObjectId, kIpGaugeCounterV1, kBulkIfDescrV2, kLongDescrV2,
                                    kCounter64HighV2,   kEndOfMibViewV2};
    ResponseScanResult scan{};
    OutputBatch batch;
    for (const std::string& hex : fixtures) {
        const Bytes full = Hex(hex);
        for (std::size_t size = 0; size < full.size(); ++size) {
            SCOPED_TRACE(size);
            // A copy of exactly `size` octets, so a read past it is caught
            // by the sanitizers.
            const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
            batch.Clear();
            ReportResponse(cut.data(), static_cast<int>(size), MessageOf(cut.data(), size), 1, 3, scan, batch);
            const Lines transcript = Transcript(batch);
            ASSERT_GE(transcript.size(), 2u);
            ASSERT_EQ(transcript[1].substr(transcript[1].rfind('=') + 1), std::to_string(size));
            for (std::size_t i = 0; i < scan.oidCount; ++i) ASSERT_LE(scan.oids[i].start + scan.oids[i].length, size);
            for (std::size_t i = 0; i < scan.bindingCount; ++i) {
                const BindingRecord& r = scan.bindings[i];
                ASSERT_LE(r.nameStart + r.nameLength, size);
                const bool positioned = r.valueType == ValueType::OctetString || r.valueType == ValueType::IpAddress ||
                                        r.valueType == ValueType::ObjectId;
                if (positioned) {
                    ASSERT_LE(r.valueStart + static_cast<std::size_t>(r.valueLength), size);
                }
            }
        }
    }
}

struct ValueCase {
    const char* fault;
    const char* errorStatus;  // the error-status element
    const char* value;  // value element after the name 06 03 2B 06 01
    Lines lines;        // after "  object ID =1.3.6.1" and its charge
};

TEST(BindingLines, EachValueTypeAndErrorStatusGivesItsLinesAndCharges) {
    const ValueCase cases[] = {
        {"one octet FF not sign-extended", "02 01 00", "02 01 FF", {"  応答データ(Integer)=-1", "+20"}},
        {"four octets FF is -1", "02 01 00", "02 04 FF FF FF FF", {"  応答データ(Integer)=-1", "+20"}},
        {"five-octet Counter read as 0", "02 01 00", "41 05 00 80 00 00 00",
         {"  応答データ(Counter)=2147483648", "+20"}},
        {"Gauge with top bit shown negative", "02 01 00", "42 04 FF FF FF FE", {"  応答データ(Gauge)=4294967294", "+20"}},
        {"noSuchObject not named", "02 01 00", "80 00", {"  応答データ(noSuchObject)", "+20"}},
        {"Counter64 of nine octets not read", "02 01 00", "46 09 00 FF FF FF FF FF FF FF FE",
         {"  応答データ(Counter64)=18446744073709551614", "+20"}},
        {"error-status not replacing an exception value", "02 01 05", "82 00", {"  エラー応答=genErr", "+20"}},
        {"TimeTicks", "02 01 00", "43 03 01 00 00", {"  応答データ(Ticks)=65536", "+20"}},
        {"IpAddress", "02 01 00", "40 04 C0 A8 00 01", {"  応答データ(IpAddress  SIZE=4)=192.168.0.1", "+48"}},
        {"short IpAddress shows only its octets", "02 01 00", "40 02 0A 01", {"  応答データ(IpAddress  SIZE=2)=10.1", "+44"}},
        {"empty IpAddress at the end", "02 01 00", "40 00", {"  応答データ(IpAddress  SIZE=0)=", "+40"}},
        {"long IpAddress shows four octets", "02 01 00", "40 06 01 02 03 04 05 06",
         {"  応答データ(IpAddress  SIZE=6)=1.2.3.4", "+52"}},
        {"OCTET STRING", "02 01 00", "04 03 61 62 63",
         {"  応答データ(OCTET STRING  SIZE=3)=", "  61 62 63 " + std::string(39, ' ') + "  abc", "+46"}},
        {"empty OCTET STRING dumps nothing", "02 01 00", "04 00", {"  応答データ(OCTET STRING  SIZE=0)=", "+40"}},
        {"NULL shows no value line", "02 01 00", "05 00", {}},
        {"OID-typed value", "02 01 00", "06 03 55 04 03", {"  応答データ(OBJECT IDENTIFIER)=2.5.4.3", "+100"}},
        {"empty OID-typed value", "02 01 00", "06 00", {"  応答データ(OBJECT IDENTIFIER)=1.3", "+100"}},
        {"error-status replaces the value", "02 01 0A", "02 01 05", {"  エラー応答=wrogValue", "+20"}},
        {"error-status beyond the table shows its number", "02 01 13", "05 00", {"  エラー応答=19", "+20"}},
        {"negative error-status shows its number", "02 04 FF FF FF FF", "05 00", {"  エラー応答=-1", "+20"}},
    };
    ResponseScanResult scan{};
    OutputBatch batch;
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const Bytes datagram = V2Response(c.errorStatus, Tlv(0x30, Hex(std::string("06 03 2B 06 01 ") + c.value)));
        ResponseScan(datagram.data(), datagram.size(), scan);
        ASSERT_FALSE(scan.frameError);
        ASSERT_EQ(scan.bindingCount, 1u);
        batch.Clear();
        WriteBindingLines(datagram.data(), scan.bindings[0], static_cast<std::int32_t>(scan.Integer(2)), batch);
        Lines expected = {"  object ID =1.3.6.1", "+100"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(Transcript(batch, false), expected);
    }
}

// Every row's expected number is what snmpget (net-snmp 5.9.3) prints for an
// answer carrying the same value octets, served to it on loopback.
TEST(BindingLines, NumbersAreShownAsSnmpgetShowsThem) {
    struct NumberCase {
        const char* value;
        const char* line;
    };
    const NumberCase cases[] = {
        {"02 01 FF", "  応答データ(Integer)=-1"},
        {"02 02 FF FF", "  応答データ(Integer)=-1"},
        {"02 03 FF FF FF", "  応答データ(Integer)=-1"},
        {"02 04 FF FF FF FF", "  応答データ(Integer)=-1"},
        {"02 01 FB", "  応答データ(Integer)=-5"},
        {"02 02 FF FB", "  応答データ(Integer)=-5"},
        {"02 03 FF FF FB", "  応答データ(Integer)=-5"},
        {"02 04 FF FF FF FB", "  応答データ(Integer)=-5"},
        {"02 04 80 00 00 00", "  応答データ(Integer)=-2147483648"},
        {"02 04 7F FF FF FF", "  応答データ(Integer)=2147483647"},
        {"02 01 7F", "  応答データ(Integer)=127"},
        {"02 02 00 FF", "  応答データ(Integer)=255"},
        {"41 01 00", "  応答データ(Counter)=0"},
        {"41 02 00 00", "  応答データ(Counter)=0"},
        {"41 03 00 00 00", "  応答データ(Counter)=0"},
        {"41 04 00 00 00 00", "  応答データ(Counter)=0"},
        {"41 05 00 00 00 00 00", "  応答データ(Counter)=0"},
        {"41 04 80 00 00 00", "  応答データ(Counter)=2147483648"},
        {"41 05 00 80 00 00 00", "  応答データ(Counter)=2147483648"},
        {"41 04 FF FF FF FF", "  応答データ(Counter)=4294967295"},
        {"41 05 00 FF FF FF FF", "  応答データ(Counter)=4294967295"},
        {"41 01 FF", "  応答データ(Counter)=255"},
        {"41 02 FF FE", "  応答データ(Counter)=65534"},
        {"42 01 00", "  応答データ(Gauge)=0"},
        {"42 02 00 00", "  応答データ(Gauge)=0"},
        {"42 03 00 00 00", "  応答データ(Gauge)=0"},
        {"42 04 00 00 00 00", "  応答データ(Gauge)=0"},
        {"42 05 00 00 00 00 00", "  応答データ(Gauge)=0"},
        {"42 04 80 00 00 00", "  応答データ(Gauge)=2147483648"},
        {"42 05 00 80 00 00 00", "  応答データ(Gauge)=2147483648"},
        {"42 04 FF FF FF FF", "  応答データ(Gauge)=4294967295"},
        {"42 05 00 FF FF FF FF", "  応答データ(Gauge)=4294967295"},
        {"42 03 7F FF FF", "  応答データ(Gauge)=8388607"},
        {"43 01 00", "  応答データ(Ticks)=0"},
        {"43 02 00 00", "  応答データ(Ticks)=0"},
        {"43 03 00 00 00", "  応答データ(Ticks)=0"},
        {"43 04 00 00 00 00", "  応答データ(Ticks)=0"},
        {"43 05 00 00 00 00 00", "  応答データ(Ticks)=0"},
        {"43 04 80 00 00 00", "  応答データ(Ticks)=2147483648"},
        {"43 05 00 80 00 00 00", "  応答データ(Ticks)=2147483648"},
        {"43 04 FF FF FF FF", "  応答データ(Ticks)=4294967295"},
        {"43 05 00 FF FF FF FF", "  応答データ(Ticks)=4294967295"},
        {"43 02 FF FE", "  応答データ(Ticks)=65534"},
        {"46 01 00", "  応答データ(Counter64)=0"},
        {"46 01 FF", "  応答データ(Counter64)=255"},
        {"46 05 01 00 00 00 00", "  応答データ(Counter64)=4294967296"},
        {"46 08 7F FF FF FF FF FF FF FF", "  応答データ(Counter64)=9223372036854775807"},
        {"46 08 FF FF FF FF FF FF FF FF", "  応答データ(Counter64)=18446744073709551615"},
        {"46 09 00 80 00 00 00 00 00 00 00", "  応答データ(Counter64)=9223372036854775808"},
        {"46 09 00 FF FF FF FF FF FF FF FF", "  応答データ(Counter64)=18446744073709551615"},
        // Lengths no valid encoding of the type has keep the old reading,
        // 0. snmpget drops the zero-length ones as unparsable and prints
        // the others cut to 32 bits, or, for INTEGER, beyond Integer32.
        {"02 00", "  応答データ(Integer)=0"},
        {"02 05 00 80 00 00 00", "  応答データ(Integer)=0"},
        {"41 00", "  応答データ(Counter)=0"},
        {"42 05 01 00 00 00 00", "  応答データ(Gauge)=0"},
        {"46 00", "  応答データ(Counter64)=0"},
        {"46 09 01 00 00 00 00 00 00 00 00", "  応答データ(Counter64)=0"},
    };
    ResponseScanResult scan{};
    OutputBatch batch;
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.value);
        const Bytes datagram = V2Response("02 01 00", Tlv(0x30, Hex(std::string("06 03 2B 06 01 ") + c.value)));
        ResponseScan(datagram.data(), datagram.size(), scan);
        ASSERT_FALSE(scan.frameError);
        ASSERT_EQ(scan.bindingCount, 1u);
        batch.Clear();
        WriteBindingLines(datagram.data(), scan.bindings[0], 0, batch);
        EXPECT_EQ(batch.LineTexts(), (Lines{"  object ID =1.3.6.1", c.line}));
    }
}

TEST(ReportResponse, NonZeroErrorStatusWithoutBindingsShowsNoBindingLines) {
    const Bytes bytes = V2Response("02 01 05", {});
    ResponseScanResult scan{};
    OutputBatch batch;
    ASSERT_TRUE(ReportResponse(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()), 0,
                               1, scan, batch));
    EXPECT_EQ(Transcript(batch).back(), "+" + std::to_string(3 * bytes.size()));
}

}  // namespace
}  // namespace quillet
