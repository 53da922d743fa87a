// Keeps the process's memory, which holds SNMPv3 pass phrases and keys
// while it runs, out of core dumps and out of reach of other processes of
// the same user.
#pragma once

#include <string>

namespace quillet {

// Makes the process not dumpable (Linux: prctl PR_SET_DUMPABLE 0, so no
// core is written for it, /proc/PID belongs to root and a debugger of the
// same user cannot attach) and sets its soft core size limit to 0, which a
// core handler such as systemd-coredump honours even where the system would
// dump a non-dumpable process for root (fs.suid_dumpable 2). Call it after
// any change of user ids, which makes a process dumpable again, and before
// the first secret is typed; it holds for the rest of the run. A process
// not dumpable hides its sockets from other processes of its user
// (/proc/PID/fd belongs to root): PortHolders cannot name it then. False, with
// the failed step and the system's reason in `why`, when a step fails.
bool ForbidCoreDumps(std::string& why);

}  // namespace quillet
