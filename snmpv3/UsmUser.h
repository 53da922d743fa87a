// The users the console knows, and their keys for one engine.
//
// A user is made from pass phrases (its master keys are computed once, and
// localised to each engine it meets, which costs one short hash), or from
// keys already localised to one engine, as net-snmp's -3k/-3K options give
// them. The table is filled before a listener reads it and not changed
// while one does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "snmpv3/UsmTypes.h"

namespace quillet {

struct UsmUser {
    std::string name;  // 1..32 octets
    AuthProtocol auth = AuthProtocol::None;
    PrivProtocol priv = PrivProtocol::None;  // None whenever auth is None
    // Empty for a user made from pass phrases: the keys below are master
    // keys. Otherwise the engine the keys below are localised to.
    std::vector<std::uint8_t> keysEngineId;
    UsmKey authKey;  // Ku, or Kul for keysEngineId
    UsmKey privKey;  // Ku of the privacy pass phrase, or the cipher's key (MakePrivKey) for keysEngineId
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

// A user from pass phrases. `priv` needs `auth`; pass phrases of protocols
// that are None are ignored. False, with a text for the operator in
// `error`, for a name of 0 or more than 32 octets, priv without auth, or a
// pass phrase shorter than 8 characters.
bool MakeUserFromPassPhrases(std::string_view name, AuthProtocol auth, std::string_view authPassPhrase,
                             PrivProtocol priv, std::string_view privPassPhrase, UsmUser& user, std::string& error);

// A user from keys localised to `engineId`: `authKul` of HashLength(auth)
// octets and `privKey` of PrivKeyLength(priv) octets, or a localised
// privacy key of HashLength(auth) octets that is then cut or extended as
// MakePrivKey does. False, with a text in `error`, when a length does not
// fit or the engine ID is not 5..32 octets.
bool MakeUserFromLocalizedKeys(std::string_view name, AuthProtocol auth, ByteSpan authKul, PrivProtocol priv,
                               ByteSpan privKey, ByteSpan engineId, UsmUser& user, std::string& error);

// The user's keys for `engineId`: localised now for a pass-phrase user, as
// they are for a user of localised keys made for that engine. False for a
// user whose keys are for another engine, or a failure of libcrypto.
bool LocalKeysFor(const UsmUser& user, ByteSpan engineId, UsmLocalKeys& keys);

class UsmUserTable {
public:
    // Adds the user; one of the same name and the same keysEngineId is replaced.
    void Add(UsmUser user);
    // The user named `name` whose keys serve `engineId`: one of localised
    // keys for exactly that engine first, else the pass-phrase user of that
    // name; null when there is none.
    const UsmUser* Find(ByteSpan name, ByteSpan engineId) const;
    bool Empty() const { return users_.empty(); }

private:
    std::vector<UsmUser> users_;
};

}  // namespace quillet
