# shellcheck shell=bash
# Two hosts on one machine for the end-to-end scripts, to be sourced:
#
#   console  qc-<id>  192.0.2.1   (where the console runs)
#   agent    qa-<id>  192.0.2.2   (net-snmp's snmpd, snmptrap, snmpget...)
#
# joined by one veth pair. Traffic stays between these two addresses.
#
#   source "$(dirname "$0")/netns.sh"
#   netns_check_able python3 || exit 77    # prints SKIP: ...; 77 tells CTest it skipped
#   netns_setup "$$" || exit 1
#   trap netns_teardown EXIT               # or call it from your own trap
#   agent_start "$work/agent" "syscontact someone" || exit 1
#   in_agent snmptrap -v1 -c ravine "$NETNS_CONSOLE_ADDR:162" ...
#   wait_until 5 some_test_command args
#
# Every wait is bounded. netns_teardown stops what agent_start and
# netns_spawn started (by pid), then deletes both namespaces; it can be
# called more than once.

NETNS_CONSOLE_ADDR=192.0.2.1
NETNS_AGENT_ADDR=192.0.2.2
NETNS_CONSOLE=""
NETNS_AGENT=""
NETNS_AGENT_PID=""
NETNS_SPAWNED=()

# The net-snmp tools read no MIB files and no configuration of this machine,
# and write their persistent data into a directory of ours (set by
# netns_setup).
export MIBS=
export SNMPCONFPATH=/nonexistent
unset SNMP_PERSISTENT_DIR

# netns_check_able [COMMAND...]: 0 when the scripts can run here: root,
# network namespaces, snmpd, snmptrap and each COMMAND given. Otherwise
# prints "SKIP: reason" and returns 1.
netns_check_able() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "SKIP: needs root (network namespaces, ports 161 and 162)"
        return 1
    fi
    if ! command -v ip >/dev/null 2>&1 || ! ip netns list >/dev/null 2>&1; then
        echo "SKIP: ip netns is unavailable"
        return 1
    fi
    # install_test.sh purges and reinstalls snmpd and snmptrapd for a while:
    # wait until it is done, and hold it off while this script runs (the
    # shared lock lasts as long as this shell).
    exec {NETNS_PACKAGES_LOCK}>>/tmp/quillet-snmp-packages.lock
    if ! flock -s -w 600 "$NETNS_PACKAGES_LOCK"; then
        echo "netns: the SNMP packages stayed locked for 600 s (/tmp/quillet-snmp-packages.lock)" >&2
        return 1
    fi
    local tool
    for tool in snmpd snmptrap "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "/usr/sbin/$tool" ]; then
            echo "SKIP: $tool is not installed"
            return 1
        fi
    done
    return 0
}

# require_programs PATH...: ends the script (exit 1, with a message) unless
# every PATH is an executable file.
require_programs() {
    local program
    for program in "$@"; do
        if [ ! -x "$program" ]; then
            echo "FAIL: $program is missing"
            exit 1
        fi
    done
}

# fail MESSAGE...: reports one failed check and counts it in $failures; the
# script ends with a non-zero status when any check failed.
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# netns_exists NAME: 0 when the namespace NAME exists.
netns_exists() {
    ip netns list 2>/dev/null | awk '{print $1}' | grep -qx -- "$1"
}

