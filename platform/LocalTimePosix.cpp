#include "platform/LocalTime.h"

#include <time.h>

#include <cerrno>

namespace quillet {

LocalDateTime CurrentLocalTime() {
    const time_t now = time(nullptr);
    struct tm parts {};
    localtime_r(&now, &parts);
    return LocalDateTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

std::int64_t RealtimeNs() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

LocalDateTime LocalTimeOfNs(std::int64_t realtimeNs) {
    if (realtimeNs <= 0) realtimeNs = RealtimeNs();
    const time_t seconds = static_cast<time_t>(realtimeNs / 1'000'000'000);
    struct tm parts {};
    localtime_r(&seconds, &parts);
    return LocalDateTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                         parts.tm_sec, static_cast<int>(realtimeNs / 1'000'000 % 1000)};
}

std::uint32_t TickCountMs() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000);
}

void SleepMs(int milliseconds) {
    struct timespec ts {};
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    // Only a signal resumes the sleep with the time left; any other failure
    // (a negative or otherwise invalid time) ends it at once rather than
    // retrying for ever.
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace quillet
