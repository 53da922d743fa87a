// Runs one ping run against an address and prints its lines, one per line,
// as the pane would show them.
//
//   ping_probe [--stop-after MS] [--then ADDRESS2] ADDRESS
//
// --stop-after MS  stops the run after MS milliseconds, as a second click on
//                  the button does, and prints the three "terminated" lines;
//                  then waits 700 ms more and reports any line of the stopped
//                  run that still reached the sink ("LINE AFTER STOP: ...").
// --then ADDRESS2  afterwards starts a fresh run against ADDRESS2.
// Exit status: 0 done, 1 a line came after the stop or a click did not do
// what it should, 2 bad arguments or a run that did not end within 10 s.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "ping/IcmpEcho.h"
#include "ping/PingRun.h"

namespace {

std::mutex outputMutex;
std::mutex finishedMutex;
std::condition_variable finishedChanged;
bool finished = false;
std::atomic<bool> stopReturned{false};
std::atomic<bool> lineAfterStop{false};

void Print(std::string_view line) {
    std::lock_guard<std::mutex> lock(outputMutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Sink(std::string_view line) {
    if (stopReturned.load()) {
        lineAfterStop = true;
        Print("LINE AFTER STOP: " + std::string(line));
        return;
    }
    Print(line);
}

void OnFinished() {
    std::lock_guard<std::mutex> lock(finishedMutex);
    finished = true;
    finishedChanged.notify_all();
}

// Waits until the run has finished by itself or `ms` have passed.
bool WaitFinished(int ms) {
    std::unique_lock<std::mutex> lock(finishedMutex);
    return finishedChanged.wait_for(lock, std::chrono::milliseconds(ms), [] { return finished; });
}

int Usage() {
    std::fprintf(stderr, "usage: ping_probe [--stop-after MS] [--then ADDRESS2] ADDRESS\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int stopAfterMs = -1;
    const char* address = nullptr;
    const char* nextAddress = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--stop-after") == 0 && i + 1 < argc) {
            stopAfterMs = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--then") == 0 && i + 1 < argc) {
            nextAddress = argv[++i];
        } else if (address == nullptr) {
            address = argv[i];
        } else {
            return Usage();
        }
    }
    if (address == nullptr) return Usage();

    quillet::PingRun ping;
    const std::string first = address;
    const auto firstAddress = [first] { return first; };
    if (ping.StartOrStop(firstAddress, Sink, OnFinished) != quillet::PingRun::Toggle::Started) {
        std::fprintf(stderr, "ping_probe: the run did not start\n");
        return 1;
    }

    int status = 0;
    if (stopAfterMs >= 0) {
        if (!WaitFinished(stopAfterMs)) {
            if (ping.StartOrStop(firstAddress, Sink, OnFinished) != quillet::PingRun::Toggle::Stopped) {
                std::fprintf(stderr, "ping_probe: the second click did not stop the run\n");
                return 1;
            }
            stopReturned = true;
            Print("");
            Print(quillet::kPingTerminatedLine);
            Print("");
            // Longer than a receive time-out: time enough for a stopped run
            // that went on to show itself.
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            if (lineAfterStop.load() || ping.IsActive()) status = 1;
        }
    }
    if (stopAfterMs < 0 && !WaitFinished(10000)) {
        std::fprintf(stderr, "ping_probe: the run did not end within 10 s\n");
        ping.Stop();
        return 2;
    }

    if (nextAddress != nullptr) {
        {
            std::lock_guard<std::mutex> lock(finishedMutex);
            finished = false;
        }
        stopReturned = false;
        const std::string second = nextAddress;
        if (ping.StartOrStop([second] { return second; }, Sink, OnFinished) != quillet::PingRun::Toggle::Started) {
            std::fprintf(stderr, "ping_probe: the next click did not start a run\n");
            return 1;
        }
        if (!WaitFinished(10000)) {
            std::fprintf(stderr, "ping_probe: the next run did not end within 10 s\n");
            ping.Stop();
            return 2;
        }
    }
    return status;
}
