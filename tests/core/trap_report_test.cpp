// The per-datagram trap report: hex datagram in, exact batch items out.
// The datagrams are real captures from net-snmp's snmptrap (the same bytes
// as tests/fuzz/corpus/trap), some with hand edits noted in the row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "output/OutputBatch.h"
#include "trap/TrapReport.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

// The header of an SNMPv1/v2c message, read as the listeners read it.
CommunityMessage MessageOf(const std::uint8_t* data, std::size_t size) {
    CommunityMessage message;
    ReadCommunityMessage(data, size, message);
    return message;
}

// "L<kind>|text" for a line, "C|n" for a charge, "N|n" for a counter.
std::vector<std::string> Items(const OutputBatch& batch) {
    std::vector<std::string> items;
    for (const OutputBatch::Item& item : batch) {
        switch (item.type) {
            case OutputBatch::ItemType::Line: items.push_back("L" + std::to_string(item.value) + "|" + item.text); break;
            case OutputBatch::ItemType::Charge: items.push_back("C|" + std::to_string(item.value)); break;
            case OutputBatch::ItemType::Count: items.push_back("N|" + std::to_string(item.value)); break;
            default: items.push_back("?|" + item.text); break;
        }
    }
    return items;
}

const char* const kV2c =
    "30570201010406726176696E65A74A02040123BA03020100020100303C300F06082B06010201010300430300D372"
    "3017060A2B06010603010104010006092B0601060301010501301006082B060102010105000404686F7374";
const char* const kLinkDown =
    "304E0201000406726176696E65A441060A2B06010401BF0803020A4004C0000202020102020100430300D39C3022"
    "300F060A2B060102010202010102020102300F060A2B060102010202010702020102";
const char* const kCounter =
    "303C0201000406726176696E65A42F06092B06010401868D1F014004C0000202020106020102430300D3F03011"
    "300F060A2B06010401868D1F010141012A";
const char* const kNull =
    "303B0201000406726176696E65A42E06092B06010401868D1F014004C0000202020106020103430300D41A3010"
    "300E060A2B06010401868D1F01010500";
// Bindings INTEGER 5, OCTET STRING "abc", INTEGER 7 under 1.3.6.1.4.1.99999.1.
#define PLAIN_HEAD "30600201000406726176696E65A45306092B06010401868D1F014004C0000202020106020105430300D3C6"
#define PLAIN_BINDINGS                                                         \
    "3035300F060A2B06010401868D1F0101020105 3011060A2B06010401868D1F01020403616263" \
    "300F060A2B06010401868D1F0103020107"
const char* const kEquipment =
    "3081A00201000406726176696E65A48192060B2B06010401823D021A01024004C000020202010602010143"
    "0300D34830723012060D2B06010401823D021A010201000201063012060D2B06010401823D021A01020200"
    "02010A3012060D2B06010401823D021A010203000201033013060D2B06010401823D021A01020400020200"
    "FF301F060D2B06010401823D021A01020500040E3230303530333037303930353030";
// Enterprise under the equipment prefix, generic-trap 2, bindings under it.
const char* const kEquipmentLinkDown =
    "30550201000406726176696E65A448060B2B06010401823D021A01024004C0000202020102020100430300D735"
    "30283012060D2B06010401823D021A010201000201063012060D2B06010401823D021A0102020002010A";
// Enterprise under the equipment prefix, bindings INTEGER 5 and "abc" outside it.
const char* const kEnterpriseOnly =
    "30510201000406726176696E65A444060B2B06010401823D021A01024004C0000202020106020101430300D70B"
    "3024300F060A2B06010401868D1F01010201053011060A2B06010401868D1F01020403616263";
// Equipment trap with one INTEGER (131, as 02 02 00 83) and the time "2005".
const char* const kEquipmentShort =
    "30590201000406726176696E65A44C060B2B06010401823D021A01024004C0000202020106020101430300D75F"
    "302C3013060D2B06010401823D021A01020100020200833015060D2B06010401823D021A01020500040432303035";

// snmptrap -v 2c / snmpinform -v 2c (net-snmp 5.9.3), uptime 12345.
// linkDown with ifIndex.3 = INTEGER 3.
const char* const kV2cLinkDown =
    "30550201010406726176696E65A74802042AAC8F6D020100020100303A300E06082B06010201010300430230393017"
    "060A2B06010603010104010006092B0601060301010503300F060A2B060102010202010103020103";
