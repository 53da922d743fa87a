// SNMPv3 messages with USM: net-snmp's datagrams (UsmCaptures.h) opened with
// our user table, made again from net-snmp's values and compared octet for
// octet, refused for the reasons RFC 3414 names, and scanned when broken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snmpv3/Auth.h"
#include "snmpv3/LocalEngine.h"
#include "snmpv3/MessageEncode.h"
#include "snmpv3/MessageOpen.h"
#include "snmpv3/MessageScan.h"
#include "snmpv3/UsmReports.h"
#include "tests/core/HexBytes.h"
#include "tests/core/UsmCaptures.h"

namespace quillet {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace captures;

const Bytes kAgentEngine = Hex("80 00 1F 88 80 C0 FF EE 01 23 45 67 89");
const Bytes kTrapdEngine = Hex("80 00 1F 88 80 51 55 49 4C 4C 45 54");

struct Peer {
    const char* name;
    AuthProtocol auth;
    PrivProtocol priv;
    KeyExtension extension = KeyExtension::Blumenthal;
};

// The users of UsmCaptures.h made from pass phrases, all with "authpass123"
// and "privpass123".
constexpr Peer kPeers[] = {
    {"quser", AuthProtocol::Sha256, PrivProtocol::Aes128}, {"muser", AuthProtocol::Md5, PrivProtocol::Des},
    {"s5user", AuthProtocol::Sha512, PrivProtocol::Aes256}, {"a192user", AuthProtocol::Sha1, PrivProtocol::Aes192},
    {"s224user", AuthProtocol::Sha224, PrivProtocol::None}, {"s384user", AuthProtocol::Sha384, PrivProtocol::Aes128},
    {"iuser", AuthProtocol::Sha256, PrivProtocol::Aes128},  {"imd5", AuthProtocol::Md5, PrivProtocol::Des},
    {"nauser", AuthProtocol::None, PrivProtocol::None},
    {"r256user", AuthProtocol::Sha1, PrivProtocol::Aes256, KeyExtension::Reeder},
    {"r192user", AuthProtocol::Md5, PrivProtocol::Aes192, KeyExtension::Reeder},
    {"r224user", AuthProtocol::Sha224, PrivProtocol::Aes256, KeyExtension::Reeder},
};

UsmUserProfile ProfileOf(const Peer& peer) {
    UsmUserProfile profile;
    profile.name = peer.name;
    profile.level = peer.priv != PrivProtocol::None   ? SecurityLevel::AuthPriv
                    : peer.auth != AuthProtocol::None ? SecurityLevel::AuthNoPriv
                                                      : SecurityLevel::NoAuthNoPriv;
    profile.auth = peer.auth;
    profile.priv = peer.priv;
    profile.extension = peer.extension;
    return profile;
}

UsmUser Make(const Peer& peer, const char* authPass = "authpass123", const char* privPass = "privpass123") {
    UsmUser user;
    std::string error;
    EXPECT_TRUE(MakeUser(ProfileOf(peer), authPass, privPass, user, error)) << error;
    return user;
}

// The users of UsmCaptures.h whose keys were typed in hex, as snmpget's
// -3k/-3K (localised to snmpd's engine) and -3m/-3M took them.
UsmUser MakeKeyUser(const Peer& peer, KeyKind kind, const char* authKey, const char* privKey) {
    UsmUserProfile profile = ProfileOf(peer);
    profile.authKind = profile.privKind = kind;
    if (kind == KeyKind::LocalizedKey) profile.keysEngineId = Hex("80 00 1F 88 80 C0 FF EE 01 23 45 67 89");
    UsmUser user;
    std::string error;
    EXPECT_TRUE(MakeUser(profile, authKey, privKey, user, error)) << error;
    return user;
}

const UsmUserTable& Peers() {
    static const UsmUserTable table = [] {
        UsmUserTable t;
        for (const Peer& peer : kPeers) t.Add(Make(peer));
        t.Add(MakeKeyUser({"kuser", AuthProtocol::Sha256, PrivProtocol::Aes128}, KeyKind::LocalizedKey,
                          "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff",
                          "ffeeddccbbaa99887766554433221100"));
        t.Add(MakeKeyUser({"mkuser", AuthProtocol::Sha1, PrivProtocol::Aes256, KeyExtension::Reeder},
                          KeyKind::MasterKey, "0x0102030405060708090a0b0c0d0e0f1011121314",
                          "0x1112131415161718191a1b1c1d1e1f2021222324"));
        return t;
    }();
    return table;
}

std::string HexOf(const Bytes& bytes) { return quillet::HexOf(bytes.data(), bytes.size()); }
std::string HexOf(const std::uint8_t* base, std::size_t at, std::size_t length) {
    return quillet::HexOf(base + at, length);
}
ByteSpan Content(const Bytes& datagram, const BerElement& element) {
    return {datagram.data() + element.start, element.length};
}

// The scoped PDU of snmpd's answer to the Get of sysName.0, as its dump
// shows the fields: request-id `requestId`, "v3-agent".
std::string SysNameScopedPdu(const char* requestId) {
    return std::string("30 37 04 0D 80 00 1F 88 80 C0 FF EE 01 23 45 67 89 04 00 A2 24 02 04 ") + requestId +
           " 02 01 00 02 01 00 30 16 30 14 06 08 2B 06 01 02 01 01 05 00 04 08 76 33 2D 61 67 65 6E 74";
}

struct OpenCase {
    const char* fault;
    const char* datagram;
    const EngineClock* authoritative;
    std::size_t digestLength;  // the length of the digest net-snmp sent
    std::uint8_t pduTag;
    std::string scopedPdu;  // empty: only the tag is checked
};

TEST(UsmOpen, NetSnmpMessagesOpenToTheirScopedPdu) {
    const EngineClock trapd{kTrapdEngine, 1, 2};
    const OpenCase cases[] = {
        {"SHA-256 and AES-128 answer", kQuserResponse, nullptr, 24, 0xA2, SysNameScopedPdu("37 A7 49 0B")},
        {"MD5 and DES answer (pad of 7)", kMuserResponse, nullptr, 12, 0xA2, SysNameScopedPdu("5F 84 5B 53")},
        {"SHA-512 and AES-256 answer", kS5userResponse, nullptr, 48, 0xA2, SysNameScopedPdu("53 ED BB 7C")},
        {"SHA-1 and extended AES-192 answer", kA192userResponse, nullptr, 12, 0xA2, SysNameScopedPdu("26 17 75 27")},
        {"SHA-384 answer", kS384userResponse, nullptr, 32, 0xA2, SysNameScopedPdu("36 D9 8E 44")},
        {"SHA-224 authNoPriv answer", kS224userResponse, nullptr, 16, 0xA2, SysNameScopedPdu("28 C3 3D 7A")},
        {"SHA-256 and AES trap", kTrapQuser, nullptr, 24, 0xA7, ""},
        {"MD5 and DES trap", kTrapMuser, nullptr, 12, 0xA7, ""},
        {"SHA-224 authNoPriv trap", kTrapS224, nullptr, 16, 0xA7, ""},
        {"noAuthNoPriv trap", kTrapNoAuth, nullptr, 0, 0xA7, ""},
        {"inform to us, SHA-256 and AES", kInformIuserInform, &trapd, 24, 0xA6, ""},
        {"inform to us, MD5 and DES", kInformImd5Inform, &trapd, 12, 0xA6, ""},
        {"SHA-1 and AES-256-C (Reeder) answer", kR256userResponse, nullptr, 12, 0xA2, SysNameScopedPdu("46 EB 88 6F")},
        {"MD5 and AES-192-C (Reeder) answer", kR192userResponse, nullptr, 12, 0xA2, SysNameScopedPdu("5E 7C 8F EF")},
        {"SHA-224 and AES-256-C (Reeder) answer", kR224userResponse, nullptr, 16, 0xA2,
         SysNameScopedPdu("5A AB F6 00")},
        {"answer to keys localised in hex (-3k, -3K)", kKuserResponse, nullptr, 24, 0xA2,
         SysNameScopedPdu("36 7D B2 EF")},
        {"answer to master keys in hex (-3m, -3M) with AES-256-C", kMkuserResponse, nullptr, 12, 0xA2,
         SysNameScopedPdu("2F 08 52 1B")},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const Bytes datagram = Hex(c.datagram);
        V3MessageScan scan;
        ScanV3Message(datagram.data(), datagram.size(), scan);
        ASSERT_EQ(scan.status, V3ScanStatus::Ok);
        EXPECT_EQ(scan.authParams.length, c.digestLength);
        Bytes plain(datagram.size());
        OpenedV3Message opened;
        EXPECT_EQ(OpenV3Message(datagram.data(), datagram.size(), scan, Peers(), c.authoritative, plain.data(),
                                plain.size(), opened),
                  UsmStatus::Ok);
        ASSERT_NE(opened.scopedBase, nullptr);
        EXPECT_EQ(opened.authenticated, c.digestLength != 0);
        EXPECT_EQ(opened.scoped.pduTag, c.pduTag);
        if (c.scopedPdu.empty()) continue;
        EXPECT_EQ(HexOf(opened.scopedBase, opened.scoped.at, opened.scoped.length), HexOf(Hex(c.scopedPdu)));
    }
}

// Changes one octet of a datagram: `at` counts from its end when negative.
Bytes Flipped(const char* hex, int at) {
    Bytes bytes = Hex(hex);
    bytes[at < 0 ? bytes.size() + at : static_cast<std::size_t>(at)] ^= 0x01;
    return bytes;
}

Bytes WithoutLastOctet(const char* hex) {
    Bytes bytes = Hex(hex);
    bytes.pop_back();
    return bytes;
}

struct RefusalCase {
    const char* fault;
    Bytes datagram;
    const UsmUserTable* users;
    EngineClock clock;  // authoritative when its engine ID is not empty
    UsmStatus status;
};

TEST(UsmOpen, EachRefusalHasItsReason) {
    UsmUserTable wrongAuth, wrongPriv, noQuser, otherEngine, blumenthal;
    blumenthal.Add(Make({"r256user", AuthProtocol::Sha1, PrivProtocol::Aes256, KeyExtension::Blumenthal}));
    wrongAuth.Add(Make(kPeers[0], "authpass124"));
    wrongPriv.Add(Make(kPeers[0], "authpass123", "privpass124"));
    noQuser.Add(Make(kPeers[1]));
    UsmUser localised;
    std::string error;
    const Bytes key(32, 0x11);
    ASSERT_TRUE(MakeUserFromLocalizedKeys("quser", AuthProtocol::Sha256, key, PrivProtocol::Aes128, key, kTrapdEngine,
                                          localised, error));
    otherEngine.Add(localised);
    const EngineClock none{};
    const EngineClock agent{kAgentEngine, 1, 29};
    const Bytes otherId = Hex("80 00 1F 88 80 51 55 49 4C 4C 45 55");
    const RefusalCase cases[] = {
        {"unknown user opened", Hex(kQuserResponse), &noQuser, none, UsmStatus::UnknownUserName},
        {"keys localised to another engine used", Hex(kQuserResponse), &otherEngine, none, UsmStatus::UnknownUserName},
        {"wrong authentication key accepted", Hex(kQuserResponse), &wrongAuth, none, UsmStatus::WrongDigest},
        {"wrong privacy key accepted", Hex(kQuserResponse), &wrongPriv, none, UsmStatus::DecryptionError},
        {"AES-256-C answer opened with AES-256's extension", Hex(kR256userResponse), &blumenthal, none,
         UsmStatus::DecryptionError},
        {"sender's wrong privacy key accepted", Hex(kBadPrivRequest), &Peers(), agent, UsmStatus::DecryptionError},
        {"sender's wrong authentication key accepted", Hex(kBadAuthRequest), &Peers(), agent, UsmStatus::WrongDigest},
        {"authPriv for an authNoPriv user", Hex(kBadLevelRequest), &Peers(), agent, UsmStatus::UnsupportedSecLevel},
        {"user nobody configured", Hex(kNoUserRequest), &Peers(), agent, UsmStatus::UnknownUserName},
        {"a changed digest octet", Flipped(kQuserResponse, 60), &Peers(), none, UsmStatus::WrongDigest},
        {"a changed ciphertext octet", Flipped(kQuserResponse, -1), &Peers(), none, UsmStatus::WrongDigest},
        {"a changed header octet", Flipped(kMuserResponse, 10), &Peers(), none, UsmStatus::WrongDigest},
        {"discovery answered as known", Hex(kQuserDiscovery), &Peers(), agent, UsmStatus::UnknownEngineId},
        {"no engine ID where the sender is authoritative", Hex(kQuserDiscovery), &Peers(), none,
         UsmStatus::UnknownEngineId},
        {"an inform for another engine", Hex(kInformIuserInform), &Peers(), {otherId, 1, 2},
         UsmStatus::UnknownEngineId},
        {"151 s ahead in time", Hex(kInformIuserInform), &Peers(), {kTrapdEngine, 1, 153}, UsmStatus::NotInTimeWindow},
        {"150 s ahead refused", Hex(kInformIuserInform), &Peers(), {kTrapdEngine, 1, 152}, UsmStatus::Ok},
        {"other boots in time", Hex(kInformImd5Inform), &Peers(), {kTrapdEngine, 2, 2}, UsmStatus::NotInTimeWindow},
        {"boots at their end in time", Hex(kInformImd5Inform), &Peers(), {kTrapdEngine, kMaxEngineCounter, 2},
         UsmStatus::NotInTimeWindow},
        {"a truncated message opened", WithoutLastOctet(kTrapQuser), &Peers(), none,
         UsmStatus::ParseError},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.fault);
        V3MessageScan scan;
        ScanV3Message(c.datagram.data(), c.datagram.size(), scan);
        Bytes plain(c.datagram.size());
        OpenedV3Message opened;
        const EngineClock* authoritative = c.clock.engineId.empty() ? nullptr : &c.clock;
        EXPECT_EQ(OpenV3Message(c.datagram.data(), c.datagram.size(), scan, *c.users, authoritative, plain.data(),
                                plain.size(), opened),
                  c.status);
        if (c.status != UsmStatus::Ok) {
            EXPECT_EQ(opened.scopedBase, nullptr);
        }
        // A time-window refusal comes after the digest matched; no other does.
        EXPECT_EQ(opened.authenticated, c.status == UsmStatus::Ok || c.status == UsmStatus::NotInTimeWindow ||
                                            c.status == UsmStatus::DecryptionError);
    }
}

