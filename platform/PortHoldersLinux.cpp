#include "platform/PortHolders.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/UdpSocketTableText.h"

namespace quillet {
namespace {

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::set<std::uint64_t> SocketInodesOnPort(const std::string& table, std::uint16_t port) {
    std::set<std::uint64_t> inodes;
    for (const UdpSocketRow& row : ParseUdpSocketTable(ReadWholeFile(table))) {
        if (row.localPort == port && row.inode != 0) inodes.insert(row.inode);
    }
    return inodes;
}

bool IsNumber(const char* name) {
    if (*name == '\0') return false;
    for (; *name != '\0'; ++name) {
        if (*name < '0' || *name > '9') return false;
    }
    return true;
}

// True when one of the descriptors of process `pid` is one of `inodes`.
// A process whose descriptors may not be read counts as not holding it.
bool HoldsSocket(const std::string& pid, const std::set<std::uint64_t>& inodes) {
    const std::string folder = "/proc/" + pid + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (fds == nullptr) return false;
    bool holds = false;
    while (const dirent* entry = ::readdir(fds)) {
        if (!IsNumber(entry->d_name)) continue;
        char link[64];
        const ssize_t length = ::readlink((folder + "/" + entry->d_name).c_str(), link, sizeof link);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof link) continue;
        const auto inode = SocketInodeOfLink(std::string_view(link, static_cast<std::size_t>(length)));
        if (inode && inodes.count(*inode) != 0) {
            holds = true;
            break;
        }
    }
    ::closedir(fds);
    return holds;
}

std::string ProcessName(const std::string& pid) {
    std::string name = ReadWholeFile("/proc/" + pid + "/comm");
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    return name.empty() ? "?" : name;
}

}  // namespace

std::vector<PortHolder> FindUdpPortHolders(std::uint16_t port) {
    std::vector<PortHolder> holders;
    std::set<std::uint64_t> inodes = SocketInodesOnPort("/proc/net/udp", port);
    if (inodes.empty()) inodes = SocketInodesOnPort("/proc/net/udp6", port);
    if (inodes.empty()) return holders;
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return holders;
    while (const dirent* entry = ::readdir(processes)) {
        if (!IsNumber(entry->d_name)) continue;
        const std::string pid = entry->d_name;
        if (HoldsSocket(pid, inodes)) holders.push_back(PortHolder{std::atoi(pid.c_str()), ProcessName(pid)});
    }
    ::closedir(processes);
    std::sort(holders.begin(), holders.end(), [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return holders;
}

std::string RunningExecutablePath() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return {};
    return std::string(path, static_cast<std::size_t>(length));
}

BindFailure DescribeBindFailure(std::uint16_t port, int error) {
    BindFailure failure;
    failure.port = port;
    failure.errorNumber = error;
    if (error == EADDRINUSE) {
        failure.cause = BindFailureCause::PortInUse;
        failure.holders = FindUdpPortHolders(port);
    } else if (error == EACCES || error == EPERM) {
        failure.cause = BindFailureCause::NoPrivilege;
        failure.executablePath = RunningExecutablePath();
    } else {
        failure.cause = BindFailureCause::Other;
        failure.systemText = std::strerror(error);
    }
    return failure;
}

}  // namespace quillet
