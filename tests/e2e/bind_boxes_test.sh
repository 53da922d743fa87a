#!/bin/bash
# The bind boxes name what the operator can do. In a network namespace (the
# console's of netns.sh), snmpd on 127.0.0.1:161 and [::1]:161 and
# snmptrapd on 0.0.0.0:162 are started first, as the Debian units would
# start them on a desktop; then startup_harness (the console's start-up with
# its real boxes, each printed) runs:
#
#   1. as root: each bind box's second line names the holder and its pid;
#   2. as uid 65534, ports below 1024 not allowed: the second line gives the
#      setcap command with the harness's own path;
#   3. as uid 65534, ports allowed (ip_unprivileged_port_start=0 in the
#      namespace) but the holders root's: they cannot be seen, and the
#      second line gives the ss command that shows them;
#   4. as uid 65534 again, the daemons stopped and the shipped console
#      running as the same user with cap_net_bind_service (as the run
#      command sets it up): the second copy names the first;
#   5. the shipped console with no display: one line, status 1.
#
#   $1: the quillet executable
#   $2: the build directory (the harness is $2/tests/startup_harness)
# Skips (exit 77) when not root or when ip netns, snmpd or snmptrapd is
# missing.
set -u

quillet="${1:?usage: bind_boxes_test.sh QUILLET BUILD_DIR}"
build="${2:?usage: bind_boxes_test.sh QUILLET BUILD_DIR}"
harness="$build/tests/startup_harness"
here="$(cd "$(dirname "$0")" && pwd)"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

# shellcheck source=netns.sh
source "$here/netns.sh"
netns_check_able snmptrapd setpriv setcap ss || exit 77
require_programs "$quillet" "$harness"

netns_workspace bindboxes

# A copy uid 65534 may run, with a working folder it may write.
chmod 755 "$work"
mkdir -p "$work/bin"
cp "$harness" "$work/bin/startup_harness"
cp "$quillet" "$work/bin/quillet"
chmod -R a+rX "$work/bin"
harness="$work/bin/startup_harness"
if ! setcap cap_net_bind_service+ep "$work/bin/quillet"; then
    echo "SKIP: setcap is refused here"
    exit 77
fi

netns_setup "$$" || exit 1

cat >"$work/snmpd.conf" <<'CONF'
agentaddress 127.0.0.1,[::1]
rocommunity public localhost
CONF
echo "disableAuthorization yes" >"$work/snmptrapd.conf"
snmpd="$(command -v snmpd || echo /usr/sbin/snmpd)"
snmptrapd="$(command -v snmptrapd || echo /usr/sbin/snmptrapd)"
netns_spawn "$NETNS_CONSOLE" "$work" "$work/snmpd.log" 250 "$snmpd" -f -Lo -C -c "$work/snmpd.conf"
daemons=("$NETNS_PID")
netns_spawn "$NETNS_CONSOLE" "$work" "$work/snmptrapd.log" 250 "$snmptrapd" -f -Lo -C -c "$work/snmptrapd.conf" \
    udp:0.0.0.0:162
daemons+=("$NETNS_PID")
if ! wait_until 10 udp_bound "$NETNS_CONSOLE" 161 || ! wait_until 10 udp_bound "$NETNS_CONSOLE" 162; then
    echo "FAIL: snmpd or snmptrapd did not start"
    cat "$work/snmpd.log" "$work/snmptrapd.log"
    exit 1
fi

# The pid of the IPv4 socket on UDP PORT in the console's namespace.
port_holder() {
    ip netns exec "$NETNS_CONSOLE" ss -Hulpn "sport = :$1" | grep -v '\[' |
        sed -nE 's/.*pid=([0-9]+).*/\1/p' | head -1
}
snmpd_pid=$(port_holder 161)
snmptrapd_pid=$(port_holder 162)

box_count() {
    local count
    count=$(grep -sc '^box: ' "$1")
    [ "${count:-0}" -ge "$2" ]
}

