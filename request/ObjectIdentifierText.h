// Dotted object-identifier text to the content octets of an OBJECT IDENTIFIER.
#pragma once

#include <cstddef>
#include <string_view>

#include "request/RequestState.h"

namespace quillet {

// Longest OID text accepted; a longer one is refused, never cut, so that the
// identifier sent is always the one typed.
constexpr std::size_t kOidTextLimit = 200;

// Parses dotted decimal text ("1.3.6.1.2.1.1.1.0") into `slot`.
//
// One leading dot is ignored (".1.3.6.1" as net-snmp prints identifiers);
// a text longer than 200 characters after it fails. The text must be arcs of decimal
// digits separated by single dots: no blank, sign, letter, empty arc or
// trailing dot. An arc may have at most 10 digits and a value of at most
// 4294967295. The identifier is written as typed: the first two arcs X.Y
// become the one subidentifier 40 x X + Y ("1.3" gives 2B, "2.5" gives 55),
// every later arc one subidentifier, each in base 128, high groups first
// with the top bit set. A text with no such form fails: a single arc, a
// first arc above 2, or a second arc above 39 under a first arc of 0 or 1.
//
// Returns 0 with the slot cleared to zeros, filled and its length set, or -1
// with the slot untouched.
int ParseOid(std::string_view text, OidSlot& slot);

}  // namespace quillet
