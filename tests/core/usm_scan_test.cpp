// The scan of SNMPv3 messages when they are broken, the one scan of every
// inbound datagram that tells them from SNMPv1/v2c, and the ciphers on
// their own: round trips, the lengths they refuse, the salts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snmpv3/InboundMessage.h"
#include "snmpv3/Keys.h"
#include "snmpv3/MessageScan.h"
#include "snmpv3/Privacy.h"
#include "tests/core/HexBytes.h"
#include "tests/core/UsmCaptures.h"

namespace quillet {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A noAuthNoPriv message written out by hand; the rows change parts of it.
// msgID 1, msgMaxSize 65507, flags 04, engine 80 00 00 00 05 01 02 03,
// boots 1, time 2, user "u", a GetRequest with no bindings.
constexpr const char* kHeader = "02 01 03 30 0E 02 01 01 02 03 00 FF E3 04 01 04 02 01 03";
constexpr const char* kSecurity = "04 19 30 17 04 08 80 00 00 00 05 01 02 03 02 01 01 02 01 02 04 01 75 04 00 04 00";
constexpr const char* kScoped = "30 12 04 00 04 00 A0 0C 02 02 12 34 02 01 00 02 01 00 30 00";

// The message SEQUENCE around the three parts; `outer` replaces its tag and
// length when given.
std::string Message(const std::string& header, const std::string& security, const std::string& scoped,
                    std::string outer = "") {
    const std::string content = header + " " + security + " " + scoped;
    if (outer.empty()) outer = "30 " + HexOf(std::vector<std::uint8_t>{static_cast<std::uint8_t>(Hex(content).size())}.data(), 1);
    return outer + " " + content;
}

std::string Repeat(const char* octet, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += std::string(octet) + " ";
    return out;
}

struct ScanCase {
    const char* fault;
    std::string hex;
    V3ScanStatus status;
};

TEST(UsmScan, BrokenMessagesStopWithTheirFault) {
    const std::string ok = Message(kHeader, kSecurity, kScoped);
    const ScanCase cases[] = {
        {"the hand-made message refused", ok, V3ScanStatus::Ok},
        {"81 and 82 length forms refused",
         Message(kHeader, "04 81 1A 30 81 17 04 08 80 00 00 00 05 01 02 03 02 01 01 02 01 02 04 01 75 04 00 04 00",
                 "30 82 00 12 04 00 04 00 A0 0C 02 02 12 34 02 01 00 02 01 00 30 00", "30 81 46"),
         V3ScanStatus::Ok},
        {"a four-octet length form taken", Message(kHeader, kSecurity, kScoped, "30 84 00 00 00 42"),
         V3ScanStatus::Malformed},
        {"trailing octet taken", ok + " 00", V3ScanStatus::TrailingOctets},
        {"SNMPv2c message taken", "30 0B 02 01 01 04 01 61 A0 03 02 01 01", V3ScanStatus::NotVersion3},
        {"message longer than its datagram", Message(kHeader, kSecurity, kScoped, "30 43"), V3ScanStatus::Malformed},
        {"message shorter than its contents", Message(kHeader, kSecurity, kScoped, "30 41"), V3ScanStatus::TrailingOctets},
        {"privacy without authentication taken",
         Message("02 01 03 30 0E 02 01 01 02 03 00 FF E3 04 01 06 02 01 03", kSecurity, kScoped),
         V3ScanStatus::InvalidFlags},
        {"community-based security model taken",
         Message("02 01 03 30 0E 02 01 01 02 03 00 FF E3 04 01 04 02 01 02", kSecurity, kScoped),
         V3ScanStatus::UnknownSecurityModel},
        {"msgMaxSize below 484 taken",
         Message("02 01 03 30 0E 02 01 01 02 03 00 01 E3 04 01 04 02 01 03", kSecurity, kScoped),
         V3ScanStatus::ValueOutOfRange},
        {"negative msgID taken", Message("02 01 03 30 0E 02 01 FF 02 03 00 FF E3 04 01 04 02 01 03", kSecurity, kScoped),
         V3ScanStatus::ValueOutOfRange},
        {"two-octet msgFlags taken",
         Message("02 01 03 30 0F 02 01 01 02 03 00 FF E3 04 02 04 00 02 01 03", kSecurity, kScoped),
         V3ScanStatus::Malformed},
        {"negative engine boots taken",
         Message(kHeader, "04 19 30 17 04 08 80 00 00 00 05 01 02 03 02 01 FF 02 01 02 04 01 75 04 00 04 00", kScoped),
         V3ScanStatus::ValueOutOfRange},
        {"33-octet engine ID taken",
         Message(kHeader, "04 32 30 30 04 21 " + Repeat("AA", 33) + " 02 01 01 02 01 02 04 01 75 04 00 04 00", kScoped),
         V3ScanStatus::Malformed},
        {"octet after the USM SEQUENCE taken",
         Message(kHeader, "04 1A 30 17 04 08 80 00 00 00 05 01 02 03 02 01 01 02 01 02 04 01 75 04 00 04 00 00",
                 kScoped),
         V3ScanStatus::Malformed},
        {"a USM field missing taken",
         Message(kHeader, "04 17 30 15 04 08 80 00 00 00 05 01 02 03 02 01 01 02 01 02 04 01 75 04 00", kScoped),
         V3ScanStatus::Malformed},
        {"an encryptedPDU without the privacy flag taken",
         Message(kHeader, kSecurity, "04 12 04 00 04 00 A0 0C 02 02 12 34 02 01 00 02 01 00 30 00"),
         V3ScanStatus::Malformed},
        {"a PDU tag outside A0..A8 taken",
         Message(kHeader, kSecurity, "30 12 04 00 04 00 A9 0C 02 02 12 34 02 01 00 02 01 00 30 00"),
         V3ScanStatus::Malformed},
        {"an octet after the PDU taken",
         Message(kHeader, kSecurity, "30 13 04 00 04 00 A0 0C 02 02 12 34 02 01 00 02 01 00 30 00 00"),
         V3ScanStatus::Malformed},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const Bytes bytes = Hex(c.hex);
        V3MessageScan scan;
        ScanV3Message(bytes.data(), bytes.size(), scan);
        EXPECT_EQ(scan.status, c.status) << V3ScanStatusText(scan.status);
    }
}

struct InboundCase {
    const char* fault;
    std::string hex;
    MessageVersion version;
    std::size_t pduAt;  // SNMPv1/v2c: where the PDU's scan starts (0: no header read)
};

TEST(InboundMessage, EachDatagramIsToldItsVersionAndItsPdusPlace) {
    const InboundCase cases[] = {
        {"an SNMPv1 answer misread", "30 0E 02 01 00 04 01 61 A2 06 02 01 07 02 01 00", MessageVersion::V1, 8},
        {"an SNMPv2c trap misread", "30 0D 02 01 01 04 02 61 62 A7 04 02 02 00 01", MessageVersion::V2c, 9},
        {"a long-form header misread", "30 83 00 00 09 02 01 01 04 81 01 61 A6 00", MessageVersion::V2c, 12},
        {"version 2 taken for SNMPv1/v2c", "30 08 02 01 02 04 00 A2 01 00", MessageVersion::Other, 7},
        {"a two-octet version taken for one", "30 09 02 02 00 01 04 00 A2 01 00", MessageVersion::Other, 8},
        {"a header without a community read", "30 05 02 01 00 A2 00", MessageVersion::Other, 0},
        {"SNMPv3 not told apart", Message(kHeader, kSecurity, kScoped), MessageVersion::V3, 0},
        // As the listeners always have: SEQUENCE { INTEGER 3 is SNMPv3, and
        // the scan then says what is wrong with it.
        {"a broken SNMPv3 message taken for SNMPv1/v2c", "30 80 02 01 03 04 00", MessageVersion::V3, 0},
    };
    InboundMessage inbound;
    for (const InboundCase& c : cases) {
        SCOPED_TRACE(c.fault);
        const Bytes bytes = Hex(c.hex);
        ScanInboundMessage(bytes.data(), bytes.size(), inbound);
        EXPECT_EQ(inbound.version, c.version);
        EXPECT_EQ(inbound.community.read, c.pduAt != 0);
        EXPECT_EQ(inbound.community.pduAt, c.pduAt);
    }
    const Bytes broken = Hex("30 80 02 01 03 04 00");
    ScanInboundMessage(broken.data(), broken.size(), inbound);
    EXPECT_EQ(inbound.v3.status, V3ScanStatus::Malformed);
}

TEST(UsmScan, EveryCutOfACapturedMessageIsMalformed) {
    for (const char* hex : {captures::kQuserResponse, captures::kTrapNoAuth, captures::kInformImd5Inform}) {
        const Bytes whole = Hex(hex);
        for (std::size_t size = 0; size < whole.size(); ++size) {
            SCOPED_TRACE(size);
            const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
            V3MessageScan scan;
            ScanV3Message(cut.data(), cut.size(), scan);
            EXPECT_EQ(scan.status, V3ScanStatus::Malformed);
        }
    }
}

TEST(UsmScan, FieldsArePlacedInTheDatagram) {
    const Bytes bytes = Hex(Message(kHeader, kSecurity, kScoped));
    V3MessageScan scan;
    ScanV3Message(bytes.data(), bytes.size(), scan);
    ASSERT_EQ(scan.status, V3ScanStatus::Ok);
    EXPECT_EQ(scan.msgId, 1);
    EXPECT_EQ(scan.msgMaxSize, 65507);
    EXPECT_EQ(scan.msgFlags, 0x04);
    EXPECT_EQ(HexOf(bytes.data() + scan.engineId.start, scan.engineId.length), "80 00 00 00 05 01 02 03");
    EXPECT_EQ(scan.engineBoots, 1u);
    EXPECT_EQ(scan.engineTime, 2u);
    EXPECT_EQ(HexOf(bytes.data() + scan.userName.start, scan.userName.length), "75");
    EXPECT_EQ(HexOf(bytes.data() + scan.msgDataAt, scan.msgDataLength), "30 12 04 00 04 00 A0 0C 02 02 12 34 02 01 00 02 01 00 30 00");
    EXPECT_EQ(scan.scoped.at, scan.msgDataAt);
    EXPECT_EQ(scan.scoped.pduTag, 0xA0);
    EXPECT_EQ(HexOf(bytes.data() + scan.scoped.pduAt, scan.scoped.pduLength),
              "A0 0C 02 02 12 34 02 01 00 02 01 00 30 00");
    EXPECT_TRUE(scan.scoped.hasRequestId);
    EXPECT_EQ(scan.scoped.requestId, 0x1234);
}

struct CipherCase {
    const char* fault;
    PrivProtocol protocol;
};

TEST(UsmPrivacy, EachCipherRoundTripsAndRefusesWhatItCannotDecrypt) {
    const CipherCase cases[] = {
        {"DES", PrivProtocol::Des}, {"AES-128", PrivProtocol::Aes128},
        {"AES-192", PrivProtocol::Aes192}, {"AES-256", PrivProtocol::Aes256},
    };
    UsmKey ku, kul, key;
    ASSERT_TRUE(PasswordToKey(AuthProtocol::Sha256, "privpass123", ku));
    ASSERT_TRUE(LocalizeKey(AuthProtocol::Sha256, ku, Hex("80 00 00 00 05 01 02 03"), kul));
    SaltSource salts(0x0102030405060708);
    for (const CipherCase& c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_TRUE(MakePrivKey(AuthProtocol::Sha256, c.protocol, KeyExtension::Blumenthal, kul, {}, key));
        for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 17u, 100u}) {
            Bytes plain(length);
            for (std::size_t i = 0; i < length; ++i) plain[i] = static_cast<std::uint8_t>(i * 7 + 1);
            const Salt salt = salts.Next(c.protocol, 5);
            Bytes cipher(EncryptedLength(c.protocol, length));
            ASSERT_EQ(EncryptScopedPdu(c.protocol, key, 5, 77, salt, plain, cipher.data(), cipher.size()),
                      cipher.size());
            EXPECT_EQ(EncryptScopedPdu(c.protocol, key, 5, 77, salt, plain, cipher.data(), cipher.size() - 1), 0u);
            EXPECT_NE(HexOf(cipher.data(), length), HexOf(plain.data(), length));
            Bytes back(cipher.size());
            ASSERT_EQ(DecryptScopedPdu(c.protocol, key, 5, 77, salt, cipher, back.data(), back.size()), cipher.size());
            EXPECT_EQ(HexOf(back.data(), length), HexOf(plain.data(), length));
            // The IV: AES takes boots and time into it, DES only the salt.
            DecryptScopedPdu(c.protocol, key, 5, 78, salt, cipher, back.data(), back.size());
            EXPECT_EQ(HexOf(back.data(), length) == HexOf(plain.data(), length), c.protocol == PrivProtocol::Des);
        }
        const Salt salt{};
        Bytes out(64);
        const Bytes shortSalt(7);
        EXPECT_EQ(DecryptScopedPdu(c.protocol, key, 5, 77, shortSalt, Bytes(16), out.data(), out.size()), 0u);
        EXPECT_EQ(DecryptScopedPdu(c.protocol, key, 5, 77, salt, Bytes(), out.data(), out.size()), 0u);
        EXPECT_EQ(DecryptScopedPdu(c.protocol, key, 5, 77, salt, Bytes(65), out.data(), out.size()), 0u);
        EXPECT_EQ(DecryptScopedPdu(c.protocol, key, 5, 77, salt, Bytes(15), out.data(), out.size()) == 0u,
                  c.protocol == PrivProtocol::Des);
        UsmKey shortKey = key;
        --shortKey.length;
        EXPECT_EQ(DecryptScopedPdu(c.protocol, shortKey, 5, 77, salt, Bytes(16), out.data(), out.size()), 0u);
    }
}

TEST(UsmPrivacy, SaltsAreBootsAndCounterForDesAndTheCounterForAes) {
    SaltSource salts(0x00000001FFFFFFFF);
    const Salt des = salts.Next(PrivProtocol::Des, 0x0A0B0C0D);
    const Salt aes = salts.Next(PrivProtocol::Aes128, 0x0A0B0C0D);
    EXPECT_EQ(HexOf(des.data(), des.size()), "0A 0B 0C 0D FF FF FF FF");
    EXPECT_EQ(HexOf(aes.data(), aes.size()), "00 00 00 02 00 00 00 00");
}

}  // namespace
}  // namespace quillet
