#include "snmpv3/UsmUser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

#include "snmpv3/Keys.h"

namespace quillet {
namespace {

constexpr const char* kNameError = "ユーザー名は1～32バイトで入力して下さい。";
constexpr const char* kNoAuthProtocolError = "認証プロトコルを選んで下さい。";
constexpr const char* kPrivWithoutAuthError = "暗号化には認証プロトコルが必要です。";
constexpr const char* kNoPrivProtocolError = "暗号プロトコルを選んで下さい。";
constexpr const char* kEngineIdError = "キーのエンジンIDは5～32バイトの16進数で入力して下さい。";
constexpr const char* kLibcryptoError = "キーを作れませんでした（暗号ライブラリの異常）。";

bool SameOctets(ByteSpan a, ByteSpan b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); }

ByteSpan NameOctets(const std::string& name) {
    return {reinterpret_cast<const std::uint8_t*>(name.data()), name.size()};
}

bool CheckNameAndProtocols(std::string_view name, AuthProtocol auth, PrivProtocol priv, std::string& error) {
    if (name.empty() || name.size() > kMaxUserNameLength) {
        error = kNameError;
        return false;
    }
    if (auth == AuthProtocol::None && priv != PrivProtocol::None) {
        error = kPrivWithoutAuthError;
        return false;
    }
    return true;
}

SecurityLevel LevelOf(AuthProtocol auth, PrivProtocol priv) {
    if (priv != PrivProtocol::None) return SecurityLevel::AuthPriv;
    return auth == AuthProtocol::None ? SecurityLevel::NoAuthNoPriv : SecurityLevel::AuthNoPriv;
}

// "認証キーは20バイトの16進数で入力して下さい。", with a second length
// ("16バイトか20バイトの") when two are allowed.
std::string KeyLengthError(const char* which, std::size_t length, std::size_t other) {
    std::string text = which;
    text += "は" + std::to_string(length) + "バイト";
    if (other != length) text += "か" + std::to_string(other) + "バイト";
    return text + "の16進数で入力して下さい。";
}

// The octets a secret gives before any localisation: Ku of a pass phrase
// (hashed with `hash`), or the key as typed. `which` is 認証 or 暗号.
bool SecretOctets(KeyKind kind, AuthProtocol hash, std::string_view secret, const char* which, UsmKey& key,
                  std::string& error) {
    if (kind == KeyKind::PassPhrase) {
        if (secret.size() < kMinPassPhraseLength) {
            error = std::string(which) + "パスフレーズは8文字以上で入力して下さい。";
            return false;
        }
        if (!PasswordToKey(hash, secret, key)) {
            error = kLibcryptoError;
            return false;
        }
        return true;
    }
    if (!ParseHexOctets(secret, key.octets.data(), key.octets.size(), key.length) || key.length == 0) {
        error = std::string(which) + "キーは16進数で入力して下さい。";
        return false;
    }
    return true;
}

}  // namespace

// A few engines' keys, the oldest replaced first; the keys are wiped when
// replaced and when the cache ends (UsmKey).
class ReederKeyCache {
public:
    bool Find(ByteSpan engineId, UsmKey& key) const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Entry& entry : entries_) {
            if (entry.key.length != 0 && SameOctets(entry.engineId, engineId)) {
                key = entry.key;
                return true;
            }
        }
        return false;
    }
    void Keep(ByteSpan engineId, const UsmKey& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry& entry = entries_[next_];
        next_ = (next_ + 1) % entries_.size();
        entry.engineId.assign(engineId.begin(), engineId.end());
        entry.key = key;
    }

private:
    struct Entry {
        std::vector<std::uint8_t> engineId;
        UsmKey key;
    };
    mutable std::mutex mutex_;
    std::array<Entry, 8> entries_;
    std::size_t next_ = 0;
};

SecurityLevel HighestLevel(const UsmUser& user) { return LevelOf(user.auth, user.priv); }

bool NeedsAuthSecret(const UsmUserProfile& profile) { return profile.level != SecurityLevel::NoAuthNoPriv; }
bool NeedsPrivSecret(const UsmUserProfile& profile) { return profile.level == SecurityLevel::AuthPriv; }

bool ParseHexOctets(std::string_view text, std::uint8_t* out, std::size_t capacity, std::size_t& length) {
    length = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    int high = -1;
    for (const char c : text) {
        int nibble = -1;
        if (c >= '0' && c <= '9') nibble = c - '0';
        else if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        const bool separator = (c == ' ' || c == ':') && high < 0;
        if (separator) continue;
        if (nibble < 0 || (high >= 0 && length == capacity)) {
            length = 0;
            return false;
        }
        if (high < 0) {
            high = nibble;
            continue;
        }
        out[length++] = static_cast<std::uint8_t>(high << 4 | nibble);
        high = -1;
    }
    if (high >= 0) length = 0;
    return high < 0;
}

