// Plain decimal text of a signed 32-bit number: a leading "-" for negative
// values, no leading zeros, no blanks, no grouping.
#pragma once

#include <cstdint>
#include <string>

namespace quillet {

void AppendDecimal(std::string& out, std::int32_t value);
std::string DecimalText(std::int32_t value);
// The same for an unsigned 64-bit number.
void AppendUnsignedDecimal(std::string& out, std::uint64_t value);
// Two upper-case hexadecimal digits.
void AppendHexByte(std::string& out, std::uint8_t byte);

}  // namespace quillet
