// The second line of a bind box: what the operator can do about the port.
// The first line stays the one the console always showed
// ("recv bind=NG  当プログラムを既に起動していませんか？ "); this one names
// the cause the system shows. Texts are UTF-8, in the window's language.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillet {

enum class BindFailureCause {
    PortInUse,    // another socket holds the port
    NoPrivilege,  // binding a port below 1024 was refused
    Other,        // anything else (no socket at all, an address not here...)
};

// A process that holds the port: its pid and its name as the system keeps it.
struct PortHolder {
    int pid = 0;
    std::string name;
};

struct BindFailure {
    BindFailureCause cause = BindFailureCause::Other;
    std::uint16_t port = 0;
    // PortInUse: the processes seen holding the port, in the order to name
    // them; empty when the holder cannot be seen (another user's process).
    std::vector<PortHolder> holders;
    // NoPrivilege: the absolute path of the running program.
    std::string executablePath;
    // Other: the system's text for the error and its number.
    std::string systemText;
    int errorNumber = 0;
};

// One line, no line break:
//   PortInUse, holders seen:  "UDPポート162は systemd (PID 1)、snmptrapd (PID 812) が使用しています。"
//   PortInUse, none seen:     "UDPポート161は他のプログラムが使用しています。確認するには: sudo ss -ulpn 'sport = :161'"
//   NoPrivilege:              "UDPポート161を使う権限がありません。権限を与えるには: sudo setcap cap_net_bind_service+ep /usr/bin/quillet"
//   Other:                    "原因: Cannot assign requested address (errno 99)"
// The path is quoted for the shell when it holds anything but letters,
// digits and / . _ - + , : @ % =, so the command can be pasted as it is.
std::string BindFailureAdvice(const BindFailure& failure);

// The whole text of a bind box: the first line, a line break, the advice.
std::string BindFailureMessage(const BindFailure& failure);

// The first line of the bind box, as the console has always shown it.
inline constexpr const char* kBindFailedText = "recv bind=NG  当プログラムを既に起動していませんか？ ";

}  // namespace quillet
