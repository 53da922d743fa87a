// Keys from pass phrases, their localisation and the privacy keys. The
// MD5 and SHA-1 authentication keys are RFC 3414 A.3's; every other
// expected key is what net-snmp 5.9.3's snmpd stored for the same user
// (its usmUser lines after createUser with exactEngineID
// 0x000000000000000000000002 and "maplesyrup" as both pass phrases).
#include <gtest/gtest.h>

#include <string>

#include "snmpv3/Keys.h"
#include "snmpv3/UsmUser.h"
#include "tests/core/HexBytes.h"

namespace quillet {
namespace {

const std::vector<std::uint8_t> kRfcEngine = Hex("00 00 00 00 00 00 00 00 00 00 00 02");

struct KeyCase {
    const char* fault;
    AuthProtocol auth;
    PrivProtocol priv;
    const char* authKul;
    const char* privKey;
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
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.fault);
        UsmUser user;
        std::string error;
        ASSERT_TRUE(MakeUserFromPassPhrases("u", c.auth, "maplesyrup", c.priv, "maplesyrup", user, error)) << error;
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

}  // namespace
}  // namespace quillet
