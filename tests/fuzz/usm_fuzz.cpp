// Scans and opens arbitrary datagrams as SNMPv3 messages, both as a trap or
// answer (the sender authoritative) and as an inform to our own engine, with
// the users of the seed corpus (tests/fuzz/corpus/usm: datagrams captured
// from net-snmp's snmpget, snmpd, snmptrap, snmpinform and snmptrapd; users
// as in tests/core/UsmCaptures.h). What must hold for every input:
// - authentication is never bypassed: a result marked authenticated carries
//   a digest that really matches, recomputed here apart from the code under
//   test (libcrypto's one-shot HMAC over a copy with the field zeroed, the
//   key localised here too);
// - a refused message gives no PDU, and an opened one's PDU lies inside the
//   buffer it names, where the reports of an answer and of a notification
//   read it (ReceivedV3, ReportV3Response, ReportV3Notification) without
//   leaving it;
// - an inform acknowledgement we build opens again, with our own engine;
// - the Reports and the Report text stay inside their buffers;
// - the exchange itself (V3Requests, V3Notifications) takes every input: on
//   the response port as the answer to a request of the input's own user,
//   sent with the input's msgID to the input's engine (so that every check
//   of the match is reached), and on the trap port as our engine; an input
//   taken as the answer opened at that user's level with a digest that
//   really matches, and an answer the trap port sends opens again.
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exchange/V3Notifications.h"
#include "exchange/V3Requests.h"
#include "output/OutputBatch.h"
#include "response/ResponseReport.h"
#include "snmpv3/InboundMessage.h"
#include "snmpv3/Keys.h"
#include "snmpv3/LocalEngine.h"
#include "snmpv3/MessageEncode.h"
#include "snmpv3/MessageOpen.h"
#include "snmpv3/MessageScan.h"
#include "snmpv3/UsmReports.h"
#include "snmpv3/V3Lines.h"
#include "trap/TrapReport.h"

