#include "snmpv3/MessageOpen.h"

#include <algorithm>

#include "snmpv3/Auth.h"
#include "snmpv3/Privacy.h"

namespace quillet {
namespace {

ByteSpan Content(const std::uint8_t* datagram, const BerElement& element) {
    return {datagram + element.start, element.length};
}

SecurityLevel LevelOfFlags(std::uint8_t flags) {
    if ((flags & kFlagAuth) == 0) return SecurityLevel::NoAuthNoPriv;
    return (flags & kFlagPriv) != 0 ? SecurityLevel::AuthPriv : SecurityLevel::AuthNoPriv;
}

bool InTimeWindow(const V3MessageScan& scan, const EngineClock& us) {
    if (us.boots == kMaxEngineCounter || scan.engineBoots != us.boots) return false;
    const std::uint32_t gap = scan.engineTime > us.time ? scan.engineTime - us.time : us.time - scan.engineTime;
    return gap <= kTimeWindowSeconds;
}

UsmStatus Open(const std::uint8_t* datagram, std::size_t size, const V3MessageScan& scan, const UsmUserTable& users,
               const EngineClock* authoritative, std::uint8_t* plain, std::size_t plainCapacity,
               OpenedV3Message& out) {
    if (scan.status != V3ScanStatus::Ok) return UsmStatus::ParseError;
    out.level = LevelOfFlags(scan.msgFlags);
    const ByteSpan engineId = Content(datagram, scan.engineId);
    if (authoritative != nullptr) {
        if (!std::equal(engineId.begin(), engineId.end(), authoritative->engineId.begin(),
                        authoritative->engineId.end()))
            return UsmStatus::UnknownEngineId;
    } else if (engineId.size() < kMinEngineIdLength) {
        return UsmStatus::UnknownEngineId;
    }
    out.user = users.Find(Content(datagram, scan.userName), engineId);
    if (out.user == nullptr) return UsmStatus::UnknownUserName;
    if (out.level > HighestLevel(*out.user)) return UsmStatus::UnsupportedSecLevel;
    if (out.level == SecurityLevel::NoAuthNoPriv) {
        out.scopedBase = datagram;
        out.scoped = scan.scoped;
        return UsmStatus::Ok;
    }

    UsmLocalKeys keys;
    if (!LocalKeysFor(*out.user, engineId, keys)) return UsmStatus::UnknownUserName;
    if (!VerifyDigest(keys.auth, keys.authKey, ByteSpan(datagram, size), scan.authParams.start,
                      scan.authParams.length))
        return UsmStatus::WrongDigest;
    out.authenticated = true;
    if (authoritative != nullptr && !InTimeWindow(scan, *authoritative)) return UsmStatus::NotInTimeWindow;
    if (out.level == SecurityLevel::AuthNoPriv) {
        out.scopedBase = datagram;
        out.scoped = scan.scoped;
        return UsmStatus::Ok;
    }

    const std::size_t length =
        DecryptScopedPdu(keys.priv, keys.privKey, scan.engineBoots, scan.engineTime, Content(datagram, scan.privParams),
                         Content(datagram, scan.encryptedPdu), plain, plainCapacity);
    // Only DES pads, and never by a whole block.
    const std::size_t maxPad = keys.priv == PrivProtocol::Des ? 7 : 0;
    ScopedPduScan scoped;
    if (length == 0 || !ScanScopedPdu(plain, 0, length, maxPad, scoped)) return UsmStatus::DecryptionError;
    out.scopedBase = plain;
    out.scoped = scoped;
    return UsmStatus::Ok;
}

}  // namespace

const char* UsmStatusText(UsmStatus status) {
    switch (status) {
    case UsmStatus::Ok: return "ok";
    case UsmStatus::ParseError: return "parseError";
    case UsmStatus::UnknownEngineId: return "unknownEngineID";
    case UsmStatus::UnknownUserName: return "unknownUserName";
    case UsmStatus::UnsupportedSecLevel: return "unsupportedSecLevel";
    case UsmStatus::WrongDigest: return "wrongDigest";
    case UsmStatus::NotInTimeWindow: return "notInTimeWindow";
    case UsmStatus::DecryptionError: return "decryptionError";
    }
    return "?";
}

UsmStatus OpenV3Message(const std::uint8_t* datagram, std::size_t size, const V3MessageScan& scan,
                        const UsmUserTable& users, const EngineClock* authoritative, std::uint8_t* plain,
                        std::size_t plainCapacity, OpenedV3Message& out) {
    out = OpenedV3Message{};
    out.status = Open(datagram, size, scan, users, authoritative, plain, plainCapacity, out);
    if (out.status != UsmStatus::Ok) {
        out.scopedBase = nullptr;
        out.scoped = ScopedPduScan{};
    }
    return out.status;
}

}  // namespace quillet
