// Keys from pass phrases, their localisation and the privacy keys. The
// MD5 and SHA-1 keys are RFC 3414 A.3's; every other expected key is what
// net-snmp 5.9.3's snmpd stored for the same user (its usmUser lines after
// createUser with exactEngineID 0x000000000000000000000002 and "maplesyrup"
// as both pass phrases; "AES-192-C" and "AES-256-C" for the Reeder rows).
#include <gtest/gtest.h>

#include <string>

#include "snmpv3/Keys.h"
#include "snmpv3/UsmUser.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

const std::vector<std::uint8_t> kRfcEngine = Hex("00 00 00 00 00 00 00 00 00 00 00 02");

UsmUserProfile Profile(SecurityLevel level, AuthProtocol auth, PrivProtocol priv,
                       KeyExtension extension = KeyExtension::Blumenthal) {
    UsmUserProfile profile;
    profile.name = "u";
    profile.level = level;
    profile.auth = auth;
    profile.priv = priv;
    profile.extension = extension;
    return profile;
}

struct KeyCase {
    const char* fault;
    AuthProtocol auth;
    PrivProtocol priv;
    const char* authKul;
    const char* privKey;
    KeyExtension extension = KeyExtension::Blumenthal;
};

TEST(UsmKeys, PassPhrasesGiveTheKeysOfRfc3414AndNetSnmp) {
    const KeyCase cases[] = {
        {"MD5 localisation (RFC 3414 A.3.1) or DES key", AuthProtocol::Md5, PrivProtocol::Des,
         "526f5eed9fcce26f8964c2930787d82b", "526f5eed9fcce26f8964c2930787d82b"},
        {"SHA-1 localisation (RFC 3414 A.3.2) or AES-128 key", AuthProtocol::Sha1, PrivProtocol::Aes128,
         "6695febc9288e36282235fc7151f128497b38f3f", "6695febc9288e36282235fc7151f1284"},
        {"SHA-224 key or AES-192 cut", AuthProtocol::Sha224, PrivProtocol::Aes192,
         "0bd8827c6e29f8065e08e09237f177e410f69b90e1782be682075674", "0bd8827c6e29f8065e08e09237f177e410f69b90e1782be6"},
        {"SHA-256 key used whole by AES-256", AuthProtocol::Sha256, PrivProtocol::Aes256,
         "8982e0e549e866db361a6b625d84cccc11162d453ee8ce3a6445c2d6776f0f8b",
         "8982e0e549e866db361a6b625d84cccc11162d453ee8ce3a6445c2d6776f0f8b"},
        {"SHA-384 key", AuthProtocol::Sha384, PrivProtocol::Aes128,
         "3b298f16164a11184279d5432bf169e2d2a48307de02b3d3f7e2b4f36eb6f0455a53689a3937eea07319a633d2ccba78",
         "3b298f16164a11184279d5432bf169e2"},
        {"SHA-512 key cut for AES-256", AuthProtocol::Sha512, PrivProtocol::Aes256,
         "22a5a36cedfcc085807a128d7bc6c2382167ad6c0dbc5fdff856740f3d84c099ad1ea87a8db096714d9788bd544047c9021e"
         "4229ce27e4c0a69250adfcffbb0b",
         "22a5a36cedfcc085807a128d7bc6c2382167ad6c0dbc5fdff856740f3d84c099"},
        {"SHA-512 key cut for DES", AuthProtocol::Sha512, PrivProtocol::Des,
         "22a5a36cedfcc085807a128d7bc6c2382167ad6c0dbc5fdff856740f3d84c099ad1ea87a8db096714d9788bd544047c9021e"
         "4229ce27e4c0a69250adfcffbb0b",
         "22a5a36cedfcc085807a128d7bc6c238"},
        // Keys shorter than the cipher's, extended as net-snmp's AES-192/256 do.
        {"MD5 key not extended to AES-192", AuthProtocol::Md5, PrivProtocol::Aes192,
         "526f5eed9fcce26f8964c2930787d82b", "526f5eed9fcce26f8964c2930787d82bfa24a92467426c2f"},
        {"MD5 key not extended to AES-256", AuthProtocol::Md5, PrivProtocol::Aes256,
         "526f5eed9fcce26f8964c2930787d82b", "526f5eed9fcce26f8964c2930787d82bfa24a92467426c2f4b09192be10dfaec"},
        {"SHA-1 key not extended to AES-192", AuthProtocol::Sha1, PrivProtocol::Aes192,
         "6695febc9288e36282235fc7151f128497b38f3f", "6695febc9288e36282235fc7151f128497b38f3f505e07eb"},
        {"SHA-1 key not extended to AES-256", AuthProtocol::Sha1, PrivProtocol::Aes256,
         "6695febc9288e36282235fc7151f128497b38f3f", "6695febc9288e36282235fc7151f128497b38f3f505e07eb9af25568fa1f5dbe"},
        // The same keys extended as net-snmp's AES-192-C and AES-256-C do.
        {"MD5 key extended to AES-256-C as AES-256", AuthProtocol::Md5, PrivProtocol::Aes256,
         "526f5eed9fcce26f8964c2930787d82b", "526f5eed9fcce26f8964c2930787d82b79eff44a90650ee0a3a40abfac5acc12",
         KeyExtension::Reeder},
        {"SHA-1 key extended to AES-256-C as AES-256", AuthProtocol::Sha1, PrivProtocol::Aes256,
         "6695febc9288e36282235fc7151f128497b38f3f", "6695febc9288e36282235fc7151f128497b38f3f9b8b6d78936ba6e7d19dfd9c",
         KeyExtension::Reeder},
        {"SHA-224 key extended to AES-256-C as AES-256", AuthProtocol::Sha224, PrivProtocol::Aes256,
         "0bd8827c6e29f8065e08e09237f177e410f69b90e1782be682075674",
         "0bd8827c6e29f8065e08e09237f177e410f69b90e1782be68207567422c34be4", KeyExtension::Reeder},
        {"SHA-256 key extended for AES-256-C", AuthProtocol::Sha256, PrivProtocol::Aes256,
         "8982e0e549e866db361a6b625d84cccc11162d453ee8ce3a6445c2d6776f0f8b",
         "8982e0e549e866db361a6b625d84cccc11162d453ee8ce3a6445c2d6776f0f8b", KeyExtension::Reeder},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const UsmUserProfile profile = Profile(SecurityLevel::AuthPriv, c.auth, c.priv, c.extension);
        UsmUser user;
        std::string error;
        ASSERT_TRUE(MakeUser(profile, "maplesyrup", "maplesyrup", user, error)) << error;
        UsmLocalKeys keys;
        ASSERT_TRUE(LocalKeysFor(user, kRfcEngine, keys));
        EXPECT_EQ(HexOf(keys.authKey.octets.data(), keys.authKey.length), HexOf(Hex(c.authKul).data(), Hex(c.authKul).size()));
        EXPECT_EQ(HexOf(keys.privKey.octets.data(), keys.privKey.length), HexOf(Hex(c.privKey).data(), Hex(c.privKey).size()));
    }
}

