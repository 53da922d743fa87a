#include "snmpv3/Keys.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "snmpv3/Libcrypto.h"

namespace quillet {
namespace {

constexpr std::size_t kExpandedLength = 1048576;  // 2^20 octets, RFC 3414 A.2
constexpr std::size_t kChunk = 1024;              // hashed at a time: 1024 updates in all

}  // namespace

bool PasswordToKey(AuthProtocol protocol, std::string_view passPhrase, UsmKey& ku) {
    ku = UsmKey{};
    if (HashLength(protocol) == 0 || passPhrase.size() < kMinPassPhraseLength) return false;
    // The expanded stream at offset p is passPhrase[p % n]. A buffer of the
    // pass phrase repeated over kChunk + n octets holds every chunk of it:
    // the chunk at offset o starts at o % n.
    const std::size_t n = passPhrase.size();
    std::vector<std::uint8_t> repeated(kChunk + n);
    for (std::size_t i = 0; i < repeated.size(); ++i) repeated[i] = static_cast<std::uint8_t>(passPhrase[i % n]);
    std::vector<HmacPart> parts;
    parts.reserve(kExpandedLength / kChunk);
    for (std::size_t offset = 0; offset < kExpandedLength; offset += kChunk)
        parts.push_back({repeated.data() + offset % n, kChunk});
    const bool hashed = HashParts(protocol, parts.data(), parts.size(), ku.octets.data());
    WipeOctets(repeated.data(), repeated.size());
    if (!hashed) return false;
    ku.length = HashLength(protocol);
    return true;
}

bool LocalizeKey(AuthProtocol protocol, const UsmKey& ku, ByteSpan engineId, UsmKey& kul) {
    kul = UsmKey{};
    const std::size_t length = HashLength(protocol);
    if (length == 0 || ku.length != length || engineId.size() > kMaxEngineIdLength) return false;
    const HmacPart parts[] = {{ku.octets.data(), ku.length}, {engineId.data(), engineId.size()},
                              {ku.octets.data(), ku.length}};
    if (!HashParts(protocol, parts, 3, kul.octets.data())) return false;
    kul.length = length;
    return true;
}

bool MakePrivKey(AuthProtocol auth, PrivProtocol priv, KeyExtension extension, const UsmKey& kul, ByteSpan engineId,
                 UsmKey& key) {
    key = UsmKey{};
    const std::size_t need = PrivKeyLength(priv);
    const std::size_t hash = HashLength(auth);
    if (need == 0 || hash == 0 || kul.length != hash) return false;
    UsmKey grown = kul;
    // Only the two longer AES keys are extended (net-snmp's keytools extend
    // for nothing else); every hash gives at least the 16 octets of DES and
    // AES-128.
    while (grown.length < need) {
        UsmKey next;
        if (extension == KeyExtension::Reeder) {
            UsmKey ku;
            const std::string_view asPassPhrase(reinterpret_cast<const char*>(grown.octets.data()), grown.length);
            if (!PasswordToKey(auth, asPassPhrase, ku) || !LocalizeKey(auth, ku, engineId, next)) return false;
        } else {
            const HmacPart whole{grown.octets.data(), grown.length};
            if (!HashParts(auth, &whole, 1, next.octets.data())) return false;
        }
        const std::size_t take = std::min(hash, grown.octets.size() - grown.length);
        std::memcpy(grown.octets.data() + grown.length, next.octets.data(), take);
        grown.length += take;
    }
    key = grown;
    key.length = need;
    return true;
}

}  // namespace quillet
