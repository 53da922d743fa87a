// Privacy: the encryption of the scoped PDU with DES-CBC (RFC 3414 8.1) or
// AES in 128-bit CFB mode (RFC 3826; AES-192 and AES-256 likewise, with the
// longer keys of MakePrivKey).
//
//   DES  key = privKey[0..8), pre-IV = privKey[8..16), salt = engineBoots (4
//        octets) || a local 32-bit counter, IV = pre-IV XOR salt; the
//        plaintext is padded to a multiple of 8 octets.
//   AES  key = privKey, IV = engineBoots (4) || engineTime (4) || salt (8).
// In both, msgPrivacyParameters carries the 8-octet salt, and engineBoots
// and engineTime are those of the message's authoritative engine, as the
// message says them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "snmpv3/UsmTypes.h"

namespace quillet {

using Salt = std::array<std::uint8_t, kSaltLength>;

// The ciphertext length for `plainLength` octets: DES rounds up to a
// multiple of 8, AES keeps the length; 0 for None.
std::size_t EncryptedLength(PrivProtocol protocol, std::size_t plainLength);

// Encrypts `plain` into `out` (EncryptedLength octets, which `capacity` must
// hold) and returns that length, or 0 on failure: None, a key not
// PrivKeyLength long, an empty plaintext, too small an output, DES without
// libcrypto's legacy provider, or a failure of libcrypto. DES pads with
// octets whose value is the pad's length, as net-snmp does; receivers ignore
// the pad. `out` and `plain` must not overlap.
std::size_t EncryptScopedPdu(PrivProtocol protocol, const UsmKey& privKey, std::uint32_t engineBoots,
                             std::uint32_t engineTime, const Salt& salt, ByteSpan plain, std::uint8_t* out,
                             std::size_t capacity);

// Decrypts `cipher` with the salt in `privParams` into `out` and returns the
// plaintext length (the cipher's, DES padding included), or 0: privacy
// parameters not 8 octets, an empty ciphertext, a DES ciphertext whose
// length is not a multiple of 8, too small an output, or the failures of
// EncryptScopedPdu. A wrong key is not seen here: it gives plaintext that
// does not parse, which the caller counts as a decryption error.
std::size_t DecryptScopedPdu(PrivProtocol protocol, const UsmKey& privKey, std::uint32_t engineBoots,
                             std::uint32_t engineTime, ByteSpan privParams, ByteSpan cipher, std::uint8_t* out,
                             std::size_t capacity);

// Where salts come from: a 64-bit counter started at a random value, as RFC
// 3826 3.1.2.1 asks of AES (an IV is never used twice with one key while
// the counter runs through 2^64 values), and whose low 32 bits are the
// local counter of the DES salt. Not thread-safe: one per sending thread.
class SaltSource {
public:
    // Starts at `start`: a random value (the caller refuses to encrypt
    // while it has none), or a fixed one in tests.
    explicit SaltSource(std::uint64_t start) : next_(start) {}

    // The next salt for `protocol`: for DES engineBoots || counter (32 bits),
    // for AES the 64-bit counter, both big-endian.
    Salt Next(PrivProtocol protocol, std::uint32_t engineBoots);

private:
    std::uint64_t next_;
};

}  // namespace quillet
