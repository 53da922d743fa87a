#include "exchange/V3Requests.h"

#include <algorithm>
#include <climits>

#include "exchange/ReportReasons.h"
#include "response/ResponseReport.h"
#include "snmpv3/Libcrypto.h"
#include "snmpv3/MessageEncode.h"
#include "snmpv3/UsmReports.h"
#include "snmpv3/V3Lines.h"
#include "text/DecimalText.h"

namespace quillet {
namespace {

constexpr const char* kNoUserMessage = "SNMPv3の設定(ユーザー)を入力して下さい。";

// The request user is configured, but its secrets were not typed in this run.
std::string NoSecretMessage(const std::string& user) {
    return "SNMPv3ユーザー「" + user + "」のパスフレーズ（キー）が未入力です。設定で入力して下さい。";
}

// The request user's keys were localised to an engine that is not the agent's.
std::string OtherEngineKeysMessage(const std::string& user) {
    return "SNMPv3ユーザー「" + user + "」のキーは別のエンジン用です（キーのエンジンIDを確認して下さい）。";
}
constexpr const char* kNoRandomMessage = "乱数を得られないため、SNMPv3の要求を送信できません。";
constexpr const char* kEncodeFailedMessage = "入力データが異常です。";
constexpr const char* kNotTakenHead = "  応答として扱いません：";
constexpr const char* kEndedHead = "  要求を終了しました：";
constexpr std::size_t kLargestMessage = 65507;

ByteSpan Content(const std::uint8_t* data, const BerElement& element) { return {data + element.start, element.length}; }

bool SameOctets(ByteSpan a, ByteSpan b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); }

ByteSpan Octets(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
ByteSpan Octets(const std::vector<std::uint8_t>& bytes) { return {bytes.data(), bytes.size()}; }

PeerDetails DestinationDetails(const Endpoint& to, const LocalDateTime& when) {
    PeerDetails peer;
    std::copy(to.address.begin(), to.address.begin() + 4, peer.address);
    peer.port = to.port;
    peer.when = when;
    return peer;
}

// The contextEngineID a request of `config` carries to `engineId`.
ByteSpan ContextEngineIdOf(const V3Config& config, ByteSpan engineId) {
    return config.contextEngineId.empty() ? engineId : Octets(config.contextEngineId);
}

// The name of the counter a Report carries ("usmStatsWrongDigests"), empty
// when it cannot be read.
std::string CounterOf(const std::uint8_t* base, const ScopedPduScan& scoped) {
    const std::string text = ReportText(base + scoped.pduAt, scoped.pduLength);
    return text.substr(0, text.find(' '));
}

}  // namespace

enum class V3Requests::Verdict : std::uint8_t {
    Answer,      // the answer to the operation's request
    Discovered,  // the operation's discovery answered: the request follows
    Resend,      // a new time window: the request goes once more
    Ended,       // a Report ended the operation
    NotTaken,    // nothing of the operation changes
};

struct V3Requests::Classified {
    Verdict verdict = Verdict::NotTaken;
    const char* reason = nullptr;  // NotTaken: why, for its line
    bool report = false;           // a Report-PDU whose content can be read
    bool readable = false;         // its scoped PDU can be shown (opened, or a plaintext Report)
    std::string counter;           // a Report's counter name
    Operation* operation = nullptr;
};

V3Requests::V3Requests(const V3Users& users, bool (*random)(std::uint8_t*, std::size_t))
    : users_(users), random_(random != nullptr ? random : RandomOctets), plain_(65536) {}

bool V3Requests::NextMsgId(std::int32_t& msgId) {
    if (!haveRandom_) {
        // A random start for both counters, so that two runs do not reuse
        // msgIDs an agent may still remember, nor AES IVs with one key.
        std::uint8_t octets[12];
        if (!random_(octets, sizeof octets)) return false;
        msgId_ = static_cast<std::int32_t>(((octets[0] << 24) | (octets[1] << 16) | (octets[2] << 8) | octets[3]) &
                                           0x3FFFFFFF);
        std::uint64_t start = 0;
        for (int i = 4; i < 12; ++i) start = (start << 8) | octets[i];
        salts_ = SaltSource(start);
        haveRandom_ = true;
    }
    msgId_ = msgId_ >= 0x7FFFFFFF || msgId_ < 1 ? 1 : msgId_ + 1;
    msgId = msgId_;
    return true;
}

bool V3Requests::NextSalt(PrivProtocol protocol, std::uint32_t boots, Salt& salt) {
    if (!haveRandom_) return false;
    salt = salts_.Next(protocol, boots);
    return true;
}

V3Start V3Requests::Start(const V3RequestInput& input, const V3Moment& moment) {
    V3Start result;
    std::shared_ptr<const V3Config> config = users_.Config();
    if (config == nullptr || config->RequestUser() == nullptr) {
        const bool named = config != nullptr && !config->requestUser.empty();
        result.status = V3StartStatus::NoUser;
        result.message = named ? NoSecretMessage(config->requestUser) : kNoUserMessage;
        return result;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Operation operation;
    operation.id = nextOperation_++;
    operation.input = input;
    operation.config = std::move(config);
    const auto known = agentEngines_.find(input.agent);
    bool built;
    if (known != agentEngines_.end()) {
        operation.engineId = known->second;
        built = BuildRequest(operation, moment, result.outgoing);
    } else {
        built = BuildDiscovery(operation, moment, result.outgoing);
    }
    if (!built) {
        result.status = haveRandom_ ? V3StartStatus::EncodeFailed : V3StartStatus::NoRandom;
        result.message = FailureMessage(operation);
        return result;
    }
    while (operations_.size() >= kMaxOperations) operations_.erase(operations_.begin());
    operations_.emplace(operation.id, std::move(operation));
    result.status = V3StartStatus::Ready;
    return result;
}

bool V3Requests::BuildDiscovery(Operation& operation, const V3Moment& moment, V3Outgoing& out) {
    std::int32_t msgId = 0;
    if (!NextMsgId(msgId)) return false;
    // The discovery carries the request's own request-id: it is the first
    // half of the same request, told apart from the second by its msgID.
    out.datagram.resize(512);
    const std::size_t size =
        quillet::BuildDiscovery(msgId, operation.input.requestId, out.datagram.data(), out.datagram.size());
    if (size == 0) return false;
    out.datagram.resize(size);
    operation.discovering = true;
    operation.msgIds.push_back(msgId);
    ++operation.attempt;
    operation.sentNs = moment.realtimeNs;
    operation.lastMessage = out.datagram;
    operation.tries = 1;

    V3MessageScan scan;
    ScanV3Message(out.datagram.data(), size, scan);
    OutputBatch messageLines;
    messageLines.WriteLine("  SNMPv3 エンジンID探索(discovery)", SummaryLine);
    AppendV3HeaderLines(out.datagram.data(), scan, messageLines);
    AppendV3SentSecurityLines(AuthProtocol::None, PrivProtocol::None, false, false, messageLines);
    PeerDetails destination;
    if (moment.detailsWhen != nullptr) destination = DestinationDetails(operation.input.agent, *moment.detailsWhen);
    ReportV3Request(RequestKind::Get, operation.input.requestId, out.datagram.data(), size, "",
                    operation.input.pduDisplayChecked, messageLines, nullptr, 0, out.lines,
                    moment.detailsWhen != nullptr ? &destination : nullptr);
    out.operation = operation.id;
    out.attempt = operation.attempt;
    out.requestId = operation.input.requestId;
    out.to = operation.input.agent;
    return true;
}

std::string V3Requests::FailureMessage(const Operation& operation) const {
    const UsmUser& user = *operation.config->RequestUser();
    if (!haveRandom_) return kNoRandomMessage;
    if (!user.keysEngineId.empty() && !operation.engineId.empty() && user.keysEngineId != operation.engineId)
        return OtherEngineKeysMessage(user.name);
    return kEncodeFailedMessage;
}

bool V3Requests::BuildRequest(Operation& operation, const V3Moment& moment, V3Outgoing& out) {
    const V3Config& config = *operation.config;
    const UsmUser& user = *config.RequestUser();
    const ByteSpan engineId = Octets(operation.engineId);
    // Keys localised to another engine would only draw wrongDigest Reports.
    if (!user.keysEngineId.empty() && user.keysEngineId != operation.engineId) return false;
    // An engine whose clock is not known yet gets boots and time 0: its
    // authenticated notInTimeWindows Report then tells the clock.
    RemoteClock clock;
    const bool clockKnown = clocks_.Find(engineId, clock);
    const std::uint32_t boots = clockKnown ? clock.boots : 0;
    const std::uint32_t time = clockKnown ? clock.TimeAt(moment.monotonicMs) : 0;
    std::int32_t msgId = 0;
    Salt salt{};
    if (!NextMsgId(msgId) || !NextSalt(user.priv, boots, salt)) return false;
    UsmLocalKeys keys;
    if (user.level != SecurityLevel::NoAuthNoPriv && !LocalKeysFor(user, engineId, keys)) return false;

    V3MessageInput message;
    message.msgId = msgId;
    message.level = user.level;
    message.reportable = true;
    message.engineId = engineId;
    message.engineBoots = boots;
    message.engineTime = time;
    message.userName = Octets(user.name);
    message.keys = &keys;
    message.salt = salt;
    message.contextEngineId = ContextEngineIdOf(config, engineId);
    message.contextName = Octets(config.contextName);
    message.pdu = Octets(operation.input.pdu);
    out.datagram.resize(operation.input.pdu.size() + 1024);
    const std::size_t size = EncodeV3Message(message, out.datagram.data(), out.datagram.size());
    if (size == 0 || size > kLargestMessage) return false;
    out.datagram.resize(size);
    operation.discovering = false;
    operation.msgIds.push_back(msgId);
    ++operation.attempt;
    operation.sentNs = moment.realtimeNs;
    operation.lastMessage = out.datagram;
    operation.tries = 1;

    // Our own message, scanned and opened as the agent will, for its lines
    // and its scoped PDU in the clear.
    V3MessageScan scan;
    ScanV3Message(out.datagram.data(), size, scan);
    std::vector<std::uint8_t> plain(size);
    OpenedV3Message opened;
    OpenV3Message(out.datagram.data(), size, scan, config.users, nullptr, plain.data(), plain.size(), opened);
    OutputBatch messageLines;
    AppendV3HeaderLines(out.datagram.data(), scan, messageLines);
    AppendV3SentSecurityLines(user.auth, user.priv, (scan.msgFlags & kFlagAuth) != 0, scan.encrypted, messageLines,
                              user.extension);
    if (opened.status == UsmStatus::Ok) AppendScopedPduLines(opened.scopedBase, opened.scoped, messageLines);
    const bool encrypted = scan.encrypted && opened.status == UsmStatus::Ok;
    PeerDetails destination;
    if (moment.detailsWhen != nullptr) destination = DestinationDetails(operation.input.agent, *moment.detailsWhen);
    ReportV3Request(operation.input.kind, operation.input.requestId, out.datagram.data(), size,
                    operation.input.oidText, operation.input.pduDisplayChecked, messageLines,
                    encrypted ? opened.scopedBase + opened.scoped.at : nullptr, encrypted ? opened.scoped.length : 0,
                    out.lines, moment.detailsWhen != nullptr ? &destination : nullptr, Octets(operation.input.pdu));
    out.operation = operation.id;
    out.attempt = operation.attempt;
    out.requestId = operation.input.requestId;
    out.to = operation.input.agent;
    return true;
}

V3Requests::Operation* V3Requests::FindByMsgId(std::int32_t msgId) {
    for (auto& [id, operation] : operations_)
        if (std::find(operation.msgIds.begin(), operation.msgIds.end(), msgId) != operation.msgIds.end())
            return &operation;
    return nullptr;
}

void V3Requests::End(std::uint64_t operation) { operations_.erase(operation); }

V3Requests::Classified V3Requests::Classify(const std::uint8_t* data, const Endpoint& from,
                                            const V3Moment& moment) {
    Classified c;
    const V3MessageScan& scan = scan_;
    const OpenedV3Message& opened = opened_;
    const bool trusted = opened.status == UsmStatus::Ok;
    // A Report sent in the clear can be read without any user: discovery's
    // answer names none, and an agent that refused our user says so in one.
    const bool plainReport = scan.status == V3ScanStatus::Ok && (scan.msgFlags & (kFlagAuth | kFlagPriv)) == 0 &&
                             !scan.encrypted && scan.scoped.pduTag == kReportTag;
    c.report = trusted ? opened.scoped.pduTag == kReportTag : plainReport;
    c.readable = trusted || plainReport;
    if (c.report) c.counter = CounterOf(trusted ? opened.scopedBase : data, trusted ? opened.scoped : scan.scoped);
    if (!c.readable) {
        c.reason = "USM検証に失敗しました";
        return c;
    }
    Operation* operation = FindByMsgId(scan.msgId);
    if (operation == nullptr) {
        c.reason = "msgIDが送信中の要求のどれとも一致しません（重複または古いメッセージ）";
        return c;
    }
    if (from != operation->input.agent) {
        c.reason = "要求の送信先とは別のアドレスから届きました";
        return c;
    }
    c.operation = operation;
    const ByteSpan engineId = Content(data, scan.engineId);
    const V3Config& config = *operation->config;
    const UsmUser& user = *config.RequestUser();
    const bool sameUser = SameOctets(Content(data, scan.userName), Octets(user.name));
    const bool latest = scan.msgId == operation->msgIds.back();

    if (c.report) {
        if (!(trusted && opened.authenticated)) {
            // Unauthenticated: it may discover, or end the request it names.
            if (operation->discovering && latest) {
                if (engineId.size() < kMinEngineIdLength) {
                    c.reason = "探索への応答にエンジンIDがありません";
                    return c;
                }
                c.verdict = Verdict::Discovered;
                return c;
            }
            c.verdict = Verdict::Ended;
            return c;
        }
        if (operation->discovering || !SameOctets(engineId, Octets(operation->engineId))) {
            c.reason = "エンジンIDが要求の送信先のものと違います";
            return c;
        }
        if (!sameUser) {
            c.reason = "ユーザー名が要求と違います";
            return c;
        }
        if (!clocks_.Authenticated(engineId, scan.engineBoots, scan.engineTime, moment.monotonicMs)) {
            c.reason = "時刻の範囲外です（古いメッセージの再送の疑い）";
            return c;
        }
        c.verdict = c.counter == "usmStatsNotInTimeWindows" && !operation->resent && latest ? Verdict::Resend
                                                                                              : Verdict::Ended;
        return c;
    }
    if (!trusted) {
        c.reason = "USM検証に失敗しました";
        return c;
    }
    if (operation->discovering) {
        c.reason = "探索への応答がReportではありません";
        return c;
    }
    if (opened.level != user.level) {
        c.reason = "セキュリティレベルが要求と違います";
        return c;
    }
    if (!sameUser) {
        c.reason = "ユーザー名が要求と違います";
        return c;
    }
    if (!SameOctets(engineId, Octets(operation->engineId))) {
        c.reason = "エンジンIDが要求の送信先のものと違います";
        return c;
    }
    const ScopedPduScan& scoped = opened.scoped;
    if (!SameOctets(Content(opened.scopedBase, scoped.contextEngineId), ContextEngineIdOf(config, engineId)) ||
        !SameOctets(Content(opened.scopedBase, scoped.contextName), Octets(config.contextName))) {
        c.reason = "contextEngineIDまたはcontextNameが要求と違います";
        return c;
    }
    if (opened.authenticated &&
        !clocks_.Authenticated(engineId, scan.engineBoots, scan.engineTime, moment.monotonicMs)) {
        c.reason = "時刻の範囲外です（古いメッセージの再送の疑い）";
        return c;
    }
    if (scoped.pduTag != kResponseTag) {
        c.reason = "Response-PDUではありません";
        return c;
    }
    if (!scoped.hasRequestId || scoped.requestId != operation->input.requestId) {
        c.reason = "request IDが要求と違います";
        return c;
    }
    c.verdict = Verdict::Answer;
    return c;
}

V3Taken V3Requests::Take(const std::uint8_t* data, std::size_t size, const V3MessageScan& scan, const Endpoint& from,
                         std::int64_t arrivalNs,
                         const V3Moment& moment, const PeerDetails* details, int walkPending, int varBindCount,
                         ResponseScanResult& scratch, OutputBatch& out) {
    static const UsmUserTable kNoUsers;
    V3Taken taken;
    const std::shared_ptr<const V3Config> current = users_.Config();
    std::lock_guard<std::mutex> lock(mutex_);
    scan_ = scan;
    // Opened with the users of the press the message answers, else with
    // those the dialog holds now.
    const Operation* pressed = scan_.status == V3ScanStatus::Ok ? FindByMsgId(scan_.msgId) : nullptr;
    const UsmUserTable& users =
        pressed != nullptr ? pressed->config->users : current != nullptr ? current->users : kNoUsers;
    OpenV3Message(data, size, scan_, users, nullptr, plain_.data(), plain_.size(), opened_);
    Classified c = Classify(data, from, moment);

    std::optional<PeerDetails> peer;
    if (details != nullptr) peer = *details;
    if (peer && c.operation != nullptr && c.verdict != Verdict::NotTaken)
        peer->roundTripUs = std::max<std::int64_t>(0, (arrivalNs - c.operation->sentNs) / 1000);

    const bool trusted = opened_.status == UsmStatus::Ok;
    const std::uint8_t* scopedBase = trusted ? opened_.scopedBase : data;
    const ScopedPduScan& scoped = trusted ? opened_.scoped : scan_.scoped;
    OutputBatch messageLines;
    AppendV3HeaderLines(data, scan_, messageLines);
    if (c.report && !trusted)
        AppendV3SentSecurityLines(AuthProtocol::None, PrivProtocol::None, false, false, messageLines);
    else
        AppendV3ReceivedSecurityLines(scan_, opened_, messageLines);
    if (c.readable) AppendScopedPduLines(scopedBase, scoped, messageLines);
    const ReceivedV3Message received = ReceivedV3(data, static_cast<int>(size), messageLines, scan_, opened_);

    if (c.verdict == Verdict::Answer) {
        taken.clearWalk =
            ReportV3Response(received, walkPending, varBindCount, scratch, out, peer ? &*peer : nullptr);
        taken.answered = c.operation->id;
        taken.answerPdu.assign(received.pduBase + received.pduAt, received.pduBase + received.pduEnd);
        End(c.operation->id);
        return taken;
    }
    if (c.verdict == Verdict::NotTaken && trusted && !c.report) {
        // An answer that opened but is not this request's: its bindings are
        // shown, nothing of it is written back.
        ReportV3Response(received, walkPending, varBindCount, scratch, out, peer ? &*peer : nullptr, false);
        out.WriteLine(std::string(kNotTakenHead) + c.reason, SummaryLine);
        out.ChargeOutput(60);
        return taken;
    }

    out.CountDatagram(Counter::Recv);
    std::string line = c.report ? "report 受信 request ID=" : "response 受信 request ID=";
    AppendDecimal(line, c.readable && scoped.hasRequestId ? scoped.requestId : 0);
    line += "  SIZE=";
    AppendDecimal(line, static_cast<std::int64_t>(size));
    out.WriteLine(line, SummaryLine);
    if (peer) AppendReceivedDetails(*peer, out);
    out.Append(messageLines);
    out.WriteLine("  受信DATA=", PduLine);
    out.DumpPdu(data, size, PduLine);
    AppendPlainDump(received, out);
    out.ChargeOutput(static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(size) * 3, INT_MAX)));
    if (c.report) {
        const std::string text = ReportText(scopedBase + scoped.pduAt, scoped.pduLength);
        out.WriteLine("  " + (text.empty() ? std::string("(Reportの内容を読めません)") : text), SummaryLine);
        out.ChargeOutput(40);
    }

