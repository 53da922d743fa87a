#include "response/ErrorStatusNames.h"

#include "text/DecimalText.h"

namespace quillet {

namespace {

constexpr std::string_view kErrorStatusNames[kErrorStatusNameCount] = {
    "",                     // 0
    "tooBig",               // 1
    "noSuchName",           // 2
    "badValue",             // 3
    "readOnly",             // 4
    "genErr",               // 5
    "noAccess",             // 6
    "wrongType",            // 7
    "wrongLength",          // 8
    "wrongEncoding",        // 9
    "wrogValue",            // 10: spelt this way on purpose, the operators know it so
    "noCreation",           // 11
    "inconsistentValue",    // 12
    "resourceUnavailable",  // 13
    "commitFailed",         // 14
    "undoFailed",           // 15
    "authorizationError",   // 16
    "notWritable",          // 17
    "inconsistentName",     // 18
};

}  // namespace

std::string_view ErrorStatusName(std::int32_t status) {
    if (status < 0 || status >= kErrorStatusNameCount) return {};
    return kErrorStatusNames[status];
}

void AppendErrorStatusText(std::string& out, std::int32_t status) {
    if (status < 0 || status >= kErrorStatusNameCount) {
        AppendDecimal(out, status);
        return;
    }
    out += kErrorStatusNames[status];
}

}  // namespace quillet