// Trap 1.3.6.1.4.1.99999.0.17 with INTEGER -7 and OCTET STRING "abc".
const char* const kV2cEnterprise =
    "30690201010406726176696E65A75C020434171481020100020100304E300E06082B060102010103004302303930"
    "18060A2B060106030101040100060A2B06010401868D1F0011300F060A2B06010401868D1F01000201F9301106"
    "0A2B06010401868D1F02000403616263";
// The equipment trap of kEquipment sent as v2c, trap 1.3.6.1.4.1.317.2.26.1.2.0.1.
const char* const kV2cEquipment =
    "3081BC0201010406726176696E65A781AE020423D8E69702010002010030819F300E06082B0601020101030043023039"
    "301B060A2B060106030101040100060D2B06010401823D021A010200013012060D2B06010401823D021A0102010002"
    "01063012060D2B06010401823D021A0102020002010A3012060D2B06010401823D021A010203000201033013060D2B"
    "06010401823D021A01020400020200FF301F060D2B06010401823D021A01020500040E3230303530333037303930353030";
// Inform coldStart, no other binding.
const char* const kInform =
    "30440201010406726176696E65A637020469FBD5EB0201000201003029300E06082B06010201010300430230393017"
    "060A2B06010603010104010006092B0601060301010501";
// Inform linkDown with ifIndex.3 = 3 and sysName.0 = "e2e-agent".
const char* const kInformLinkDown =
    "306C0201010406726176696E65A65F0204741079640201000201003051300E06082B060102010103004302303930"
    "17060A2B06010603010104010006092B0601060301010503300F060A2B060102010202010103020103301506082B"
    "0601020101050004096532652D6167656E74";

// snmptrap -v1 ... 6 1 '' with Counter32 123456, Gauge32 5, NULL,
// Counter64 123, Opaque (int64 -3), INTEGER 9 and OCTET STRING "abc".
const char* const kEveryType =
    "3081A10201000406726176696E65A4819306082B06010401868D1F4004C0000202020106020101430307C617307630"
    "1006092B06010401868D1F01410301E240300E06092B06010401868D1F02420105300D06092B06010401868D1F0305"
    "00300E06092B06010401868D1F0446017B301106092B06010401868D1F0544049F7A01FD300E06092B06010401868D"
    "1F06020109301006092B06010401868D1F070403616263";
// ... 6 1 '' with TimeTicks 1234, IpAddress 10.0.0.1, OBJECT IDENTIFIER 1.3.6.1.2.1.
const char* const kTicksAddressOid =
    "30620201000406726176696E65A45506082B06010401868D1F4004C0000202020106020101430307C6F43038300F06"
    "092B06010401868D1F01430204D2301106092B06010401868D1F0240040A000001301206092B06010401868D1F0306"
    "052B06010201";
// linkUp (generic-trap 3) with ifIndex.3 = 3.
const char* const kLinkUp =
    "303B0201000406726176696E65A42E06082B06010401868D1F4004C0000202020103020100430307C6873011300F06"
    "0A2B060102010202010103020103";
// snmpget -v1 sent to the trap port.
const char* const kGetRequest = "30290201000406726176696E65A01C020440AF184A020100020100300E300C06082B060102010105000500";

const std::string kAbcDump = "L2|  61 62 63 " + std::string(39, ' ') + "  abc";

struct ReportCase {
    const char* fault;
    std::string hex;
    std::int32_t flagIn;
    const char* trapType;
    std::vector<std::string> tail;  // the items after the header's ChargeOutput(100)
    std::int32_t flagOut;
};