TEST(UsmAuth, DigestFieldsOfTheWrongPlaceOrLengthNeverVerify) {
    const Bytes datagram = Hex(kQuserResponse);
    V3MessageScan scan;
    ScanV3Message(datagram.data(), datagram.size(), scan);
    UsmLocalKeys keys;
    ASSERT_TRUE(LocalKeysFor(Make(kPeers[0]), kAgentEngine, keys));
    const std::size_t at = scan.authParams.start;
    const std::pair<std::size_t, std::size_t> fields[] = {
        {at, 23}, {at, 25}, {at, 12}, {at + 1, 24}, {datagram.size() - 23, 24}, {datagram.size() + 1, 24},
        {SIZE_MAX - 3, 24},
    };
    EXPECT_TRUE(VerifyDigest(keys.auth, keys.authKey, datagram, at, 24));
    EXPECT_FALSE(VerifyDigest(AuthProtocol::Sha224, keys.authKey, datagram, at, 24));
    for (const auto& [where, length] : fields) {
        SCOPED_TRACE(testing::Message() << where << "+" << length);
        EXPECT_FALSE(VerifyDigest(keys.auth, keys.authKey, datagram, where, length));
    }
}

struct EncodeCase {
    const char* fault;
    const char* request;
    const char* user;
    const char* requestId;
};

