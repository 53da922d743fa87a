#include "request/AgentTransport.h"

namespace quillet {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Decimal digits only, at most `limit`; false past it or for anything else.
bool ReadWhole(std::string_view text, long limit, long& value) {
    if (text.empty() || text.size() > 6) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= limit;
}

}  // namespace

bool ParseAgentTransport(std::string_view port, std::string_view timeoutSeconds, std::string_view retries,
                         AgentTransport& out, std::string& error) {
    long portValue = 0;
    if (!ReadWhole(Trim(port), 65535, portValue) || portValue < 1) {
        error = "エージェントのポートは1～65535で入力して下さい。";
        return false;
    }
    const std::string_view timeout = Trim(timeoutSeconds);
    const std::size_t point = timeout.find('.');
    long seconds = 0, thousandths = 0;
    bool timeoutGood = ReadWhole(timeout.substr(0, point), 60, seconds);
    if (timeoutGood && point != std::string_view::npos) {
        const std::string_view fraction = timeout.substr(point + 1);
        timeoutGood = !fraction.empty() && fraction.size() <= 3 && ReadWhole(fraction, 999, thousandths);
        for (std::size_t i = fraction.size(); timeoutGood && i < 3; ++i) thousandths *= 10;
    }
    const long timeoutMs = seconds * 1000 + thousandths;
    if (!timeoutGood || timeoutMs < kMinTimeoutMs || timeoutMs > kMaxTimeoutMs) {
        error = "タイムアウトは0.1～60秒で入力して下さい。";
        return false;
    }
    long retriesValue = 0;
    if (!ReadWhole(Trim(retries), kMaxRetries, retriesValue)) {
        error = "再送回数は0～10で入力して下さい。";
        return false;
    }
    out.port = static_cast<std::uint16_t>(portValue);
    out.timeoutMs = static_cast<int>(timeoutMs);
    out.retries = static_cast<int>(retriesValue);
    return true;
}

std::string TimeoutSecondsText(int timeoutMs) {
    std::string text = std::to_string(timeoutMs / 1000);
    int fraction = timeoutMs % 1000;
    if (fraction == 0) return text;
    std::string digits = std::to_string(1000 + fraction).substr(1);
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    return text + "." + digits;
}

}  // namespace quillet