# run_harness NAME [setpriv...]: runs the harness in the console's namespace
# until it has shown (and closed) its four start-up boxes: two bind boxes,
# two receive-error boxes. $work/NAME.boxes gets the first two, in order.
run_harness() {
    local name="$1"
    shift
    mkdir -p "$work/$name"
    chown 65534:65534 "$work/$name"
    (cd "$work/$name" && exec ip netns exec "$NETNS_CONSOLE" "$@" "$harness" --close-boxes=4) \
        >"$work/$name.out" 2>"$work/$name.err" &
    local pid=$!
    if ! wait_until 10 box_count "$work/$name.out" 4; then
        fail "$name: the four start-up boxes did not come"
        cat "$work/$name.out" "$work/$name.err"
    fi
    stop_pid "$pid" 5
    grep '^box: ' "$work/$name.out" | head -2 >"$work/$name.boxes"
}

# check NAME WHAT LINE1 LINE2: the two bind boxes of run NAME, in order.
check() {
    local name="$1" what="$2"
    printf 'box: recv bind=NG  当プログラムを既に起動していませんか？  | %s\n' "$3" "$4" >"$work/$name.expected"
    if diff -u "$work/$name.expected" "$work/$name.boxes" >"$work/$name.diff"; then
        echo "ok: $what"
    else
        fail "$what"
        cat "$work/$name.diff"
    fi
}

run_harness holders-seen
check holders-seen "as root, each bind box names the holder" \
    "UDPポート161は snmpd (PID $snmpd_pid) が使用しています。" \
    "UDPポート162は snmptrapd (PID $snmptrapd_pid) が使用しています。"

as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all)

run_harness no-privilege "${as_user[@]}"
check no-privilege "without the bind privilege, each bind box gives the setcap command" \
    "UDPポート161を使う権限がありません。権限を与えるには: sudo setcap cap_net_bind_service+ep $harness" \
    "UDPポート162を使う権限がありません。権限を与えるには: sudo setcap cap_net_bind_service+ep $harness"

ip netns exec "$NETNS_CONSOLE" sysctl -qw net.ipv4.ip_unprivileged_port_start=0
run_harness holders-hidden "${as_user[@]}"
check holders-hidden "when the holders are another user's, each bind box gives the ss command" \
    "UDPポート161は他のプログラムが使用しています。確認するには: sudo ss -ulpn 'sport = :161'" \
    "UDPポート162は他のプログラムが使用しています。確認するには: sudo ss -ulpn 'sport = :162'"

for pid in "${daemons[@]}"; do stop_pid "$pid" 5; done
ports_free() { ! udp_bound "$NETNS_CONSOLE" 161 && ! udp_bound "$NETNS_CONSOLE" 162; }
mkdir -p "$work/first"
chown 65534:65534 "$work/first"
if wait_until 10 ports_free; then
    netns_spawn "$NETNS_CONSOLE" "$work/first" "$work/first.out" 120 "${as_user[@]}" "$work/bin/quillet"
    first_spawn=$NETNS_PID
    if wait_until 15 udp_bound "$NETNS_CONSOLE" 162; then
        first_pid=$(port_holder 161)
        run_harness same-user "${as_user[@]}"
        check same-user "a second copy names the first, run by the same user" \
            "UDPポート161は quillet (PID $first_pid) が使用しています。" \
            "UDPポート162は quillet (PID $first_pid) が使用しています。"
    else
        fail "the first console did not bind its ports"
        cat "$work/first.out"
    fi
    stop_pid "$first_spawn" 5
else
    fail "snmpd and snmptrapd did not let go of the ports"
fi

# Started with no display at all, the console says which variables it looked
# for and ends with status 1, binding nothing (the toolkit would abort).
out=$(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$quillet" 2>&1 </dev/null)
status=$?
if [ "$status" -ne 1 ] || ! grep -q 'DISPLAY' <<<"$out" || ! grep -q 'WAYLAND_DISPLAY' <<<"$out" ||
    [ "$(wc -l <<<"$out")" -ne 1 ]; then
    fail "no display: status $status, said: $out"
else
    echo "ok: no display: status 1, one line naming DISPLAY and WAYLAND_DISPLAY"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all bind box checks passed"
