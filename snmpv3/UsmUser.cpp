#include "snmpv3/UsmUser.h"

#include <algorithm>
#include <cstring>

#include "snmpv3/Keys.h"

namespace quillet {
namespace {

bool SameOctets(ByteSpan a, ByteSpan b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); }

ByteSpan NameOctets(const std::string& name) {
    return {reinterpret_cast<const std::uint8_t*>(name.data()), name.size()};
}

bool CheckNameAndProtocols(std::string_view name, AuthProtocol auth, PrivProtocol priv, std::string& error) {
    if (name.empty() || name.size() > kMaxUserNameLength) {
        error = "the user name must have 1 to 32 characters";
        return false;
    }
    if (auth == AuthProtocol::None && priv != PrivProtocol::None) {
        error = "privacy needs an authentication protocol";
        return false;
    }
    return true;
}

}  // namespace

SecurityLevel HighestLevel(const UsmUser& user) {
    if (user.auth == AuthProtocol::None) return SecurityLevel::NoAuthNoPriv;
    return user.priv == PrivProtocol::None ? SecurityLevel::AuthNoPriv : SecurityLevel::AuthPriv;
}

bool MakeUserFromPassPhrases(std::string_view name, AuthProtocol auth, std::string_view authPassPhrase,
                             PrivProtocol priv, std::string_view privPassPhrase, UsmUser& user, std::string& error) {
    user = UsmUser{};
    if (!CheckNameAndProtocols(name, auth, priv, error)) return false;
    if (auth != AuthProtocol::None && !PasswordToKey(auth, authPassPhrase, user.authKey)) {
        error = "the authentication pass phrase must have at least 8 characters";
        return false;
    }
    if (priv != PrivProtocol::None && !PasswordToKey(auth, privPassPhrase, user.privKey)) {
        error = "the privacy pass phrase must have at least 8 characters";
        return false;
    }
    user.name = std::string(name);
    user.auth = auth;
    user.priv = priv;
    return true;
}

bool MakeUserFromLocalizedKeys(std::string_view name, AuthProtocol auth, ByteSpan authKul, PrivProtocol priv,
                               ByteSpan privKey, ByteSpan engineId, UsmUser& user, std::string& error) {
    user = UsmUser{};
    if (!CheckNameAndProtocols(name, auth, priv, error)) return false;
    if (engineId.size() < kMinEngineIdLength || engineId.size() > kMaxEngineIdLength) {
        error = "the engine ID must have 5 to 32 octets";
        return false;
    }
    if (auth != AuthProtocol::None) {
        if (authKul.size() != HashLength(auth)) {
            error = "the authentication key has the wrong length for its protocol";
            return false;
        }
        std::memcpy(user.authKey.octets.data(), authKul.data(), authKul.size());
        user.authKey.length = authKul.size();
    }
    if (priv != PrivProtocol::None) {
        UsmKey given;
        std::memcpy(given.octets.data(), privKey.data(), std::min(privKey.size(), given.octets.size()));
        given.length = privKey.size();
        if (privKey.size() == PrivKeyLength(priv)) {
            user.privKey = given;
        } else if (privKey.size() != HashLength(auth) || !MakePrivKey(auth, priv, given, user.privKey)) {
            error = "the privacy key has the wrong length for its protocol";
            return false;
        }
    }
    user.name = std::string(name);
    user.auth = auth;
    user.priv = priv;
    user.keysEngineId.assign(engineId.begin(), engineId.end());
    return true;
}

bool LocalKeysFor(const UsmUser& user, ByteSpan engineId, UsmLocalKeys& keys) {
    keys = UsmLocalKeys{};
    keys.auth = user.auth;
    keys.priv = user.priv;
    if (!user.keysEngineId.empty()) {
        if (!SameOctets(user.keysEngineId, engineId)) return false;
        keys.authKey = user.authKey;
        keys.privKey = user.privKey;
        return true;
    }
    if (user.auth != AuthProtocol::None && !LocalizeKey(user.auth, user.authKey, engineId, keys.authKey)) return false;
    if (user.priv != PrivProtocol::None) {
        UsmKey kul;
        if (!LocalizeKey(user.auth, user.privKey, engineId, kul) ||
            !MakePrivKey(user.auth, user.priv, kul, keys.privKey))
            return false;
    }
    return true;
}

void UsmUserTable::Add(UsmUser user) {
    for (UsmUser& old : users_) {
        if (old.name == user.name && old.keysEngineId == user.keysEngineId) {
            old = std::move(user);
            return;
        }
    }
    users_.push_back(std::move(user));
}

const UsmUser* UsmUserTable::Find(ByteSpan name, ByteSpan engineId) const {
    const UsmUser* general = nullptr;
    for (const UsmUser& user : users_) {
        if (!SameOctets(NameOctets(user.name), name)) continue;
        if (user.keysEngineId.empty()) {
            general = &user;
        } else if (SameOctets(user.keysEngineId, engineId)) {
            return &user;
        }
    }
    return general;
}

}  // namespace quillet
