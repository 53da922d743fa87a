// The SNMPv3 exchange: which datagram on the response port is the answer to
// a request in flight, what Reports may do, and what the trap port answers.
// The agent's messages are made in the test, each one wrong in one way; the
// trap port's cases start from net-snmp's own datagrams (UsmCaptures.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "exchange/V3Notifications.h"
#include "exchange/V3Requests.h"
#include "snmpv3/MessageEncode.h"
#include "snmpv3/UsmReports.h"
#include "tests/core/HexBytes.h"
#include "tests/core/UsmCaptures.h"

namespace quillet {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kAgentEngine = Hex("80 00 1F 88 80 C0 FF EE 01 23 45 67 89");
const Bytes kOtherEngine = Hex("80 00 1F 88 80 0B AD 0B AD 0B AD 0B AD");
const std::uint8_t kAgentAddress[4] = {192, 0, 2, 2};
const std::uint8_t kOtherAddress[4] = {192, 0, 2, 9};
constexpr std::int32_t kRequestId = 7;
// GetRequest-PDU of sysName.0, request-id 7, as the request encoder writes it.
const Bytes kGetPdu = Hex("A0 82 00 18 02 02 00 07 02 01 00 02 01 00 30 82 00 0A 30 82 00 06 06 02 2B 06 05 00");

bool FixedRandom(std::uint8_t* out, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<std::uint8_t>(0x10 + i);
    return true;
}
bool FailingRandom(std::uint8_t*, std::size_t) { return false; }

std::shared_ptr<V3Config> ConfigOf(const char* name, SecurityLevel level, AuthProtocol auth, PrivProtocol priv) {
    auto config = std::make_shared<V3Config>();
    std::string error;
    UsmUser user;
    EXPECT_TRUE(MakeUserFromPassPhrases(name, auth, "authpass123", priv, "privpass123", user, error));
    user.level = level;
    config->users.Add(user);
    config->requestUser = name;
    return config;
}

ByteSpan Span(const Bytes& bytes) { return {bytes.data(), bytes.size()}; }
ByteSpan Span(const char* text) { return {reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)}; }

// Response-PDU { request-id, 0, 0, { sysName.0 = "agent" } }.
Bytes ResponsePdu(std::int32_t requestId) {
    Bytes pdu = Hex("A2 1E 02 01 00 02 01 00 02 01 00 30 13 30 11 06 08 2B 06 01 02 01 01 05 00 04 05 61 67 65 6E 74");
    pdu[4] = static_cast<std::uint8_t>(requestId);
    return pdu;
}

Bytes ReportPdu(UsmStatsCounter counter) {
    Bytes pdu(64);
    pdu.resize(BuildReportPdu(0, counter, 1, pdu.data(), pdu.size()));
    return pdu;
}

// One message of the agent's, every field as the row says.
struct AgentMessage {
    std::int32_t msgId = 0;
    Bytes pdu;
    SecurityLevel level = SecurityLevel::AuthPriv;
    Bytes engine = kAgentEngine;
    std::uint32_t boots = 3;
    std::uint32_t time = 1000;
    const char* user = "quser";
    const char* contextName = "";

    Bytes Encode(const UsmUser& keysOf) const {
        UsmLocalKeys keys;
        if (level != SecurityLevel::NoAuthNoPriv) {
            EXPECT_TRUE(LocalKeysFor(keysOf, Span(engine), keys));
        }
        V3MessageInput input;
        input.msgId = msgId;
        input.level = level;
        input.reportable = false;
        input.engineId = Span(engine);
        input.engineBoots = boots;
        input.engineTime = time;
        input.userName = Span(user);
        input.keys = &keys;
        input.salt = Salt{1, 2, 3, 4, 5, 6, 7, 8};
        input.contextEngineId = Span(engine);
        input.contextName = Span(contextName);
        input.pdu = Span(pdu);
        Bytes out(2048);
        out.resize(EncodeV3Message(input, out.data(), out.size()));
        EXPECT_FALSE(out.empty());
        return out;
    }
};

