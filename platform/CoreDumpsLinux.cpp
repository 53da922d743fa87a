#include "platform/CoreDumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>

namespace quillet {

bool ForbidCoreDumps(std::string& why) {
    why.clear();
    if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
        why = std::string("prctl(PR_SET_DUMPABLE): ") + std::strerror(errno);
        return false;
    }
    rlimit limit{};
    if (::getrlimit(RLIMIT_CORE, &limit) != 0 || (limit.rlim_cur = 0, ::setrlimit(RLIMIT_CORE, &limit) != 0)) {
        why = std::string("setrlimit(RLIMIT_CORE): ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace quillet
