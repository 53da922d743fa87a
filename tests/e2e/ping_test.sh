#!/bin/bash
# Ping end to end between two network namespaces joined by a veth pair:
# console 192.0.2.1 and 2001:db8::1, agent 192.0.2.2 and 2001:db8::2. Runs ping_probe in the console's
# namespace and compares its lines (the reply times replaced by N).
#   $1: the quillet executable (not used here)
#   $2: the build directory (the probe is $2/tests/ping_probe)
# Skips (exit 77) when not root or when network namespaces are unavailable.
set -u

build="${2:?usage: ping_test.sh QUILLET BUILD_DIR}"
built_probe="$build/tests/ping_probe"

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: ping end to end needs root (network namespaces)"
    exit 77
fi
if ! ip netns list >/dev/null 2>&1; then
    echo "SKIP: ip netns is unavailable"
    exit 77
fi
if [ ! -x "$built_probe" ]; then
    echo "FAIL: $built_probe is missing"
    exit 1
fi

# Names unique per run: two test runs may overlap. Interface names stay
# under 16 characters.
tag="$$"
nsc="quillet-ping-c-$tag"
nsa="quillet-ping-a-$tag"
vc="qpc$tag"
va="qpa$tag"
work="$(mktemp -d)"

cleanup() {
    ip netns del "$nsc" 2>/dev/null
    ip netns del "$nsa" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The probe must be reachable by uid 65534: the build directory may not be.
chmod 755 "$work"
probe="$work/ping_probe"
cp "$built_probe" "$probe"
chmod 755 "$probe"

if ! ip netns add "$nsc" 2>/dev/null || ! ip netns add "$nsa" 2>/dev/null; then
    echo "SKIP: cannot create network namespaces"
    exit 77
fi
set -e
ip link add "$vc" type veth peer name "$va"
ip link set "$vc" netns "$nsc"
ip link set "$va" netns "$nsa"
ip -n "$nsc" addr add 192.0.2.1/24 dev "$vc"
ip -n "$nsa" addr add 192.0.2.2/24 dev "$va"
# nodad: usable at once, without waiting for duplicate address detection.
ip -n "$nsc" addr add 2001:db8::1/64 dev "$vc" nodad
ip -n "$nsa" addr add 2001:db8::2/64 dev "$va" nodad
ip -n "$nsc" link set lo up
ip -n "$nsa" link set lo up
ip -n "$nsc" link set "$vc" up
ip -n "$nsa" link set "$va" up
# Nobody answers for 192.0.2.3 and .4: fixed neighbour entries with a MAC
# address nobody has, so the echoes leave without an ARP query and no late
# "host unreachable" from a failed resolution can reach a later run.
ip -n "$nsc" neigh replace 192.0.2.3 lladdr 02:00:5e:00:02:03 dev "$vc" nud permanent
ip -n "$nsc" neigh replace 192.0.2.4 lladdr 02:00:5e:00:02:04 dev "$vc" nud permanent
ip -n "$nsc" neigh replace 2001:db8::3 lladdr 02:00:5e:00:02:03 dev "$vc" nud permanent
# 192.0.2.200 is routed through the agent, which forwards but has an
# unreachable route for it and answers each echo with ICMP type 3.
ip -n "$nsc" route add 192.0.2.200/32 via 192.0.2.2
ip netns exec "$nsa" sysctl -qw net.ipv4.ip_forward=1
ip netns exec "$nsa" sysctl -qw net.ipv4.icmp_ratelimit=0
ip -n "$nsa" route add unreachable 192.0.2.200/32
# The same for 2001:db8:c8::1, answered with ICMPv6 type 1.
ip -n "$nsc" -6 route add 2001:db8:c8::1/128 via 2001:db8::2
ip netns exec "$nsa" sysctl -qw net.ipv6.conf.all.forwarding=1
ip netns exec "$nsa" sysctl -qw net.ipv6.icmp.ratelimit=0
ip -n "$nsa" -6 route add unreachable 2001:db8:c8::1/128
set +e

for n in "$nsc" "$nsa"; do
    if ! ip netns list | grep -q "^$n\b"; then
        echo "FAIL: namespace $n is missing"
        exit 1
    fi
done

failures=0

# check NAME EXPECTED_FILE ACTUAL_FILE
check() {
    local normalised="$3.normalised"
    sed -E 's/ time=[0-9]+ms / time=Nms /' "$3" >"$normalised"
    if diff -u "$2" "$normalised" >"$work/diff"; then
        echo "ok: $1"
    else
        echo "FAIL: $1"
        cat "$work/diff"
        failures=$((failures + 1))
    fi
}

# run NAME [setpriv...] -- PROBE ARGS: runs in the console namespace, bounded
run_console() {
    local name="$1"
    shift
    timeout 20 ip netns exec "$nsc" "$@" >"$work/$name.out" 2>"$work/$name.err"
    local status=$?
    if [ "$status" -ne 0 ]; then
        echo "FAIL: $name: probe exit status $status"
        cat "$work/$name.err"
        failures=$((failures + 1))
    fi
}

as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)