const std::vector<ReportCase>& ReportCases() {
    static const std::vector<ReportCase> cases = {
        // Neither a whole SNMPv1 trap nor a whole SNMPv2c notification.
        {"empty datagram shown as coldStart", "", 0, "", {"L2|  受信フレーム異常！"}, 0},
        {"text shown as a trap", "68 65 6C 6C 6F 0A", 1, "", {"L2|  受信フレーム異常！"}, 1},
        {"bare SEQUENCE shown as a trap", "30 03 02 01 0A", 0, "", {"L2|  受信フレーム異常！"}, 0},
        {"linkUp cut at 40 octets shown as linkUp", std::string(kLinkUp).substr(0, 80), 1, "",
         {"L2|  受信フレーム異常！"}, 1},
        {"GetRequest shown as a trap", kGetRequest, 0, "", {"L2|  受信フレーム異常！"}, 0},
        {"Trap-PDU under version 2c shown as a trap",
         "303B0201010406726176696E65A42E06082B06010401868D1F4004C0000202020103020100430307C6873011300F06"
         "0A2B060102010202010103020103",
         0, "", {"L2|  受信フレーム異常！"}, 0},
        {"SNMPv2c trap shown as coldStart without its bindings", kV2c, 0, "coldStart",
         {"L2|  object ID =1.3.6.1.6.3.1.1.4.1.0", "C|100",
          "L2|  応答データ(OBJECT IDENTIFIER)=1.3.6.1.6.3.1.1.5.1", "C|100", "L2|  object ID =1.3.6.1.2.1.1.5.0",
          "C|100", "L2|  応答データ(OCTET STRING  SIZE=4)=", "L2|  68 6F 73 74 " + std::string(36, ' ') + "  host",
          "C|48"},
         0},
        {"SNMPv2c linkDown shown as coldStart", kV2cLinkDown, 0, "linkDown",
         {"L2|  object ID =1.3.6.1.6.3.1.1.4.1.0", "C|100",
          "L2|  応答データ(OBJECT IDENTIFIER)=1.3.6.1.6.3.1.1.5.3", "C|100", "L2|  object ID =1.3.6.1.2.1.2.2.1.1.3",
          "C|100", "L2|  応答データ(Integer)=3", "C|20"},
         0},
        {"SNMPv2c enterprise trap values lost or -7 unsigned", kV2cEnterprise, 1, "enterpriseSpecific",
         {"L2|  object ID =1.3.6.1.6.3.1.1.4.1.0", "C|100",
          "L2|  応答データ(OBJECT IDENTIFIER)=1.3.6.1.4.1.99999.0.17", "C|100",
          "L2|  object ID =1.3.6.1.4.1.99999.1.0", "C|100", "L2|  応答データ(Integer)=-7", "C|20",
          "L2|  object ID =1.3.6.1.4.1.99999.2.0", "C|100", "L2|  応答データ(OCTET STRING  SIZE=3)=", kAbcDump,
          "C|46"},
         0},
        {"SNMPv2c equipment trap not shown as alarm lines", kV2cEquipment, 0, "enterpriseSpecific",
         {"L2|  object ID =1.3.6.1.6.3.1.1.4.1.0", "C|100",
          "L2|  応答データ(OBJECT IDENTIFIER)=1.3.6.1.4.1.317.2.26.1.2.0.1", "C|100",
          "L2|  事象識別子      =装置警報(major)  ", "L2|  事象詳細情報    =EQP          ",
          "L2|  事象発生位置    =3", "L2|  事象発生実装位置=本体部分など",
          "L2|  事象発生時刻    =2005年3月7日9時5分0秒"},
         1},
        {"inform shown differently from a trap", kInform, 1, "coldStart",
         {"L2|  object ID =1.3.6.1.6.3.1.1.4.1.0", "C|100",
          "L2|  応答データ(OBJECT IDENTIFIER)=1.3.6.1.6.3.1.1.5.1", "C|100"},
         0},
        {"inform bindings lost", kInformLinkDown, 0, "linkDown",
         {"L2|  object ID =1.3.6.1.6.3.1.1.4.1.0", "C|100",
          "L2|  応答データ(OBJECT IDENTIFIER)=1.3.6.1.6.3.1.1.5.3", "C|100", "L2|  object ID =1.3.6.1.2.1.2.2.1.1.3",
          "C|100", "L2|  応答データ(Integer)=3", "C|20", "L2|  object ID =1.3.6.1.2.1.1.5.0", "C|100",
          "L2|  応答データ(OCTET STRING  SIZE=9)=",
          "L2|  65 32 65 2D 61 67 65 6E 74 " + std::string(21, ' ') + "  e2e-agent", "C|58"},
         0},
        // Hand edits of kInform: one octet cut off; the binding list's
        // length one short; snmpTrapOID.0 (...04 01 00) renamed ...04 01 01.
        {"truncated inform decoded", std::string(kInform).substr(0, 2 * 69), 1, "", {"L2|  受信フレーム異常！"}, 1},
        {"inform with a short binding list decoded",
         "30440201010406726176696E65A637020469FBD5EB0201000201003028300E06082B06010201010300430230393017"
         "060A2B06010603010104010006092B0601060301010501",
         0, "", {"L2|  受信フレーム異常！"}, 0},
        {"trap without snmpTrapOID.0 given a name",
         "30440201010406726176696E65A637020469FBD5EB0201000201003029300E06082B06010201010300430230393017"
         "060A2B06010603010104010106092B0601060301010501",
         0, "", {"L2|  受信フレーム異常！"}, 0},
        {"linkDown bindings listed", kLinkDown, 0, "linkDown", {}, 0},
        {"Counter binding made a frame error", kCounter, 0, "enterpriseSpecific", {}, 0},
        {"NULL binding made a frame error", kNull, 0, "enterpriseSpecific", {}, 0},
        {"Counter32, Gauge32, NULL, Counter64 or Opaque made a frame error", kEveryType, 1, "enterpriseSpecific",
         {"L2|  応答データ(int)=9", "C|30", "L2|  応答データ(OCTET STRING  SIZE=3)=", kAbcDump, "C|46"}, 0},
        {"TimeTicks, IpAddress or an identifier value made a frame error", kTicksAddressOid, 1,
         "enterpriseSpecific", {}, 0},
        {"linkUp bindings listed", kLinkUp, 0, "linkUp", {}, 0},
        {"trailing octet ignored", PLAIN_HEAD PLAIN_BINDINGS "00", 0, "", {"L2|  受信フレーム異常！"}, 0},
        {"plain values out of order or charged wrongly", PLAIN_HEAD PLAIN_BINDINGS, 1, "enterpriseSpecific",
         {"L2|  応答データ(int)=5", "C|30", "L2|  応答データ(int)=7", "C|30",
          "L2|  応答データ(OCTET STRING  SIZE=3)=", kAbcDump, "C|46"},
         0},
        // Hand edit: 02 01 05 -> 02 05 00 80 00 00 00 and 02 01 07 -> 02 01 FF,
        // with the enclosing lengths grown by 4.
        {"five-octet INTEGER not 0, or FF read unsigned",
         "30640201000406726176696E65A45706092B06010401868D1F014004C0000202020106020105430300D3C6"
         "30393013060A2B06010401868D1F01010205008000000030 11060A2B06010401868D1F01020403616263"
         "300F060A2B06010401868D1F01030201FF",
         0, "enterpriseSpecific",
         {"L2|  応答データ(int)=0", "C|30", "L2|  応答データ(int)=-1", "C|30",
          "L2|  応答データ(OCTET STRING  SIZE=3)=", kAbcDump, "C|46"},
         0},
        {"equipment trap not shown as alarm lines", kEquipment, 0, "enterpriseSpecific",
         {"L2|  事象識別子      =装置警報(major)  ", "L2|  事象詳細情報    =EQP          ",
          "L2|  事象発生位置    =3", "L2|  事象発生実装位置=本体部分など",
          "L2|  事象発生時刻    =2005年3月7日9時5分0秒"},
         1},
        {"alarm lines for a generic trap", kEquipmentLinkDown, 0, "linkDown", {}, 1},
        {"enterprise field decides instead of the last binding", kEnterpriseOnly, 1, "enterpriseSpecific",
         {"L2|  応答データ(int)=5", "C|30", "L2|  応答データ(OCTET STRING  SIZE=3)=", kAbcDump, "C|46"}, 0},
        {"missing INTEGER bindings not 0", kEquipmentShort, 0, "enterpriseSpecific",
         {"L2|  事象識別子      =BU-IF比較異常   ", "L2|  事象詳細情報    =詳細不明", "L2|  事象発生位置    =0",
          "L2|  事象発生実装位置=0", "L2|  事象発生時刻    =2005"},
         1},
        // Hand-made, with an empty binding list.
        {"generic-trap 7 without a text", "301C0201000401 63A41406012B40047F000001020107020100430100 3000", 0, "7",
         {}, 0},
        {"negative generic-trap without a text",
         "301F0201000401 63A41706012B40047F00000102 04FFFFFFFF020100430100 3000", 0, "-1", {}, 0},
    };
    return cases;
}

