// Plain decimal text of a signed 32-bit number: a leading "-" for negative
// values, no leading zeros, no blanks, no grouping.
#pragma once

#include <cstdint>
#include <string>

namespace quillet {

void AppendDecimal(std::string& out, std::int32_t value);
std::string DecimalText(std::int32_t value);

}  // namespace quillet
