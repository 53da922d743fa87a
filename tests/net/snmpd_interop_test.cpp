// Requests built by the encoder, sent to a real net-snmp agent on loopback:
// every request kind in both versions must come back as a GetResponse with
// the same request id, and a Set of sysLocation.0 must be read back by a Get.
//
// The agent is started once for the suite on a free high port of 127.0.0.1,
// with its own configuration and persistent directory under a temporary
// folder, and stopped by its pid at the end. Without /usr/sbin/snmpd every
// test is skipped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "console/platform/UdpSocket.h"
#include "request/RequestOperation.h"
#include "request/RequestState.h"

extern char** environ;

namespace quillet {
namespace {

constexpr const char* kSnmpd = "/usr/sbin/snmpd";
constexpr int kAnswerTimeoutMs = 2000;

// ---------------------------------------------------------------------------
// A small BER reader for the agent's answers (short and long-form lengths).

struct Element {
    std::uint8_t tag = 0;
    const std::uint8_t* content = nullptr;
    std::size_t length = 0;
};

bool ReadElement(const std::uint8_t*& p, const std::uint8_t* end, Element& e) {
    if (end - p < 2) return false;
    e.tag = *p++;
    std::size_t length = *p++;
    if (length & 0x80) {
        const std::size_t count = length & 0x7F;
        if (count == 0 || count > 2 || static_cast<std::size_t>(end - p) < count) return false;
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = length << 8 | *p++;
    }
    if (static_cast<std::size_t>(end - p) < length) return false;
    e.content = p;
    e.length = length;
    p += length;
    return true;
}

long SignedValue(const Element& e) {
    long value = (e.length > 0 && (e.content[0] & 0x80)) ? -1 : 0;
    for (std::size_t i = 0; i < e.length; ++i) value = value * 256 + e.content[i];
    return value;
}

struct Binding {
    std::vector<std::uint8_t> oid;
    std::uint8_t valueTag = 0;
    std::string value;
};

struct Response {
    long version = -1;
    std::string community;
    std::uint8_t pduTag = 0;
    long requestId = 0;
    long errorStatus = -1;
    long errorIndex = -1;
    std::vector<Binding> bindings;
};

bool ParseResponse(const std::uint8_t* data, std::size_t size, Response& r) {
    r = Response{};
    const std::uint8_t* p = data;
    const std::uint8_t* end = data + size;
    Element message, field;
    if (!ReadElement(p, end, message) || message.tag != 0x30) return false;
    p = message.content;
    end = message.content + message.length;
    if (!ReadElement(p, end, field) || field.tag != 0x02) return false;
    r.version = SignedValue(field);
    if (!ReadElement(p, end, field) || field.tag != 0x04) return false;
    r.community.assign(reinterpret_cast<const char*>(field.content), field.length);
    Element pdu;
    if (!ReadElement(p, end, pdu)) return false;
    r.pduTag = pdu.tag;
    p = pdu.content;
    end = pdu.content + pdu.length;
    long* integers[3] = {&r.requestId, &r.errorStatus, &r.errorIndex};
    for (long* target : integers) {
        if (!ReadElement(p, end, field) || field.tag != 0x02) return false;
        *target = SignedValue(field);
    }
    Element list;
    if (!ReadElement(p, end, list) || list.tag != 0x30) return false;
    p = list.content;
    end = list.content + list.length;
    while (p < end) {
        Element varBind, name, value;
        if (!ReadElement(p, end, varBind) || varBind.tag != 0x30) return false;
        const std::uint8_t* q = varBind.content;
        const std::uint8_t* qEnd = varBind.content + varBind.length;
        if (!ReadElement(q, qEnd, name) || name.tag != 0x06 || !ReadElement(q, qEnd, value)) return false;
        Binding b;
        b.oid.assign(name.content, name.content + name.length);
        b.valueTag = value.tag;
        b.value.assign(reinterpret_cast<const char*>(value.content), value.length);
        r.bindings.push_back(std::move(b));
    }
    return true;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> list) { return list; }

// Content octets of OIDs used below, written by hand.
const std::vector<std::uint8_t> kSysDescr0 = Bytes({0x2B, 6, 1, 2, 1, 1, 1, 0});
const std::vector<std::uint8_t> kSysUpTime0 = Bytes({0x2B, 6, 1, 2, 1, 1, 3, 0});
const std::vector<std::uint8_t> kSysContact0 = Bytes({0x2B, 6, 1, 2, 1, 1, 4, 0});
const std::vector<std::uint8_t> kSysLocation0 = Bytes({0x2B, 6, 1, 2, 1, 1, 6, 0});

// ---------------------------------------------------------------------------
// The agent.

class SnmpdInterop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (::access(kSnmpd, X_OK) != 0) return;
        char pattern[] = "/tmp/quillet-snmpd-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            startError_ = "mkdtemp failed";
            return;
        }
        dir_ = pattern;
        std::filesystem::create_directory(dir_ + "/persist");
        // The port is free when picked but another process may take it before
        // the agent binds it; the agent then exits at once and another port
        // is tried.
        for (int attempt = 0; attempt < 3; ++attempt) {
            port_ = FreeLoopbackPort();
            if (port_ == 0) {
                startError_ = "no free loopback port";
                return;
            }
            const std::string conf = dir_ + "/agent.conf";
            std::ofstream(conf) << "agentAddress udp:127.0.0.1:" << port_ << "\n"
                                << "rocommunity ravine default\n"
                                << "rwcommunity ravine-rw default\n";
            if (!Spawn(conf)) return;
            if (WaitUntilAnswering()) {
                startError_.clear();
                return;
            }
            startError_ = "snmpd did not answer within 5 s:\n" + AgentLog();
            if (pid_ > 0) return;  // still running but silent: no point in retrying
        }
    }

    static void TearDownTestSuite() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            bool reaped = false;
            for (int i = 0; i < 100 && !reaped; ++i) {  // at most 2 s, then force it
                reaped = ::waitpid(pid_, &status, WNOHANG) == pid_;
                if (!reaped) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (!reaped) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
            pid_ = -1;
        }
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
            dir_.clear();
        }
    }

    void SetUp() override {
        if (::access(kSnmpd, X_OK) != 0) GTEST_SKIP() << kSnmpd << " is not installed (apt-get install snmpd)";
        ASSERT_TRUE(startError_.empty()) << startError_;
        ASSERT_TRUE(socket_.Create());
        Ipv4Endpoint local;
        local.octets[0] = 127;
        local.octets[3] = 1;
        ASSERT_TRUE(socket_.BindTo(local));
        socket_.SetDestination(AgentEndpoint());
        state_ = std::make_unique<RequestState>();
    }

    static Ipv4Endpoint AgentEndpoint() {
        Ipv4Endpoint agent;
        agent.octets[0] = 127;
        agent.octets[3] = 1;
        agent.port = port_;
        return agent;
    }

    static std::uint16_t FreeLoopbackPort() {
        UdpSocket probe;
        Ipv4Endpoint local;
        local.octets[0] = 127;
        local.octets[3] = 1;
        if (!probe.Create() || !probe.BindTo(local)) return 0;
        return probe.LocalPort();
    }

    static bool Spawn(const std::string& conf) {
        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (entry.rfind("MIBS=", 0) == 0 || entry.rfind("MIBDIRS=", 0) == 0 ||
                entry.rfind("SNMP_PERSISTENT_DIR=", 0) == 0 || entry.rfind("SNMPCONFPATH=", 0) == 0)
                continue;
            environment.push_back(entry);
        }
        // No MIB files are loaded and nothing is written under /var/lib/snmp.
        environment.push_back("MIBS=");
        environment.push_back("SNMP_PERSISTENT_DIR=" + dir_ + "/persist");
        std::vector<char*> envp;
        for (std::string& entry : environment) envp.push_back(entry.data());
        envp.push_back(nullptr);

        std::string program = kSnmpd;
        std::string args[] = {"-f", "-Lo", "-C", "-c", conf};
        std::vector<char*> argv = {program.data()};
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string log = dir_ + "/snmpd.log";
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const int rc = ::posix_spawn(&pid_, kSnmpd, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            startError_ = std::string("posix_spawn failed: ") + std::strerror(rc);
            return false;
        }
        return true;
    }

    // Asks for sysDescr.0 from a socket of its own every 100 ms, at most
    // 50 times; answers to the probes that arrive later go to a closed port.
    static bool WaitUntilAnswering() {
        UdpSocket probe;
        Ipv4Endpoint local;
        local.octets[0] = 127;
        local.octets[3] = 1;
        if (!probe.Create() || !probe.BindTo(local)) return false;
        probe.SetDestination(AgentEndpoint());
        const std::uint8_t request[] = {0x30, 0x27, 0x02, 0x01, 0x00, 0x04, 0x06, 'r',  'a',  'v',  'i',  'n',
                                        'e',  0xA0, 0x1A, 0x02, 0x02, 0x00, 0x01, 0x02, 0x01, 0x00, 0x02, 0x01,
                                        0x00, 0x30, 0x0E, 0x30, 0x0C, 0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01,
                                        0x01, 0x01, 0x00, 0x05, 0x00};
        std::uint8_t answer[2048];
        for (int attempt = 0; attempt < 50; ++attempt) {
            int status;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            probe.Send(request, sizeof request);
            if (probe.ReceiveWithin(answer, sizeof answer, 100) > 0) return true;
        }
        return false;
    }

    static std::string AgentLog() {
        std::ifstream in(dir_ + "/snmpd.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Runs one operation as the window would and returns the agent's answer.
    ::testing::AssertionResult Exchange(RequestKind kind, const RequestFields& fields, Response& response) {
        const PrepareResult prepared = PrepareRequest(kind, fields, *state_);
        if (!prepared.ready)
            return ::testing::AssertionFailure() << "not sent: '" << prepared.message << "' " << prepared.conversionErrorText;
        const auto size = static_cast<std::size_t>(state_->sendSize);
        if (socket_.Send(state_->sendBuffer.data(), size) != static_cast<int>(size))
            return ::testing::AssertionFailure() << "send failed";
        std::uint8_t answer[65536];
        const int received = socket_.ReceiveWithin(answer, sizeof answer, kAnswerTimeoutMs);
        if (received <= 0)
            return ::testing::AssertionFailure() << "no answer (" << received << "); agent log:\n" << AgentLog();
        if (!ParseResponse(answer, static_cast<std::size_t>(received), response))
            return ::testing::AssertionFailure() << "answer is not a well-formed message";
        if (response.pduTag != 0xA2) return ::testing::AssertionFailure() << "PDU tag " << int(response.pduTag);
        // The id always goes out in two bytes; from 32768 on the agent reads
        // it as a negative number and echoes that back.
        if (static_cast<std::uint16_t>(response.requestId) != static_cast<std::uint16_t>(state_->requestId))
            return ::testing::AssertionFailure()
                   << "request id " << response.requestId << " for " << state_->requestId;
        return ::testing::AssertionSuccess();
    }

    static RequestFields Fields(int version, const char* community = "ravine") {
        RequestFields fields;
        fields.community = community;
        fields.ipAddress = "127.0.0.1";
        fields.nonRepeatersCount = fields.maxRepetitions = fields.repeaterCount = "0";
        fields.maxOid1 = fields.maxOid2 = fields.maxOid3 = "1.3.6.1.4.1";
        fields.version = version;
        return fields;
    }

    static inline pid_t pid_ = -1;
    static inline std::uint16_t port_ = 0;
    static inline std::string dir_;
    static inline std::string startError_;

    UdpSocket socket_;
    std::unique_ptr<RequestState> state_;
};

TEST_F(SnmpdInterop, GetRequestIsAnsweredInBothVersions) {
    for (int version : {0, 1}) {
        RequestFields fields = Fields(version);
        fields.oid1 = "1.3.6.1.2.1.1.1.0";
        Response r;
        ASSERT_TRUE(Exchange(RequestKind::Get, fields, r)) << "version " << version;
        EXPECT_EQ(r.version, version);
        EXPECT_EQ(r.community, "ravine");
        EXPECT_EQ(r.errorStatus, 0);
        ASSERT_EQ(r.bindings.size(), 1u);
        EXPECT_EQ(r.bindings[0].oid, kSysDescr0);
        EXPECT_EQ(r.bindings[0].valueTag, 0x04);
        EXPECT_FALSE(r.bindings[0].value.empty());
    }
}

TEST_F(SnmpdInterop, RequestIdsWithTheTopBitSetAndAfterTheWrapAreEchoed) {
    RequestFields fields = Fields(1);
    fields.oid1 = "1.3.6.1.2.1.1.3.0";
    for (std::int32_t last : {32767, 65534, 65535}) {
        state_->requestId = last;
        Response r;
        ASSERT_TRUE(Exchange(RequestKind::Get, fields, r)) << "after " << last;
        EXPECT_EQ(r.errorStatus, 0);
    }
    EXPECT_EQ(state_->requestId, 1);
}

TEST_F(SnmpdInterop, GetNextWalksToTheFollowingObjectsInBothVersions) {
    for (int version : {0, 1}) {
        RequestFields fields = Fields(version);
        fields.oid1 = "1.3.6.1.2.1.1";
        fields.oid3 = "1.3.6.1.2.1.1.3";  // OID2 empty: two varbinds
        Response r;
        ASSERT_TRUE(Exchange(RequestKind::GetNext, fields, r)) << "version " << version;
        EXPECT_EQ(r.errorStatus, 0);
        ASSERT_EQ(r.bindings.size(), 2u);
        EXPECT_EQ(r.bindings[0].oid, kSysDescr0);
        EXPECT_EQ(r.bindings[1].oid, kSysUpTime0);
        EXPECT_EQ(r.bindings[1].valueTag, 0x43);  // TimeTicks
        EXPECT_EQ(state_->walkPending, 1);
    }
}

TEST_F(SnmpdInterop, SetOfSysLocationIsReadBackInBothVersions) {
    const struct {
        int version;
        const char* value;  // UTF-8 as typed; goes out in code page 932
        std::string stored;
    } cases[] = {
        {0, "rack 7\nrow 2", "rack 7\r\nrow 2"},
        {1, "棚7", "\x92\x49" "7"},
    };
    for (const auto& c : cases) {
        RequestFields set = Fields(c.version, "ravine-rw");
        set.oid1 = "1.3.6.1.2.1.1.6.0";
        set.dataType = 3;
        set.value = c.value;
        Response r;
        ASSERT_TRUE(Exchange(RequestKind::Set, set, r)) << c.value;
        EXPECT_EQ(r.errorStatus, 0) << c.value;
        ASSERT_EQ(r.bindings.size(), 1u);
        EXPECT_EQ(r.bindings[0].value, c.stored);

        RequestFields get = Fields(c.version);
        get.oid1 = "1.3.6.1.2.1.1.6.0";
        Response readBack;
        ASSERT_TRUE(Exchange(RequestKind::Get, get, readBack)) << c.value;
        EXPECT_EQ(readBack.errorStatus, 0);
        ASSERT_EQ(readBack.bindings.size(), 1u);
        EXPECT_EQ(readBack.bindings[0].oid, kSysLocation0);
        EXPECT_EQ(readBack.bindings[0].valueTag, 0x04);
        EXPECT_EQ(readBack.bindings[0].value, c.stored);
    }
}

TEST_F(SnmpdInterop, SetOfHexValueAndSetWithTheReadOnlyCommunity) {
    RequestFields set = Fields(1, "ravine-rw");
    set.oid1 = "1.3.6.1.2.1.1.4.0";  // sysContact.0
    set.dataType = 2;
    set.value = "4E4f43";
    Response r;
    ASSERT_TRUE(Exchange(RequestKind::Set, set, r));
    EXPECT_EQ(r.errorStatus, 0);
    ASSERT_EQ(r.bindings.size(), 1u);
    EXPECT_EQ(r.bindings[0].oid, kSysContact0);
    EXPECT_EQ(r.bindings[0].value, "NOC");

    set = Fields(0, "ravine");
    set.oid1 = "1.3.6.1.2.1.1.6.0";
    set.dataType = 3;
    set.value = "x";
    ASSERT_TRUE(Exchange(RequestKind::Set, set, r));
    EXPECT_EQ(r.errorStatus, 2);  // noSuchName: the community may only read
    EXPECT_EQ(r.errorIndex, 1);
}

TEST_F(SnmpdInterop, GetBulkReturnsNonRepeatersThenRepetitions) {
    RequestFields fields = Fields(1);
    fields.oid1 = "1.3.6.1.2.1.1.3";
    fields.nonRepeatersCount = "1";
    fields.maxRepetitions = "3";
    fields.repeaterCount = "1";
    fields.maxOid1 = "1.3.6.1.2.1.1";
    Response r;
    ASSERT_TRUE(Exchange(RequestKind::GetBulk, fields, r));
    EXPECT_EQ(r.errorStatus, 0);
    ASSERT_EQ(r.bindings.size(), 4u);
    EXPECT_EQ(r.bindings[0].oid, kSysUpTime0);
    EXPECT_EQ(r.bindings[1].oid, kSysDescr0);
}

TEST_F(SnmpdInterop, GetBulkWithWideMaxRepetitionsAndWithNothingToAsk) {
    // 300 would be 44 in its low eight bits: the agent must get more than 44
    // (it answers with at most 100 bindings of its own accord).
    RequestFields fields = Fields(1);
    fields.oid1 = "1.3.6.1.2.1.1";
    fields.maxRepetitions = "300";
    fields.repeaterCount = "1";
    fields.maxOid1 = "1.3.6.1.2.1.1";
    Response r;
    ASSERT_TRUE(Exchange(RequestKind::GetBulk, fields, r));
    EXPECT_EQ(r.errorStatus, 0);
    EXPECT_GT(r.bindings.size(), 44u);

    fields.repeaterCount = "0";
    fields.maxRepetitions = "0";
    ASSERT_TRUE(Exchange(RequestKind::GetBulk, fields, r));
    EXPECT_EQ(r.errorStatus, 0);
    EXPECT_TRUE(r.bindings.empty()) << r.bindings.size();
}

}  // namespace
}  // namespace quillet