// snmpget's requests, made again from the values they carry: the request
// PDU its dump shows (Get of sysName.0), msgID, boots, time, salt.
TEST(UsmEncode, RequestsMadeFromNetSnmpsValuesAreItsOctets) {
    const EncodeCase cases[] = {
        {"SHA-256 and AES-128", kQuserRequest, "quser", "37 A7 49 0B"},
        {"MD5 and DES, padded as net-snmp pads", kMuserRequest, "muser", "5F 84 5B 53"},
        {"SHA-512 and AES-256", kS5userRequest, "s5user", "53 ED BB 7C"},
        {"SHA-1 and AES-192 with the extended key", kA192userRequest, "a192user", "26 17 75 27"},
        {"SHA-1 and AES-256-C with the Reeder key", kR256userRequest, "r256user", "46 EB 88 6F"},
        {"MD5 and AES-192-C with the Reeder key", kR192userRequest, "r192user", "5E 7C 8F EF"},
        {"SHA-224 and AES-256-C with the Reeder key", kR224userRequest, "r224user", "5A AB F6 00"},
        {"keys localised in hex", kKuserRequest, "kuser", "36 7D B2 EF"},
        {"master keys in hex", kMkuserRequest, "mkuser", "2F 08 52 1B"},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const Bytes captured = Hex(c.request);
        V3MessageScan scan;
        ScanV3Message(captured.data(), captured.size(), scan);
        ASSERT_EQ(scan.status, V3ScanStatus::Ok);
        UsmLocalKeys keys;
        ASSERT_NE(Peers().Named(c.user), nullptr);
        ASSERT_TRUE(LocalKeysFor(*Peers().Named(c.user), kAgentEngine, keys));
        const Bytes pdu = Hex(std::string("A0 1C 02 04 ") + c.requestId +
                              " 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 01 02 01 01 05 00 05 00");
        V3MessageInput input;
        input.msgId = scan.msgId;
        input.level = SecurityLevel::AuthPriv;
        input.engineId = kAgentEngine;
        input.engineBoots = scan.engineBoots;
        input.engineTime = scan.engineTime;
        input.userName = Content(captured, scan.userName);
        input.keys = &keys;
        std::copy_n(captured.begin() + static_cast<std::ptrdiff_t>(scan.privParams.start), kSaltLength,
                    input.salt.begin());
        input.contextEngineId = kAgentEngine;
        input.pdu = pdu;
        Bytes out(captured.size());
        EXPECT_EQ(HexOf(out.data(), 0, EncodeV3Message(input, out.data(), out.size())), HexOf(captured));
        EXPECT_EQ(EncodeV3Message(input, out.data(), out.size() - 1), 0u);
    }
}

