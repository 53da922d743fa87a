#include "snmpv3/Libcrypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <array>
#include <cstring>

namespace quillet {
namespace {

// Everything fetched, made once on first use (a function-local static, so
// the first use from any thread is safe) and kept for the process's life.
struct Algorithms {
    OSSL_LIB_CTX* context = nullptr;
    std::array<EVP_MD*, 7> digests{};        // by AuthProtocol
    std::array<EVP_CIPHER*, 5> ciphers{};    // by PrivProtocol
    EVP_MAC* hmac = nullptr;

    Algorithms() {
        context = OSSL_LIB_CTX_new();
        if (context == nullptr) return;
        if (OSSL_PROVIDER_load(context, "default") == nullptr) return;
        const bool legacy = OSSL_PROVIDER_load(context, "legacy") != nullptr;
        static constexpr const char* kDigests[] = {nullptr, "MD5", "SHA1", "SHA2-224", "SHA2-256", "SHA2-384",
                                                    "SHA2-512"};
        for (std::size_t i = 1; i < digests.size(); ++i) digests[i] = EVP_MD_fetch(context, kDigests[i], nullptr);
        if (legacy) ciphers[1] = EVP_CIPHER_fetch(context, "DES-CBC", nullptr);
        ciphers[2] = EVP_CIPHER_fetch(context, "AES-128-CFB", nullptr);
        ciphers[3] = EVP_CIPHER_fetch(context, "AES-192-CFB", nullptr);
        ciphers[4] = EVP_CIPHER_fetch(context, "AES-256-CFB", nullptr);
        hmac = EVP_MAC_fetch(context, "HMAC", nullptr);
    }
};

const Algorithms& Fetched() {
    static const Algorithms algorithms;
    return algorithms;
}

const char* DigestName(AuthProtocol protocol) {
    switch (protocol) {
    case AuthProtocol::Md5: return "MD5";
    case AuthProtocol::Sha1: return "SHA1";
    case AuthProtocol::Sha224: return "SHA2-224";
    case AuthProtocol::Sha256: return "SHA2-256";
    case AuthProtocol::Sha384: return "SHA2-384";
    case AuthProtocol::Sha512: return "SHA2-512";
    case AuthProtocol::None: break;
    }
    return nullptr;
}

}  // namespace

const EVP_MD* UsmDigest(AuthProtocol protocol) {
    const auto index = static_cast<std::size_t>(protocol);
    return index < Fetched().digests.size() ? Fetched().digests[index] : nullptr;
}

const EVP_CIPHER* UsmCipher(PrivProtocol protocol) {
    const auto index = static_cast<std::size_t>(protocol);
    return index < Fetched().ciphers.size() ? Fetched().ciphers[index] : nullptr;
}

bool HmacParts(AuthProtocol protocol, ByteSpan key, const HmacPart* parts, std::size_t count, std::uint8_t* out) {
    const char* name = DigestName(protocol);
    if (name == nullptr || Fetched().hmac == nullptr || UsmDigest(protocol) == nullptr) return false;
    EVP_MAC_CTX* mac = EVP_MAC_CTX_new(Fetched().hmac);
    if (mac == nullptr) return false;
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(name), 0),
        OSSL_PARAM_construct_end(),
    };
    static constexpr std::uint8_t kZeros[64] = {};
    bool ok = EVP_MAC_init(mac, key.data(), key.size(), params) == 1;
    for (std::size_t i = 0; ok && i < count; ++i) {
        if (parts[i].data != nullptr) {
            ok = EVP_MAC_update(mac, parts[i].data, parts[i].length) == 1;
            continue;
        }
        for (std::size_t left = parts[i].length; ok && left > 0;) {
            const std::size_t n = left < sizeof kZeros ? left : sizeof kZeros;
            ok = EVP_MAC_update(mac, kZeros, n) == 1;
            left -= n;
        }
    }
    std::size_t written = 0;
    ok = ok && EVP_MAC_final(mac, out, &written, HashLength(protocol)) == 1 && written == HashLength(protocol);
    EVP_MAC_CTX_free(mac);
    return ok;
}

bool HashParts(AuthProtocol protocol, const HmacPart* parts, std::size_t count, std::uint8_t* out) {
    const EVP_MD* md = UsmDigest(protocol);
    if (md == nullptr) return false;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr) return false;
    bool ok = EVP_DigestInit_ex(context, md, nullptr) == 1;
    for (std::size_t i = 0; ok && i < count; ++i) ok = EVP_DigestUpdate(context, parts[i].data, parts[i].length) == 1;
    unsigned int written = 0;
    ok = ok && EVP_DigestFinal_ex(context, out, &written) == 1 && written == HashLength(protocol);
    EVP_MD_CTX_free(context);
    return ok;
}

bool RandomOctets(std::uint8_t* out, std::size_t length) {
    return length == 0 || RAND_bytes_ex(Fetched().context, out, length, 0) == 1;
}

void WipeOctets(void* data, std::size_t length) {
    if (data != nullptr && length > 0) OPENSSL_cleanse(data, length);
}

void WipeString(std::string& text) {
    WipeOctets(text.data(), text.capacity());
    text.clear();
}

}  // namespace quillet