    switch (c.verdict) {
    case Verdict::Answer: break;
    case Verdict::NotTaken:
        out.WriteLine(std::string(kNotTakenHead) + c.reason, SummaryLine);
        out.ChargeOutput(60);
        break;
    case Verdict::Discovered: {
        Operation& operation = *c.operation;
        operation.engineId.assign(data + scan_.engineId.start, data + scan_.engineId.End());
        agentEngines_[operation.input.agent] = operation.engineId;
        V3Outgoing next;
        if (BuildRequest(operation, moment, next)) {
            taken.send = std::move(next);
        } else {
            taken.ended = V3Ended{operation.id, operation.input.requestId, FailureMessage(operation)};
            End(operation.id);
        }
        break;
    }
    case Verdict::Resend: {
        Operation& operation = *c.operation;
        operation.resent = true;
        V3Outgoing next;
        if (BuildRequest(operation, moment, next)) {
            taken.send = std::move(next);
        } else {
            taken.ended = V3Ended{operation.id, operation.input.requestId, FailureMessage(operation)};
            End(operation.id);
        }
        break;
    }
    case Verdict::Ended: {
        Operation& operation = *c.operation;
        const std::string words = ReportCounterWords(c.counter);
        out.WriteLine(std::string(kEndedHead) + words, SummaryLine);
        out.ChargeOutput(60);
        // The agent no longer knows the engine this console keyed the
        // request to: the next request discovers it again.
        if (c.counter == "usmStatsUnknownEngineIDs") agentEngines_.erase(operation.input.agent);
        taken.ended = V3Ended{operation.id, operation.input.requestId, words};
        End(operation.id);
        break;
    }
    }
    return taken;
}