// Messages net-snmp made at every level, made again from the values they
// carry (the scoped PDU as it decrypts, the salt as it was sent): answers
// from snmpd, which clear the reportable flag, and snmptrap's traps, which
// name the sender's own engine. The digest and the ciphertext must come out
// as net-snmp's too.
TEST(UsmEncode, MessagesOfEveryLevelMadeFromNetSnmpsValuesAreItsOctets) {
    const std::pair<const char*, const char*> cases[] = {
        {"snmpd's authNoPriv answer", kS224userResponse},
        {"snmpd's SHA-256 and AES-128 answer", kQuserResponse},
        {"snmpd's MD5 and DES answer, padded as snmpd pads", kMuserResponse},
        {"snmptrap's noAuthNoPriv trap", kTrapNoAuth},
        {"snmptrap's authNoPriv trap", kTrapS224},
        {"snmptrap's SHA-256 and AES-128 trap", kTrapQuser},
    };
    for (const auto& [fault, datagram] : cases) {
        SCOPED_TRACE(fault);
        const Bytes captured = Hex(datagram);
        V3MessageScan scan;
        ScanV3Message(captured.data(), captured.size(), scan);
        Bytes plain(captured.size());
        OpenedV3Message opened;
        ASSERT_EQ(OpenV3Message(captured.data(), captured.size(), scan, Peers(), nullptr, plain.data(), plain.size(),
                                opened),
                  UsmStatus::Ok);
        const ByteSpan engineId = Content(captured, scan.engineId);
        UsmLocalKeys keys;
        if (opened.level != SecurityLevel::NoAuthNoPriv) {
            ASSERT_TRUE(LocalKeysFor(*opened.user, engineId, keys));
        }
        V3MessageInput input;
        input.msgId = scan.msgId;
        input.msgMaxSize = scan.msgMaxSize;
        input.level = opened.level;
        input.reportable = (scan.msgFlags & kFlagReportable) != 0;
        input.engineId = engineId;
        input.engineBoots = scan.engineBoots;
        input.engineTime = scan.engineTime;
        input.userName = Content(captured, scan.userName);
        input.keys = &keys;
        if (scan.privParams.length == kSaltLength)
            std::copy_n(captured.begin() + static_cast<std::ptrdiff_t>(scan.privParams.start), kSaltLength,
                        input.salt.begin());
        const std::uint8_t* base = opened.scopedBase;
        input.contextEngineId = ByteSpan(base + opened.scoped.contextEngineId.start, opened.scoped.contextEngineId.length);
        input.contextName = ByteSpan(base + opened.scoped.contextName.start, opened.scoped.contextName.length);
        input.pdu = ByteSpan(base + opened.scoped.pduAt, opened.scoped.pduLength);
        Bytes out(captured.size());
        EXPECT_EQ(HexOf(out.data(), 0, EncodeV3Message(input, out.data(), out.size())), HexOf(captured));
        EXPECT_EQ(EncodeV3Message(input, out.data(), out.size() - 1), 0u);
    }
}

