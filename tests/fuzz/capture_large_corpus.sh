#!/bin/bash
# Captures the large seeds of tests/fuzz/corpus from net-snmp's own tools, so
# that the fuzzers start from real datagrams near the 65,536 octets the
# listeners take: long identifiers, long strings, many bindings. Traps and
# informs are sent by snmptrap and snmpinform; answers come from snmpd, to
# requests of snmpget and snmpbulkget passed through. Everything runs in a
# network namespace of its own with loopback only, removed at the end.
#
# usage (root): tests/fuzz/capture_large_corpus.sh [CORPUS_DIR]
# Writes CORPUS_DIR/trap/*.bin and CORPUS_DIR/response/*.bin (default: the
# corpus beside this script) and prints each file's size.
set -euo pipefail
corpus="${1:-$(cd "$(dirname "$0")" && pwd)/corpus}"
[ "$(id -u)" -eq 0 ] || { echo "needs root (a network namespace)" >&2; exit 1; }
export MIBS= SNMPCONFPATH=/nonexistent

ns="qcap-$$"
work="$(mktemp -d /tmp/quillet-capture.XXXXXX)"
agent_pid=""
cleanup() {
    [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null && wait "$agent_pid" 2>/dev/null
    ip netns del "$ns" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$ns"
ip -n "$ns" link set lo up

# capture OUT [--proxy PORT] CMD...: binds UDP on 127.0.0.1 in the namespace,
# runs CMD with "@DEST@" replaced by that address, and writes the first
# datagram to OUT; with --proxy, passes it to 127.0.0.1:PORT and writes the
# answer instead (which also goes back to CMD).
capture() {
    local out="$1"
    shift
    ip netns exec "$ns" timeout -k 2 30 python3 -c '
import socket, subprocess, sys
args = sys.argv[1:]
out, proxy = args.pop(0), None
if args[0] == "--proxy":
    proxy = ("127.0.0.1", int(args[1]))
    args = args[2:]
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
s.bind(("127.0.0.1", 0))
s.settimeout(10)
dest = "127.0.0.1:%d" % s.getsockname()[1]
proc = subprocess.Popen([dest if a == "@DEST@" else a for a in args],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
data, sender = s.recvfrom(65536)
if proxy:
    up = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    up.settimeout(10)
    up.sendto(data, proxy)
    data = up.recv(65536)
    s.sendto(data, sender)
proc.wait(timeout=20)
open(out, "wb").write(data)
print("%6d %s" % (len(data), out))
' "$out" "$@"
}

repeat() { python3 -c 'import sys; print(sys.argv[1] * int(sys.argv[2]), end="")' "$1" "$2"; }

# An identifier of 128 arcs (net-snmp's longest), most of them 4294967295.
long_oid="1.3.6.1.4.1.99999.$(python3 -c 'print(".".join(["4294967295"] * 121))')"
# Bindings of every type the scans read, over and over: one word each, for
# the word splitting of $(many_bindings ...).
many_bindings() {
    local count="$1" prefix="$2" i
    for ((i = 1; i <= count; i++)); do
        case $((i % 8)) in
            0) echo "$prefix.$i.0" i "-$i" ;;
            1) echo "$prefix.$i.0" u "$((i * 1000003))" ;;
            2) echo "$prefix.$i.0" c "$((i * 7919))" ;;
            3) echo "$prefix.$i.0" t "$((i * 100))" ;;
            4) echo "$prefix.$i.0" a "192.0.2.$((i % 250 + 1))" ;;
            5) echo "$prefix.$i.0" o "1.3.6.1.4.1.99999.$i" ;;
            6) echo "$prefix.$i.0" s "binding-$i" ;;
            7) echo "$prefix.$i.0" x "82A082A282A4" ;;
        esac
    done
}
equipment=1.3.6.1.4.1.317.2.26.1.2

t="$corpus/trap"
capture "$t/snmptrap_v2c_longname.bin" snmptrap -v 2c -c ravine @DEST@ '' "$long_oid" "$long_oid" o "$long_oid"
capture "$t/snmptrap_v1_longname.bin" snmptrap -v 1 -c ravine @DEST@ "$long_oid" 127.0.0.1 6 1 '' "$long_oid" s x
capture "$t/snmptrap_v1_string60000.bin" snmptrap -v 1 -c ravine @DEST@ 1.3.6.1.4.1.99999 127.0.0.1 6 1 '' \
    1.3.6.1.4.1.99999.1.0 s "$(repeat A 60000)"
# Code page 932 text (あいう...), as the equipment's own strings may hold.
capture "$t/snmptrap_v2c_cp932_32000.bin" snmptrap -v 2c -c ravine @DEST@ '' 1.3.6.1.4.1.99999.0.1 \
    1.3.6.1.4.1.99999.2.0 x "$(repeat 82A082A282A4 5333)"
# shellcheck disable=SC2046
capture "$t/snmptrap_v2c_many.bin" snmptrap -v 2c -c ravine @DEST@ '' 1.3.6.1.4.1.99999.0.2 \
    $(many_bindings 1200 1.3.6.1.4.1.99999.3)
# shellcheck disable=SC2046
capture "$t/snmptrap_v1_equipment_many.bin" snmptrap -v 1 -c ravine @DEST@ "$equipment" 127.0.0.1 6 1 '' \
    $(many_bindings 400 "$equipment")
capture "$t/snmpinform_v2c_string65000.bin" snmpinform -v 2c -c ravine -r 0 -t 1 @DEST@ '' \
    1.3.6.1.4.1.99999.0.3 1.3.6.1.4.1.99999.4.0 s "$(repeat B 65000)"
# shellcheck disable=SC2046
capture "$t/snmpinform_v2c_many.bin" snmpinform -v 2c -c ravine -r 0 -t 1 @DEST@ '' 1.3.6.1.4.1.99999.0.4 \
    $(many_bindings 2000 1.3.6.1.4.1.99999.5)

# snmpd with a long value of its own (an extend command's output) and its
# usual MIB, for large answers.
{
    echo "agentAddress udp:127.0.0.1:161"
    echo "rocommunity ravine default"
    echo "maxGetbulkRepeats 5000"
    echo "maxGetbulkResponses 5000"
    echo "extend big /usr/bin/python3 -c print('C'*30000)"
} >"$work/agent.conf"
ip netns exec "$ns" /usr/sbin/snmpd -f -Lo -C -c "$work/agent.conf" -p "$work/snmpd.pid" >"$work/snmpd.log" 2>&1 &
agent_pid=$!
for _ in $(seq 50); do
    ip netns exec "$ns" snmpget -v 2c -c ravine -t 0.3 -r 0 127.0.0.1 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1 && break
    sleep 0.2
done

r="$corpus/response"
capture "$r/snmpd_v2c_getbulk_2000.bin" --proxy 161 snmpbulkget -v 2c -c ravine -Cn0 -Cr2000 @DEST@ 1.3.6.1
capture "$r/snmpd_v1_getnext_long_string.bin" --proxy 161 snmpgetnext -v 1 -c ravine @DEST@ \
    1.3.6.1.4.1.8072.1.3.2.3.1.2
capture "$r/snmpd_v2c_getbulk_3_long_string.bin" --proxy 161 snmpbulkget -v 2c -c ravine -Cn1 -Cr40 @DEST@ \
    1.3.6.1.4.1.8072.1.3.2.3.1.2 1.3.6.1.2.1.2 1.3.6.1.2.1.4
capture "$r/snmpd_v2c_get_long_names.bin" --proxy 161 snmpget -v 2c -c ravine @DEST@ \
    "$long_oid" "$long_oid" "$long_oid"
