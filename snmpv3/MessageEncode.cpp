#include "snmpv3/MessageEncode.h"

#include <vector>

#include "snmpv3/Auth.h"
#include "text/BerTags.h"
#include "text/BerWriter.h"

namespace quillet {
namespace {

constexpr std::size_t kMaxMessage = 0xFFFF;

// ScopedPDU { contextEngineID, contextName, PDU as the caller encoded it }.
void WriteScopedPdu(BerWriter& writer, const V3MessageInput& input) {
    const BerWriter::Container scoped = writer.Open(kSequenceTag);
    writer.Element(kOctetStringTag, input.contextEngineId);
    writer.Element(kOctetStringTag, input.contextName);
    writer.Octets(input.pdu);
    writer.Close(scoped);
}

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

    // The writer fails a content above 65,535 octets, as no UDP datagram
    // carries it.
    BerWriter writer(out, capacity);
    const BerWriter::Container message = writer.Open(kSequenceTag);
    writer.Integer(3);
    const BerWriter::Container global = writer.Open(kSequenceTag);
    writer.Integer(input.msgId);
    writer.Integer(input.msgMaxSize);
    const std::uint8_t flags = static_cast<std::uint8_t>((auth ? kFlagAuth : 0) | (priv ? kFlagPriv : 0) |
                                                         (input.reportable ? kFlagReportable : 0));
    writer.Element(kOctetStringTag, ByteSpan(&flags, 1));
    writer.Integer(kUsmSecurityModel);
    writer.Close(global);
    const BerWriter::Container security = writer.Open(kOctetStringTag);
    const BerWriter::Container usm = writer.Open(kSequenceTag);
    writer.Element(kOctetStringTag, input.engineId);
    writer.Integer(input.engineBoots);
    writer.Integer(input.engineTime);
    writer.Element(kOctetStringTag, input.userName);
    writer.Header(kOctetStringTag, digestLength);
    // Zeros until the whole message is written: the digest is computed over
    // the message with its own field zeroed.
    const std::size_t digestMark = writer.Mark();
    writer.Claim(digestLength);
    writer.Element(kOctetStringTag, priv ? ByteSpan(input.salt) : ByteSpan());
    writer.Close(usm);
    writer.Close(security);

    if (!priv) {
        WriteScopedPdu(writer, input);
    } else {
        // The scoped PDU in the clear, then in the message as the encryptedPDU
        // OCTET STRING. Its two names hold at most 32 octets each.
        std::vector<std::uint8_t> plain(input.pdu.size() + 2 * (2 + kMaxEngineIdLength) + 4);
        BerWriter clear(plain.data(), plain.size());
        WriteScopedPdu(clear, input);
        const std::size_t plainLength = clear.Finish();
        if (plainLength == 0) return 0;
        const std::size_t cipherLength = EncryptedLength(input.keys->priv, plainLength);
        writer.Header(kOctetStringTag, cipherLength);
        std::uint8_t* cipher = writer.Claim(cipherLength);
        if (cipher == nullptr ||
            EncryptScopedPdu(input.keys->priv, input.keys->privKey, input.engineBoots, input.engineTime, input.salt,
                             ByteSpan(plain.data(), plainLength), cipher, cipherLength) != cipherLength)
            return 0;
    }
    writer.Close(message);
    const std::size_t total = writer.Finish();
    if (total == 0) return 0;
    const std::size_t digestAt = writer.MarkedPosition(digestMark);
    if (auth && !ComputeDigest(input.keys->auth, input.keys->authKey, ByteSpan(out, total), digestAt, digestLength,
                               out + digestAt))
        return 0;
    return total;
}

std::size_t BuildDiscovery(std::int32_t msgId, std::int32_t requestId, std::uint8_t* out, std::size_t capacity) {
    // GetRequest-PDU { request-id, 0, 0, {} }, shortest lengths, as snmpget
    // sends it.
    std::uint8_t pdu[16];
    BerWriter writer(pdu, sizeof pdu);
    const BerWriter::Container request = writer.Open(kGetRequestTag);
    writer.Integer(requestId);
    writer.Integer(0);  // error-status
    writer.Integer(0);  // error-index
    writer.Close(writer.Open(kSequenceTag));
    writer.Close(request);
    V3MessageInput input;
    input.msgId = msgId;
    input.level = SecurityLevel::NoAuthNoPriv;
    input.reportable = true;
    input.pdu = ByteSpan(pdu, writer.Finish());
    return EncodeV3Message(input, out, capacity);
}

}  // namespace quillet