# netns_setup ID: creates qc-ID and qa-ID with their veth pair and
# addresses, and a private directory $NETNS_STATE for the net-snmp tools.
# Returns non-zero (after undoing what it did) when something fails.
netns_setup() {
    local id="$1"
    NETNS_CONSOLE="qc-$id"
    NETNS_AGENT="qa-$id"
    # Interface names must stay under 16 characters.
    local vc="vqc$id" va="vqa$id"
    NETNS_STATE="$(mktemp -d /tmp/quillet-netns.XXXXXX)" || return 1
    export SNMP_PERSISTENT_DIR="$NETNS_STATE/persist"
    mkdir -p "$SNMP_PERSISTENT_DIR"
    if ! {
        ip netns add "$NETNS_CONSOLE" &&
            ip netns add "$NETNS_AGENT" &&
            ip link add "$vc" type veth peer name "$va" &&
            ip link set "$vc" netns "$NETNS_CONSOLE" &&
            ip link set "$va" netns "$NETNS_AGENT" &&
            ip -n "$NETNS_CONSOLE" addr add "$NETNS_CONSOLE_ADDR/24" dev "$vc" &&
            ip -n "$NETNS_AGENT" addr add "$NETNS_AGENT_ADDR/24" dev "$va" &&
            ip -n "$NETNS_CONSOLE" link set lo up &&
            ip -n "$NETNS_AGENT" link set lo up &&
            ip -n "$NETNS_CONSOLE" link set "$vc" up &&
            ip -n "$NETNS_AGENT" link set "$va" up
    }; then
        echo "netns: cannot set up $NETNS_CONSOLE and $NETNS_AGENT" >&2
        netns_teardown
        return 1
    fi
    if ! wait_until 5 netns_link_up; then
        echo "netns: the link between the namespaces does not come up" >&2
        netns_teardown
        return 1
    fi
    return 0
}

netns_link_up() {
    ip -n "$NETNS_CONSOLE" -br link show "vqc${NETNS_CONSOLE#qc-}" 2>/dev/null | grep -qw UP &&
        ip -n "$NETNS_AGENT" -br link show "vqa${NETNS_AGENT#qa-}" 2>/dev/null | grep -qw UP
}

# netns_require: fails (returns 1, with a message) unless both namespaces
# still exist. Call it before sending anything.
netns_require() {
    local n
    for n in "$NETNS_CONSOLE" "$NETNS_AGENT"; do
        if [ -z "$n" ] || ! netns_exists "$n"; then
            echo "netns: namespace '$n' is missing" >&2
            return 1
        fi
    done
    return 0
}

# in_console CMD... / in_agent CMD...: runs CMD inside that namespace.
in_console() { ip netns exec "$NETNS_CONSOLE" "$@"; }
in_agent() { ip netns exec "$NETNS_AGENT" "$@"; }

# wait_until SECONDS CMD...: runs CMD every 0.1 s until it succeeds, at most
# SECONDS seconds (and at most 10 * SECONDS tries). 0 when it succeeded.
wait_until() {
    local seconds="$1"
    shift
    local tries=$((seconds * 10)) deadline=$((SECONDS + seconds + 1))
    while [ "$tries" -gt 0 ] && [ "$SECONDS" -le "$deadline" ]; do
        "$@" && return 0
        tries=$((tries - 1))
        sleep 0.1
    done
    "$@"
}

# udp_bound NAMESPACE PORT: 0 when a UDP socket in NAMESPACE is bound to PORT.
udp_bound() {
    ip netns exec "$1" ss -Hlun "sport = :$2" 2>/dev/null | grep -q .
}

# stop_pid PID [SECONDS]: SIGTERM, then SIGKILL if PID is still there after
# SECONDS (default 5). Returns the exit status when PID is our child.
stop_pid() {
    local pid="$1" seconds="${2:-5}"
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || {
        wait "$pid" 2>/dev/null
        return $?
    }
    if ! wait_until "$seconds" pid_gone "$pid"; then
        kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
}

pid_gone() { ! kill -0 "$1" 2>/dev/null || [ "$(ps -o stat= -p "$1" 2>/dev/null | cut -c1)" = Z ]; }

# netns_spawn NAMESPACE DIR OUT SECONDS CMD...: starts CMD in NAMESPACE in
# the background, in the working directory DIR, stdout and stderr to OUT,
# killed after SECONDS at the latest. Sets NETNS_PID to a pid that forwards
# SIGTERM to CMD and returns CMD's status to `wait`. netns_teardown stops it.
netns_spawn() {
    local ns="$1" dir="$2" out="$3" seconds="$4"
    shift 4
    (cd "$dir" && exec timeout -k 5 "$seconds" ip netns exec "$ns" "$@") >"$out" 2>&1 &
    NETNS_PID=$!
    NETNS_SPAWNED+=("$NETNS_PID")
}