struct UserCase {
    const char* fault;
    std::string name;
    AuthProtocol auth;
    const char* authPass;
    PrivProtocol priv;
    const char* privPass;
    bool made;
};

TEST(UsmKeys, UsersNoPeerCouldHoldAreRefused) {
    const UserCase cases[] = {
        {"a seven-character pass phrase taken", "u", AuthProtocol::Sha1, "1234567", PrivProtocol::None, "", false},
        {"a short privacy pass phrase taken", "u", AuthProtocol::Sha1, "12345678", PrivProtocol::Aes128, "1234567", false},
        {"privacy without authentication taken", "u", AuthProtocol::None, "", PrivProtocol::Des, "12345678", false},
        {"an empty name taken", "", AuthProtocol::Md5, "12345678", PrivProtocol::None, "", false},
        {"a 33-octet name taken", std::string(33, 'n'), AuthProtocol::Md5, "12345678", PrivProtocol::None, "", false},
        {"a 32-octet name refused", std::string(32, 'n'), AuthProtocol::Md5, "12345678", PrivProtocol::None, "", true},
        {"a user without authentication refused", "u", AuthProtocol::None, "", PrivProtocol::None, "", true},
    };
    for (const UserCase& c : cases) {
        SCOPED_TRACE(c.fault);
        UsmUser user;
        std::string error;
        EXPECT_EQ(MakeUserFromPassPhrases(c.name, c.auth, c.authPass, c.priv, c.privPass, user, error), c.made);
        EXPECT_EQ(error.empty(), c.made);
    }
}

TEST(UsmKeys, LocalisedKeysServeOnlyTheirEngine) {
    UsmUser user;
    std::string error;
    const auto authKul = Hex("526f5eed9fcce26f8964c2930787d82b");
    ASSERT_TRUE(MakeUserFromLocalizedKeys("u", AuthProtocol::Md5, authKul, PrivProtocol::Aes256, authKul, kRfcEngine,
                                          user, error));
    UsmLocalKeys keys;
    EXPECT_FALSE(LocalKeysFor(user, Hex("00 00 00 00 00 00 00 00 00 00 00 03"), keys));
    ASSERT_TRUE(LocalKeysFor(user, kRfcEngine, keys));
    // A localised privacy key of the hash's length is extended as a pass phrase's is.
    const auto extended = Hex("526f5eed9fcce26f8964c2930787d82bfa24a92467426c2f4b09192be10dfaec");
    EXPECT_EQ(HexOf(keys.privKey.octets.data(), keys.privKey.length), HexOf(extended.data(), extended.size()));
    EXPECT_FALSE(MakeUserFromLocalizedKeys("u", AuthProtocol::Sha1, authKul, PrivProtocol::None, {}, kRfcEngine, user,
                                           error));
}

