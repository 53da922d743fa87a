// The acknowledgement of an inform, and the informs that get none. Informs
// were sent by net-snmp 5.9.3's snmpinform; each expected acknowledgement is
// what net-snmp's snmptrapd answered to the same datagram on loopback.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "trap/InformAck.h"
#include "trap/NotificationScan.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

// snmpinform -v 2c ... '' 1.3.6.1.4.1.99999.0.5 1.3.6.1.4.1.99999.7.0 s <200 digits>:
// 82 hi lo lengths around the message, the PDU and the binding list, 81 C8
// for the string.
const std::string kLongInformBody =
    "0201010406726176696E65%s820114020417A9902702010002010030820104300E06082B0601020101030043"
    "0230393018060A2B060106030101040100060A2B06010401868D1F00053081D7060A2B06010401868D1F07000481C8" +
    Repeat("30313233343536373839", 20);

std::string LongInform(const char* pduTag) {
    std::string body = kLongInformBody;
    body.replace(body.find("%s"), 2, pduTag);
    return "3082012" "3" + body;
}

struct AckCase {
    const char* fault;
    std::string inform;
    std::string ack;  // empty: no acknowledgement
};

TEST(InformAck, SnmptrapdAnswersAreRepeatedOctetForOctet) {
    const AckCase cases[] = {
        {"coldStart inform not answered as snmptrapd does",
         "30440201010406726176696E65A637020469FBD5EB0201000201003029300E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B0601060301010501",
         "30440201010406726176696E65A237020469FBD5EB0201000201003029300E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B0601060301010501"},
        {"bindings after snmpTrapOID.0 left out",
         "306C0201010406726176696E65A65F0204741079640201000201003051300E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B0601060301010503300F060A2B060102010202010103020103301506082B06010201"
         "01050004096532652D6167656E74",
         "306C0201010406726176696E65A25F0204741079640201000201003051300E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B0601060301010503300F060A2B060102010202010103020103301506082B06010201"
         "01050004096532652D6167656E74"},
        {"long-form lengths of a 291-octet inform misplaced", LongInform("A6"), LongInform("A2")},
        // Hand-made from the first inform: 82 00 xx lengths where short ones
        // do, error-status 5 in two octets and error-index 1. snmptrapd
        // answers with short lengths and both zero.
        {"the inform's error fields or length forms repeated",
         "30820047020101040672617669 6E65A682003802 0469FBD5EB020200050201013029300E06082B06010201010300"
         "43023039 30170 60A2B06010603010104010006092B0601060301010501",
         "30440201010406726176696E65A237020469FBD5EB0201000201003029300E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B0601060301010501"},
        // No acknowledgement for these.
        // Found by the trap fuzzer: error-status 02 00, an INTEGER without
        // content (the binding list in the 81 form, sysUpTime.0 a Counter).
        // Its answer with 02 01 00 would be an octet longer than the inform;
        // snmptrapd 5.9.3 answers nothing to it, nor to the first inform
        // with error-status or error-index 02 00 (both rows below).
        {"an inform whose error-status has no content octet acknowledged",
         "30 44 02 01 01 04 06 72 61 76 69 6e 65 a6 37 02 04 69 fb d5 eb 02 00 02 01 00 30 81 29 30 0e 06 08 2b"
         "06 01 02 01 01 03 00 41 02 30 39 30 17 06 0a 2b 06 01 06 03 01 01 04 01 00 06 09 6b 06 01 06 03 01 01"
         "05 01",
         ""},
        {"an inform with error-status 02 00 acknowledged",
         "30430201010406726176696E65A636020469FBD5EB02000201003029300E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B0601060301010501",
         ""},
        {"an inform with error-index 02 00 acknowledged",
         "30430201010406726176696E65A636020469FBD5EB02010002003029300E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B0601060301010501",
         ""},
        {"an SNMPv2-Trap acknowledged",
         "30440201010406726176696E65A737020469FBD5EB0201000201003029300E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B0601060301010501",
         ""},
        {"a truncated inform acknowledged",
         "30440201010406726176696E65A637020469FBD5EB0201000201003029300E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B06010603010105",
         ""},
        {"an inform with a trailing octet acknowledged",
         "30440201010406726176696E65A637020469FBD5EB0201000201003029300E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B060106030101050100",
         ""},
        {"an inform without snmpTrapOID.0 acknowledged",
         "30440201010406726176696E65A637020469FBD5EB0201000201003029300E06082B0601020101030043023039301706"
         "0A2B06010603010104010106092B0601060301010501",
         ""},
        {"an inform whose binding is not a SEQUENCE acknowledged",
         "30440201010406726176696E65A637020469FBD5EB0201000201003029310E06082B0601020101030043023039301706"
         "0A2B06010603010104010006092B0601060301010501",
         ""},
        {"an SNMPv1 trap acknowledged",
         "304E0201000406726176696E65A441060A2B06010401BF0803020A4004C0000202020102020100430300D39C3022"
         "300F060A2B060102010202010102020102300F060A2B060102010202010702020102",
         ""},
    };
    NotificationScanResult scan{};
    std::vector<std::uint8_t> out(kInformAckCapacity);
    for (const AckCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const Bytes inform = Hex(c.inform);
        std::int32_t flag = 0;
        CommunityMessage message;
        ReadCommunityMessage(inform.data(), inform.size(), message);
        NotificationScan(inform.data(), inform.size(), message, scan, flag);
        const std::size_t length = BuildInformAck(inform.data(), message, scan, out.data(), out.size());
        EXPECT_EQ(HexOf(out.data(), length), HexOf(Hex(c.ack).data(), Hex(c.ack).size()));
    }
}