namespace {

using namespace quillet;

struct Peer {
    const char* name;
    AuthProtocol auth;
    PrivProtocol priv;
};

constexpr Peer kPeers[] = {
    {"quser", AuthProtocol::Sha256, PrivProtocol::Aes128}, {"muser", AuthProtocol::Md5, PrivProtocol::Des},
    {"s5user", AuthProtocol::Sha512, PrivProtocol::Aes256}, {"a192user", AuthProtocol::Sha1, PrivProtocol::Aes192},
    {"s224user", AuthProtocol::Sha224, PrivProtocol::None}, {"s384user", AuthProtocol::Sha384, PrivProtocol::Aes128},
    {"iuser", AuthProtocol::Sha256, PrivProtocol::Aes128},  {"imd5", AuthProtocol::Md5, PrivProtocol::Des},
    {"nauser", AuthProtocol::None, PrivProtocol::None},
};

const UsmUserTable& Users() {
    static const UsmUserTable table = [] {
        UsmUserTable t;
        for (const Peer& peer : kPeers) {
            UsmUser user;
            std::string error;
            if (!MakeUserFromPassPhrases(peer.name, peer.auth, "authpass123", peer.priv, "privpass123", user, error))
                std::abort();
            t.Add(user);
        }
        return t;
    }();
    return table;
}

const std::uint8_t kOurEngine[] = {0x80, 0x00, 0x1F, 0x88, 0x80, 0x51, 0x55, 0x49, 0x4C, 0x4C, 0x45, 0x54};
constexpr std::int64_t kNow = 2;  // with boots 1: snmptrapd's clock when it answered the seeds' informs

const char* DigestName(AuthProtocol protocol) {
    switch (protocol) {
    case AuthProtocol::Md5: return "MD5";
    case AuthProtocol::Sha1: return "SHA1";
    case AuthProtocol::Sha224: return "SHA224";
    case AuthProtocol::Sha256: return "SHA256";
    case AuthProtocol::Sha384: return "SHA384";
    case AuthProtocol::Sha512: return "SHA512";
    case AuthProtocol::None: break;
    }
    std::abort();
}

// The digest check, apart from snmpv3/: Kul = H(Ku || engineID || Ku), then
// HMAC over the datagram with the field zeroed, cut to the field's length.
void CheckDigestReallyMatches(const std::uint8_t* data, std::size_t size, const V3MessageScan& scan,
                              const UsmUser& user) {
    const std::size_t want = DigestLength(user.auth);
    if (want == 0 || scan.authParams.length != want || scan.authParams.End() > size) std::abort();
    std::vector<std::uint8_t> localise(user.authKey.octets.data(), user.authKey.octets.data() + user.authKey.length);
    localise.insert(localise.end(), data + scan.engineId.start, data + scan.engineId.End());
    localise.insert(localise.end(), user.authKey.octets.data(), user.authKey.octets.data() + user.authKey.length);
    unsigned char kul[EVP_MAX_MD_SIZE];
    unsigned int kulLength = 0;
    if (EVP_Digest(localise.data(), localise.size(), kul, &kulLength, EVP_get_digestbyname(DigestName(user.auth)),
                   nullptr) != 1)
        std::abort();
    std::vector<std::uint8_t> zeroed(data, data + size);
    std::memset(zeroed.data() + scan.authParams.start, 0, want);
    unsigned char mac[EVP_MAX_MD_SIZE];
    std::size_t macLength = 0;
    if (EVP_Q_mac(nullptr, "HMAC", nullptr, DigestName(user.auth), nullptr, kul, kulLength, zeroed.data(),
                  zeroed.size(), mac, sizeof mac, &macLength) == nullptr ||
        macLength < want || std::memcmp(mac, data + scan.authParams.start, want) != 0)
        std::abort();
}

OutputBatch batch, messageLines;
ResponseScanResult answer;
TrapReportScratch notification;

// The reports read the opened PDU where it lies, and nothing outside it.
void ReportInPlace(const std::uint8_t* data, std::size_t size, const V3MessageScan& scan,
                   const OpenedV3Message& opened) {
    const ReceivedV3Message received = ReceivedV3(data, static_cast<int>(size), messageLines, scan, opened);
    if (received.pduBase != opened.scopedBase || received.pduEnd - received.pduAt != opened.scoped.pduLength)
        std::abort();
    batch.Clear();
    ReportV3Response(received, 1, 3, answer, batch);
    for (std::size_t i = 0; i < answer.bindingCount; ++i)
        if (answer.bindings[i].nameStart < received.pduAt ||
            answer.bindings[i].nameStart + answer.bindings[i].nameLength > received.pduEnd)
            std::abort();
    const std::uint8_t tag = opened.scoped.pduTag;
    if (tag != kSnmpV2TrapTag && tag != kInformRequestTag) return;
    std::int32_t flag = 0;
    batch.Clear();
    ReportV3Notification(received, notification, flag, batch);
    for (std::size_t i = 0; i < notification.v2.bindingCount; ++i) {
        const BindingRecord& r = notification.v2.bindings[i];
        if (r.nameStart < received.pduAt || r.valueStart < received.pduAt ||
            r.valueStart + static_cast<std::size_t>(r.valueLength) > received.pduEnd)
            std::abort();
    }
}

void CheckOpened(const std::uint8_t* data, std::size_t size, const V3MessageScan& scan, const OpenedV3Message& opened,
                 const std::vector<std::uint8_t>& plain) {
    if (opened.authenticated) {
        if (opened.user == nullptr || opened.level == SecurityLevel::NoAuthNoPriv) std::abort();
        CheckDigestReallyMatches(data, size, scan, *opened.user);
    }
    if (opened.status != UsmStatus::Ok) {
        if (opened.scopedBase != nullptr) std::abort();
        return;
    }
    if (opened.level != SecurityLevel::NoAuthNoPriv && !opened.authenticated) std::abort();
    const std::size_t room = opened.scopedBase == data ? size : plain.size();
    if ((opened.scopedBase != data && opened.scopedBase != plain.data()) ||
        opened.scoped.pduAt + opened.scoped.pduLength > room || opened.scoped.contextName.End() > room)
        std::abort();
    ReportText(opened.scopedBase + opened.scoped.pduAt, opened.scoped.pduLength);
    ReportInPlace(data, size, scan, opened);
}

std::vector<std::uint8_t> plain(65536), out(65536 + 512), plainAgain(65536 + 512);

// The random source of the exchange under test: the octets the input asks
// for, so that its msgIDs are the input's.
std::uint8_t randomOctets[12];
bool InputRandom(std::uint8_t* octets, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) octets[i] = randomOctets[i % sizeof randomOctets];
    return true;
}

const std::uint8_t kAgent[4] = {192, 0, 2, 2};

// Builds an unauthenticated discovery Report from `engineId` for `msgId`,
// as an agent sends it, into `report`.
std::size_t DiscoveryReport(std::int32_t msgId, ByteSpan engineId, std::uint8_t* report, std::size_t capacity) {
    std::uint8_t pdu[64];
    const std::size_t pduLength = BuildReportPdu(0, UsmStatsCounter::UnknownEngineIds, 1, pdu, sizeof pdu);
    V3MessageInput input;
    input.msgId = msgId;
    input.reportable = false;
    input.engineId = engineId;
    input.contextEngineId = engineId;
    input.pdu = ByteSpan(pdu, pduLength);
    return EncodeV3Message(input, report, capacity);
}

