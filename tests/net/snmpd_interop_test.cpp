// Requests built by the request operations, sent to a real net-snmp agent on
// loopback: every kind in both versions (GetBulk in v2c) must come back as a
// GetResponse with the same request id and error-status 0, and a Set of
// sysLocation.0 must be read back by a Get. The agent's SNMPv2c answers with
// exception values and Counter64 (two of them served by a pass script) go
// through the response report and must show their binding lines.
//
// The agent runs once per test process on a free high port of 127.0.0.1 with
// its own configuration and persistent directory in a temporary folder, and
// is stopped by its pid. Without /usr/sbin/snmpd every test is skipped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "output/OutputBatch.h"
#include "platform/UdpSocket.h"
#include "request/RequestOperation.h"
#include "response/ResponseReport.h"
#include "tests/net/Loopback.h"

extern char** environ;

namespace quillet {
namespace {

// The header of an SNMPv1/v2c message, read as the listeners read it.
CommunityMessage MessageOf(const std::uint8_t* data, std::size_t size) {
    CommunityMessage message;
    ReadCommunityMessage(data, size, message);
    return message;
}

constexpr const char* kSnmpd = "/usr/sbin/snmpd";

// A small BER reader for the answers (short and 81/82 long-form lengths).
struct Element {
    std::uint8_t tag = 0;
    const std::uint8_t* content = nullptr;
    std::size_t length = 0;
    long Integer() const {
        long value = (length > 0 && (content[0] & 0x80)) ? -1 : 0;
        for (std::size_t i = 0; i < length; ++i) value = value * 256 + content[i];
        return value;
    }
    std::string Text() const { return std::string(reinterpret_cast<const char*>(content), length); }
};

bool Next(const std::uint8_t*& p, const std::uint8_t* end, Element& e) {
    if (end - p < 2) return false;
    e.tag = *p++;
    e.length = *p++;
    if (e.length & 0x80) {
        const std::size_t count = e.length & 0x7F;
        if (count < 1 || count > 2 || static_cast<std::size_t>(end - p) < count) return false;
        e.length = 0;
        for (std::size_t i = 0; i < count; ++i) e.length = e.length << 8 | *p++;
    }
    if (static_cast<std::size_t>(end - p) < e.length) return false;
    e.content = p;
    p += e.length;
    return true;
}

struct Response {
    long version = -1, requestId = 0, errorStatus = -1;
    std::uint8_t pduTag = 0;
    std::vector<std::string> names, values;  // OID content octets, value content octets
};

bool Parse(const std::uint8_t* data, std::size_t size, Response& r) {
    r = Response{};
    Element message, version, community, pdu, id, status, index, list;
    const std::uint8_t* p = data;
    if (!Next(p, data + size, message) || message.tag != 0x30) return false;
    p = message.content;
    const std::uint8_t* end = p + message.length;
    if (!Next(p, end, version) || !Next(p, end, community) || !Next(p, end, pdu)) return false;
    r.version = version.Integer();
    r.pduTag = pdu.tag;
    p = pdu.content;
    end = p + pdu.length;
    if (!Next(p, end, id) || !Next(p, end, status) || !Next(p, end, index) || !Next(p, end, list)) return false;
    r.requestId = id.Integer();
    r.errorStatus = status.Integer();
    for (p = list.content, end = p + list.length; p < end;) {
        Element varBind, name, value;
        if (!Next(p, end, varBind)) return false;
        const std::uint8_t* q = varBind.content;
        if (!Next(q, q + varBind.length, name) || !Next(q, varBind.content + varBind.length, value)) return false;
        r.names.push_back(name.Text());
        r.values.push_back(value.Text());
    }
    return true;
}

// OID content octets, written by hand.
const std::string kSysDescr0("\x2B\x06\x01\x02\x01\x01\x01\x00", 8);
const std::string kSysUpTime0("\x2B\x06\x01\x02\x01\x01\x03\x00", 8);
const std::string kSysLocation0("\x2B\x06\x01\x02\x01\x01\x06\x00", 8);

class SnmpdInterop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (::access(kSnmpd, X_OK) != 0) return;
        char pattern[] = "/tmp/quillet-snmpd-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            error_ = "mkdtemp failed";
            return;
        }
        dir_ = pattern;
        std::filesystem::create_directory(dir_ + "/persist");
        // Two Counter64 objects that no agent counts up to: 2^64 - 1 and 2^63.
        std::ofstream(dir_ + "/counter64.sh")
            << "if [ \"$1\" = -g ]; then case \"$2\" in\n"
            << ".1.3.6.1.4.1.99999.64.0) echo \"$2\"; echo counter64; echo 18446744073709551615 ;;\n"
            << ".1.3.6.1.4.1.99999.64.1) echo \"$2\"; echo counter64; echo 9223372036854775808 ;;\n"
            << "esac; fi\n";
        // The port is free when picked, but another process may take it before
        // the agent binds it; the agent then exits and another port is tried.
        for (int attempt = 0; attempt < 3; ++attempt) {
            UdpSocket picker;
            if (!picker.Create() || !picker.BindTo(Loopback())) {
                error_ = "no loopback port";
                return;
            }
            port_ = picker.LocalPort();
            picker.Close();
            std::ofstream(dir_ + "/agent.conf") << "agentAddress udp:127.0.0.1:" << port_ << "\n"
                                                << "rocommunity ravine default\nrwcommunity ravine-rw default\n"
                                                << "pass .1.3.6.1.4.1.99999.64 /bin/sh " << dir_ << "/counter64.sh\n";
            if (!Spawn()) return;
            if (Answering()) {
                error_.clear();
                return;
            }
            error_ = "snmpd did not answer:\n" + AgentLog();
            if (pid_ > 0) return;  // running but silent: another port would not help
        }
    }

    static void TearDownTestSuite() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status, waited = 0;
            while (::waitpid(pid_, &status, WNOHANG) == 0) {
                if (++waited == 100) ::kill(pid_, SIGKILL);  // after 2 s
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            pid_ = -1;
        }
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }

    static bool Spawn() {
        // Ours first: getenv takes the first match, whatever the caller has set.
        std::vector<std::string> env = {"MIBS=", "SNMP_PERSISTENT_DIR=" + dir_ + "/persist"};
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string args[] = {kSnmpd, "-f", "-Lo", "-C", "-c", dir_ + "/agent.conf"};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (dir_ + "/snmpd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc = ::posix_spawn(&pid_, kSnmpd, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc == 0) return true;
        pid_ = -1;
        error_ = "posix_spawn failed";
        return false;
    }

    // Asks for sysDescr.0 from a socket of its own every 100 ms, at most 50
    // times; answers to earlier probes then go to a closed port, not to a test.
    static bool Answering() {
        UdpSocket probe;
        if (!probe.Create() || !probe.BindTo(Loopback())) return false;
        probe.SetDestination(Loopback(port_));
        const std::uint8_t request[] = {0x30, 0x27, 0x02, 0x01, 0x00, 0x04, 0x06, 'r',  'a',  'v',  'i',  'n',  'e',  0xA0,
                                        0x1A, 0x02, 0x02, 0x00, 0x01, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E, 0x30,
                                        0x0C, 0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00, 0x05, 0x00};
        std::uint8_t answer[2048];
        for (int attempt = 0; attempt < 50; ++attempt) {
            int status;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {  // exited: port taken or bad configuration
                pid_ = -1;
                return false;
            }
            probe.Send(request, sizeof request);
            if (probe.ReceiveWithin(answer, sizeof answer, 100) > 0) return true;
        }
        return false;
    }

    static std::string AgentLog() {
        std::stringstream text;
        text << std::ifstream(dir_ + "/snmpd.log").rdbuf();
        return text.str();
    }

    void SetUp() override {
        if (::access(kSnmpd, X_OK) != 0) GTEST_SKIP() << kSnmpd << " is not installed (apt-get install snmpd)";
        ASSERT_TRUE(error_.empty()) << error_;
        ASSERT_TRUE(socket_.Create() && socket_.BindTo(Loopback()));
        socket_.SetDestination(Loopback(port_));
    }

    // Runs one operation as the window does and reads the agent's answer.
    ::testing::AssertionResult Exchange(RequestKind kind, const RequestFields& fields, Response& r) {
        const PrepareResult prepared = PrepareRequest(kind, fields, *state_);
        if (!prepared.ready) return ::testing::AssertionFailure() << "not sent: " << prepared.message;
        const auto size = static_cast<std::size_t>(state_->sendSize);
        if (socket_.Send(state_->sendBuffer.data(), size) != static_cast<int>(size))
            return ::testing::AssertionFailure() << "send failed";
        std::vector<std::uint8_t>& answer = answer_;
        answer.assign(65536, 0);
        const int received = socket_.ReceiveWithin(answer.data(), answer.size(), 2000);
        if (received <= 0) return ::testing::AssertionFailure() << "no answer; agent log:\n" << AgentLog();
        answer.resize(static_cast<std::size_t>(received));
        if (!Parse(answer.data(), static_cast<std::size_t>(received), r) || r.pduTag != 0xA2)
            return ::testing::AssertionFailure() << "not a GetResponse";
        // From 32768 on the agent reads the two id bytes as a negative number.
        if (static_cast<std::uint16_t>(r.requestId) != state_->requestId)
            return ::testing::AssertionFailure() << "request id " << r.requestId << " for " << state_->requestId;
        if (r.version != fields.version) return ::testing::AssertionFailure() << "version " << r.version;
        return ::testing::AssertionSuccess();
    }

    static RequestFields Fields(int version, const char* oid1, const char* community = "ravine") {
        RequestFields f;
        f.community = community;
        f.ipAddress = "127.0.0.1";
        f.oid1 = oid1;
        f.nonRepeatersCount = f.maxRepetitions = f.repeaterCount = "0";
        f.version = version;
        return f;
    }

    static inline pid_t pid_ = -1;
    static inline std::uint16_t port_ = 0;
    static inline std::string dir_, error_;
    UdpSocket socket_;
    std::vector<std::uint8_t> answer_;  // the last answer, as received
    std::unique_ptr<RequestState> state_ = std::make_unique<RequestState>();
};

