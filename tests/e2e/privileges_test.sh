#!/bin/bash
# The shipped console run by an ordinary user, as the run command and the
# package set it up: cap_net_bind_service+ep on the program (here a copy of
# it in a folder uid 65534 may read), started by uid 65534 with no
# capability of its own, in a network namespace (the console's of netns.sh).
#
#   1. It starts, holds UDP 161 and 162, and once its window is up
#      /proc/PID/status shows no capability in CapEff, CapPrm, CapInh and
#      CapAmb, and NoNewPrivs 1; SIGTERM ends it with the stop mark.
#   2. A copy that also carries CAP_SETPCAP empties its bounding set too.
#   3. Started by root it stays root: its capabilities are those it was
#      started with (CI and the tests; raw ICMP for Ping).
#   4. The same as 1 with QT_PLUGIN_PATH and QT_QPA_PLATFORM_PLUGIN_PATH on a
#      folder that holds a style plugin of the tests' own, chosen by
#      QT_STYLE_OVERRIDE: the plugin runs (its trace is there) and runs
#      without any capability.
#   5. The same as 1, started with a real uid and gid of 0 beside the
#      effective 65534 (setpriv --ruid=0 --euid=65534 ...; the kernel then
#      hands it every capability), and with only the real gid 0.
# In every case but 3 the real, effective, saved and file-system user and
# group ids of the running console are all 65534.
#
#   $1: the quillet executable
#   $2: the build directory (the plugin is $2/tests/libquillettrace.so)
# Skips (exit 77) when not root or when ip netns, setcap or setpriv is
# missing.
set -u

quillet="${1:?usage: privileges_test.sh QUILLET BUILD_DIR}"
build="${2:?usage: privileges_test.sh QUILLET BUILD_DIR}"
quillet="$(realpath -- "$quillet")"
plugin="$build/tests/libquillettrace.so"
here="$(cd "$(dirname "$0")" && pwd)"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

# shellcheck source=netns.sh
source "$here/netns.sh"
netns_check_able setcap setpriv ss || exit 77
for file in "$quillet" "$plugin"; do
    if [ ! -f "$file" ]; then
        echo "FAIL: $file is missing"
        exit 1
    fi
done

netns_workspace privileges

# The program as an install would have it: a copy with the one capability,
# in folders uid 65534 may enter; the plugin where the variables point.
chmod 755 "$work"
mkdir -p "$work/bin" "$work/bin-setpcap" "$work/plugins/styles"
cp "$quillet" "$work/bin/quillet"
cp "$quillet" "$work/bin-setpcap/quillet"
cp "$plugin" "$work/plugins/styles/"
chmod -R a+rX "$work/bin" "$work/bin-setpcap" "$work/plugins"
if ! setcap cap_net_bind_service+ep "$work/bin/quillet" ||
    ! setcap cap_net_bind_service,cap_setpcap+ep "$work/bin-setpcap/quillet"; then
    echo "SKIP: setcap is refused here"
    exit 77
fi
program="$work/bin/quillet"

netns_setup "$$" || exit 1

as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all)

# start_console NAME ENV...: starts $program as uid 65534 in the console's
# namespace, working directory $work/NAME (writable by it), with the
# variables ENV (NAME=VALUE) added. CONSOLE_PID is the program's own pid.
start_console() {
    local name="$1"
    shift
    mkdir -p "$work/$name"
    chown 65534:65534 "$work/$name"
    (cd "$work/$name" && exec env "$@" ip netns exec "$NETNS_CONSOLE" "${as_user[@]}" "$program") \
        >"$work/$name.out" 2>&1 &
    CONSOLE_PID=$!
}

log_started() { grep -qa '^++LOGGING START' "$work/$1"/LOG/*.LOG 2>/dev/null; }

# The pid that holds UDP PORT in the console's namespace, by ss.
port_holder() {
    ip netns exec "$NETNS_CONSOLE" ss -Hulpn "sport = :$1" | sed -nE 's/.*pid=([0-9]+).*/\1/p' | head -1
}

