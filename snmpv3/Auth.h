// Message authentication (RFC 3414 6 and 7, RFC 7860): the HMAC of the
// whole message, computed with msgAuthenticationParameters taken as zero
// octets, truncated to DigestLength octets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmpv3/UsmTypes.h"

namespace quillet {

// Writes the DigestLength(protocol) octets of the digest of `message` into
// `digest`, the `paramsLength` octets at `paramsAt` (where the digest goes)
// counted as zeros whatever they hold. False, writing nothing, for None, a
// key of the wrong length, a parameter field not DigestLength long or not
// inside the message, or a failure of libcrypto.
bool ComputeDigest(AuthProtocol protocol, const UsmKey& kul, ByteSpan message, std::size_t paramsAt,
                   std::size_t paramsLength, std::uint8_t* digest);

// True only when the `paramsLength` octets at `paramsAt` are the message's
// digest: the field has DigestLength(protocol) octets, lies inside the
// message, and matches, compared in constant time. A field of the wrong
// length, outside the message, None or any failure never verifies.
bool VerifyDigest(AuthProtocol protocol, const UsmKey& kul, ByteSpan message, std::size_t paramsAt,
                  std::size_t paramsLength);

}  // namespace quillet