TEST_F(SnmpdInterop, GetRequestInBothVersionsAndAcrossTheIdWrap) {
    for (int version : {0, 1}) {
        for (std::int32_t last : {0, 32767, 65535}) {
            state_->requestId = last;
            Response r;
            ASSERT_TRUE(Exchange(RequestKind::Get, Fields(version, "1.3.6.1.2.1.1.1.0"), r)) << version << "/" << last;
            EXPECT_EQ(r.errorStatus, 0);
            ASSERT_EQ(r.names.size(), 1u);
            EXPECT_EQ(r.names[0], kSysDescr0);
        }
    }
}

TEST_F(SnmpdInterop, GetNextInBothVersionsAnswersTheFollowingObjects) {
    for (int version : {0, 1}) {
        RequestFields fields = Fields(version, "1.3.6.1.2.1.1");
        fields.oid3 = "1.3.6.1.2.1.1.3";  // OID2 empty: two varbinds
        Response r;
        ASSERT_TRUE(Exchange(RequestKind::GetNext, fields, r));
        EXPECT_EQ(r.errorStatus, 0);
        ASSERT_EQ(r.names.size(), 2u);
        EXPECT_EQ(r.names[0], kSysDescr0);
        EXPECT_EQ(r.names[1], kSysUpTime0);
    }
}