bool HasLine(const OutputBatch& batch, const std::string& text) {
    const std::vector<std::string> lines = batch.LineTexts();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

class V3Exchange : public ::testing::Test {
protected:
    void SetUp() override { users_.SetConfig(config_); }

    V3Start Start() {
        V3RequestInput input;
        input.pdu = kGetPdu;
        input.requestId = kRequestId;
        input.oidText = "1.3.6.1.2.1.1.5.0";
        input.agent = Endpoint::V4(kAgentAddress, 161);
        input.retries = retries_;
        return requests_.Start(input, Moment());
    }
    V3Taken Take(const Bytes& datagram, const std::uint8_t* from = kAgentAddress) {
        lines_.Clear();
        V3MessageScan scan;
        ScanV3Message(datagram.data(), datagram.size(), scan);
        return requests_.Take(datagram.data(), datagram.size(), scan, Endpoint::V4(from, 161), 1'000'000'000,
                              Moment(), nullptr, 0, 0, scratch_, lines_);
    }
    V3Moment Moment() const { return V3Moment{nowMs_, 0, nullptr}; }
    static std::int32_t MsgIdOf(const Bytes& datagram) {
        V3MessageScan scan;
        ScanV3Message(datagram.data(), datagram.size(), scan);
        return scan.msgId;
    }
    // Discovery, the agent's clock from its authenticated Report, and the
    // request sent to the known engine: returns the request's message.
    Bytes RequestInFlight() {
        const V3Start start = Start();
        EXPECT_EQ(start.status, V3StartStatus::Ready);
        AgentMessage discovery{MsgIdOf(start.outgoing.datagram), ReportPdu(UsmStatsCounter::UnknownEngineIds),
                               SecurityLevel::NoAuthNoPriv};
        discovery.user = "";
        V3Taken taken = Take(discovery.Encode(*config_->RequestUser()));
        EXPECT_TRUE(taken.send.has_value());
        AgentMessage sync{MsgIdOf(taken.send->datagram), ReportPdu(UsmStatsCounter::NotInTimeWindows),
                          SecurityLevel::AuthNoPriv};
        taken = Take(sync.Encode(*config_->RequestUser()));
        EXPECT_TRUE(taken.send.has_value());
        return taken.send ? taken.send->datagram : Bytes{};
    }

    std::shared_ptr<V3Config> config_ =
        ConfigOf("quser", SecurityLevel::AuthPriv, AuthProtocol::Sha256, PrivProtocol::Aes128);
    V3Users users_;
    V3Requests requests_{users_, FixedRandom};
    ResponseScanResult scratch_{};
    OutputBatch lines_;
    std::int64_t nowMs_ = 50'000;
    int retries_ = 0;
};

TEST_F(V3Exchange, DiscoveryLearnsTheEngineButNotItsClock) {
    const V3Start start = Start();
    ASSERT_EQ(start.status, V3StartStatus::Ready);
    V3MessageScan scan;
    ScanV3Message(start.outgoing.datagram.data(), start.outgoing.datagram.size(), scan);
    EXPECT_EQ(scan.engineId.length, 0u);  // discovery
    AgentMessage report{scan.msgId, ReportPdu(UsmStatsCounter::UnknownEngineIds), SecurityLevel::NoAuthNoPriv};
    report.user = "";
    const V3Taken taken = Take(report.Encode(*config_->RequestUser()));
    ASSERT_TRUE(taken.send.has_value());
    ScanV3Message(taken.send->datagram.data(), taken.send->datagram.size(), scan);
    EXPECT_EQ(Bytes(taken.send->datagram.begin() + scan.engineId.start,
                    taken.send->datagram.begin() + scan.engineId.End()),
              kAgentEngine);
    // The unauthenticated Report's boots 3 and time 1000 are not believed.
    EXPECT_EQ(scan.engineBoots, 0u);
    EXPECT_EQ(scan.engineTime, 0u);
}

TEST_F(V3Exchange, TheMatchingAnswerEndsTheRequestAndASecondCopyIsNotTaken) {
    const Bytes request = RequestInFlight();
    V3MessageScan scan;
    ScanV3Message(request.data(), request.size(), scan);
    EXPECT_EQ(scan.engineBoots, 3u);  // the clock of the authenticated Report
    const Bytes answer = AgentMessage{MsgIdOf(request), ResponsePdu(kRequestId)}.Encode(*config_->RequestUser());
    Take(answer);
    EXPECT_FALSE(HasLine(lines_, "応答として扱いません"));
    EXPECT_EQ(requests_.InFlight(), 0u);
    Take(answer);
    EXPECT_TRUE(HasLine(lines_, "応答として扱いません：msgIDが送信中の要求のどれとも一致しません"));
}

struct NotTakenCase {
    const char* fault;
    void (*spoil)(AgentMessage& message);
    const std::uint8_t* from;
    const char* reason;
};

const NotTakenCase kNotTaken[] = {
    {"noAuthNoPriv answer naming the request's user", [](AgentMessage& m) { m.level = SecurityLevel::NoAuthNoPriv; },
     kAgentAddress, "セキュリティレベルが要求と違います"},
    {"authNoPriv answer to an authPriv request", [](AgentMessage& m) { m.level = SecurityLevel::AuthNoPriv; },
     kAgentAddress, "セキュリティレベルが要求と違います"},
    {"another msgID", [](AgentMessage& m) { m.msgId += 100; }, kAgentAddress, "msgIDが送信中の要求"},
    {"from another address", [](AgentMessage&) {}, kOtherAddress, "要求の送信先とは別のアドレスから"},
    {"another engine, keys localised to it", [](AgentMessage& m) { m.engine = kOtherEngine; }, kAgentAddress,
     "エンジンIDが要求の送信先のものと違います"},
    {"older boots", [](AgentMessage& m) { m.boots = 2; }, kAgentAddress, "時刻の範囲外です"},
    {"time far behind the engine's", [](AgentMessage& m) { m.time = 800; }, kAgentAddress, "時刻の範囲外です"},
    {"another request-id", [](AgentMessage& m) { m.pdu = ResponsePdu(kRequestId + 1); }, kAgentAddress,
     "request IDが要求と違います"},
    {"another context name", [](AgentMessage& m) { m.contextName = "bridge1"; }, kAgentAddress,
     "contextEngineIDまたはcontextNameが要求と違います"},
    {"a GetRequest-PDU in place of a Response", [](AgentMessage& m) { m.pdu[0] = 0xA0; }, kAgentAddress,
     "Response-PDUではありません"},
};

TEST_F(V3Exchange, AnAnswerThatDoesNotMatchIsShownWithItsReasonAndEndsNoWait) {
    const Bytes request = RequestInFlight();
    for (const NotTakenCase& row : kNotTaken) {
        AgentMessage message{MsgIdOf(request), ResponsePdu(kRequestId)};
        row.spoil(message);
        const V3Taken taken = Take(message.Encode(*config_->RequestUser()), row.from);
        EXPECT_TRUE(HasLine(lines_, std::string("応答として扱いません：") + row.reason))
            << row.fault << ": " << lines_.LineTexts().back();
        EXPECT_FALSE(taken.clearWalk) << row.fault;
        EXPECT_FALSE(taken.ended.has_value()) << row.fault;
        EXPECT_EQ(requests_.InFlight(), 1u) << row.fault;
    }
    // The request still takes its real answer afterwards.
    Take(AgentMessage{MsgIdOf(request), ResponsePdu(kRequestId)}.Encode(*config_->RequestUser()));
    EXPECT_EQ(requests_.InFlight(), 0u);
}

TEST_F(V3Exchange, AReportToTheRequestEndsItAtOnceWithItsMeaning) {
    const Bytes request = RequestInFlight();
    // snmpd's answer to a wrong pass phrase: noAuthNoPriv, the user named.
    AgentMessage report{MsgIdOf(request), ReportPdu(UsmStatsCounter::WrongDigests), SecurityLevel::NoAuthNoPriv};
    const V3Taken taken = Take(report.Encode(*config_->RequestUser()));
    ASSERT_TRUE(taken.ended.has_value());
    EXPECT_EQ(taken.ended->requestId, kRequestId);
    EXPECT_EQ(taken.ended->message.rfind("認証に失敗しました", 0), 0u) << taken.ended->message;
    EXPECT_TRUE(HasLine(lines_, "要求を終了しました：認証に失敗しました"));
    EXPECT_EQ(requests_.Expire(taken.ended->operation, 3, Moment()).expiry,
              V3Requests::Expiry::NotWaiting);  // no 応答なし follows
}

TEST_F(V3Exchange, AnUnknownEngineReportEndsTheRequestAndTheNextDiscoversAgain) {
    const Bytes request = RequestInFlight();
    AgentMessage report{MsgIdOf(request), ReportPdu(UsmStatsCounter::UnknownEngineIds), SecurityLevel::NoAuthNoPriv};
    report.engine = kOtherEngine;
    const V3Taken taken = Take(report.Encode(*config_->RequestUser()));
    ASSERT_TRUE(taken.ended.has_value());
    EXPECT_FALSE(taken.send.has_value());  // never a resend keyed to the Report's engine
    const V3Start next = Start();
    V3MessageScan scan;
    ScanV3Message(next.outgoing.datagram.data(), next.outgoing.datagram.size(), scan);
    EXPECT_EQ(scan.engineId.length, 0u);
}

TEST_F(V3Exchange, ReportsThatMatchNoMessageInFlightChangeNothing) {
    const V3Start start = Start();
    const std::int32_t discovery = MsgIdOf(start.outgoing.datagram);
    AgentMessage forged{discovery + 1, ReportPdu(UsmStatsCounter::UnknownEngineIds), SecurityLevel::NoAuthNoPriv};
    forged.user = "";
    forged.engine = kOtherEngine;
    EXPECT_FALSE(Take(forged.Encode(*config_->RequestUser())).send.has_value());
    // The right msgID from an address the discovery did not go to.
    forged.msgId = discovery;
    EXPECT_FALSE(Take(forged.Encode(*config_->RequestUser()), kOtherAddress).send.has_value());
    EXPECT_TRUE(HasLine(lines_, "別のアドレスから"));
    EXPECT_EQ(requests_.InFlight(), 1u);
}

TEST_F(V3Exchange, ANewTimeWindowResendsOnceThenEnds) {
    const Bytes request = RequestInFlight();  // its one resend went on the first clock
    AgentMessage report{MsgIdOf(request), ReportPdu(UsmStatsCounter::NotInTimeWindows), SecurityLevel::AuthNoPriv};
    report.boots = 4;
    const V3Taken taken = Take(report.Encode(*config_->RequestUser()));
    EXPECT_FALSE(taken.send.has_value());
    ASSERT_TRUE(taken.ended.has_value());
    EXPECT_EQ(taken.ended->message.rfind("エージェントの時刻と合いません", 0), 0u);
}

TEST_F(V3Exchange, OnlyTheLatestMessageExpiresAndARetryIsThatMessageAgain) {
    retries_ = 1;
    const V3Start start = Start();
    AgentMessage report{MsgIdOf(start.outgoing.datagram), ReportPdu(UsmStatsCounter::UnknownEngineIds),
                        SecurityLevel::NoAuthNoPriv};
    report.user = "";
    const V3Taken taken = Take(report.Encode(*config_->RequestUser()));
    ASSERT_TRUE(taken.send.has_value());
    EXPECT_EQ(requests_.Expire(start.outgoing.operation, start.outgoing.attempt, Moment()).expiry,
              V3Requests::Expiry::NotWaiting);
    const V3Requests::Expired retry = requests_.Expire(taken.send->operation, taken.send->attempt, Moment());
    ASSERT_EQ(retry.expiry, V3Requests::Expiry::Retry);
    EXPECT_EQ(retry.again.datagram, taken.send->datagram);
    EXPECT_TRUE(HasLine(retry.again.lines, "request 再送 request ID=7  SIZE="));
    EXPECT_TRUE(HasLine(retry.again.lines, "2/2回目"));
    // The first send's wait is over; the retry's ends the operation.
    EXPECT_EQ(requests_.Expire(taken.send->operation, taken.send->attempt, Moment()).expiry,
              V3Requests::Expiry::NotWaiting);
    const V3Requests::Expired last = requests_.Expire(retry.again.operation, retry.again.attempt, Moment());
    EXPECT_EQ(last.expiry, V3Requests::Expiry::NoAnswer);
    EXPECT_EQ(last.tries, 2);
    EXPECT_EQ(last.requestId, kRequestId);
}

TEST(V3ExchangeStart, AFailedRandomSourceRefusesToSend) {
    V3Users users;
    users.SetConfig(ConfigOf("quser", SecurityLevel::AuthPriv, AuthProtocol::Sha256, PrivProtocol::Aes128));
    V3Requests requests(users, FailingRandom);
    V3RequestInput input;
    input.pdu = kGetPdu;
    input.agent = Endpoint::V4(kAgentAddress, 161);
    const V3Start start = requests.Start(input, V3Moment{});
    EXPECT_EQ(start.status, V3StartStatus::NoRandom);
    EXPECT_TRUE(start.outgoing.datagram.empty());
    EXPECT_EQ(start.message, "乱数を得られないため、SNMPv3の要求を送信できません。");
}

// The trap port, as snmptrapd's engine of the captures (boots 1, time 2).
class V3TrapPort : public ::testing::Test {
protected:
    void SetUp() override {
        auto config = ConfigOf("iuser", SecurityLevel::AuthPriv, AuthProtocol::Sha256, PrivProtocol::Aes128);
        config->users.Add(*ConfigOf("quser", SecurityLevel::AuthPriv, AuthProtocol::Sha256, PrivProtocol::Aes128)
                               ->RequestUser());
        users_.SetConfig(config);
    }
    std::size_t Take(const Bytes& datagram, std::int64_t nowMs = 2000) {
        lines_.Clear();
        std::int32_t flag = 0;
        V3MessageScan scan;
        ScanV3Message(datagram.data(), datagram.size(), scan);
        return port_.Take(datagram.data(), datagram.size(), scan, Endpoint::V4(kAgentAddress, 41000), nowMs,
                          nullptr, scratch_, flag, lines_);
    }
    bool Counted() const {
        return std::any_of(lines_.begin(), lines_.end(),
                           [](const OutputBatch::Item& item) { return item.type == OutputBatch::ItemType::Count; });
    }
    std::string AnswerCounter(std::size_t length) const {
        V3MessageScan scan;
        ScanV3Message(port_.Answer(), length, scan);
        const std::string text = ReportText(port_.Answer() + scan.scoped.pduAt, scan.scoped.pduLength);
        return text.substr(0, text.find(' '));
    }

    const Bytes trapdEngine_ = Hex("80 00 1F 88 80 51 55 49 4C 4C 45 54");
    V3Users users_;
    V3Notifications port_{users_, Span(trapdEngine_), 1, 0};
    TrapReportScratch scratch_{};
    OutputBatch lines_;
};

TEST_F(V3TrapPort, AnInformSendersProbesAreOneLineEachAndNoTrap) {
    const std::size_t report = Take(Hex(captures::kInformIuserDiscovery));
    EXPECT_EQ(lines_.LineTexts().size(), 1u);
    EXPECT_TRUE(HasLine(lines_, "SNMPv3 エンジンID探索(discovery)受信  送信元=192.0.2.2:41000"));
    EXPECT_FALSE(Counted());
    EXPECT_EQ(AnswerCounter(report), "usmStatsUnknownEngineIDs");
    EXPECT_GT(Take(Hex(captures::kInformIuserInform)), 0u);  // then acknowledged
    EXPECT_TRUE(Counted());
}

TEST_F(V3TrapPort, AnInformNamingAnotherEngineGetsTheUnknownEngineReport) {
    V3Notifications other(users_, Span(kOtherEngine), 1, 0);
    lines_.Clear();
    std::int32_t flag = 0;
    const Bytes inform = Hex(captures::kInformIuserInform);
    V3MessageScan scan;
    ScanV3Message(inform.data(), inform.size(), scan);
    const std::size_t length = other.Take(inform.data(), inform.size(), scan, Endpoint::V4(kAgentAddress, 41000),
                                          2000, nullptr, scratch_, flag, lines_);
    ASSERT_GT(length, 0u);
    V3MessageScan answer;
    ScanV3Message(other.Answer(), length, answer);
    EXPECT_EQ(ReportText(other.Answer() + answer.scoped.pduAt, answer.scoped.pduLength).substr(0, 24),
              "usmStatsUnknownEngineIDs");
    EXPECT_TRUE(HasLine(lines_, "USM検証失敗=unknownEngineID"));
}

TEST_F(V3TrapPort, ATrapBelowTheUsersLevelOrOlderThanItsEnginesClockIsRefused) {
    const UsmUser& iuser = *users_.Config()->RequestUser();
    AgentMessage trap{1, Hex("A7 0B 02 01 01 02 01 00 02 01 00 30 00"), SecurityLevel::NoAuthNoPriv};
    trap.user = "iuser";
    Take(trap.Encode(iuser));
    EXPECT_TRUE(HasLine(lines_, "受け付けません：ユーザーに設定したセキュリティレベル(authPriv)より低い"));
    trap.level = SecurityLevel::AuthPriv;
    trap.boots = 5;
    Take(trap.Encode(iuser));
    EXPECT_FALSE(HasLine(lines_, "USM検証失敗")) << lines_.LineTexts()[0];
    trap.boots = 4;  // captured before the sender's restart, sent again
    Take(trap.Encode(iuser));
    EXPECT_TRUE(HasLine(lines_, "USM検証失敗=notInTimeWindow"));
}

TEST_F(V3TrapPort, ReportsToOneSourceAreBoundedAndThatIsSaidOnce) {
    const Bytes probe = Hex(captures::kInformIuserDiscovery);
    int answered = 0, said = 0;
    for (int i = 0; i < ReportLimiter::kPerSourceBurst + 5; ++i) {
        answered += Take(probe, 5000) > 0 ? 1 : 0;
        said += HasLine(lines_, "Reportの送信を制限しました") ? 1 : 0;
    }
    EXPECT_EQ(answered, ReportLimiter::kPerSourceBurst);
    EXPECT_EQ(said, 1);
    EXPECT_GT(Take(probe, 5000 + 1000 / ReportLimiter::kPerSourcePerSecond), 0u);  // and again in time
}

}  // namespace
}  // namespace quillet