TEST(ReportTrap, HeaderDumpAndValueLines) {
    OutputBatch batch;  // reused across rows, as the listener does
    TrapReportScratch scratch;
    for (const ReportCase& c : ReportCases()) {
        SCOPED_TRACE(c.fault);
        const std::vector<std::uint8_t> bytes = Hex(c.hex);
        const std::size_t dumpLines = (bytes.size() + 15) / 16;
        std::int32_t flag = c.flagIn;
        batch.Clear();
        ReportTrap(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()), scratch, flag,
                   batch);
        EXPECT_EQ(flag, c.flagOut);
        const std::vector<std::string> items = Items(batch);
        ASSERT_EQ(items.size(), 5 + dumpLines + c.tail.size());
        EXPECT_EQ(items[0], "N|" + std::to_string(static_cast<int>(Counter::Trap)));
        EXPECT_EQ(items[1], "L2|TRAP受信  SIZE=" + std::to_string(bytes.size()));
        EXPECT_EQ(items[2], std::string("L2|  TRAP-TYPE=") + c.trapType);
        EXPECT_EQ(items[3], "L1|  受信DATA=");
        for (std::size_t i = 0; i < dumpLines; ++i) EXPECT_EQ(items[4 + i].substr(0, 5), "L1|  ");
        EXPECT_EQ(items[4 + dumpLines], "C|100");
        EXPECT_EQ(std::vector<std::string>(items.begin() + 5 + static_cast<std::ptrdiff_t>(dumpLines), items.end()),
                  c.tail);
    }
}