struct AckCase {
    const char* fault;
    const char* inform;
    const char* ack;
};

TEST(UsmEncode, InformAcknowledgementsAreSnmptrapdsOctets) {
    const AckCase cases[] = {
        {"SHA-256 and AES-128 acknowledgement", kInformIuserInform, kInformIuserAck},
        {"MD5 and DES acknowledgement", kInformImd5Inform, kInformImd5Ack},
    };
    for (const AckCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const Bytes inform = Hex(c.inform);
        const Bytes expected = Hex(c.ack);
        V3MessageScan ackScan;
        ScanV3Message(expected.data(), expected.size(), ackScan);
        // Our engine stands where snmptrapd stood: its ID, boots 1, and the
        // time and salt its acknowledgement carries.
        const LocalEngine engine(kTrapdEngine, 1, 0);
        const std::int64_t now = ackScan.engineTime;
        V3MessageScan scan;
        ScanV3Message(inform.data(), inform.size(), scan);
        Bytes plain(inform.size());
        OpenedV3Message opened;
        const EngineClock clock = engine.Clock(now);
        ASSERT_EQ(OpenV3Message(inform.data(), inform.size(), scan, Peers(), &clock, plain.data(), plain.size(), opened),
                  UsmStatus::Ok);
        Salt salt{};
        std::copy_n(expected.begin() + static_cast<std::ptrdiff_t>(ackScan.privParams.start), kSaltLength, salt.begin());
        Bytes out(expected.size() + 64);
        const std::size_t length = BuildV3InformAck(engine, now, inform.data(), scan, opened, salt, out.data(), out.size());
        EXPECT_EQ(HexOf(out.data(), 0, length), HexOf(expected));
    }
}

