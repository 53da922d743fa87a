// The one place that reaches into libcrypto (OpenSSL 3) for the hashes,
// HMAC and ciphers of the security model; the rest of the folder calls
// these and never names an OpenSSL algorithm itself.
//
// Algorithms are fetched once, from a library context of our own that has
// OpenSSL's default provider and its legacy provider loaded: OpenSSL 3 keeps
// single DES (DES-CBC) only in the legacy provider, and loading that into
// the process's default context would change what every other user of
// libcrypto in the process gets. When the legacy provider cannot be loaded
// (its module missing, a FIPS-only configuration) DES is simply unavailable:
// UsmCipher returns null and DES encryption and decryption fail; everything
// else still works. Fetched algorithms are shared read-only by all threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "snmpv3/UsmTypes.h"

typedef struct evp_md_st EVP_MD;
typedef struct evp_cipher_st EVP_CIPHER;

namespace quillet {

// The hash of the protocol; null for None or when libcrypto has none.
const EVP_MD* UsmDigest(AuthProtocol protocol);
// DES-CBC, AES-128-CFB, AES-192-CFB or AES-256-CFB (full-block, 128-bit
// feedback); null for None or when unavailable.
const EVP_CIPHER* UsmCipher(PrivProtocol protocol);

// One part of a message for HmacParts: `length` octets at `data`, or, when
// `data` is null, `length` zero octets.
struct HmacPart {
    const std::uint8_t* data;
    std::size_t length;
};

// HMAC with the protocol's hash over the parts in order, written whole
// (HashLength octets) to `out`. False when libcrypto fails or the protocol
// is None.
bool HmacParts(AuthProtocol protocol, ByteSpan key, const HmacPart* parts, std::size_t count, std::uint8_t* out);

// The protocol's hash over the parts in order, written to `out`
// (HashLength octets). False on failure.
bool HashParts(AuthProtocol protocol, const HmacPart* parts, std::size_t count, std::uint8_t* out);

// Octets from libcrypto's random generator; false when it fails.
bool RandomOctets(std::uint8_t* out, std::size_t length);

// Overwrites `length` octets at `data` with zeros in a way the compiler
// does not remove (OPENSSL_cleanse): for keys and pass phrases that are
// done with. A null `data` does nothing.
void WipeOctets(void* data, std::size_t length);

// Wipes the whole buffer of `text` (its capacity, so a pass phrase held in
// the string object itself is wiped too) and leaves it empty.
void WipeString(std::string& text);

}  // namespace quillet
