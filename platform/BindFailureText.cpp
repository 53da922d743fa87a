#include "platform/BindFailureText.h"

#include <string_view>

namespace quillet {
namespace {

bool SafeInShell(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("/._-+,:@%=").find(c) != std::string_view::npos;
}

std::string ShellWord(const std::string& word) {
    bool safe = !word.empty();
    for (const char c : word) safe = safe && SafeInShell(c);
    if (safe) return word;
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace

std::string BindFailureAdvice(const BindFailure& failure) {
    const std::string port = std::to_string(failure.port);
    switch (failure.cause) {
    case BindFailureCause::PortInUse: {
        if (failure.holders.empty()) {
            return "UDPポート" + port + "は他のプログラムが使用しています。確認するには: sudo ss -ulpn 'sport = :" + port +
                   "'";
        }
        std::string names;
        for (const PortHolder& holder : failure.holders) {
            if (!names.empty()) names += "、";
            names += holder.name + " (PID " + std::to_string(holder.pid) + ")";
        }
        return "UDPポート" + port + "は " + names + " が使用しています。";
    }
    case BindFailureCause::NoPrivilege:
        return "UDPポート" + port + "を使う権限がありません。権限を与えるには: sudo setcap cap_net_bind_service+ep " +
               ShellWord(failure.executablePath);
    case BindFailureCause::Other:
        break;
    }
    return "原因: " + failure.systemText + " (errno " + std::to_string(failure.errorNumber) + ")";
}

std::string BindFailureMessage(const BindFailure& failure) {
    return std::string(kBindFailedText) + "\n" + BindFailureAdvice(failure);
}

}  // namespace quillet