// The input on the response port, as the answer to a request of its own
// user (any user of the table, at that user's highest level).
void TakeAsAnswer(const std::uint8_t* data, std::size_t size, const V3MessageScan& scan) {
    // The exchange starts its msgIDs below 2^30 (room to count before they
    // wrap), so only such a msgID can be made its own.
    if (scan.status != V3ScanStatus::Ok || scan.engineId.length < kMinEngineIdLength || scan.msgId < 2 ||
        scan.msgId - 2 >= 0x40000000)
        return;
    const UsmUser* user = Users().Named(std::string(reinterpret_cast<const char*>(data + scan.userName.start),
                                                    scan.userName.length));
    if (user == nullptr) return;
    V3Users users;
    auto config = std::make_shared<V3Config>();
    UsmUser requester = *user;
    requester.level = HighestLevel(*user);
    config->users.Add(requester);
    config->requestUser = requester.name;
    users.SetConfig(config);
    // msgIDs from msgId - 1: the discovery's, then the request's.
    const std::uint32_t start = static_cast<std::uint32_t>(scan.msgId - 2);
    for (int i = 0; i < 4; ++i) randomOctets[i] = static_cast<std::uint8_t>(start >> (24 - 8 * i));
    V3Requests requests(users, InputRandom);
    V3RequestInput input;
    input.pdu = {0xA0, 0x0B, 0x02, 0x01, 0x01, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x00};
    input.requestId = 1;
    input.agent = Endpoint::V4(kAgent, 161);
    const V3Moment moment{10'000, 0, nullptr};
    if (requests.Start(input, moment).status != V3StartStatus::Ready) return;
    std::uint8_t report[256];
    const std::size_t reportLength =
        DiscoveryReport(scan.msgId - 1, ByteSpan(data + scan.engineId.start, scan.engineId.length), report,
                        sizeof report);
    V3MessageScan reportScan;
    ScanV3Message(report, reportLength, reportScan);
    batch.Clear();
    if (!requests.Take(report, reportLength, reportScan, input.agent, 0, moment, nullptr, 0, 0, answer, batch).send)
        std::abort();  // discovery answered: the request goes
    batch.Clear();
    const V3Taken taken = requests.Take(data, size, scan, input.agent, 0, moment, nullptr, 0, 0, answer, batch);
    if (requests.InFlight() != 0 || taken.ended || taken.send) return;
    // Taken as the answer: it opened at the request's level, authenticated.
    OpenedV3Message opened;
    if (OpenV3Message(data, size, scan, config->users, nullptr, plain.data(), plain.size(), opened) != UsmStatus::Ok ||
        opened.level != requester.level || opened.scoped.pduTag != kResponseTag)
        std::abort();
    if (requester.level != SecurityLevel::NoAuthNoPriv) CheckDigestReallyMatches(data, size, scan, requester);
}

// The input on the trap port: whatever our engine answers opens again.
void TakeAsNotification(const std::uint8_t* data, std::size_t size, const V3MessageScan& scan) {
    static V3Users users;
    static const bool configured = [] {
        auto config = std::make_shared<V3Config>();
        for (const UsmUser& user : Users().Users()) {
            UsmUser receiver = user;
            receiver.level = SecurityLevel::NoAuthNoPriv;
            config->users.Add(receiver);
        }
        users.SetConfig(config);
        return true;
    }();
    (void)configured;
    static V3Notifications port(users, ByteSpan(kOurEngine, sizeof kOurEngine), 1, 0);
    std::int32_t flag = 0;
    batch.Clear();
    const std::size_t length =
        port.Take(data, size, scan, Endpoint::V4(kAgent, 41000), kNow * 1000, nullptr, notification, flag, batch);
    if (length == 0) return;
    if (length > 65536 + 1024) std::abort();
    V3MessageScan again;
    ScanV3Message(port.Answer(), length, again);
    if (again.status != V3ScanStatus::Ok || again.msgId != scan.msgId) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 65536) return 0;
    // As the listeners scan it; a datagram they would take for SNMPv1/v2c
    // is scanned as SNMPv3 all the same, for the scan's refusals.
    InboundMessage inbound;
    ScanInboundMessage(data, size, inbound);
    V3MessageScan scan = inbound.v3;
    if (inbound.version != MessageVersion::V3) ScanV3Message(data, size, scan);
    if (scan.status == V3ScanStatus::Ok && (scan.engineId.End() > size || scan.userName.End() > size ||
                                            scan.privParams.End() > size || scan.encryptedPdu.End() > size))
        std::abort();

    OpenedV3Message opened;
    OpenV3Message(data, size, scan, Users(), nullptr, plain.data(), plain.size(), opened);
    CheckOpened(data, size, scan, opened, plain);

    LocalEngine engine(ByteSpan(kOurEngine, sizeof kOurEngine), 1, 0);
    const EngineClock clock = engine.Clock(kNow);
    OpenV3Message(data, size, scan, Users(), &clock, plain.data(), plain.size(), opened);
    CheckOpened(data, size, scan, opened, plain);

    if (BuildUsmReport(engine, kNow, data, scan, opened, out.data(), out.size()) > out.size()) std::abort();
    const Salt salt{1, 2, 3, 4, 5, 6, 7, 8};
    const std::size_t ack = BuildV3InformAck(engine, kNow, data, scan, opened, salt, out.data(), out.size());
    if (ack > out.size()) std::abort();
    if (ack > 0) {
        // Our acknowledgement, read as if it came to us: it must open.
        V3MessageScan again;
        ScanV3Message(out.data(), ack, again);
        OpenedV3Message reopened;
        if (OpenV3Message(out.data(), ack, again, Users(), &clock, plainAgain.data(), plainAgain.size(), reopened) !=
                UsmStatus::Ok ||
            reopened.scoped.pduTag != kResponseTag || reopened.level != opened.level)
            std::abort();
    }
    TakeAsAnswer(data, size, scan);
    TakeAsNotification(data, size, scan);
    return 0;
}
