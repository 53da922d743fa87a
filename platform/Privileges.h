// The privilege of an ordinary user's console: the shipped program may carry
// one file capability (binding UDP 161 and 162). It binds both sockets
// first, then gives up every capability and any other user or group id it
// was started with, before the toolkit loads any plugin or reads any plugin
// path, so no code of the rest of the run holds one or can get one back.
//
// A process started by root is left as it is (CI, tests, and raw ICMP for
// Ping): the drop concerns privileges that file capabilities gave an
// ordinary user. Where the platform has no capabilities (Windows) there is
// nothing to drop.
#pragma once

#include <string>

namespace quillet {

struct PrivilegeDrop {
    bool done = false;      // nothing is held any more (or the process is root and keeps all)
    bool keptRoot = false;  // the process runs as root and was left alone
    std::string failure;    // when !done: which step failed, for a line on stderr
};

// When the effective user is not root: clears the ambient set, empties the
// bounding set when the process may (CAP_SETPCAP), clears the effective,
// permitted and inheritable sets, and sets no_new_privs so that no later
// exec can raise anything again. Then makes the real and saved group ids
// equal to the effective one, and the user ids likewise, since a real or
// saved uid of 0 kept beside another effective uid (a console started by
// root through a setuid step, or setpriv --ruid=0 --euid=...) is a way back
// to root. Then checks that no capability is left and that the real,
// effective and saved ids are one (getresuid, getresgid).
PrivilegeDrop DropPrivilegesUnlessRoot();

// True when the process runs with the effective user id of root; such a
// process keeps its raw ICMP socket for Ping.
bool RunsAsRoot();

}  // namespace quillet