V3Requests::Expired V3Requests::Expire(std::uint64_t operation, std::uint32_t attempt, const V3Moment& moment) {
    std::lock_guard<std::mutex> lock(mutex_);
    Expired expired;
    const auto found = operations_.find(operation);
    if (found == operations_.end() || found->second.attempt != attempt) return expired;
    Operation& waiting = found->second;
    expired.requestId = waiting.input.requestId;
    if (waiting.tries > waiting.input.retries) {
        expired.expiry = Expiry::NoAnswer;
        expired.tries = waiting.tries;
        operations_.erase(found);
        return expired;
    }
    // The same message again, msgID and all: an answer to either send is
    // the answer.
    ++waiting.tries;
    ++waiting.attempt;
    waiting.sentNs = moment.realtimeNs;
    expired.expiry = Expiry::Retry;
    expired.tries = waiting.tries;
    V3Outgoing& again = expired.again;
    again.operation = waiting.id;
    again.attempt = waiting.attempt;
    again.requestId = waiting.input.requestId;
    again.to = waiting.input.agent;
    again.datagram = waiting.lastMessage;
    PeerDetails destination;
    if (moment.detailsWhen != nullptr) destination = DestinationDetails(waiting.input.agent, *moment.detailsWhen);
    ReportRetry(waiting.input.requestId, again.datagram.data(), again.datagram.size(), waiting.tries,
                waiting.input.retries + 1, again.lines, moment.detailsWhen != nullptr ? &destination : nullptr);
    return expired;
}

void V3Requests::Abandon(std::uint64_t operation) {
    std::lock_guard<std::mutex> lock(mutex_);
    operations_.erase(operation);
}

void V3Requests::ForgetEngines() {
    std::lock_guard<std::mutex> lock(mutex_);
    agentEngines_.clear();
    clocks_.Clear();
}

std::size_t V3Requests::InFlight() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return operations_.size();
}

}  // namespace quillet