struct ReportCase {
    const char* fault;
    const char* request;
    const char* report;
};

// snmpd's Reports, made again by our engine standing where snmpd stood (its
// engine ID, boots 1, the time and counter value each Report carries).
TEST(UsmReports, ReportsAreSnmpdsOctets) {
    const ReportCase cases[] = {
        {"discovery answered otherwise", kQuserDiscovery, kQuserReport},
        {"unknown user answered otherwise", kNoUserRequest, kNoUserReport},
        {"unsupported level answered otherwise", kBadLevelRequest, kBadLevelReport},
        {"wrong digest answered otherwise", kBadAuthRequest, kBadAuthReport},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const Bytes request = Hex(c.request);
        const Bytes expected = Hex(c.report);
        V3MessageScan reportScan;
        ScanV3Message(expected.data(), expected.size(), reportScan);
        ASSERT_EQ(reportScan.status, V3ScanStatus::Ok);
        // The counter value is the last octet of snmpd's Report.
        const std::uint32_t value = expected.back();
        LocalEngine engine(kAgentEngine, 1, 0);
        const EngineClock clock = engine.Clock(reportScan.engineTime);
        V3MessageScan scan;
        ScanV3Message(request.data(), request.size(), scan);
        Bytes plain(request.size());
        OpenedV3Message opened;
        OpenV3Message(request.data(), request.size(), scan, Peers(), &clock, plain.data(), plain.size(), opened);
        UsmStatsCounter counter;
        ASSERT_TRUE(CounterOfStatus(opened.status, counter));
        for (std::uint32_t i = 1; i < value; ++i) engine.Count(counter);
        Bytes out(expected.size() + 64);
        const std::size_t length =
            BuildUsmReport(engine, reportScan.engineTime, request.data(), scan, opened, out.data(), out.size());
        EXPECT_EQ(HexOf(out.data(), 0, length), HexOf(expected));
        EXPECT_EQ(engine.Counter(counter), value);
    }
}