TEST_F(SnmpdInterop, SetOfSysLocationIsReadBackInBothVersions) {
    const struct { int version; const char* typed; std::string stored; } cases[] = {
        {0, "rack 7\nrow 2", "rack 7\r\nrow 2"},
        {1, "棚7", "\x92\x49" "7"},  // code page 932
    };
    for (const auto& c : cases) {
        RequestFields set = Fields(c.version, "1.3.6.1.2.1.1.6.0", "ravine-rw");
        set.dataType = 3;
        set.value = c.typed;
        Response r;
        ASSERT_TRUE(Exchange(RequestKind::Set, set, r));
        EXPECT_EQ(r.errorStatus, 0);
        ASSERT_TRUE(Exchange(RequestKind::Get, Fields(c.version, "1.3.6.1.2.1.1.6.0"), r));
        EXPECT_EQ(r.errorStatus, 0);
        ASSERT_EQ(r.names.size(), 1u);
        EXPECT_EQ(r.names[0], kSysLocation0);
        EXPECT_EQ(r.values[0], c.stored);
    }
}

TEST_F(SnmpdInterop, GetBulkWithRepeatersWideRepetitionsAndNothingToAsk) {
    RequestFields fields = Fields(1, "1.3.6.1.2.1.1.3");
    fields.nonRepeatersCount = "1";
    fields.maxRepetitions = "3";
    fields.repeaterCount = "1";
    fields.maxOid1 = "1.3.6.1.2.1.1";
    Response r;
    ASSERT_TRUE(Exchange(RequestKind::GetBulk, fields, r));
    EXPECT_EQ(r.errorStatus, 0);
    ASSERT_EQ(r.names.size(), 4u);
    EXPECT_EQ(r.names[0], kSysUpTime0);
    EXPECT_EQ(r.names[1], kSysDescr0);

    // 300 in its low eight bits would be 44; the agent itself stops at 100.
    fields.maxRepetitions = "300";
    ASSERT_TRUE(Exchange(RequestKind::GetBulk, fields, r));
    EXPECT_EQ(r.errorStatus, 0);
    EXPECT_GT(r.names.size(), 45u);

    fields.nonRepeatersCount = fields.maxRepetitions = fields.repeaterCount = "0";
    ASSERT_TRUE(Exchange(RequestKind::GetBulk, fields, r));
    EXPECT_EQ(r.errorStatus, 0);
    EXPECT_TRUE(r.names.empty());
}

