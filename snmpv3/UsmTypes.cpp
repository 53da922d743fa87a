#include "snmpv3/UsmTypes.h"

#include "snmpv3/Libcrypto.h"

namespace quillet {

UsmKey::~UsmKey() { WipeOctets(octets.data(), octets.size()); }

std::size_t HashLength(AuthProtocol protocol) {
    switch (protocol) {
    case AuthProtocol::Md5: return 16;
    case AuthProtocol::Sha1: return 20;
    case AuthProtocol::Sha224: return 28;
    case AuthProtocol::Sha256: return 32;
    case AuthProtocol::Sha384: return 48;
    case AuthProtocol::Sha512: return 64;
    case AuthProtocol::None: break;
    }
    return 0;
}

std::size_t DigestLength(AuthProtocol protocol) {
    switch (protocol) {
    case AuthProtocol::Md5:
    case AuthProtocol::Sha1: return 12;
    case AuthProtocol::Sha224: return 16;
    case AuthProtocol::Sha256: return 24;
    case AuthProtocol::Sha384: return 32;
    case AuthProtocol::Sha512: return 48;
    case AuthProtocol::None: break;
    }
    return 0;
}

std::size_t PrivKeyLength(PrivProtocol protocol) {
    switch (protocol) {
    case PrivProtocol::Des:
    case PrivProtocol::Aes128: return 16;
    case PrivProtocol::Aes192: return 24;
    case PrivProtocol::Aes256: return 32;
    case PrivProtocol::None: break;
    }
    return 0;
}

const char* AuthProtocolName(AuthProtocol protocol) {
    switch (protocol) {
    case AuthProtocol::Md5: return "MD5";
    case AuthProtocol::Sha1: return "SHA";
    case AuthProtocol::Sha224: return "SHA-224";
    case AuthProtocol::Sha256: return "SHA-256";
    case AuthProtocol::Sha384: return "SHA-384";
    case AuthProtocol::Sha512: return "SHA-512";
    case AuthProtocol::None: break;
    }
    return "none";
}

const char* PrivProtocolName(PrivProtocol protocol, KeyExtension extension) {
    const bool reeder = extension == KeyExtension::Reeder;
    switch (protocol) {
    case PrivProtocol::Des: return "DES";
    case PrivProtocol::Aes128: return "AES";
    case PrivProtocol::Aes192: return reeder ? "AES-192-C" : "AES-192";
    case PrivProtocol::Aes256: return reeder ? "AES-256-C" : "AES-256";
    case PrivProtocol::None: break;
    }
    return "none";
}

bool IsExtensible(PrivProtocol protocol) {
    return protocol == PrivProtocol::Aes192 || protocol == PrivProtocol::Aes256;
}

}  // namespace quillet
