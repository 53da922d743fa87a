#include "console/platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
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

}  // namespace quillet