TEST(ReportTrap, DatagramDumpIsThePduKindWithEveryByte) {
    const std::vector<std::uint8_t> bytes = Hex(kLinkDown);
    OutputBatch batch;
    TrapReportScratch scratch;
    std::int32_t flag = 0;
    ReportTrap(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()), scratch, flag,
               batch);
    const std::vector<std::string> expected = {
        "N|2",
        "L2|TRAP受信  SIZE=80",
        "L2|  TRAP-TYPE=linkDown",
        "L1|  受信DATA=",
        "L1|  30 4E 02 01 00 04 06 72 61 76 69 6E 65 A4 41 06   0N.....ravine.A.",
        "L1|  0A 2B 06 01 04 01 BF 08 03 02 0A 40 04 C0 00 02   .+.........@....",
        "L1|  02 02 01 02 02 01 00 43 03 00 D3 9C 30 22 30 0F   .......C....0\"0.",
        "L1|  06 0A 2B 06 01 02 01 02 02 01 01 02 02 01 02 30   ..+............0",
        "L1|  0F 06 0A 2B 06 01 02 01 02 02 01 07 02 02 01 02   ...+............",
        "C|100",
    };
    EXPECT_EQ(Items(batch), expected);
}

TEST(ReportTrap, LongFormStringOf200BytesIsReadWholeAndTheWalkGoesOn) {
    const std::vector<std::uint8_t> bytes = Hex(
        "308201190201000406726176696E65A482010A06092B06010401868D1F014004C0000202020106020104430300D796"
        "3081EB3081D7060A2B06010401868D1F01020481C8"
        "4142434445464748494A4B4C4D4E4F505152535455565758595A4142434445464748494A4B4C4D4E4F505152535455565758595A"
        "4142434445464748494A4B4C4D4E4F505152535455565758595A4142434445464748494A4B4C4D4E4F505152535455565758595A"
        "4142434445464748494A4B4C4D4E4F505152535455565758595A4142434445464748494A4B4C4D4E4F505152535455565758595A"
        "4142434445464748494A4B4C4D4E4F505152535455565758595A4142434445464748494A4B4C4D4E4F505152"
        "300F060A2B06010401868D1F01030201FF");
    ASSERT_EQ(bytes.size(), 285u);
    OutputBatch batch;
    TrapReportScratch scratch;
    std::int32_t flag = 0;
    ReportTrap(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()), scratch, flag,
               batch);
    const std::vector<std::string> items = Items(batch);
    // Header 4 items, 18 dump lines, the charge; then the INTEGER bound after
    // the string still comes first.
    ASSERT_EQ(items.size(), 4u + 18 + 1 + 2 + 1 + 13 + 1);
    const auto tail = items.begin() + 23;
    EXPECT_EQ(tail[0], "L2|  応答データ(int)=-1");
    EXPECT_EQ(tail[1], "C|30");
    EXPECT_EQ(tail[2], "L2|  応答データ(OCTET STRING  SIZE=200)=");
    EXPECT_EQ(tail[3], "L2|  41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50   ABCDEFGHIJKLMNOP");
    EXPECT_EQ(tail[15], "L2|  4B 4C 4D 4E 4F 50 51 52 " + std::string(24, ' ') + "  KLMNOPQR");
    EXPECT_EQ(tail[16], "C|440");
}

// snmptrap -v 2c, uptime 15365, under 1.3.6.1.4.1.99999: s 'abc', s '日本語テキスト',
// x 93FA967B8CEA ("日本語" in code page 932), "line1" CR LF "line2", x 00010203
// and x 61626300 (snmptrapd prints the NUL-ended one as Hex-STRING).
const char* const kV2cStrings =
    "3081D90201010406726176696E65A781CB02041C8D164A0201000201003081BC300E06082B0601020101030043023C053018060A2B"
    "060106030101040100060A2B06010401868D1F00013011060A2B06010401868D1F010004036162633023060A2B06010401868D1F"
    "02000415E697A5E69CACE8AA9EE38386E382ADE382B9E383883014060A2B06010401868D1F0300040693FA967B8CEA301A060A2B"
    "06010401868D1F0400040C6C696E65310D0A6C696E65323012060A2B06010401868D1F05000404000102033012060A2B06010401"
    "868D1F0600040461626300";
