// The vocabulary of the User-based Security Model (RFC 3414, RFC 7860,
// RFC 3826): the authentication and privacy protocols the console speaks,
// the security levels, the limits of the USM fields and the key type.
//
// The protocols are those net-snmp 5.9 offers: auth MD5, SHA (SHA-1),
// SHA-224, SHA-256, SHA-384, SHA-512; priv DES, AES (128), AES-192, AES-256.
// AES-192 and AES-256 come with either key extension net-snmp knows (Keys.h):
// its "AES-192"/"AES-256" (Blumenthal) and "AES-192-C"/"AES-256-C" (Reeder).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quillet {

using ByteSpan = std::span<const std::uint8_t>;

enum class AuthProtocol : std::uint8_t { None, Md5, Sha1, Sha224, Sha256, Sha384, Sha512 };
enum class PrivProtocol : std::uint8_t { None, Des, Aes128, Aes192, Aes256 };

// How a localised privacy key shorter than AES-192's or AES-256's key is
// made long enough (Keys.h). Nothing else is ever extended.
enum class KeyExtension : std::uint8_t { Blumenthal, Reeder };

// The order matters: a level includes everything of the levels below it.
enum class SecurityLevel : std::uint8_t { NoAuthNoPriv, AuthNoPriv, AuthPriv };

// msgFlags bits (RFC 3412 6).
constexpr std::uint8_t kFlagAuth = 0x01;
constexpr std::uint8_t kFlagPriv = 0x02;
constexpr std::uint8_t kFlagReportable = 0x04;

constexpr std::int32_t kUsmSecurityModel = 3;
// SnmpEngineID is 5..32 octets; an empty one is what discovery sends.
constexpr std::size_t kMinEngineIdLength = 5;
constexpr std::size_t kMaxEngineIdLength = 32;
// SnmpAdminString of a user name: 1..32 octets (RFC 3414 2.4).
constexpr std::size_t kMaxUserNameLength = 32;
// Both privacy protocols carry an 8-octet salt in msgPrivacyParameters.
constexpr std::size_t kSaltLength = 8;
// The longest hash output (SHA-512), and so the longest key.
constexpr std::size_t kMaxKeyLength = 64;
// The longest truncated digest (HMAC-SHA-512, 48 octets).
constexpr std::size_t kMaxDigestLength = 48;
// engineBoots and engineTime run 0..2^31-1; boots at the top means the
// engine must be reconfigured, and no message to it is in time (RFC 3414 2.2.3).
constexpr std::uint32_t kMaxEngineCounter = 0x7FFFFFFF;

// A key: master (Ku), localised (Kul) or privacy key, up to 64 octets.
// Every copy wipes its octets when it ends (OPENSSL_cleanse), so no key
// outlives the object that held it; an assignment overwrites all 64.
struct UsmKey {
    std::array<std::uint8_t, kMaxKeyLength> octets{};
    std::size_t length = 0;

    UsmKey() = default;
    UsmKey(const UsmKey&) = default;
    UsmKey& operator=(const UsmKey&) = default;
    ~UsmKey();
    ByteSpan Span() const { return {octets.data(), length}; }
};

// Output length of the protocol's hash: 16, 20, 28, 32, 48, 64; 0 for None.
std::size_t HashLength(AuthProtocol protocol);
// Length of msgAuthenticationParameters, the HMAC truncated: 12 for MD5 and
// SHA-1 (RFC 3414), 16/24/32/48 for SHA-224/256/384/512 (RFC 7860); 0 for None.
std::size_t DigestLength(AuthProtocol protocol);
// Octets of localised key the cipher uses: DES 16 (8 key, 8 pre-IV),
// AES-128 16, AES-192 24, AES-256 32; 0 for None.
std::size_t PrivKeyLength(PrivProtocol protocol);

// Names as net-snmp's -a and -x options spell them ("SHA-256", "AES-192",
// with the Reeder extension "AES-192-C"), for the window's choices and the
// log. The extension names only AES-192 and AES-256.
const char* AuthProtocolName(AuthProtocol protocol);
const char* PrivProtocolName(PrivProtocol protocol, KeyExtension extension = KeyExtension::Blumenthal);
// Whether the protocol's key can be longer than a hash gives, so that the
// extension matters (AES-192, AES-256).
bool IsExtensible(PrivProtocol protocol);

}  // namespace quillet
