#!/usr/bin/env bash
# Takes the screenshot of the console used in the README: docs/quillet.png.
#
#   scripts/screenshot.sh [BUILD_DIR] [OUTPUT.png]
#
# Starts Xvfb on a free display and runs the built console on it. As root the
# console runs in a throwaway network namespace (so it can bind UDP 161/162
# whatever runs on this machine) beside a second namespace with net-snmp's
# snmpd as the agent, and the script walks the agent's system group with
# WALK through xdotool before the picture is taken (its own settings
# folder, so nothing the user's console remembered changes the picture). Without root,
# namespaces, snmpd or xdotool it shows the window as it opens, started
# directly. Everything it starts is stopped again; its LOG folder is thrown
# away.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
output=${2:-$here/docs/quillet.png}
case "$output" in /*) ;; *) output="$PWD/$output" ;; esac
quillet="$(cd "$build" 2>/dev/null && pwd)/quillet"

if [ ! -x "$quillet" ]; then
    echo "no console at $quillet: build it first (cmake -S . -B build && cmake --build build)" >&2
    exit 1
fi
for tool in Xvfb import; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh test installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
chmod 755 "$work"
tag=$$
nsc="quillet-shot-c-$tag"
nsa="quillet-shot-a-$tag"
xvfb_pid=""
console_pid=""
agent_pid=""
namespaces=0

cleanup() {
    set +e
    for pid in "$console_pid" "$agent_pid" "$xvfb_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    if [ "$namespaces" -eq 1 ]; then
        ip netns del "$nsc" 2>/dev/null
        ip netns del "$nsa" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 tenths of a second for the command that follows to succeed.
wait_until() {
    local tenths=$1
    shift
    for _ in $(seq 1 "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_until 100 test -s "$work/display" || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -dc 0-9 <"$work/display")"
echo "Xvfb on $DISPLAY"

# Two namespaces joined by a veth pair: console 192.0.2.1, agent 192.0.2.2.
if [ "$(id -u)" -eq 0 ] && ip netns add "$nsc" 2>/dev/null; then
    namespaces=1
    if ip netns add "$nsa" 2>/dev/null &&
        ip link add "qsc$tag" type veth peer name "qsa$tag" 2>/dev/null; then
        ip link set "qsc$tag" netns "$nsc"
        ip link set "qsa$tag" netns "$nsa"
        ip -n "$nsc" addr add 192.0.2.1/24 dev "qsc$tag"
        ip -n "$nsa" addr add 192.0.2.2/24 dev "qsa$tag"
        ip -n "$nsa" link set lo up
        ip -n "$nsc" link set "qsc$tag" up
        ip -n "$nsa" link set "qsa$tag" up
    fi
    ip -n "$nsc" link set lo up
fi

walk=0
if [ "$namespaces" -eq 1 ] && [ -x /usr/sbin/snmpd ] && command -v xdotool >/dev/null &&
    ip netns list | grep -q "^$nsa\b"; then
    mkdir -p "$work/persist"
    cat >"$work/agent.conf" <<EOF
agentAddress udp:192.0.2.2:161
rocommunity ravine default
sysDescr Lab switch LS-24 rev. B (agent under test)
sysName ls24-lab
sysContact lab@example.net
sysLocation bench 3
EOF
    SNMP_PERSISTENT_DIR="$work/persist" MIBS= ip netns exec "$nsa" /usr/sbin/snmpd -f -Lo -C \
        -c "$work/agent.conf" >"$work/snmpd.log" 2>&1 &
    agent_pid=$!
    if wait_until 50 sh -c "ip netns exec '$nsa' ss -H -uln 'sport = :161' | grep -q ."; then
        walk=1
    fi
fi

mkdir "$work/run"
if [ "$namespaces" -eq 1 ]; then
    (cd "$work/run" && XDG_CONFIG_HOME="$work/config" exec ip netns exec "$nsc" "$quillet") >"$work/quillet.log" 2>&1 &
else
    (cd "$work/run" && XDG_CONFIG_HOME="$work/config" exec "$quillet") >"$work/quillet.log" 2>&1 &
fi
console_pid=$!

find_window() {
    window=$(xdotool search --onlyvisible --name '^Quillet v2c' 2>/dev/null | head -n1)
    [ -n "$window" ]
}
window=""
if command -v xdotool >/dev/null; then
    wait_until 150 find_window || { cat "$work/quillet.log" >&2; echo "no console window" >&2; exit 1; }
else
    sleep 5
fi
sleep 1

# Clicks at a point given in the window's own (logical) coordinates.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.3; }
# Replaces the text of the edit field at x, y.
type_into() {
    click "$1" "$2"
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 20 "$3"
    sleep 0.2
}

if [ "$walk" -eq 1 ]; then
    type_into 80 82 192.0.2.2           # IpEdit
    type_into 150 122 1.3.6.1.2.1.1     # OID1Edit: the system group
    click 72 532                         # WALK: the whole group, by GetNext in SNMPv1
    sleep 2
fi
xdotool mousemove 0 0 2>/dev/null || true
sleep 0.5

mkdir -p "$(dirname "$output")"
if [ -n "$window" ]; then
    import -window "$window" "$output"
else
    # No window id: the window is centred on the 1280 x 1024 screen.
    import -window root -crop 727x617+276+203 +repage "$output"
fi
echo "wrote $output$( [ "$walk" -eq 1 ] && echo ' (a WALK of the system group)')"
