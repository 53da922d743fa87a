// How requests reach the agent: the agent's UDP port, how long a request
// waits for its answer and how often it goes again unanswered, as
// net-snmp's tools take them (HOST:PORT, -t seconds, -r retries). The
// console's own ports stay 161 and 162 whatever these say.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

struct AgentTransport {
    std::uint16_t port = 161;
    int timeoutMs = 5000;
    int retries = 0;
};

// The bounds the operator may choose within.
constexpr int kMinTimeoutMs = 100;
constexpr int kMaxTimeoutMs = 60000;
constexpr int kMaxRetries = 10;

// Reads the settings' texts: a port of 1 to 65535, a timeout in seconds of
// 0.1 to 60 with at most three decimals ("5", "0.5", "1.25"), and retries
// of 0 to 10; blanks around each are ignored. False, with one Japanese
// sentence for the operator in `error`, at the first that does not fit;
// `out` is then unchanged.
bool ParseAgentTransport(std::string_view port, std::string_view timeoutSeconds, std::string_view retries,
                         AgentTransport& out, std::string& error);

// The timeout as the settings show it: "5", "0.5", "1.25".
std::string TimeoutSecondsText(int timeoutMs);

}  // namespace quillet