bool MakeUser(const UsmUserProfile& profile, std::string_view authSecret, std::string_view privSecret, UsmUser& user,
              std::string& error) {
    user = UsmUser{};
    const bool useAuth = NeedsAuthSecret(profile);
    const bool usePriv = NeedsPrivSecret(profile);
    const AuthProtocol auth = useAuth ? profile.auth : AuthProtocol::None;
    const PrivProtocol priv = usePriv ? profile.priv : PrivProtocol::None;
    if (!CheckNameAndProtocols(profile.name, auth, priv, error)) return false;
    if (useAuth && auth == AuthProtocol::None) {
        error = kNoAuthProtocolError;
        return false;
    }
    if (usePriv && priv == PrivProtocol::None) {
        error = kNoPrivProtocolError;
        return false;
    }
    const bool localised = (useAuth && profile.authKind == KeyKind::LocalizedKey) ||
                           (usePriv && profile.privKind == KeyKind::LocalizedKey);
    const ByteSpan engineId(profile.keysEngineId.data(), profile.keysEngineId.size());
    if (localised && (engineId.size() < kMinEngineIdLength || engineId.size() > kMaxEngineIdLength)) {
        error = kEngineIdError;
        return false;
    }
    const std::size_t hash = HashLength(auth);
    UsmKey authKey;
    if (useAuth) {
        if (!SecretOctets(profile.authKind, auth, authSecret, "認証", authKey, error)) return false;
        if (authKey.length != hash) {
            error = KeyLengthError("認証キー", hash, hash);
            return false;
        }
        if (localised && profile.authKind != KeyKind::LocalizedKey) {
            UsmKey ku = authKey;
            if (!LocalizeKey(auth, ku, engineId, authKey)) {
                error = kLibcryptoError;
                return false;
            }
        }
    }
    UsmKey privKey;
    if (usePriv) {
        if (!SecretOctets(profile.privKind, auth, privSecret, "暗号", privKey, error)) return false;
        const std::size_t cipher = PrivKeyLength(priv);
        if (profile.privKind == KeyKind::LocalizedKey) {
            if (privKey.length != cipher && privKey.length != hash) {
                error = KeyLengthError("暗号キー", std::min(cipher, hash), std::max(cipher, hash));
                return false;
            }
        } else if (privKey.length != hash) {
            error = KeyLengthError("暗号キー", hash, hash);
            return false;
        }
        if (localised) {
            UsmKey kul = privKey;
            if (profile.privKind != KeyKind::LocalizedKey && !LocalizeKey(auth, privKey, engineId, kul)) {
                error = kLibcryptoError;
                return false;
            }
            if (kul.length == cipher) {
                privKey = kul;
            } else if (!MakePrivKey(auth, priv, profile.extension, kul, engineId, privKey)) {
                error = kLibcryptoError;
                return false;
            }
        }
    }
    user.name = profile.name;
    user.level = profile.level;
    user.auth = auth;
    user.priv = priv;
    user.extension = profile.extension;
    if (localised) user.keysEngineId = profile.keysEngineId;
    user.authKey = authKey;
    user.privKey = privKey;
    if (!localised && usePriv && profile.extension == KeyExtension::Reeder && PrivKeyLength(priv) > hash)
        user.reederKeys = std::make_shared<ReederKeyCache>();
    error.clear();
    return true;
}

bool MakeUserFromPassPhrases(std::string_view name, AuthProtocol auth, std::string_view authPassPhrase,
                             PrivProtocol priv, std::string_view privPassPhrase, UsmUser& user, std::string& error) {
    UsmUserProfile profile;
    profile.name = std::string(name);
    profile.level = LevelOf(auth, priv);
    profile.auth = auth;
    profile.priv = priv;
    if (auth == AuthProtocol::None && priv != PrivProtocol::None) {
        user = UsmUser{};
        error = kPrivWithoutAuthError;
        return false;
    }
    return MakeUser(profile, authPassPhrase, privPassPhrase, user, error);
}

bool MakeUserFromLocalizedKeys(std::string_view name, AuthProtocol auth, ByteSpan authKul, PrivProtocol priv,
                               ByteSpan privKey, ByteSpan engineId, UsmUser& user, std::string& error,
                               KeyExtension extension) {
    user = UsmUser{};
    if (!CheckNameAndProtocols(name, auth, priv, error)) return false;
    if (engineId.size() < kMinEngineIdLength || engineId.size() > kMaxEngineIdLength) {
        error = kEngineIdError;
        return false;
    }
    const std::size_t hash = HashLength(auth);
    if (auth != AuthProtocol::None) {
        if (authKul.size() != hash) {
            error = KeyLengthError("認証キー", hash, hash);
            return false;
        }
        std::memcpy(user.authKey.octets.data(), authKul.data(), authKul.size());
        user.authKey.length = authKul.size();
    }
    if (priv != PrivProtocol::None) {
        const std::size_t cipher = PrivKeyLength(priv);
        UsmKey given;
        std::memcpy(given.octets.data(), privKey.data(), std::min(privKey.size(), given.octets.size()));
        given.length = privKey.size();
        if (privKey.size() == cipher) {
            user.privKey = given;
        } else if (privKey.size() != hash || !MakePrivKey(auth, priv, extension, given, engineId, user.privKey)) {
            error = KeyLengthError("暗号キー", std::min(cipher, hash), std::max(cipher, hash));
            return false;
        }
    }
    user.name = std::string(name);
    user.level = LevelOf(auth, priv);
    user.auth = auth;
    user.priv = priv;
    user.extension = extension;
    user.keysEngineId.assign(engineId.begin(), engineId.end());
    error.clear();
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
        if (user.reederKeys != nullptr && user.reederKeys->Find(engineId, keys.privKey)) return true;
        UsmKey kul;
        if (!LocalizeKey(user.auth, user.privKey, engineId, kul) ||
            !MakePrivKey(user.auth, user.priv, user.extension, kul, engineId, keys.privKey))
            return false;
        if (user.reederKeys != nullptr) user.reederKeys->Keep(engineId, keys.privKey);
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

const UsmUser* UsmUserTable::Named(std::string_view name) const {
    for (const UsmUser& user : users_)
        if (user.name == name) return &user;
    return nullptr;
}

}  // namespace quillet