// snmpinform -v 2c -c 'pub lic', uptime 123456789, coldStart.
const char* const kInformPubLic =
    "30470201010407707562206C6963A63902042AAED97B020100020100302B301006082B060102010103004304075BCD153017060A"
    "2B06010603010104010006092B0601060301010501";
// snmptrap -v 1 ... 1.3.6.1.4.1.99999 127.0.0.1 6 1 8640001, INTEGER 5 and "abc".
const char* const kV1Uptime1Day =
    "304F0201000406726176696E65A44206082B06010401868D1F40047F00000102010602010143040083D6013024300F060A2B0601"
    "0401868D1F01000201053011060A2B06010401868D1F02000403616263";

TEST(ReportTrap, TheDetailsAddThePeerTheTrapFieldsAndEveryBinding) {
    PeerDetails sender;
    const std::uint8_t address[4] = {192, 0, 2, 2};
    std::copy(address, address + 4, sender.address);
    sender.port = 40123;
    sender.when = LocalDateTime{2026, 12, 9, 23, 59, 59, 999};
    const std::vector<std::string> peer = {"  送信元=192.0.2.2:40123", "  受信時刻=2026/12/09 23:59:59.999"};
    struct Case {
        const char* fault;
        std::string hex;
        std::vector<std::string> afterType;  // the summary lines after TRAP-TYPE
    };
    const Case cases[] = {
        {"a linkDown's fields or bindings missing", kLinkDown,
         {"  PDU=Trap", "  community=\"ravine\"", "  enterprise=1.3.6.1.4.1.8072.3.2.10", "  agent-addr=192.0.2.2",
          "  generic-trap=2", "  specific-trap=0", "  time-stamp=54172", "  時間表記=0:09:01.72",
          "  object ID =1.3.6.1.2.1.2.2.1.1.2", "  応答データ(Integer)=2", "  object ID =1.3.6.1.2.1.2.2.1.7.2",
          "  応答データ(Integer)=2"}},
        {"an enterprise trap's bindings shown twice", kV1Uptime1Day,
         {"  PDU=Trap", "  community=\"ravine\"", "  enterprise=1.3.6.1.4.1.99999", "  agent-addr=127.0.0.1",
          "  generic-trap=6", "  specific-trap=1", "  time-stamp=8640001", "  時間表記=1 day, 0:00:00.01",
          "  object ID =1.3.6.1.4.1.99999.1.0", "  応答データ(Integer)=5", "  object ID =1.3.6.1.4.1.99999.2.0",
          "  応答データ(OCTET STRING  SIZE=3)=", kAbcDump.substr(3), "  文字列(ASCII)=\"abc\""}},
        {"strings not read as text, or binary read as text", kV2cStrings,
         {"  PDU=SNMPv2-Trap", "  community=\"ravine\"", "  object ID =1.3.6.1.2.1.1.3.0",
          "  応答データ(Ticks)=15365", "  時間表記=0:02:33.65", "  object ID =1.3.6.1.6.3.1.1.4.1.0",
          "  応答データ(OBJECT IDENTIFIER)=1.3.6.1.4.1.99999.0.1", "  object ID =1.3.6.1.4.1.99999.1.0",
          "  応答データ(OCTET STRING  SIZE=3)=", kAbcDump.substr(3), "  文字列(ASCII)=\"abc\"",
          "  object ID =1.3.6.1.4.1.99999.2.0", "  応答データ(OCTET STRING  SIZE=21)=",
          "  E6 97 A5 E6 9C AC E8 AA 9E E3 83 86 E3 82 AD E3   ................",
          "  82 B9 E3 83 88                                    .....", "  文字列(UTF-8)=\"日本語テキスト\"",
          "  object ID =1.3.6.1.4.1.99999.3.0", "  応答データ(OCTET STRING  SIZE=6)=",
          "  93 FA 96 7B 8C EA                                 ...{..", "  文字列(CP932)=\"日本語\"",
          "  object ID =1.3.6.1.4.1.99999.4.0", "  応答データ(OCTET STRING  SIZE=12)=",
          "  6C 69 6E 65 31 0D 0A 6C 69 6E 65 32               line1..line2",
          "  文字列(ASCII)=\"line1\\r\\nline2\"", "  object ID =1.3.6.1.4.1.99999.5.0",
          "  応答データ(OCTET STRING  SIZE=4)=", "  00 01 02 03                                       ....",
          "  object ID =1.3.6.1.4.1.99999.6.0", "  応答データ(OCTET STRING  SIZE=4)=",
          "  61 62 63 00                                       abc."}},
        {"an inform taken for a trap, or its community or uptime missing", kInformPubLic,
         {"  PDU=InformRequest", "  community=\"pub lic\"", "  object ID =1.3.6.1.2.1.1.3.0",
          "  応答データ(Ticks)=123456789", "  時間表記=14 days, 6:56:07.89", "  object ID =1.3.6.1.6.3.1.1.4.1.0",
          "  応答データ(OBJECT IDENTIFIER)=1.3.6.1.6.3.1.1.5.1"}},
        {"the alarm lines not kept after the bindings", kEquipment,
         {"  PDU=Trap", "  community=\"ravine\"", "  enterprise=1.3.6.1.4.1.317.2.26.1.2", "  agent-addr=192.0.2.2",
          "  generic-trap=6", "  specific-trap=1", "  time-stamp=54088", "  時間表記=0:09:00.88",
          "  object ID =1.3.6.1.4.1.317.2.26.1.2.1.0",
          "  応答データ(Integer)=6", "  object ID =1.3.6.1.4.1.317.2.26.1.2.2.0", "  応答データ(Integer)=10",
          "  object ID =1.3.6.1.4.1.317.2.26.1.2.3.0", "  応答データ(Integer)=3",
          "  object ID =1.3.6.1.4.1.317.2.26.1.2.4.0", "  応答データ(Integer)=255",
          "  object ID =1.3.6.1.4.1.317.2.26.1.2.5.0", "  応答データ(OCTET STRING  SIZE=14)=",
          "  32 30 30 35 30 33 30 37 30 39 30 35 30 30         20050307090500",
          "  文字列(ASCII)=\"20050307090500\"", "  事象識別子      =装置警報(major)  ",
          "  事象詳細情報    =EQP          ", "  事象発生位置    =3", "  事象発生実装位置=本体部分など",
          "  事象発生時刻    =2005年3月7日9時5分0秒"}},
        {"garbage given trap fields", "68 65 6C 6C 6F 0A", {"  受信フレーム異常！"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const std::vector<std::uint8_t> bytes = Hex(c.hex);
        OutputBatch batch;
        TrapReportScratch scratch;
        std::int32_t flag = 0;
        ReportTrap(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()), scratch, flag,
                   batch, &sender);
        std::vector<std::string> lines;
        for (const OutputBatch::Item& item : batch)
            if (item.type == OutputBatch::ItemType::Line && item.value == SummaryLine) lines.push_back(item.text);
        ASSERT_GE(lines.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 3), peer);
        EXPECT_EQ(lines[3].substr(0, 12), "  TRAP-TYPE=");
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()), c.afterType);
    }
}