# no_capabilities WHAT FILE: FILE holds /proc/PID/status lines; fails unless
# CapEff, CapPrm, CapInh and CapAmb are all zero and NoNewPrivs is 1.
no_capabilities() {
    local what="$1" file="$2" line field ok=1
    # A trace may hold several snapshots: every one counts.
    for field in CapEff CapPrm CapInh CapAmb NoNewPrivs; do
        local want=0000000000000000
        [ "$field" = NoNewPrivs ] && want=1
        if ! grep -q "^$field:" "$file"; then
            fail "$what: no $field line"
            ok=0
        fi
        while read -r line; do
            if [ "$(echo "$line" | awk '{print $2}')" != "$want" ]; then
                fail "$what: $line"
                ok=0
            fi
        done < <(grep "^$field:" "$file")
    done
    [ "$ok" -eq 1 ] && echo "ok: $what: no capability held, no new privileges"
}

# run_console NAME ENV...: the whole run of case NAME, checks included.
run_console() {
    local name="$1"
    shift
    start_console "$name" "$@"
    if ! wait_until 15 log_started "$name"; then
        fail "$name: no start mark"
        cat "$work/$name.out"
        return
    fi
    local pid161 pid162
    pid161=$(port_holder 161)
    pid162=$(port_holder 162)
    if [ "$pid161" != "$CONSOLE_PID" ] || [ "$pid162" != "$CONSOLE_PID" ]; then
        fail "$name: UDP 161 is held by '${pid161}', 162 by '${pid162}', not by the console ($CONSOLE_PID)"
    else
        echo "ok: $name: the console holds UDP 161 and 162"
    fi
    local field
    for field in Uid Gid; do
        if [ "$(awk -v f="$field:" '$1 == f {print $2, $3, $4, $5}' "/proc/$CONSOLE_PID/status")" != \
            "65534 65534 65534 65534" ]; then
            fail "$name: $(grep "^$field:" "/proc/$CONSOLE_PID/status" | tr '\t' ' '), not 65534 in each"
        else
            echo "ok: $name: real, effective, saved and file-system ${field,,}s are 65534"
        fi
    done
    # The window is up once the start mark is there: it is written by the
    # window's start-up, after the drop.
    cp "/proc/$CONSOLE_PID/status" "$work/$name.status"
    no_capabilities "$name: the console" "$work/$name.status"
    stop_pid "$CONSOLE_PID" 5
    CONSOLE_PID=""
    local log
    log="$(ls "$work/$name"/LOG/*.LOG 2>/dev/null | head -1)"
    if [ -n "$log" ] && [ "$(grep -ac '^--LOGGING STOP' "$log")" -eq 1 ]; then
        echo "ok: $name: start and stop marks written"
    else
        fail "$name: no stop mark in the log"
    fi
}

run_console plain

program="$work/bin-setpcap/quillet"
run_console setpcap
bounding=$(awk '/^CapBnd:/ {print $2}' "$work/setpcap.status" 2>/dev/null)
if [ "$bounding" = 0000000000000000 ]; then
    echo "ok: setpcap: the bounding set is empty too"
else
    fail "setpcap: CapBnd is '$bounding'"
fi
program="$work/bin/quillet"

# Root: the same program, no setpriv.
as_user=(env)
start_console root-run
if wait_until 15 log_started root-run; then
    own=$(awk '/^CapEff:/ {print $2}' /proc/self/status)
    held=$(awk '/^CapEff:/ {print $2}' "/proc/$CONSOLE_PID/status")
    if [ "$held" = "$own" ] && [ "$held" != 0000000000000000 ]; then
        echo "ok: root-run: a console started by root keeps its capabilities"
    else
        fail "root-run: CapEff $held, started with $own"
    fi
else
    fail "root-run: no start mark"
fi
stop_pid "$CONSOLE_PID" 5
CONSOLE_PID=""
as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all)

# Another real uid and gid than the effective ones: a way back to root
# unless the console makes them one.
as_user=(setpriv --ruid=0 --euid=65534 --rgid=0 --egid=65534 --clear-groups --inh-caps=-all)
run_console real-root
as_user=(setpriv --reuid=65534 --rgid=0 --egid=65534 --clear-groups --inh-caps=-all)
run_console real-root-group
as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all)

trace="$work/plugin-run/trace.txt"
run_console plugin-run QT_PLUGIN_PATH="$work/plugins" QT_QPA_PLATFORM_PLUGIN_PATH="$work/plugins" \
    QT_STYLE_OVERRIDE=quillettrace QUILLET_TRACE_FILE="$trace"
if [ ! -s "$trace" ] || ! grep -q '^when: create' "$trace"; then
    fail "the plugin on QT_PLUGIN_PATH left no trace: the test proves nothing"
    cat "$work/plugin-run.out"
else
    no_capabilities "the plugin's code" "$trace"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all privilege checks passed"