TEST(InformAck, TooSmallABufferGetsNothing) {
    const Bytes inform = Hex(LongInform("A6"));
    NotificationScanResult scan{};
    std::int32_t flag = 0;
    CommunityMessage message;
    ReadCommunityMessage(inform.data(), inform.size(), message);
    NotificationScan(inform.data(), inform.size(), message, scan, flag);
    std::vector<std::uint8_t> out(inform.size());
    EXPECT_EQ(BuildInformAck(inform.data(), message, scan, out.data(), out.size()), inform.size());
    EXPECT_EQ(BuildInformAck(inform.data(), message, scan, out.data(), out.size() - 1), 0u);
}

TEST(InformAck, OnlyMessagesWithAnA6OrA7PduAreNotifications) {
    const std::pair<const char*, bool> cases[] = {
        {"30 0B 02 01 01 04 01 61 A6 00", true},
        {"30 0B 02 01 01 04 01 61 A7 00", true},
        {"30 82 00 0B 02 01 01 04 01 61 A7", true},   // truncated: decoded as a broken notification
        {"30 0B 02 01 01 04 01 61 A4 00", false},
        {"30 0B 02 01 01 04 01 61 A2 00", false},
        {"30 0B 04 01 61 02 01 01 A7 00", false},
        {"30 84 00 00 00 0B 02 01 01 04 01 61 A7 00", false},  // 84 is not a length form read here
        {"A7 00", false},
        {"", false},
    };
    for (const auto& [hex, expected] : cases) {
        SCOPED_TRACE(hex);
        const Bytes bytes = Hex(hex);
        CommunityMessage message;
        ReadCommunityMessage(bytes.data(), bytes.size(), message);
        EXPECT_EQ(IsSnmpV2Notification(message), expected);
    }
}

TEST(NotificationScan, TrapIdentifiersNameTheSixGenericTraps) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"2B 06 01 06 03 01 01 05 01", 0}, {"2B 06 01 06 03 01 01 05 02", 1}, {"2B 06 01 06 03 01 01 05 03", 2},
        {"2B 06 01 06 03 01 01 05 04", 3}, {"2B 06 01 06 03 01 01 05 05", 4}, {"2B 06 01 06 03 01 01 05 06", 5},
        {"2B 06 01 06 03 01 01 05 07", 6}, {"2B 06 01 06 03 01 01 05 00", 6}, {"2B 06 01 06 03 01 01 05", 6},
        {"2B 06 01 06 03 01 01 05 01 00", 6}, {"2B 06 01 04 01 86 8D 1F 00 11", 6}, {"", 6},
    };
    for (const auto& [hex, generic] : cases) {
        SCOPED_TRACE(hex);
        const Bytes oid = Hex(hex);
        EXPECT_EQ(GenericTrapOfIdentifier(oid.data(), oid.size()), generic);
    }
}

}  // namespace
}  // namespace quillet
