// The users the console knows, and their keys for one engine.
//
// A user is made from its secrets: pass phrases, master keys (Ku, as
// net-snmp's -3m/-3M take them) or keys localised to one engine (Kul, as
// -3k/-3K take them). Pass phrases and master keys give master keys, which
// are localised to each engine the user meets (one short hash); a user with
// a localised key has all its keys for that one engine. The table is filled
// before a listener reads it and not changed while one does; its keys are
// wiped when it ends (UsmKey).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "snmpv3/UsmTypes.h"

namespace quillet {

class ReederKeyCache;

struct UsmUser {
    std::string name;  // 1..32 octets
    // The level the user's requests go at, and the least level a
    // notification of the user is to be taken at. At most HighestLevel.
    SecurityLevel level = SecurityLevel::NoAuthNoPriv;
    AuthProtocol auth = AuthProtocol::None;
    PrivProtocol priv = PrivProtocol::None;  // None whenever auth is None
    KeyExtension extension = KeyExtension::Blumenthal;  // for AES-192 and AES-256
    // Empty for a user of master keys. Otherwise the engine the keys below
    // are localised to.
    std::vector<std::uint8_t> keysEngineId;
    UsmKey authKey;  // Ku, or Kul for keysEngineId
    UsmKey privKey;  // Ku of the privacy secret, or the cipher's key (MakePrivKey) for keysEngineId
    // The Reeder privacy keys of the last engines met, for a user of master
    // keys whose key is extended that way (MakeUser makes it): each costs a
    // million octets hashed (0.7 ms with SHA-1, 1.8 ms with MD5), once per
    // engine instead of once per message. Shared by the copies of the user
    // and safe to use from any thread; null: computed every time.
    std::shared_ptr<ReederKeyCache> reederKeys;
};

// A user's keys for one engine, as the message code uses them.
struct UsmLocalKeys {
    AuthProtocol auth = AuthProtocol::None;
    PrivProtocol priv = PrivProtocol::None;
    UsmKey authKey;  // Kul, HashLength(auth) octets
    UsmKey privKey;  // the cipher's key, PrivKeyLength(priv) octets
};

// The highest level a user can use; it can use every lower one too.
SecurityLevel HighestLevel(const UsmUser& user);

// What a secret typed for a user is.
enum class KeyKind : std::uint8_t {
    PassPhrase,    // 8 characters or more
    MasterKey,     // Ku in hex, HashLength(auth) octets (-3m, -3M)
    LocalizedKey,  // Kul in hex for UsmUserProfile::keysEngineId (-3k, -3K)
};

// A user as the operator sets it, its secrets aside: what may be kept in a
// file. Protocols the level does not use are kept but not used.
struct UsmUserProfile {
    std::string name;
    SecurityLevel level = SecurityLevel::AuthPriv;
    AuthProtocol auth = AuthProtocol::Sha256;
    PrivProtocol priv = PrivProtocol::Aes128;
    KeyExtension extension = KeyExtension::Blumenthal;
    KeyKind authKind = KeyKind::PassPhrase;
    KeyKind privKind = KeyKind::PassPhrase;
    // The engine a localised key is for; used only when a kind in use is
    // LocalizedKey.
    std::vector<std::uint8_t> keysEngineId;

    bool operator==(const UsmUserProfile&) const = default;
};

// Whether the profile's level needs a secret for authentication, and one
// for privacy.
bool NeedsAuthSecret(const UsmUserProfile& profile);
bool NeedsPrivSecret(const UsmUserProfile& profile);

// The user the profile describes, from its secrets as typed: a pass phrase,
// or a key in hex (blanks and colons between octets and a leading "0x"
// allowed), as the profile's kinds say; secrets the level does not use are
// ignored. When a kind in use is LocalizedKey the user's keys are all for
// profile.keysEngineId (a pass phrase or master key given beside it is
// localised to it). The privacy secret is hashed with the authentication
// protocol's hash, as every USM peer does. False, with a sentence for the
// operator in Japanese in `error`, for a name of 0 or more than 32 octets, a
// pass phrase under 8 characters, a key that is not hex or of the wrong
// length for its protocol, an engine ID that is not 5 to 32 octets, or a
// failure of libcrypto.
bool MakeUser(const UsmUserProfile& profile, std::string_view authSecret, std::string_view privSecret, UsmUser& user,
              std::string& error);

// A user from pass phrases at its highest level. `priv` needs `auth`; pass
// phrases of protocols that are None are ignored. False, with a text for
// the operator in `error`, as MakeUser.
bool MakeUserFromPassPhrases(std::string_view name, AuthProtocol auth, std::string_view authPassPhrase,
                             PrivProtocol priv, std::string_view privPassPhrase, UsmUser& user, std::string& error);

// A user from keys localised to `engineId`, at its highest level:
// `authKul` of HashLength(auth) octets and `privKey` of PrivKeyLength(priv)
// octets, or a localised privacy key of HashLength(auth) octets that is then
// cut or extended as MakePrivKey does with `extension`. False, with a text
// in `error`, when a length does not fit or the engine ID is not 5..32
// octets.
bool MakeUserFromLocalizedKeys(std::string_view name, AuthProtocol auth, ByteSpan authKul, PrivProtocol priv,
                               ByteSpan privKey, ByteSpan engineId, UsmUser& user, std::string& error,
                               KeyExtension extension = KeyExtension::Blumenthal);

// Octets from hex text: pairs of 0-9, a-f, A-F, with blanks or colons
// allowed between them and an optional leading "0x". False, with `length`
// 0, for any other character, an odd digit, or more than `capacity` octets.
bool ParseHexOctets(std::string_view text, std::uint8_t* out, std::size_t capacity, std::size_t& length);

// The user's keys for `engineId`: localised now for a user of master keys,
// as they are for a user of localised keys made for that engine. False for
// a user whose keys are for another engine, or a failure of libcrypto.
bool LocalKeysFor(const UsmUser& user, ByteSpan engineId, UsmLocalKeys& keys);

class UsmUserTable {
public:
    // Adds the user; one of the same name and the same keysEngineId is replaced.
    void Add(UsmUser user);
    // The user named `name` whose keys serve `engineId`: one of localised
    // keys for exactly that engine first, else the master-key user of that
    // name; null when there is none.
    const UsmUser* Find(ByteSpan name, ByteSpan engineId) const;
    // The first user named `name`, whatever its keys serve; null when none.
    const UsmUser* Named(std::string_view name) const;
    bool Empty() const { return users_.empty(); }
    const std::vector<UsmUser>& Users() const { return users_; }

private:
    std::vector<UsmUser> users_;
};

}  // namespace quillet
