// trap_blaster: sends copies of one datagram to a UDP address at a set rate
// or flat out, for the side-by-side storm runs.
//
//   trap_blaster --to ADDR:PORT (--hex HEX | --hex-file FILE | --file FILE)
//                [--count N] [--rate PER_SECOND] [--max-seconds S] [--cpu N]
//
// --rate 0 (the default) sends flat out. Whatever has fallen due goes in
// sendmmsg calls of up to 64 datagrams: flat out, one system call sends 64,
// so the sender outruns any receiver that takes datagrams one call at a
// time. --cpu N keeps the sender on processor N (the bench gives it a
// processor of its own, so that what it measures is the console's side). The load is capped in the program
// itself: at most 2,000,000 datagrams and 120 seconds per run, whatever the
// arguments say, and only to loopback (127.0.0.0/8) or, inside a network
// namespace of the tests' own, to 192.0.2.0/24. Anything else is refused.
//
// Prints one line when done: sent=<n> errors=<n> seconds=<s> rate=<per second>.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/BenchTool.h"

namespace {

using bench::Fail;
using bench::FromHex;
using bench::Now;
using bench::ReadWhole;

constexpr long kMaxCount = 2'000'000;
constexpr double kMaxSeconds = 120.0;
// A paced run sleeps at least this long between wake-ups and then sends
// whatever has fallen due, so the sender stays cheap at high rates.
constexpr long kMinSleepNs = 200'000;
// Datagrams one sendmmsg call sends at most.
constexpr int kSendBatch = 64;

void SleepUntil(double when) {
    timespec ts;
    ts.tv_sec = static_cast<time_t>(when);
    ts.tv_nsec = static_cast<long>((when - static_cast<double>(ts.tv_sec)) * 1e9);
    if (ts.tv_nsec >= 1'000'000'000) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1'000'000'000;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    bench::toolName = "trap_blaster";
    std::string destination;
    std::vector<std::uint8_t> datagram;
    bool haveDatagram = false;
    long count = 1;
    double rate = 0;
    double maxSeconds = kMaxSeconds;
    int cpu = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Fail(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--to") destination = value();
        else if (arg == "--hex") datagram = FromHex(value()), haveDatagram = true;
        else if (arg == "--hex-file") datagram = FromHex(ReadWhole(value())), haveDatagram = true;
        else if (arg == "--file") {
            const std::string bytes = ReadWhole(value());
            datagram.assign(bytes.begin(), bytes.end());
            haveDatagram = true;
        } else if (arg == "--count") count = std::strtol(value().c_str(), nullptr, 10);
        else if (arg == "--rate") rate = std::strtod(value().c_str(), nullptr);
        else if (arg == "--max-seconds") maxSeconds = std::strtod(value().c_str(), nullptr);
        else if (arg == "--cpu") cpu = static_cast<int>(std::strtol(value().c_str(), nullptr, 10));
        else Fail("unknown argument " + arg);
    }
    if (destination.empty() || !haveDatagram) Fail("usage: --to ADDR:PORT (--hex HEX | --hex-file FILE | --file FILE) "
                                                   "[--count N] [--rate R] [--max-seconds S] [--cpu N]");
    if (count < 0 || count > kMaxCount) Fail("--count must be 0.." + std::to_string(kMaxCount));
    if (!(maxSeconds > 0) || maxSeconds > kMaxSeconds) Fail("--max-seconds must be above 0 and at most 120");
    if (rate < 0) Fail("--rate must not be negative");
    if (datagram.size() > 65507) Fail("datagram too long for UDP");

    if (cpu >= 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        if (cpu >= CPU_SETSIZE) Fail("--cpu out of range");
        CPU_SET(cpu, &one);
        if (::sched_setaffinity(0, sizeof one, &one) != 0) Fail(std::string("--cpu: ") + std::strerror(errno));
    }
    const sockaddr_in to = bench::ParseEndpoint(destination, "--to");
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) Fail(std::string("socket: ") + std::strerror(errno));
    // Connected: the kernel skips the route lookup per datagram.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
        Fail(std::string("connect: ") + std::strerror(errno));

    // Every message of a batch points at the same bytes.
    iovec bytes{datagram.data(), datagram.size()};
    mmsghdr messages[kSendBatch];
    for (mmsghdr& message : messages) {
        message = mmsghdr{};
        message.msg_hdr.msg_iov = &bytes;
        message.msg_hdr.msg_iovlen = 1;
    }
    long sent = 0;
    long errors = 0;
    const double start = Now();
    const double deadline = start + maxSeconds;
    double now = start;
    while (sent + errors < count) {
        now = Now();
        if (now >= deadline) break;
        long due = count;
        if (rate > 0) {
            due = static_cast<long>((now - start) * rate) + 1;
            if (due > count) due = count;
        }
        // Send what has fallen due, checking the clock now and then so that
        // a flat-out run also honours the time cap.
        for (long n = 0; sent + errors < due; ++n) {
            if ((n & 15) == 15 && Now() >= deadline) break;
            const int batch = static_cast<int>(std::min<long>(due - sent - errors, kSendBatch));
            const int done = ::sendmmsg(fd, messages, static_cast<unsigned>(batch), 0);
            if (done <= 0) {
                ++errors;  // the first of the batch failed; the rest go again
                continue;
            }
            for (int i = 0; i < done; ++i)
                if (messages[i].msg_len == datagram.size()) ++sent;
                else ++errors;
        }
        if (rate > 0 && sent + errors < count) {
            const double next = start + static_cast<double>(sent + errors) / rate;
            const double earliest = Now() + static_cast<double>(kMinSleepNs) * 1e-9;
            SleepUntil(next > earliest ? next : earliest);
        }
    }
    const double seconds = Now() - start;
    ::close(fd);
    std::printf("sent=%ld errors=%ld seconds=%.3f rate=%.0f\n", sent, errors, seconds,
                seconds > 0 ? static_cast<double>(sent) / seconds : 0.0);
    return 0;
}
