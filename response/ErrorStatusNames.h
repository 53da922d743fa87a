// Names of the error-status values of a response, as the "  エラー応答="
// line shows them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

constexpr std::int32_t kErrorStatusNameCount = 19;  // error-status 0..18

// The name of error-status 0..18: "" for 0 (noError is never shown),
// "tooBig" for 1 ... "inconsistentName" for 18; 10 is spelt "wrogValue" as
// the console has always shown it. Any other value gives an empty view.
std::string_view ErrorStatusName(std::int32_t status);

// Appends what the error line shows for `status`: its name for 0..18, and
// for a value that has no name (above 18, or negative once read as a signed
// word) its decimal text, so an agent's unexpected status stays visible.
void AppendErrorStatusText(std::string& out, std::int32_t status);

}  // namespace quillet