// Request-ids and counter values that snmpd's Reports above do not reach,
// written from X.690: INTEGER and Counter32 in their fewest octets, a
// leading 00 where the top bit would be set, a negative request-id in two's
// complement.
TEST(UsmReports, ReportPduNumbersTakeTheirFewestOctets) {
    const struct { std::int32_t requestId; UsmStatsCounter counter; std::uint32_t value; const char* pdu; } cases[] = {
        {300, UsmStatsCounter::WrongDigests, 200,
         "A8 1E 02 02 01 2C 02 01 00 02 01 00 30 12 30 10 06 0A 2B 06 01 06 03 0F 01 01 05 00 41 02 00 C8"},
        {-1, UsmStatsCounter::UnsupportedSecLevels, 0x80000000u,
         "A8 20 02 01 FF 02 01 00 02 01 00 30 15 30 13 06 0A 2B 06 01 06 03 0F 01 01 01 00 41 05 00 80 00 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pdu);
        const Bytes expected = Hex(c.pdu);
        Bytes out(expected.size());
        EXPECT_EQ(HexOf(out.data(), 0, BuildReportPdu(c.requestId, c.counter, c.value, out.data(), out.size())),
                  HexOf(expected));
        EXPECT_EQ(BuildReportPdu(c.requestId, c.counter, c.value, out.data(), out.size() - 1), 0u);
    }
}

TEST(UsmReports, ReportsNameTheirCounter) {
    const std::pair<const char*, const char*> cases[] = {
        {kQuserReport, "usmStatsUnknownEngineIDs = 3"},
        {kNoUserReport, "usmStatsUnknownUserNames = 1"},
        {kBadLevelReport, "usmStatsUnsupportedSecLevels = 1"},
        {kBadAuthReport, "usmStatsWrongDigests = 1"},
    };
    for (const auto& [datagram, text] : cases) {
        SCOPED_TRACE(text);
        const Bytes bytes = Hex(datagram);
        V3MessageScan scan;
        ScanV3Message(bytes.data(), bytes.size(), scan);
        EXPECT_EQ(ReportText(bytes.data() + scan.scoped.pduAt, scan.scoped.pduLength), text);
    }
    const std::pair<const char*, const char*> pdus[] = {
        {"A8 1C 02 01 00 02 01 00 02 01 00 30 11 30 0F 06 0A 2B 06 01 06 03 0F 01 01 06 00 41 01 07",
         "usmStatsDecryptionErrors = 7"},
        {"A8 1C 02 01 00 02 01 00 02 01 00 30 11 30 0F 06 0A 2B 06 01 06 03 0F 01 01 02 00 41 01 FF",
         "usmStatsNotInTimeWindows = 255"},
        {"A8 1B 02 01 00 02 01 00 02 01 00 30 10 30 0E 06 09 2B 06 01 06 03 0C 01 05 00 41 01 02",
         "snmpUnknownContexts = 2"},
        {"A8 1C 02 01 00 02 01 00 02 01 00 30 11 30 0F 06 0A 2B 06 01 06 03 0F 01 01 07 00 41 01 01",
         "1.3.6.1.6.3.15.1.1.7.0 = 1"},
        {"A2 1C 02 01 00 02 01 00 02 01 00 30 11 30 0F 06 0A 2B 06 01 06 03 0F 01 01 06 00 41 01 07", ""},
        {"A8 1C 02 01 00 02 01 00 02 01 00 30 11 30 0F 06 0A 2B 06 01 06 03 0F 01 01 06 00 41 02 07", ""},
        {"A8 0B 02 01 00 02 01 00 02 01 00 30 00", ""},
    };
    for (const auto& [pdu, text] : pdus) {
        SCOPED_TRACE(pdu);
        const Bytes bytes = Hex(pdu);
        EXPECT_EQ(ReportText(bytes.data(), bytes.size()), text);
    }
}

}  // namespace
}  // namespace quillet
