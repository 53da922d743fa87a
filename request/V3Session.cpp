#include "request/V3Session.h"

#include <algorithm>

#include "text/BerWriter.h"

namespace quillet {
namespace {

std::uint64_t AgentKey(const std::uint8_t address[4], std::uint16_t port) {
    std::uint64_t key = port;
    for (int i = 0; i < 4; ++i) key = (key << 8) | address[i];
    return key;
}

}  // namespace

std::uint32_t AgentEngine::TimeAt(std::int64_t nowMs) const {
    const std::int64_t elapsed = std::max<std::int64_t>(0, nowMs - learntAtMs) / 1000;
    const std::int64_t time = std::int64_t{this->time} + elapsed;
    return time > kMaxEngineCounter ? kMaxEngineCounter : static_cast<std::uint32_t>(time);
}

V3Session::V3Session() : salts_(SaltSource::Random()) {
    // A random start, so that two runs do not reuse msgIDs an agent may
    // still remember.
    const Salt start = SaltSource::Random().Next(PrivProtocol::Aes128, 0);
    msgId_ = static_cast<std::int32_t>(((start[4] << 24) | (start[5] << 16) | (start[6] << 8) | start[7]) & 0x3FFFFFFF);
}

void V3Session::SetConfig(std::shared_ptr<const V3Config> config) {
    std::lock_guard<std::mutex> lock(mutex_);
    config_ = std::move(config);
}

std::shared_ptr<const V3Config> V3Session::Config() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return config_;
}

bool V3Session::EngineOf(const std::uint8_t address[4], std::uint16_t port, AgentEngine& engine) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = engines_.find(AgentKey(address, port));
    if (found == engines_.end()) return false;
    engine = found->second;
    return true;
}

void V3Session::Learn(const std::uint8_t address[4], std::uint16_t port, ByteSpan engineId, std::uint32_t boots,
                      std::uint32_t time, std::int64_t nowMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    AgentEngine& engine = engines_[AgentKey(address, port)];
    engine.engineId.assign(engineId.begin(), engineId.end());
    engine.boots = boots;
    engine.time = time;
    engine.learntAtMs = nowMs;
}

void V3Session::Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    engines_.clear();
}

std::int32_t V3Session::NextMsgId() {
    std::lock_guard<std::mutex> lock(mutex_);
    msgId_ = msgId_ >= 0x7FFFFFFF || msgId_ < 1 ? 1 : msgId_ + 1;
    return msgId_;
}

Salt V3Session::NextSalt(PrivProtocol protocol, std::uint32_t boots) {
    std::lock_guard<std::mutex> lock(mutex_);
    return salts_.Next(protocol, boots);
}

ByteSpan RequestPdu(const std::uint8_t* message, std::size_t size) {
    // 30 82 hi lo, 02 01 v, 04 L community, then the PDU: as the request
    // encoder always writes it.
    if (size < 9 || message[0] != 0x30 || message[1] != 0x82 || message[4] != 0x02 || message[5] != 0x01 ||
        message[7] != 0x04)
        return {};
    const std::size_t at = 9 + message[8];
    if (at >= size) return {};
    return {message + at, size - at};
}

std::size_t BuildDiscovery(std::int32_t msgId, std::int32_t requestId, std::uint8_t* out, std::size_t capacity) {
    // GetRequest-PDU { request-id, 0, 0, {} }, request-id in its fewest octets.
    std::uint8_t pdu[16];
    std::size_t n = 0;
    pdu[n++] = 0xA0;
    pdu[n++] = 0;  // length, below
    std::uint8_t id[4];
    std::size_t idLength = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto octet = static_cast<std::uint8_t>(requestId >> shift);
        if (idLength == 0 && shift > 0 && octet == 0 && ((requestId >> (shift - 8)) & 0x80) == 0) continue;
        id[idLength++] = octet;
    }
    pdu[n++] = 0x02;
    pdu[n++] = static_cast<std::uint8_t>(idLength);
    for (std::size_t i = 0; i < idLength; ++i) pdu[n++] = id[i];
    for (const std::uint8_t octet : {0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x00}) pdu[n++] = octet;
    pdu[1] = static_cast<std::uint8_t>(n - 2);
    V3MessageInput input;
    input.msgId = msgId;
    input.level = SecurityLevel::NoAuthNoPriv;
    input.reportable = true;
    input.pdu = ByteSpan(pdu, n);
    return EncodeV3Message(input, out, capacity);
}

std::size_t BuildV3Request(const V3Config& config, const AgentEngine& engine, std::int64_t nowMs,
                           std::int32_t msgId, const Salt& salt, ByteSpan pdu, std::uint8_t* out,
                           std::size_t capacity) {
    const UsmUser* user = config.RequestUser();
    if (user == nullptr) return 0;
    UsmLocalKeys keys;
    const ByteSpan engineId(engine.engineId.data(), engine.engineId.size());
    if (user->level != SecurityLevel::NoAuthNoPriv && !LocalKeysFor(*user, engineId, keys)) return 0;
    V3MessageInput input;
    input.msgId = msgId;
    input.level = user->level;
    input.reportable = true;
    input.engineId = engineId;
    input.engineBoots = engine.boots;
    input.engineTime = engine.TimeAt(nowMs);
    input.userName = ByteSpan(reinterpret_cast<const std::uint8_t*>(user->name.data()), user->name.size());
    input.keys = &keys;
    input.salt = salt;
    input.contextEngineId = config.contextEngineId.empty()
                                ? engineId
                                : ByteSpan(config.contextEngineId.data(), config.contextEngineId.size());
    input.contextName =
        ByteSpan(reinterpret_cast<const std::uint8_t*>(config.contextName.data()), config.contextName.size());
    input.pdu = pdu;
    return EncodeV3Message(input, out, capacity);
}

std::size_t WrapPduAsV2c(const std::uint8_t* pdu, std::size_t length, std::uint8_t* out, std::size_t capacity) {
    const std::size_t content = 3 + 2 + length;
    const std::size_t total = 1 + LengthFieldSize(content) + content;
    if (total > capacity) return 0;
    std::size_t n = PutHeader(out, 0x30, content);
    for (const std::uint8_t octet : {0x02, 0x01, 0x01, 0x04, 0x00}) out[n++] = octet;
    std::copy(pdu, pdu + length, out + n);
    return total;
}

}  // namespace quillet
