// What the console sends and shows for SNMPv3: its discovery message
// against snmpget's, the request PDU it carries, and the lines of an answer
// captured from snmpd (tests/core/UsmCaptures.h), opened as the response
// listener opens it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "request/RequestEncoder.h"
#include "request/RequestEncoder.h"
#include "exchange/V3Users.h"
#include "snmpv3/MessageEncode.h"
#include "response/ResponseReport.h"
#include "snmpv3/MessageOpen.h"
#include "snmpv3/MessageScan.h"
#include "snmpv3/V3Lines.h"
#include "tests/core/HexBytes.h"
#include "tests/core/UsmCaptures.h"

namespace quillet {
namespace {

TEST(V3Request, DiscoveryIsTheMessageSnmpgetSendsAndTheRequestCarriesTheEncodersPdu) {
    // snmpget's discovery: msgID 04 AC A5 75, request-id 37 A7 49 0C.
    std::vector<std::uint8_t> out(256);
    const std::size_t size = BuildDiscovery(0x04ACA575, 0x37A7490C, out.data(), out.size());
    EXPECT_EQ(HexOf(out.data(), size), HexOf(Hex(captures::kQuserDiscovery).data(), Hex(captures::kQuserDiscovery).size()));

    auto state = std::make_unique<RequestState>();
    state->communityLength = 0;
    state->requestOids[0].bytes[0] = 0x2B;
    state->requestOids[0].length = 1;
    ASSERT_EQ(BuildRequest(*state, kGetRequestTag, SnmpV2c, 0, ""), kBuildOk);
    // The PDU runs from its tag, after 30 82 hi lo, 02 01 01 and 04 00, to
    // the end of the message.
    const ByteSpan pdu = RequestPdu(state->sendBuffer.data(), static_cast<std::size_t>(state->sendSize));
    ASSERT_EQ(pdu.data(), state->sendBuffer.data() + 9);
    EXPECT_EQ(pdu.size(), static_cast<std::size_t>(state->sendSize) - 9);
    EXPECT_EQ(pdu[0], kGetRequestTag);
}

TEST(V3Answer, AnOpenedAnswerShowsItsHeaderItsSecurityItsContextAndItsPduReadInPlace) {
    V3Config config;
    std::string error;
    UsmUser user;
    ASSERT_TRUE(MakeUserFromPassPhrases("quser", AuthProtocol::Sha256, "authpass123", PrivProtocol::Aes128,
                                        "privpass123", user, error));
    config.users.Add(user);
    const std::vector<std::uint8_t> datagram = Hex(captures::kQuserResponse);
    V3MessageScan scan;
    ScanV3Message(datagram.data(), datagram.size(), scan);
    std::vector<std::uint8_t> plain(datagram.size());
    OpenedV3Message opened;
    ASSERT_EQ(OpenV3Message(datagram.data(), datagram.size(), scan, config.users, nullptr, plain.data(), plain.size(),
                            opened),
              UsmStatus::Ok);

    OutputBatch messageLines;
    AppendV3HeaderLines(datagram.data(), scan, messageLines);
    AppendV3ReceivedSecurityLines(scan, opened, messageLines);
    AppendScopedPduLines(opened.scopedBase, opened.scoped, messageLines);
    const ReceivedV3Message received =
        ReceivedV3(datagram.data(), static_cast<int>(datagram.size()), messageLines, scan, opened);
    EXPECT_EQ(received.pduBase, plain.data());  // decrypted in place, not copied again
    auto scratch = std::make_unique<ResponseScanResult>();
    OutputBatch out;
    ASSERT_TRUE(ReportV3Response(received, 0, 1, *scratch, out));

    std::vector<std::string> summary;
    int travelled = 0, clear = 0;
    bool inPlain = false;
    for (const OutputBatch::Item& item : out) {
        if (item.type != OutputBatch::ItemType::Line) continue;
        if (item.value == SummaryLine) summary.push_back(item.text);
        else if (item.text == "  復号したscopedPDU=") inPlain = true;
        else if (item.text.rfind("  受信DATA=", 0) != 0) ++(inPlain ? clear : travelled);
    }
    EXPECT_EQ(summary, (std::vector<std::string>{
                           "response 受信 request ID=933710091  SIZE=152",
                           "  msgID=78423412",
                           "  msgMaxSize=65507",
                           "  msgFlags=03 (auth, priv)",
                           "  msgSecurityModel=3 (USM)",
                           "  msgAuthoritativeEngineID=80 00 1F 88 80 C0 FF EE 01 23 45 67 89",
                           "  msgAuthoritativeEngineBoots=1",
                           "  msgAuthoritativeEngineTime=27",
                           "  msgUserName=quser",
                           "  認証=あり(SHA-256) 確認済み",
                           "  暗号化=あり(AES) 復号済み",
                           "  contextEngineID=80 00 1F 88 80 C0 FF EE 01 23 45 67 89",
                           "  contextName=",
                           "  object ID =1.3.6.1.2.1.1.5.0",
                           "  応答データ(OCTET STRING  SIZE=8)=",
                           "  76 33 2D 61 67 65 6E 74                           v3-agent",
                       }));
    EXPECT_EQ(travelled, (152 + 15) / 16);  // the datagram as it travelled
    EXPECT_EQ(clear, static_cast<int>((opened.scoped.length + 15) / 16));
    EXPECT_EQ(out.LineTexts()[1].substr(0, 7), "  msgID");
}

TEST(V3Answer, ARefusedAnswerSaysWhyAndShowsNothingOfItsPdu) {
    V3Config config;
    std::string error;
    UsmUser user;
    ASSERT_TRUE(MakeUserFromPassPhrases("quser", AuthProtocol::Sha256, "otherpass99", PrivProtocol::Aes128,
                                        "privpass123", user, error));
    config.users.Add(user);
    const std::vector<std::uint8_t> datagram = Hex(captures::kQuserResponse);
    V3MessageScan scan;
    ScanV3Message(datagram.data(), datagram.size(), scan);
    std::vector<std::uint8_t> plain(datagram.size());
    OpenedV3Message opened;
    OpenV3Message(datagram.data(), datagram.size(), scan, config.users, nullptr, plain.data(), plain.size(), opened);
    OutputBatch lines;
    AppendV3ReceivedSecurityLines(scan, opened, lines);
    EXPECT_EQ(lines.LineTexts(), std::vector<std::string>{"  USM検証失敗=wrongDigest"});
    EXPECT_EQ(opened.scopedBase, nullptr);
}

}  // namespace
}  // namespace quillet
