#include "snmpv3/MessageEncode.h"

#include <cstring>
#include <vector>

#include "snmpv3/Auth.h"
#include "text/BerWriter.h"

namespace quillet {
namespace {

constexpr std::size_t kMaxMessage = 0xFFFF;

std::size_t TlvSize(std::size_t content) { return 1 + LengthFieldSize(content) + content; }

// Content octets of a non-negative INTEGER: the fewest whose top bit is clear.
std::size_t IntegerContentSize(std::uint32_t value) {
    std::size_t n = 1;
    while (n < 5 && (value >> (8 * n - 1)) != 0) ++n;
    return n;
}

// A forward writer into a buffer whose size was reckoned beforehand.
class Writer {
public:
    explicit Writer(std::uint8_t* at) : at_(at) {}
    std::uint8_t* At() const { return at_; }

    void Header(std::uint8_t tag, std::size_t length) { at_ += PutHeader(at_, tag, length); }
    void Octets(ByteSpan octets) {
        if (!octets.empty()) std::memcpy(at_, octets.data(), octets.size());
        at_ += octets.size();
    }
    void String(ByteSpan octets) {
        Header(0x04, octets.size());
        Octets(octets);
    }
    void Integer(std::uint32_t value) {
        const std::size_t n = IntegerContentSize(value);
        Header(0x02, n);
        for (std::size_t i = n; i > 0; --i) *at_++ = static_cast<std::uint8_t>(i > 4 ? 0 : value >> (8 * (i - 1)));
    }

private:
    std::uint8_t* at_;
};

bool KeysServe(const V3MessageInput& input) {
    if (input.level == SecurityLevel::NoAuthNoPriv) return true;
    const UsmLocalKeys* keys = input.keys;
    if (keys == nullptr || keys->auth == AuthProtocol::None || keys->authKey.length != HashLength(keys->auth))
        return false;
    return input.level != SecurityLevel::AuthPriv ||
           (keys->priv != PrivProtocol::None && keys->privKey.length == PrivKeyLength(keys->priv));
}

}  // namespace

std::size_t EncodeV3Message(const V3MessageInput& input, std::uint8_t* out, std::size_t capacity) {
    if (input.msgId < 0 || input.msgMaxSize < 484 || input.engineBoots > kMaxEngineCounter ||
        input.engineTime > kMaxEngineCounter || input.engineId.size() > kMaxEngineIdLength ||
        input.contextEngineId.size() > kMaxEngineIdLength || input.userName.size() > kMaxUserNameLength ||
        input.pdu.empty() || input.pdu.size() > kMaxMessage || input.contextName.size() > kMaxUserNameLength ||
        !KeysServe(input))
        return 0;
    const bool auth = input.level != SecurityLevel::NoAuthNoPriv;
    const bool priv = input.level == SecurityLevel::AuthPriv;
    const std::size_t digestLength = auth ? DigestLength(input.keys->auth) : 0;

    const std::size_t scopedContent =
        TlvSize(input.contextEngineId.size()) + TlvSize(input.contextName.size()) + input.pdu.size();
    const std::size_t scoped = TlvSize(scopedContent);
    const std::size_t cipherLength = priv ? EncryptedLength(input.keys->priv, scoped) : 0;
    const std::size_t data = priv ? TlvSize(cipherLength) : scoped;
    const std::size_t usmContent = TlvSize(input.engineId.size()) + TlvSize(IntegerContentSize(input.engineBoots)) +
                                   TlvSize(IntegerContentSize(input.engineTime)) + TlvSize(input.userName.size()) +
                                   TlvSize(digestLength) + TlvSize(priv ? kSaltLength : 0);
    const std::size_t security = TlvSize(TlvSize(usmContent));
    const std::size_t globalContent = TlvSize(IntegerContentSize(static_cast<std::uint32_t>(input.msgId))) +
                                      TlvSize(IntegerContentSize(static_cast<std::uint32_t>(input.msgMaxSize))) +
                                      3 + 3;
    const std::size_t messageContent = 3 + TlvSize(globalContent) + security + data;
    if (messageContent > kMaxMessage || TlvSize(messageContent) > capacity) return 0;
    const std::size_t total = TlvSize(messageContent);

    Writer w(out);
    w.Header(0x30, messageContent);
    w.Integer(3);
    w.Header(0x30, globalContent);
    w.Integer(static_cast<std::uint32_t>(input.msgId));
    w.Integer(static_cast<std::uint32_t>(input.msgMaxSize));
    const std::uint8_t flags = static_cast<std::uint8_t>((auth ? kFlagAuth : 0) | (priv ? kFlagPriv : 0) |
                                                         (input.reportable ? kFlagReportable : 0));
    w.String(ByteSpan(&flags, 1));
    w.Integer(static_cast<std::uint32_t>(kUsmSecurityModel));
    w.Header(0x04, TlvSize(usmContent));
    w.Header(0x30, usmContent);
    w.String(input.engineId);
    w.Integer(input.engineBoots);
    w.Integer(input.engineTime);
    w.String(input.userName);
    w.Header(0x04, digestLength);
    const std::size_t digestAt = static_cast<std::size_t>(w.At() - out);
    std::memset(w.At(), 0, digestLength);  // the digest goes here once the rest is written
    Writer after(w.At() + digestLength);
    after.String(priv ? ByteSpan(input.salt) : ByteSpan());

    if (!priv) {
        after.Header(0x30, scopedContent);
        after.String(input.contextEngineId);
        after.String(input.contextName);
        after.Octets(input.pdu);
    } else {
        std::vector<std::uint8_t> plain(scoped);
        Writer p(plain.data());
        p.Header(0x30, scopedContent);
        p.String(input.contextEngineId);
        p.String(input.contextName);
        p.Octets(input.pdu);
        after.Header(0x04, cipherLength);
        const std::size_t cipherAt = static_cast<std::size_t>(after.At() - out);
        if (EncryptScopedPdu(input.keys->priv, input.keys->privKey, input.engineBoots, input.engineTime, input.salt,
                             plain, out + cipherAt, capacity - cipherAt) != cipherLength)
            return 0;
    }
    if (auth && !ComputeDigest(input.keys->auth, input.keys->authKey, ByteSpan(out, total), digestAt, digestLength,
                               out + digestAt))
        return 0;
    return total;
}

}  // namespace quillet
