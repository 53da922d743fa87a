#include "platform/ThreadScheduling.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillet {

void LowerThreadPriority(int steps) {
    // On Linux the niceness belongs to each thread, named by its thread id.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, tid);
    if (now == -1 && errno != 0) return;
    ::setpriority(PRIO_PROCESS, tid, now + steps);
}

void NameThisThread(const char* name) {
#ifdef __linux__
    char kept[16] = {};
    std::strncpy(kept, name, sizeof kept - 1);
    ::pthread_setname_np(::pthread_self(), kept);
#else
    (void)name;
#endif
}

void PauseMicroseconds(long microseconds) {
    timespec wait{microseconds / 1'000'000, (microseconds % 1'000'000) * 1000};
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

int CurrentProcessor() {
#ifdef __linux__
    return ::sched_getcpu();
#else
    return -1;
#endif
}

bool KeepOffProcessor(int processor) {
#ifdef __linux__
    if (processor < 0 || processor >= CPU_SETSIZE) return false;
    // The processors the process may use (those of its main thread, which
    // keeps any limit the user set), less the one to keep off.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(::getpid(), sizeof allowed, &allowed) != 0) return false;
    CPU_CLR(processor, &allowed);
    if (CPU_COUNT(&allowed) == 0) return false;
    return ::sched_setaffinity(0, sizeof allowed, &allowed) == 0;
#else
    (void)processor;
    return false;
#endif
}

}  // namespace quillet
