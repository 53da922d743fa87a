#include "snmpv3/LocalEngine.h"

#include <algorithm>
#include <vector>

#include "snmpv3/Libcrypto.h"
#include "snmpv3/MessageEncode.h"
#include "text/BerTags.h"

namespace quillet {
namespace {

constexpr std::int64_t kTimeSpan = std::int64_t{1} << 31;

ByteSpan Content(const std::uint8_t* datagram, const BerElement& element) {
    return {datagram + element.start, element.length};
}

// The fields every message the console answers with takes from its own
// engine and from the message it answers: the same msgID and user, never
// reportable.
V3MessageInput AnswerTo(const EngineClock& clock, const std::uint8_t* datagram, const V3MessageScan& scan) {
    V3MessageInput input;
    input.msgId = scan.msgId;
    input.reportable = false;
    input.engineId = clock.engineId;
    input.engineBoots = clock.boots;
    input.engineTime = clock.time;
    input.userName = Content(datagram, scan.userName);
    return input;
}

}  // namespace

bool MakeLocalEngineId(LocalEngineId& id, RandomSource random) {
    id = {0x80, 0x00, 0x00, 0x00, 0x05};
    return random != nullptr ? random(id.data() + 5, 8) : RandomOctets(id.data() + 5, 8);
}

LocalEngine::LocalEngine(ByteSpan engineId, std::uint32_t boots, std::int64_t startSeconds)
    : idLength_(std::min(engineId.size(), kMaxEngineIdLength)),
      boots_(std::min(boots, kMaxEngineCounter)),
      start_(startSeconds) {
    std::copy_n(engineId.begin(), idLength_, id_.begin());
}

EngineClock LocalEngine::Clock(std::int64_t nowSeconds) const {
    const std::int64_t elapsed = std::max<std::int64_t>(0, nowSeconds - start_);
    const std::int64_t boots = std::min<std::int64_t>(boots_ + elapsed / kTimeSpan, kMaxEngineCounter);
    return EngineClock{EngineId(), static_cast<std::uint32_t>(boots), static_cast<std::uint32_t>(elapsed % kTimeSpan)};
}

std::uint32_t LocalEngine::Count(UsmStatsCounter counter) { return ++counters_[static_cast<std::size_t>(counter)]; }

std::uint32_t LocalEngine::Counter(UsmStatsCounter counter) const {
    return counters_[static_cast<std::size_t>(counter)];
}

std::size_t BuildUsmReport(LocalEngine& engine, std::int64_t nowSeconds, const std::uint8_t* datagram,
                           const V3MessageScan& scan, const OpenedV3Message& opened, std::uint8_t* out,
                           std::size_t capacity) {
    UsmStatsCounter counter;
    if (!CounterOfStatus(opened.status, counter) || scan.status != V3ScanStatus::Ok ||
        (scan.msgFlags & kFlagReportable) == 0)
        return 0;
    const EngineClock clock = engine.Clock(nowSeconds);
    V3MessageInput input = AnswerTo(clock, datagram, scan);
    UsmLocalKeys keys;
    if (opened.status == UsmStatus::NotInTimeWindow) {
        if (opened.user == nullptr || !LocalKeysFor(*opened.user, clock.engineId, keys)) return 0;
        input.level = SecurityLevel::AuthNoPriv;
        input.keys = &keys;
    }
    const std::uint32_t value = engine.Count(counter);
    const std::int32_t requestId = !scan.encrypted && scan.scoped.hasRequestId ? scan.scoped.requestId : 0;
    std::uint8_t pdu[64];
    const std::size_t pduLength = BuildReportPdu(requestId, counter, value, pdu, sizeof pdu);
    input.contextEngineId = clock.engineId;
    input.pdu = ByteSpan(pdu, pduLength);
    return EncodeV3Message(input, out, capacity);
}

std::size_t BuildV3InformAck(const LocalEngine& engine, std::int64_t nowSeconds, const std::uint8_t* datagram,
                             const V3MessageScan& scan, const OpenedV3Message& opened, const Salt& salt,
                             std::uint8_t* out, std::size_t capacity) {
    if (opened.status != UsmStatus::Ok || opened.user == nullptr || opened.scopedBase == nullptr ||
        opened.scoped.pduTag != kInformRequestTag)
        return 0;
    const EngineClock clock = engine.Clock(nowSeconds);
    UsmLocalKeys keys;
    if (!LocalKeysFor(*opened.user, clock.engineId, keys)) return 0;
    const std::uint8_t* base = opened.scopedBase;
    std::vector<std::uint8_t> pdu(opened.scoped.pduLength + 8);
    const std::size_t pduLength =
        BuildResponsePduForInform(base + opened.scoped.pduAt, opened.scoped.pduLength, pdu.data(), pdu.size());
    if (pduLength == 0) return 0;
    V3MessageInput input = AnswerTo(clock, datagram, scan);
    input.level = opened.level;
    input.keys = &keys;
    input.salt = salt;
    input.contextEngineId = Content(base, opened.scoped.contextEngineId);
    input.contextName = Content(base, opened.scoped.contextName);
    input.pdu = ByteSpan(pdu.data(), pduLength);
    return EncodeV3Message(input, out, capacity);
}

}  // namespace quillet
