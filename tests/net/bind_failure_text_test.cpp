// What a bind box says beyond its first line: the kernel's UDP socket table
// read for the port's holders, and the advice texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/BindFailureText.h"
#include "platform/UdpSocketTableText.h"

namespace quillet {
namespace {

// Captured from /proc/net/udp and /proc/net/udp6 of a network namespace
// holding snmpd on 127.0.0.1:161 and [::1]:161, snmptrapd on 0.0.0.0:162
// (both root) and a socket of uid 65534 on 0.0.0.0:40162, trailing blanks
// as the kernel writes them.
const std::string kProcNetUdp =
    "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode ref pointer drops            \n"
    "  365: 0100007F:00A1 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 28970 2 0000000071f57381 0         \n"
    "  366: 00000000:00A2 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 28937 2 0000000040e94f5d 0         \n"
    " 7598: 00000000:9CE2 00000000:0000 07 00000000:00000000 00:00000000 00000000 65534        0 29084 2 00000000788dcab4 0         \n";
const std::string kProcNetUdp6 =
    "  sl  local_address                         remote_address                        st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode ref pointer drops\n"
    "  365: 00000000000000000000000001000000:00A1 00000000000000000000000000000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 28971 2 0000000041d9ea34 0\n";

struct TableCase {
    const char* name;
    std::string text;
    std::vector<std::uint64_t> expected;  // port, uid, inode per row, flattened
};

std::vector<std::uint64_t> Flatten(const std::vector<UdpSocketRow>& rows) {
    std::vector<std::uint64_t> flat;
    for (const UdpSocketRow& row : rows) {
        flat.push_back(row.localPort);
        flat.push_back(row.uid);
        flat.push_back(row.inode);
    }
    return flat;
}

TEST(UdpSocketTable, ReadsPortUidAndInodeOfEveryRowAndNothingElse) {
    const std::string row161 = kProcNetUdp.substr(kProcNetUdp.find("  365:"), kProcNetUdp.find("  366:") - kProcNetUdp.find("  365:"));
    const TableCase cases[] = {
        {"IPv4 table", kProcNetUdp, {161, 0, 28970, 162, 0, 28937, 40162, 65534, 29084}},
        {"IPv6 table", kProcNetUdp6, {161, 0, 28971}},
        {"heading only", kProcNetUdp.substr(0, kProcNetUdp.find('\n') + 1), {}},
        {"empty", "", {}},
        {"last line without its line end", row161.substr(0, row161.size() - 1), {161, 0, 28970}},
        {"socket being torn down has inode 0",
         "  12: 00000000:00A1 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 0 2 0 0\n",
         {161, 0, 0}},
        {"truncated before the inode",
         "  12: 00000000:00A1 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0\n", {}},
        {"port of three digits",
         "  12: 00000000:0A1 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 5 2 0 0\n", {}},
        {"address of the wrong length",
         "  12: 0000000:00A1 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 5 2 0 0\n", {}},
        {"address not hexadecimal",
         "  12: 0000000G:00A1 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 5 2 0 0\n", {}},
        {"uid not a number",
         "  12: 00000000:00A1 00000000:0000 07 00000000:00000000 00:00000000 00000000     x        0 5 2 0 0\n", {}},
        {"inode not a number",
         "  12: 00000000:00A1 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 5x 2 0 0\n", {}},
        {"no slot number", "00000000:00A1 00000000:0000 07 00000000:00000000 00:00000000 00000000 0 0 5 2 0 0\n", {}},
        {"a bad line among good ones keeps the good ones",
         "garbage\n" + kProcNetUdp.substr(kProcNetUdp.find("  366:")), {162, 0, 28937, 40162, 65534, 29084}},
    };
    for (const TableCase& c : cases) {
        EXPECT_EQ(Flatten(ParseUdpSocketTable(c.text)), c.expected) << c.name;
    }
}

TEST(UdpSocketTable, TakesTheInodeOnlyFromSocketLinks) {
    const struct {
        const char* link;
        std::optional<std::uint64_t> inode;
    } cases[] = {
        {"socket:[28970]", 28970},
        {"socket:[0]", 0},
        {"socket:[18446744073709551615]", 18446744073709551615ull},
        {"socket:[]", std::nullopt},
        {"socket:[12", std::nullopt},
        {"socket:[12x]", std::nullopt},
        {"pipe:[28970]", std::nullopt},
        {"anon_inode:[eventfd]", std::nullopt},
        {"/var/log/syslog", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(SocketInodeOfLink(c.link), c.inode) << c.link;
}

TEST(BindFailureText, SecondLineNamesWhatTheOperatorCanDo) {
    const auto inUse = [](std::uint16_t port, std::vector<PortHolder> holders) {
        BindFailure failure;
        failure.cause = BindFailureCause::PortInUse;
        failure.port = port;
        failure.holders = std::move(holders);
        return failure;
    };
    const auto noPrivilege = [](std::string path) {
        BindFailure failure;
        failure.cause = BindFailureCause::NoPrivilege;
        failure.port = 161;
        failure.executablePath = std::move(path);
        return failure;
    };
    BindFailure other;
    other.port = 162;
    other.systemText = "Cannot assign requested address";
    other.errorNumber = 99;

    const struct {
        const char* name;
        BindFailure failure;
        std::string advice;
    } cases[] = {
        {"one holder", inUse(161, {{812, "snmpd"}}), "UDPポート161は snmpd (PID 812) が使用しています。"},
        {"socket unit and its service", inUse(162, {{1, "systemd"}, {903, "snmptrapd"}}),
         "UDPポート162は systemd (PID 1)、snmptrapd (PID 903) が使用しています。"},
        {"holder not visible", inUse(161, {}),
         "UDPポート161は他のプログラムが使用しています。確認するには: sudo ss -ulpn 'sport = :161'"},
        {"holder not visible, trap port", inUse(162, {}),
         "UDPポート162は他のプログラムが使用しています。確認するには: sudo ss -ulpn 'sport = :162'"},
        {"no privilege", noPrivilege("/home/user/quillet/build/quillet"),
         "UDPポート161を使う権限がありません。権限を与えるには: sudo setcap cap_net_bind_service+ep "
         "/home/user/quillet/build/quillet"},
        {"no privilege, path with a blank", noPrivilege("/home/user/my tools/quillet"),
         "UDPポート161を使う権限がありません。権限を与えるには: sudo setcap cap_net_bind_service+ep "
         "'/home/user/my tools/quillet'"},
        {"no privilege, path with a quote", noPrivilege("/tmp/it's/quillet"),
         "UDPポート161を使う権限がありません。権限を与えるには: sudo setcap cap_net_bind_service+ep "
         "'/tmp/it'\\''s/quillet'"},
        {"no privilege, path with shell characters", noPrivilege("/tmp/$(x)/quillet"),
         "UDPポート161を使う権限がありません。権限を与えるには: sudo setcap cap_net_bind_service+ep "
         "'/tmp/$(x)/quillet'"},
        {"anything else", other, "原因: Cannot assign requested address (errno 99)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BindFailureAdvice(c.failure), c.advice) << c.name;
        EXPECT_EQ(BindFailureMessage(c.failure),
                  "recv bind=NG  当プログラムを既に起動していませんか？ \n" + c.advice)
            << c.name;
    }
}

}  // namespace
}  // namespace quillet