TEST(ReportTrap, NegativeSizeIsAnEmptyDatagram) {
    OutputBatch batch;
    TrapReportScratch scratch;
    std::int32_t flag = 1;
    ReportTrap(nullptr, -1, MessageOf(nullptr, 0), scratch, flag, batch);
    EXPECT_EQ(Items(batch), (std::vector<std::string>{"N|2", "L2|TRAP受信  SIZE=0", "L2|  TRAP-TYPE=",
                                                      "L1|  受信DATA=", "C|100", "L2|  受信フレーム異常！"}));
    EXPECT_EQ(flag, 1);
}

// snmptrap -v2c -c ravine ADDR 12345 1.3.6.1.4.1.8072.2.3.0.1 1.3.6.1.4.1.<120 x 1> i 1
// (net-snmp 5.9.3): a binding name of 125 octets, its binding in the 81 form.
const char* const kV2cName125 =
    "3081CD0201010406726176696E65A781BF02041D6508B60201000201003081B0300E06082B06010201010300430230393019"
    "060A2B060106030101040100060B2B06010401BF0802030001308182067D2B06010401010101010101010101010101010101"
    "0101010101010101010101010101010101010101010101010101010101010101010101010101010101010101010101010101"
    "0101010101010101010101010101010101010101010101010101010101010101010101010101010101010101010101010101"
    "0101010101020101";

