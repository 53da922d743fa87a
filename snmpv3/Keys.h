// Keys from pass phrases (RFC 3414 A.2, the same algorithm with the SHA-2
// hashes of RFC 7860) and their localisation to one authoritative engine.
//
// A user's pass phrase becomes a master key Ku once (a million octets
// hashed, a few milliseconds); each engine the user talks to then gets its
// localised key Kul = H(Ku || engineID || Ku), one short hash. The privacy
// key is localised the same way, from the privacy pass phrase and with the
// authentication protocol's hash.
#pragma once

#include <cstddef>
#include <string_view>

#include "snmpv3/UsmTypes.h"

namespace quillet {

// net-snmp refuses shorter pass phrases (RFC 3414 11.2 asks for at least
// 8), so no agent it configured holds one.
constexpr std::size_t kMinPassPhraseLength = 8;

// Ku: the hash of 1,048,576 octets of the pass phrase repeated, HashLength
// octets. False, leaving `ku` empty, for None, a pass phrase shorter than
// kMinPassPhraseLength, or a failure of libcrypto.
bool PasswordToKey(AuthProtocol protocol, std::string_view passPhrase, UsmKey& ku);

// Kul = H(Ku || engineID || Ku), HashLength octets. False, leaving `kul`
// empty, for None, a master key of the wrong length for the protocol, an
// engine ID longer than 32 octets, or a failure of libcrypto.
bool LocalizeKey(AuthProtocol protocol, const UsmKey& ku, ByteSpan engineId, UsmKey& kul);

// The privacy key a cipher uses, from a privacy key localised with `auth`'s
// hash to `engineId`: the first PrivKeyLength(priv) octets. AES-192 and
// AES-256 need more than MD5 (16), SHA-1 (20) and, for AES-256, SHA-224
// (28) give; such a key is extended in one of the two ways net-snmp 5.9
// knows, until it is long enough, then cut:
//   Blumenthal (net-snmp's "AES-192"/"AES-256", draft-blumenthal-aes-usm-04
//   3.1.2.1): Kul = Kul || H(Kul);
//   Reeder (net-snmp's "AES-192-C"/"AES-256-C", as in draft-reeder-snmpv3-
//   usm-3desede-00 2.1): Kul = Kul || Kul', Kul' being Kul taken as a pass
//   phrase (PasswordToKey) and localised to `engineId`.
// Both hash the whole key as grown so far. `engineId` is used only by
// Reeder. False, leaving `key` empty, when `auth` or `priv` is None, `kul`
// is not HashLength(auth) octets, or libcrypto fails.
bool MakePrivKey(AuthProtocol auth, PrivProtocol priv, KeyExtension extension, const UsmKey& kul, ByteSpan engineId,
                 UsmKey& key);

}  // namespace quillet
