// Linux capabilities through the system calls themselves (no libcap), and
// the user and group ids (POSIX, but for getresuid and its kind, which Linux
// and the BSDs have).
#include "platform/Privileges.h"

#include <unistd.h>

#ifdef __linux__
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <cstring>

namespace quillet {
namespace {

#ifdef __linux__

// Two 32-bit words of each set, as _LINUX_CAPABILITY_VERSION_3 has them.
struct CapabilitySets {
    __user_cap_data_struct words[_LINUX_CAPABILITY_U32S_3] = {};
};

bool GetCapabilities(CapabilitySets& sets) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, sets.words) == 0;
}

bool SetCapabilities(const CapabilitySets& sets) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capset, &header, sets.words) == 0;
}

bool HasEffective(const CapabilitySets& sets, int capability) {
    return (sets.words[capability / 32].effective & (1u << (capability % 32))) != 0;
}

bool NoneHeld(const CapabilitySets& sets) {
    for (const auto& word : sets.words) {
        if (word.effective != 0 || word.permitted != 0 || word.inheritable != 0) return false;
    }
    return true;
}

#endif

std::string Failed(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

// Makes the real and saved ids equal to the effective one, groups first:
// a real or saved id of 0 (or of anyone else) would be a way back to it.
// Setting an id to one the process already has needs no privilege.
std::string SettleIds() {
    uid_t ruid, euid, suid;
    gid_t rgid, egid, sgid;
    if (::getresgid(&rgid, &egid, &sgid) != 0) return Failed("getresgid");
    if ((rgid != egid || sgid != egid) && ::setresgid(egid, egid, egid) != 0) return Failed("setresgid");
    if (::getresuid(&ruid, &euid, &suid) != 0) return Failed("getresuid");
    if ((ruid != euid || suid != euid) && ::setresuid(euid, euid, euid) != 0) return Failed("setresuid");
    // Checked afresh: the calls above are the only ones that may change them.
    if (::getresgid(&rgid, &egid, &sgid) != 0 || rgid != egid || sgid != egid)
        return "the real, effective and saved group ids still differ";
    if (::getresuid(&ruid, &euid, &suid) != 0 || ruid != euid || suid != euid)
        return "the real, effective and saved user ids still differ";
    return std::string();
}

}  // namespace

bool RunsAsRoot() { return ::geteuid() == 0; }

PrivilegeDrop DropPrivilegesUnlessRoot() {
    PrivilegeDrop result;
    if (RunsAsRoot()) {
        result.done = true;
        result.keptRoot = true;
        return result;
    }
#ifdef __linux__
    CapabilitySets sets;
    if (!GetCapabilities(sets)) {
        result.failure = Failed("capget");
        return result;
    }
    // Ambient capabilities would survive an exec of an ordinary program.
    // Kernels before 4.3 know no ambient set (EINVAL): nothing to clear.
    if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL) {
        result.failure = Failed("PR_CAP_AMBIENT_CLEAR_ALL");
        return result;
    }
    // Emptying the bounding set takes CAP_SETPCAP, which a program given
    // only the bind capability lacks; with no_new_privs below it matters
    // little, since nothing can be gained by exec any more.
    if (HasEffective(sets, CAP_SETPCAP)) {
        for (int capability = 0; ::prctl(PR_CAPBSET_READ, capability, 0, 0, 0) >= 0; ++capability) {
            if (::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) {
                result.failure = Failed("PR_CAPBSET_DROP");
                return result;
            }
        }
    }
    const CapabilitySets none;
    if (!SetCapabilities(none)) {
        result.failure = Failed("capset");
        return result;
    }
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        result.failure = Failed("PR_SET_NO_NEW_PRIVS");
        return result;
    }
#endif
    result.failure = SettleIds();
    if (!result.failure.empty()) return result;
#ifdef __linux__
    CapabilitySets left;
    if (!GetCapabilities(left) || !NoneHeld(left)) {
        result.failure = "capabilities are still held after capset";
        return result;
    }
#endif
    result.done = true;
    return result;
}

}  // namespace quillet