// That capture with a binding name of `octets` octets (1.3.6.1.4.1, then 1s),
// each length in the form snmptrap writes (below 128, 81 n, 82 hi lo): the
// same shape past the 128 subidentifiers net-snmp sends.
std::vector<std::uint8_t> TrapWithName(std::size_t octets) {
    using Bytes = std::vector<std::uint8_t>;
    const auto tlv = [](std::uint8_t tag, Bytes head, const Bytes& content) {
        Bytes out{tag};
        const std::size_t n = head.size() + content.size();
        if (n >= 256) out.insert(out.end(), {0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
        else if (n >= 128) out.insert(out.end(), {0x81, static_cast<std::uint8_t>(n)});
        else out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), head.begin(), head.end());
        out.insert(out.end(), content.begin(), content.end());
        return out;
    };
    Bytes name = {0x2B, 0x06, 0x01, 0x04, 0x01};
    name.resize(octets, 0x01);
    Bytes binding = tlv(0x06, {}, name);
    binding.insert(binding.end(), {0x02, 0x01, 0x01});
    const Bytes bindings = tlv(0x30,
                               Hex("300E06082B06010201010300430230393019060A2B060106030101040100060B2B06010401BF0802"
                                   "030001"),
                               tlv(0x30, {}, binding));
    const Bytes pdu = tlv(0xA7, Hex("02041D6508B6020100020100"), bindings);
    return tlv(0x30, Hex("0201010406726176696E65"), pdu);
}

// A binding named by an identifier of up to 64,900 octets (the bench's
// hostile flood) is still a trap, and its name line is whole.
TEST(ReportTrap, ANameOfUpTo64900OctetsKeepsTheTrapAndItsWholeNameLine) {
    ASSERT_EQ(TrapWithName(125), Hex(kV2cName125));  // the shape is snmptrap's
    struct Case {
        std::size_t octets;
        const char* fault;
    };
    const Case cases[] = {
        {125, "the capture itself"},
        {128, "a name whose own length takes the 81 form"},
        {256, "a name whose own length takes the 82 form"},
        {32768, "a length with the top bit of 16 set, read as negative"},
        {64900, "the bench's name, in a datagram of 64,986 octets"},
    };
    OutputBatch batch;
    TrapReportScratch scratch;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const std::vector<std::uint8_t> bytes = TrapWithName(c.octets);
        std::int32_t flag = 0;
        batch.Clear();
        ReportTrap(bytes.data(), static_cast<int>(bytes.size()), MessageOf(bytes.data(), bytes.size()), scratch, flag,
                   batch);
        const std::vector<std::string> lines = batch.LineTexts();
        ASSERT_GE(lines.size(), 7u);
        EXPECT_EQ(lines[0], "TRAP受信  SIZE=" + std::to_string(bytes.size()));
        EXPECT_EQ(lines[1], "  TRAP-TYPE=enterpriseSpecific");
        std::string name = "  object ID =1.3.6.1.4.1";
        for (std::size_t i = 5; i < c.octets; ++i) name += ".1";
        EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
                  (std::vector<std::string>{"  object ID =1.3.6.1.6.3.1.1.4.1.0",
                                            "  応答データ(OBJECT IDENTIFIER)=1.3.6.1.4.1.8072.2.3.0.1", name,
                                            "  応答データ(Integer)=1"}));
    }
}

// Truncation at every byte of two real traps: each cut is its own heap
// block, so the sanitizer build catches any read past it, and the string
// table must point inside it. No cut is a whole message: each ends with the
// frame error.
TEST(ReportTrap, EveryTruncationOfARealTrapIsReportedSafely) {
    OutputBatch batch;
    TrapReportScratch scratch;
    for (const char* hex : {kEquipment, kEnterpriseOnly, kV2cEquipment, kInformLinkDown}) {
        const std::vector<std::uint8_t> whole = Hex(hex);
        for (std::size_t n = 0; n < whole.size(); ++n) {
            SCOPED_TRACE(n);
            const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
            std::int32_t flag = 0;
            batch.Clear();
            ReportTrap(cut.data(), static_cast<int>(n), MessageOf(cut.data(), n), scratch, flag, batch);
            EXPECT_EQ(batch.LineTexts()[0], "TRAP受信  SIZE=" + std::to_string(n));
            for (int i = 0; i < scratch.v1.stringCount; ++i)
                EXPECT_LE(scratch.v1.strings[i].offset + static_cast<std::uint32_t>(scratch.v1.strings[i].length), n);
            EXPECT_EQ(batch.LineTexts().back(), "  受信フレーム異常！");
        }
    }
}

}  // namespace
}  // namespace quillet
