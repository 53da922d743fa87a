#include "snmpv3/Auth.h"

#include <openssl/crypto.h>

#include <cstring>

#include "snmpv3/Libcrypto.h"

namespace quillet {

bool ComputeDigest(AuthProtocol protocol, const UsmKey& kul, ByteSpan message, std::size_t paramsAt,
                   std::size_t paramsLength, std::uint8_t* digest) {
    const std::size_t length = DigestLength(protocol);
    if (length == 0 || paramsLength != length || kul.length != HashLength(protocol) || paramsAt > message.size() ||
        message.size() - paramsAt < length)
        return false;
    const HmacPart parts[] = {
        {message.data(), paramsAt},
        {nullptr, length},
        {message.data() + paramsAt + length, message.size() - paramsAt - length},
    };
    std::uint8_t full[kMaxKeyLength];
    if (!HmacParts(protocol, kul.Span(), parts, 3, full)) return false;
    std::memcpy(digest, full, length);
    return true;
}

bool VerifyDigest(AuthProtocol protocol, const UsmKey& kul, ByteSpan message, std::size_t paramsAt,
                  std::size_t paramsLength) {
    std::uint8_t expected[kMaxDigestLength];
    if (!ComputeDigest(protocol, kul, message, paramsAt, paramsLength, expected)) return false;
    return CRYPTO_memcmp(expected, message.data() + paramsAt, paramsLength) == 0;
}

}  // namespace quillet
