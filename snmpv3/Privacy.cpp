#include "snmpv3/Privacy.h"

#include <openssl/evp.h>

#include <cstring>

#include "snmpv3/Libcrypto.h"

namespace quillet {
namespace {

constexpr std::size_t kDesBlock = 8;

void PutBigEndian32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// Runs the cipher over `length` octets of `in` into `out` (the same length;
// padding is ours, never libcrypto's).
bool RunCipher(PrivProtocol protocol, const std::uint8_t* key, const std::uint8_t* iv, bool encrypt,
               const std::uint8_t* in, std::size_t length, std::uint8_t* out) {
    const EVP_CIPHER* cipher = UsmCipher(protocol);
    if (cipher == nullptr || length > static_cast<std::size_t>(INT32_MAX)) return false;
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    if (context == nullptr) return false;
    int written = 0;
    int last = 0;
    bool ok = EVP_CipherInit_ex2(context, cipher, key, iv, encrypt ? 1 : 0, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
              EVP_CipherUpdate(context, out, &written, in, static_cast<int>(length)) == 1 &&
              EVP_CipherFinal_ex(context, out + written, &last) == 1 &&
              static_cast<std::size_t>(written + last) == length;
    EVP_CIPHER_CTX_free(context);
    return ok;
}

// The IV of the message: DES pre-IV XOR salt; AES boots || time || salt.
void MakeIv(PrivProtocol protocol, const UsmKey& privKey, std::uint32_t boots, std::uint32_t time,
            const std::uint8_t* salt, std::uint8_t (&iv)[16]) {
    if (protocol == PrivProtocol::Des) {
        for (std::size_t i = 0; i < kDesBlock; ++i) iv[i] = privKey.octets[kDesBlock + i] ^ salt[i];
        return;
    }
    PutBigEndian32(iv, boots);
    PutBigEndian32(iv + 4, time);
    std::memcpy(iv + 8, salt, kSaltLength);
}

}  // namespace

std::size_t EncryptedLength(PrivProtocol protocol, std::size_t plainLength) {
    switch (protocol) {
    case PrivProtocol::Des: return (plainLength + kDesBlock - 1) / kDesBlock * kDesBlock;
    case PrivProtocol::Aes128:
    case PrivProtocol::Aes192:
    case PrivProtocol::Aes256: return plainLength;
    case PrivProtocol::None: break;
    }
    return 0;
}

std::size_t EncryptScopedPdu(PrivProtocol protocol, const UsmKey& privKey, std::uint32_t engineBoots,
                             std::uint32_t engineTime, const Salt& salt, ByteSpan plain, std::uint8_t* out,
                             std::size_t capacity) {
    const std::size_t length = EncryptedLength(protocol, plain.size());
    if (length == 0 || privKey.length != PrivKeyLength(protocol) || length > capacity) return 0;
    std::uint8_t iv[16] = {};
    MakeIv(protocol, privKey, engineBoots, engineTime, salt.data(), iv);
    if (protocol != PrivProtocol::Des)
        return RunCipher(protocol, privKey.octets.data(), iv, true, plain.data(), length, out) ? length : 0;
    // The whole blocks straight from the plaintext, then the last block
    // made up with the pad (its octets' value is the pad's length).
    const std::size_t whole = plain.size() / kDesBlock * kDesBlock;
    std::uint8_t padded[kDesBlock];
    const std::size_t pad = length - plain.size();
    std::memcpy(padded, plain.data() + whole, plain.size() - whole);
    std::memset(padded + (plain.size() - whole), static_cast<int>(pad), pad);
    if (whole > 0 && !RunCipher(protocol, privKey.octets.data(), iv, true, plain.data(), whole, out)) return 0;
    if (pad > 0) {
        // CBC goes on from the last ciphertext block.
        const std::uint8_t* chain = whole > 0 ? out + whole - kDesBlock : iv;
        if (!RunCipher(protocol, privKey.octets.data(), chain, true, padded, kDesBlock, out + whole)) return 0;
    }
    return length;
}

std::size_t DecryptScopedPdu(PrivProtocol protocol, const UsmKey& privKey, std::uint32_t engineBoots,
                             std::uint32_t engineTime, ByteSpan privParams, ByteSpan cipher, std::uint8_t* out,
                             std::size_t capacity) {
    if (EncryptedLength(protocol, 1) == 0 || privKey.length != PrivKeyLength(protocol) ||
        privParams.size() != kSaltLength || cipher.empty() || cipher.size() > capacity)
        return 0;
    if (protocol == PrivProtocol::Des && cipher.size() % kDesBlock != 0) return 0;
    std::uint8_t iv[16] = {};
    MakeIv(protocol, privKey, engineBoots, engineTime, privParams.data(), iv);
    return RunCipher(protocol, privKey.octets.data(), iv, false, cipher.data(), cipher.size(), out) ? cipher.size()
                                                                                                  : 0;
}

Salt SaltSource::Next(PrivProtocol protocol, std::uint32_t engineBoots) {
    const std::uint64_t counter = next_++;
    Salt salt{};
    if (protocol == PrivProtocol::Des) {
        PutBigEndian32(salt.data(), engineBoots);
        PutBigEndian32(salt.data() + 4, static_cast<std::uint32_t>(counter));
    } else {
        PutBigEndian32(salt.data(), static_cast<std::uint32_t>(counter >> 32));
        PutBigEndian32(salt.data() + 4, static_cast<std::uint32_t>(counter));
    }
    return salt;
}

}  // namespace quillet