// RFC 3414 A.3's master keys of "maplesyrup", typed in hex as -3m/-3M take
// them, localise to its keys; a pass phrase beside a localised key (-3k) is
// localised to the same engine.
TEST(UsmKeys, HexKeysGiveTheKeysOfRfc3414) {
    struct HexCase {
        const char* fault;
        AuthProtocol auth;
        KeyKind authKind;
        const char* authSecret;
        KeyKind privKind;
        const char* privSecret;
        const char* authKul;
        const char* privKey;
    };
    const HexCase cases[] = {
        {"MD5 master key not localised (A.3.1)", AuthProtocol::Md5, KeyKind::MasterKey,
         "0x9faf3283884e92834ebc9847d8edd963", KeyKind::MasterKey, "9f:af:32:83:88:4e:92:83:4e:bc:98:47:d8:ed:d9:63",
         "526f5eed9fcce26f8964c2930787d82b", "526f5eed9fcce26f8964c2930787d82b"},
        {"SHA-1 master key not localised (A.3.2)", AuthProtocol::Sha1, KeyKind::MasterKey,
         "9fb5cc0381497b3793528939ff788d5d79145211", KeyKind::MasterKey, "9FB5CC0381497B3793528939FF788D5D79145211",
         "6695febc9288e36282235fc7151f128497b38f3f", "6695febc9288e36282235fc7151f1284"},
        {"pass phrase beside a localised key not localised", AuthProtocol::Md5, KeyKind::LocalizedKey,
         "00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff", KeyKind::PassPhrase, "maplesyrup",
         "00112233445566778899aabbccddeeff", "526f5eed9fcce26f8964c2930787d82b"},
    };
    for (const HexCase& c : cases) {
        SCOPED_TRACE(c.fault);
        UsmUserProfile profile = Profile(SecurityLevel::AuthPriv, c.auth, PrivProtocol::Aes128);
        profile.authKind = c.authKind;
        profile.privKind = c.privKind;
        profile.keysEngineId = kRfcEngine;
        UsmUser user;
        std::string error;
        ASSERT_TRUE(MakeUser(profile, c.authSecret, c.privSecret, user, error)) << error;
        UsmLocalKeys keys;
        ASSERT_TRUE(LocalKeysFor(user, kRfcEngine, keys));
        EXPECT_EQ(HexOf(keys.authKey.octets.data(), keys.authKey.length), HexOf(Hex(c.authKul).data(), Hex(c.authKul).size()));
        EXPECT_EQ(HexOf(keys.privKey.octets.data(), keys.privKey.length), HexOf(Hex(c.privKey).data(), Hex(c.privKey).size()));
    }
}

// What the operator typed wrong is said in Japanese, without a word of
// English, and no user is made.
TEST(UsmKeys, SecretsThatMakeNoKeyAreRefusedInJapanese) {
    struct ErrorCase {
        const char* fault;
        KeyKind authKind;
        const char* authSecret;
        KeyKind privKind;
        const char* privSecret;
        std::vector<std::uint8_t> engineId;
        const char* error;
    };
    const ErrorCase cases[] = {
        {"a short pass phrase taken", KeyKind::PassPhrase, "1234567", KeyKind::PassPhrase, "12345678", {},
         "認証パスフレーズは8文字以上で入力して下さい。"},
        {"a master key of MD5's length taken for SHA-1", KeyKind::MasterKey, "9faf3283884e92834ebc9847d8edd963",
         KeyKind::PassPhrase, "12345678", {}, "認証キーは20バイトの16進数で入力して下さい。"},
        {"a key with a letter past f taken", KeyKind::PassPhrase, "12345678", KeyKind::MasterKey,
         "9fb5cc0381497b3793528939ff788d5d7914521g", {}, "暗号キーは16進数で入力して下さい。"},
        {"a localised privacy key of neither length taken", KeyKind::PassPhrase, "12345678", KeyKind::LocalizedKey,
         "00112233445566778899aabbccddee", kRfcEngine, "暗号キーは20バイトか32バイトの16進数で入力して下さい。"},
        {"a localised key without its engine taken", KeyKind::LocalizedKey,
         "6695febc9288e36282235fc7151f128497b38f3f", KeyKind::PassPhrase, "12345678", {},
         "キーのエンジンIDは5～32バイトの16進数で入力して下さい。"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.fault);
        UsmUserProfile profile = Profile(SecurityLevel::AuthPriv, AuthProtocol::Sha1, PrivProtocol::Aes256);
        profile.authKind = c.authKind;
        profile.privKind = c.privKind;
        profile.keysEngineId = c.engineId;
        UsmUser user;
        std::string error;
        EXPECT_FALSE(MakeUser(profile, c.authSecret, c.privSecret, user, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(user.authKey.length, 0u);
    }
}

}  // namespace
}  // namespace quillet