# The lines of a run: header, the per-echo lines given, finishing lines.
expect_run() {
    local address="$1"
    shift
    printf '\nPinging [%s] with 40 bytes of data:\n\n' "$address"
    local line
    for line in "$@"; do printf '%s\n' "$line"; done
    printf '\nPinging was finished\n\n'
}

reply="Reply from 192.0.2.2 bytes=28 time=Nms TTL=64"
timed_out="Request timed out."
unreachable="Distnation Unreacheble."

# 1. A host that answers, raw socket.
run_console answer "$probe" 192.0.2.2
expect_run 192.0.2.2 "$reply" "$reply" "$reply" >"$work/answer.expected"
check "three replies on the raw socket" "$work/answer.expected" "$work/answer.out"

# 2. An ordinary user, before the echo socket is allowed: no socket at all.
run_console refused "${as_nobody[@]}" "$probe" 192.0.2.2
expect_run 192.0.2.2 "socket(SOCK_RAW,IPPROTO_ICMP) faild." >"$work/refused.expected"
check "no socket for an ordinary user ends the run" "$work/refused.expected" "$work/refused.out"

# 2b. An ordinary user who holds CAP_NET_RAW still never gets a raw socket:
# only root does. With the echo socket not allowed, the run has no socket.
run_console refused-with-raw "${as_nobody[@]}" --inh-caps=+net_raw --ambient-caps=+net_raw "$probe" 192.0.2.2
check "an ordinary user with CAP_NET_RAW gets no raw socket" "$work/refused.expected" "$work/refused-with-raw.out"

# 3. The same user with the unprivileged echo socket allowed in this namespace.
ip netns exec "$nsc" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
run_console unprivileged "${as_nobody[@]}" "$probe" 192.0.2.2
check "three replies on the unprivileged echo socket" "$work/answer.expected" "$work/unprivileged.out"

# 4. ICMP type 3 from the agent, raw socket.
run_console unreachable "$probe" 192.0.2.200
expect_run 192.0.2.200 "$unreachable" "$unreachable" "$unreachable" >"$work/unreachable.expected"
check "destination unreachable on the raw socket" "$work/unreachable.expected" "$work/unreachable.out"

# 5. An address text that is no address: inet_addr gives the broadcast
# address, which the kernel refuses to send to.
run_console nonsense "$probe" "no.such.host"
expect_run "no.such.host" "sendto() faild." >"$work/nonsense.expected"
check "an address text that is no address fails the send" "$work/nonsense.expected" "$work/nonsense.out"

# 6. Nobody answers.
run_console silent "$probe" 192.0.2.3
expect_run 192.0.2.3 "$timed_out" "$timed_out" "$timed_out" >"$work/silent.expected"
check "three time-outs when nobody answers" "$work/silent.expected" "$work/silent.out"

