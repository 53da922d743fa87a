// Dotted texts of an OBJECT IDENTIFIER's content octets: the line text used
// in output lines and the field text written into the OID fields.
//
// Every subidentifier is decoded in base 128 (seven bits an octet, top bit
// set on all but the last octet) into 64 bits; longer ones wrap. The first
// subidentifier carries the first two arcs: below 40 it is 0.x, below 80
// 1.(x-40), else 2.(x-80), so the usual first octet 2B gives "1.3". A last
// subidentifier whose final octet still has its top bit set (cut off) shows
// the value its octets give so far.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillet {

// Appends the text of `length` content octets at `content`; an empty
// identifier gives "1.3". `content` may be null when length is 0.
void AppendOidLineText(std::string& out, const std::uint8_t* content, std::size_t length);
// As AppendOidLineText, except that an empty identifier gives no text, so an
// OID field receiving it becomes empty.
void AppendOidFieldText(std::string& out, const std::uint8_t* content, std::size_t length);

std::string OidLineText(const std::uint8_t* content, std::size_t length);
std::string OidFieldText(const std::uint8_t* content, std::size_t length);

}  // namespace quillet
