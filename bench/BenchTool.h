// Pieces shared by the bench's command-line tools: failing with a message,
// a monotonic clock, hex and file input, and the one rule on where the tools
// may send or listen.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <time.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

// The name failures are reported under; each tool sets it first thing.
inline const char* toolName = "bench";

[[noreturn]] inline void Fail(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", toolName, text.c_str());
    std::exit(2);
}

// Seconds on the monotonic clock.
inline double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The bytes of a hex text (blanks and line breaks ignored); anything else fails.
inline std::vector<std::uint8_t> FromHex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        else Fail("not a hexadecimal text");
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0) Fail("odd number of hexadecimal digits");
    return bytes;
}

inline std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// True inside a network namespace of our own. The host's own network may use
// 192.0.2.0/24 as well, so that range is only safe where a test namespace
// confines it. Ours differs from the first process's; where that one cannot
// be read (a container may hide it), ours is one made by `ip netns add`,
// which keeps it under /run/netns.
inline bool InOwnNetworkNamespace() {
    char self[64] = {}, init[64] = {};
    if (readlink("/proc/self/ns/net", self, sizeof self - 1) < 0) return false;
    if (readlink("/proc/1/ns/net", init, sizeof init - 1) >= 0) return std::string(self) != std::string(init);
    struct stat own{};
    if (stat("/proc/self/ns/net", &own) != 0) return false;
    DIR* named = opendir("/run/netns");
    if (named == nullptr) return false;
    bool found = false;
    while (const dirent* entry = readdir(named)) {
        struct stat one{};
        const std::string path = std::string("/run/netns/") + entry->d_name;
        if (entry->d_name[0] != '.' && stat(path.c_str(), &one) == 0 && one.st_dev == own.st_dev &&
            one.st_ino == own.st_ino)
            found = true;
    }
    closedir(named);
    return found;
}

// Loopback, or the documentation network inside a test namespace.
inline bool AllowedAddress(const in_addr& address) {
    const std::uint32_t a = ntohl(address.s_addr);
    if ((a >> 24) == 127) return true;
    return (a >> 8) == ((192u << 16) | (0u << 8) | 2u) && InOwnNetworkNamespace();
}

// ADDR:PORT of `option`, refused unless AllowedAddress holds.
inline sockaddr_in ParseEndpoint(const std::string& text, const std::string& option) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) Fail(option + " wants ADDR:PORT");
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &endpoint.sin_addr) != 1) Fail("bad address " + text);
    const long port = std::strtol(text.c_str() + colon + 1, nullptr, 10);
    if (port < 1 || port > 65535) Fail("bad port " + text);
    endpoint.sin_port = htons(static_cast<std::uint16_t>(port));
    if (!AllowedAddress(endpoint.sin_addr))
        Fail("refusing " + text + ": only 127.0.0.0/8, or 192.0.2.0/24 inside a test namespace");
    return endpoint;
}

}  // namespace bench