TEST_F(SnmpdInterop, SnmpV2AnswersShowExceptionsAndCounter64AsBindingLines) {
    struct AnswerCase {
        RequestKind kind;
        const char* oid;
        std::vector<std::string> lines;  // the binding lines; empty: a Counter64 read back below
    };
    const AnswerCase cases[] = {
        {RequestKind::Get, "1.3.6.1.2.1.1.99.0", {"  object ID =1.3.6.1.2.1.1.99.0", "  応答データ(noSuchObject)"}},
        {RequestKind::Get, "1.3.6.1.2.1.1.3.1", {"  object ID =1.3.6.1.2.1.1.3.1", "  応答データ(noSuchInstance)"}},
        {RequestKind::GetNext, "1.3.6.1.9.9", {"  object ID =1.3.6.1.9.9", "  応答データ(endOfMibView)"}},
        {RequestKind::Get, "1.3.6.1.4.1.99999.64.0",
         {"  object ID =1.3.6.1.4.1.99999.64.0", "  応答データ(Counter64)=18446744073709551615"}},
        {RequestKind::Get, "1.3.6.1.4.1.99999.64.1",
         {"  object ID =1.3.6.1.4.1.99999.64.1", "  応答データ(Counter64)=9223372036854775808"}},
        {RequestKind::Get, "1.3.6.1.2.1.31.1.1.1.6.1", {}},  // ifHCInOctets of lo
    };
    ResponseScanResult scan{};
    OutputBatch batch;
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.oid);
        Response r;
        ASSERT_TRUE(Exchange(c.kind, Fields(1, c.oid), r));
        batch.Clear();
        ASSERT_TRUE(ReportResponse(answer_.data(), static_cast<int>(answer_.size()),
                                   MessageOf(answer_.data(), answer_.size()), 0, 1, scan, batch));
        std::vector<std::string> lines = batch.LineTexts();
        ASSERT_GE(lines.size(), 2u);
        lines.erase(lines.begin(), lines.end() - 2);  // the binding lines are the last two
        if (!c.lines.empty()) {
            EXPECT_EQ(lines, c.lines);
            continue;
        }
        // The Counter64 read independently from the answer's octets.
        ASSERT_EQ(r.values.size(), 1u);
        unsigned long long value = 0;
        for (unsigned char octet : r.values[0]) value = value * 256 + octet;
        EXPECT_EQ(lines[1], "  応答データ(Counter64)=" + std::to_string(value));
    }
}

}  // namespace
}  // namespace quillet
