// response_responder: a minimal agent for the request/response timing runs.
// It answers every request at once with a GetResponse built from a fixed
// template: same version, community and request-id, error-status 0, and each
// requested object identifier bound to the OCTET STRING "Quillet bench agent".
//
//   response_responder --listen ADDR:PORT [--max-replies N] [--max-seconds S]
//
// Listens on loopback (or 192.0.2.0/24 inside a test namespace) only; stops after N replies (at most
// 100,000) or S seconds (at most 600), whichever comes first. Prints
// "listening" once bound and "replies=<n> malformed=<n>" at the end.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchTool.h"

namespace {

using bench::Fail;
using bench::Now;

constexpr long kMaxReplies = 100'000;
constexpr double kMaxSeconds = 600.0;
constexpr char kValue[] = "Quillet bench agent";

// A read cursor over one datagram: every element is checked against `end`
// before its content is touched.
struct Cursor {
    const std::uint8_t* p;
    const std::uint8_t* end;

    // Reads a tag and a definite length (short form, or 0x81..0x84 long
    // form). Sets `content` and moves past the header. False when either
    // would run past the end.
    bool Header(std::uint8_t& tag, std::size_t& length) {
        if (end - p < 2) return false;
        tag = *p++;
        std::uint8_t first = *p++;
        if (first < 0x80) {
            length = first;
        } else {
            const int n = first & 0x7F;
            if (n < 1 || n > 4 || end - p < n) return false;
            length = 0;
            for (int i = 0; i < n; ++i) length = (length << 8) | *p++;
        }
        return static_cast<std::size_t>(end - p) >= length;
    }
    bool Element(std::uint8_t expected, const std::uint8_t*& content, std::size_t& length) {
        std::uint8_t tag;
        if (!Header(tag, length) || tag != expected) return false;
        content = p;
        p += length;
        return true;
    }
};

void AppendTlv(std::vector<std::uint8_t>& out, std::uint8_t tag, const std::vector<std::uint8_t>& content) {
    out.push_back(tag);
    const std::size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<std::uint8_t>(n));
    } else if (n < 0x100) {
        out.push_back(0x81);
        out.push_back(static_cast<std::uint8_t>(n));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<std::uint8_t>(n >> 8));
        out.push_back(static_cast<std::uint8_t>(n));
    }
    out.insert(out.end(), content.begin(), content.end());
}

std::vector<std::uint8_t> Bytes(const std::uint8_t* data, std::size_t length) {
    return std::vector<std::uint8_t>(data, data + length);
}

// Builds the answer to `request`; false for anything that is not a v1/v2c
// request message.
bool BuildResponse(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& response) {
    Cursor message{data, data + size};
    const std::uint8_t* content;
    std::size_t length;
    if (!message.Element(0x30, content, length)) return false;
    Cursor inner{content, content + length};
    const std::uint8_t *version, *community, *requestId;
    std::size_t versionLength, communityLength, requestIdLength;
    if (!inner.Element(0x02, version, versionLength)) return false;
    if (!inner.Element(0x04, community, communityLength)) return false;
    std::uint8_t pduTag;
    std::size_t pduLength;
    if (!inner.Header(pduTag, pduLength)) return false;
    if (pduTag != 0xA0 && pduTag != 0xA1 && pduTag != 0xA3 && pduTag != 0xA5) return false;
    Cursor pdu{inner.p, inner.p + pduLength};
    const std::uint8_t* skip;
    std::size_t skipLength;
    if (!pdu.Element(0x02, requestId, requestIdLength)) return false;
    if (!pdu.Element(0x02, skip, skipLength) || !pdu.Element(0x02, skip, skipLength)) return false;
    const std::uint8_t* list;
    std::size_t listLength;
    if (!pdu.Element(0x30, list, listLength)) return false;

    std::vector<std::uint8_t> bindings;
    Cursor walk{list, list + listLength};
    while (walk.p < walk.end) {
        const std::uint8_t* binding;
        std::size_t bindingLength;
        if (!walk.Element(0x30, binding, bindingLength)) return false;
        Cursor b{binding, binding + bindingLength};
        const std::uint8_t* oid;
        std::size_t oidLength;
        if (!b.Element(0x06, oid, oidLength)) return false;
        std::vector<std::uint8_t> pair;
        AppendTlv(pair, 0x06, Bytes(oid, oidLength));
        AppendTlv(pair, 0x04, Bytes(reinterpret_cast<const std::uint8_t*>(kValue), sizeof kValue - 1));
        AppendTlv(bindings, 0x30, pair);
    }

    std::vector<std::uint8_t> pduContent;
    AppendTlv(pduContent, 0x02, Bytes(requestId, requestIdLength));
    AppendTlv(pduContent, 0x02, {0});
    AppendTlv(pduContent, 0x02, {0});
    AppendTlv(pduContent, 0x30, bindings);
    std::vector<std::uint8_t> body;
    AppendTlv(body, 0x02, Bytes(version, versionLength));
    AppendTlv(body, 0x04, Bytes(community, communityLength));
    AppendTlv(body, 0xA2, pduContent);
    response.clear();
    AppendTlv(response, 0x30, body);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bench::toolName = "response_responder";
    std::string listen;
    long maxReplies = kMaxReplies;
    double maxSeconds = kMaxSeconds;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Fail(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--listen") listen = value();
        else if (arg == "--max-replies") maxReplies = std::strtol(value().c_str(), nullptr, 10);
        else if (arg == "--max-seconds") maxSeconds = std::strtod(value().c_str(), nullptr);
        else Fail("unknown argument " + arg);
    }
    if (listen.empty()) Fail("usage: --listen ADDR:PORT [--max-replies N] [--max-seconds S]");
    if (maxReplies < 1 || maxReplies > kMaxReplies) Fail("--max-replies must be 1..100000");
    if (!(maxSeconds > 0) || maxSeconds > kMaxSeconds) Fail("--max-seconds must be above 0 and at most 600");

    const sockaddr_in at = bench::ParseEndpoint(listen, "--listen");
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) Fail(std::string("socket: ") + std::strerror(errno));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0)
        Fail(std::string("bind: ") + std::strerror(errno));
    std::printf("listening\n");
    std::fflush(stdout);

    std::vector<std::uint8_t> buffer(65536);
    std::vector<std::uint8_t> response;
    long replies = 0;
    long malformed = 0;
    const double deadline = Now() + maxSeconds;
    while (replies < maxReplies) {
        const double left = deadline - Now();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, left > 1.0 ? 1000 : static_cast<int>(left * 1000) + 1);
        if (ready <= 0) continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) continue;
        if (!BuildResponse(buffer.data(), static_cast<std::size_t>(n), response)) {
            ++malformed;
            continue;
        }
        ::sendto(fd, response.data(), response.size(), 0, reinterpret_cast<const sockaddr*>(&from), fromLength);
        ++replies;
    }
    std::printf("replies=%ld malformed=%ld\n", replies, malformed);
    ::close(fd);
    return 0;
}