# agent_start DIR [CONF_LINE...]: writes DIR/agent.conf (address
# 192.0.2.2:161, rocommunity ravine, rwcommunity ravine-rw, then the lines
# given) and starts snmpd in the foreground in the agent namespace. Waits
# until it answers a GetRequest (at most 10 s). Sets NETNS_AGENT_PID.
agent_start() {
    local dir="$1"
    shift
    mkdir -p "$dir"
    {
        echo "agentAddress udp:$NETNS_AGENT_ADDR:161"
        echo "rocommunity ravine default"
        echo "rwcommunity ravine-rw default"
        local line
        for line in "$@"; do echo "$line"; done
    } >"$dir/agent.conf"
    local snmpd
    snmpd="$(command -v snmpd || echo /usr/sbin/snmpd)"
    netns_require || return 1
    ip netns exec "$NETNS_AGENT" "$snmpd" -f -Lo -C -c "$dir/agent.conf" -p "$dir/snmpd.pid" \
        >"$dir/snmpd.log" 2>&1 &
    NETNS_AGENT_PID=$!
    if ! wait_until 10 agent_answers; then
        echo "netns: snmpd does not answer; its log:" >&2
        cat "$dir/snmpd.log" >&2
        return 1
    fi
    return 0
}

# Asked from the console's namespace, so the answer proves the link too.
agent_answers() {
    in_console snmpget -v1 -c ravine -t 0.3 -r 0 "$NETNS_AGENT_ADDR" 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1
}

# agent_stop: stops snmpd by its pid.
agent_stop() {
    if [ -n "$NETNS_AGENT_PID" ]; then
        stop_pid "$NETNS_AGENT_PID" 5
        NETNS_AGENT_PID=""
    fi
}

# capture_udp NAMESPACE SECONDS CMD...: binds a UDP socket on 127.0.0.1 in
# NAMESPACE, runs CMD there with every argument "@DEST@" replaced by
# 127.0.0.1:<port>, and prints the first datagram that arrives as
# hexadecimal bytes separated by blanks. Fails after SECONDS without one.
# Used to learn what a peer really sends.
capture_udp() {
    local ns="$1" seconds="$2"
    shift 2
    ip netns exec "$ns" timeout -k 2 "$((seconds + 2))" python3 -c '
import socket, subprocess, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0))
dest = "127.0.0.1:%d" % s.getsockname()[1]
s.settimeout(float(sys.argv[1]))
cmd = [dest if a == "@DEST@" else a for a in sys.argv[2:]]
if subprocess.run(cmd, stdout=subprocess.DEVNULL).returncode != 0:
    sys.exit("capture: the command failed")
print(s.recv(65536).hex(" ").upper())
' "$seconds" "$@"
}

# netns_teardown: stops what was started here and deletes both namespaces.
netns_teardown() {
    local pid
    for pid in "${NETNS_SPAWNED[@]}"; do
        kill -0 "$pid" 2>/dev/null && stop_pid "$pid" 3
    done
    NETNS_SPAWNED=()
    agent_stop
    [ -n "$NETNS_CONSOLE" ] && netns_exists "$NETNS_CONSOLE" && ip netns del "$NETNS_CONSOLE" 2>/dev/null
    [ -n "$NETNS_AGENT" ] && netns_exists "$NETNS_AGENT" && ip netns del "$NETNS_AGENT" 2>/dev/null
    if [ -n "${NETNS_STATE:-}" ] && [ -d "$NETNS_STATE" ]; then
        rm -rf "$NETNS_STATE"
    fi
    NETNS_STATE=""
    return 0
}

# netns_workspace NAME: makes $work, a fresh folder /tmp/quillet-NAME.*, and
# arranges that at exit the console started as $CONSOLE_PID (if any) is
# killed, whatever netns_setup started is stopped, both namespaces are
# deleted and $work is removed.
netns_workspace() {
    work="$(mktemp -d "/tmp/quillet-$1.XXXXXX")"
    trap netns_cleanup EXIT
    trap 'exit 130' INT TERM
}
netns_cleanup() {
    [ -n "${CONSOLE_PID:-}" ] && kill -KILL "$CONSOLE_PID" 2>/dev/null
    netns_teardown
    [ -n "${QUILLET_KEEP_WORK:-}" ] && { echo "kept $work"; return; }
    rm -rf "$work"
}
