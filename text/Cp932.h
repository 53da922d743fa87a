// Code page 932 (Shift-JIS as Windows has it): the encoding of the log file,
// of community names and of ASCII set values on the wire. Conversion goes
// through glibc iconv under the name "CP932" (its "SHIFT_JIS" is strict JIS
// and refuses characters such as U+FF5E or circled digits).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet {

// True when every byte of `text` is below 0x80: such a text is the same in
// UTF-8 and code page 932.
bool IsAscii(std::string_view text);

// Appends the code page 932 bytes of a UTF-8 text to `out`. Characters that
// have no code page 932 form (and invalid UTF-8) become "?". Returns false
// when anything had to be replaced. ASCII is copied without calling iconv.
// Without a converter (Cp932Available() false) every non-ASCII character is
// replaced: nothing but ASCII and code page 932 is ever appended.
bool AppendCp932(std::string& out, std::string_view utf8);
std::string ToCp932(std::string_view utf8);

// True when the system's iconv converts between UTF-8 and code page 932 both
// ways. The console says so at start-up when it does not.
bool Cp932Available();

// Tests only: the iconv name that converters opened from now on use (each
// thread opens its converters on its first conversion).
void UseCp932CharsetNameForTesting(const char* name);

// The UTF-8 text of code page 932 bytes; undecodable bytes become U+FFFD.
std::string Cp932ToUtf8(std::string_view cp932);
// Appends the same text to `out` and returns false when any byte did not
// decode (a U+FFFD stands in for it), so that a caller can tell code page 932
// text from other octets. Without a converter only ASCII decodes.
bool AppendUtf8OfCp932(std::string& out, std::string_view cp932);

// True for the first byte of a double-byte code page 932 character.
constexpr bool IsCp932LeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The length of the longest prefix of `cp932` of at most `limit` bytes that
// does not cut a double-byte character in half.
std::size_t Cp932PrefixLength(std::string_view cp932, std::size_t limit);

}  // namespace quillet
