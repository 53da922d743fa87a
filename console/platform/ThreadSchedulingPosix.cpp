#include "console/platform/ThreadScheduling.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace quillet {

void LowerThreadPriority(int steps) {
    // On Linux the niceness belongs to each thread, named by its thread id.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, tid);
    if (now == -1 && errno != 0) return;
    ::setpriority(PRIO_PROCESS, tid, now + steps);
}

void PauseMicroseconds(long microseconds) {
    timespec wait{microseconds / 1'000'000, (microseconds % 1'000'000) * 1000};
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

}  // namespace quillet