# 7. A click stops the run while it waits for the second echo; the next
# click starts a fresh run (echo 0 first, so its replies match again).
# Stopped at about 700 ms, the first echo has normally timed out; the check
# leaves out the time-out lines and only bounds their count.
run_console stopped "$probe" --stop-after 700 --then 192.0.2.2 192.0.2.4
{
    printf '\nPinging [192.0.2.4] with 40 bytes of data:\n\n'
    printf '\nPinging was terminated by user\n\n'
    expect_run 192.0.2.2 "$reply" "$reply" "$reply"
} >"$work/stopped.expected"
grep -v -x -F "$timed_out" "$work/stopped.out" >"$work/stopped.rest"
check "a stopped run writes nothing more, the next one starts afresh" "$work/stopped.expected" "$work/stopped.rest"
count=$(grep -c -x -F "$timed_out" "$work/stopped.out")
if [ "$count" -gt 2 ]; then
    echo "FAIL: the stopped run shows $count time-outs"
    failures=$((failures + 1))
fi

# 8. ICMP type 3 on the unprivileged echo socket, which reports it beside
# its datagrams.
run_console unreachable-unprivileged "${as_nobody[@]}" "$probe" 192.0.2.200
check "destination unreachable on the unprivileged echo socket" "$work/unreachable.expected" \
    "$work/unreachable-unprivileged.out"

# 9. The console's own machine: loopback and the namespace's own address.
# The raw socket sees the host's own echo request too, which must not be
# taken for the answer; the echo socket never sees requests.
for self in 127.0.0.1 192.0.2.1; do
    self_reply="Reply from $self bytes=28 time=Nms TTL=64"
    expect_run "$self" "$self_reply" "$self_reply" "$self_reply" >"$work/self-$self.expected"
    run_console "self-$self" "$probe" "$self"
    check "three replies from $self itself on the raw socket" "$work/self-$self.expected" "$work/self-$self.out"
    run_console "self-unprivileged-$self" "${as_nobody[@]}" "$probe" "$self"
    check "three replies from $self itself on the unprivileged echo socket" "$work/self-$self.expected" \
        "$work/self-unprivileged-$self.out"
done

# 10. The same over ICMPv6: replies on the raw and on the unprivileged
# socket (the group range above allows both families), destination
# unreachable on both, silence, and the console's own addresses.
reply6="Reply from 2001:db8::2 bytes=28 time=Nms TTL=64"
expect_run 2001:db8::2 "$reply6" "$reply6" "$reply6" >"$work/answer6.expected"
run_console answer6 "$probe" 2001:db8::2
check "three ICMPv6 replies on the raw socket" "$work/answer6.expected" "$work/answer6.out"
run_console unprivileged6 "${as_nobody[@]}" "$probe" 2001:db8::2
check "three ICMPv6 replies on the unprivileged echo socket" "$work/answer6.expected" "$work/unprivileged6.out"
expect_run 2001:db8:c8::1 "$unreachable" "$unreachable" "$unreachable" >"$work/unreachable6.expected"
run_console unreachable6 "$probe" 2001:db8:c8::1
check "ICMPv6 destination unreachable on the raw socket" "$work/unreachable6.expected" "$work/unreachable6.out"
run_console unreachable6-unprivileged "${as_nobody[@]}" "$probe" 2001:db8:c8::1
check "ICMPv6 destination unreachable on the unprivileged echo socket" "$work/unreachable6.expected" \
    "$work/unreachable6-unprivileged.out"
expect_run 2001:db8::3 "$timed_out" "$timed_out" "$timed_out" >"$work/silent6.expected"
run_console silent6 "$probe" 2001:db8::3
check "three ICMPv6 time-outs when nobody answers" "$work/silent6.expected" "$work/silent6.out"
for self in ::1 2001:db8::1; do
    self_reply="Reply from $self bytes=28 time=Nms TTL=64"
    expect_run "$self" "$self_reply" "$self_reply" "$self_reply" >"$work/self6-$self.expected"
    run_console "self6-$self" "$probe" "$self"
    check "three ICMPv6 replies from $self itself on the raw socket" "$work/self6-$self.expected" \
        "$work/self6-$self.out"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all ping checks passed"
