#!/bin/bash
# What the "詳細表示" (details) check box adds, and every Set type, against
# net-snmp's snmpd and snmptrap. In two network namespaces (netns.sh): the
# console (steps_harness, the shipped window) at 192.0.2.1, snmpd with a pass
# script serving writable objects at 192.0.2.2. With details on:
#
#   - a GetRequest to snmpd: its request lines name the destination and the
#     send time, its answer the sender, the receive time and a round trip;
#   - a SetRequest of each new type (and INTEGERs beyond the classic range):
#     snmpd accepts u, t, o and i, and the value octets the console sends
#     are those net-snmp's snmpset sends (snmptrap's for c and C, which
#     snmpset does not offer);
#   - a GetRequest to an address where nothing answers: the message field
#     and a line say so after 5 s;
#   - a TimeTicks in snmpd's answer read as snmpget prints it, and a
#     GetBulk's two numbers;
#   - a v1 linkDown from snmptrap: its sender, its community, its Trap-PDU
#     fields, its time-stamp at a glance and its binding, once;
#   - an inform from snmpinform: named as one, with its community and its
#     sysUpTime.0.
#
#   $1: the quillet executable (unused; the harness is the same window)
#   $2: the build directory (the harness is $2/tests/steps_harness)
# Skips (exit 77) when not root or when ip netns, snmpd or snmptrap is missing.
set -u

build="${2:?usage: details_test.sh QUILLET BUILD_DIR}"
harness="$(realpath -- "$build/tests/steps_harness")"
here="$(cd "$(dirname "$0")" && pwd)"

# shellcheck source=netns.sh
source "$here/netns.sh"
netns_check_able snmpget snmpset snmptrap python3 iconv timeout || exit 77
require_programs "$harness"

netns_workspace details

netns_setup "$$" || exit 1

# Writable objects under .1.3.6.1.4.1.99999: .1 Gauge32, .2 TimeTicks, .3 an
# identifier, .4 INTEGER; .5 Counter32 and .6 Counter64 are read-only.
ent=1.3.6.1.4.1.99999
cat >"$work/pass.sh" <<EOF
#!/bin/sh
case "\$1" in
-g)
    case "\$2" in
    .$ent.1) printf '%s\ngauge\n7\n' "\$2" ;;
    .$ent.2) printf '%s\ntimeticks\n100\n' "\$2" ;;
    .$ent.3) printf '%s\nobjectid\n.1.3.6.1\n' "\$2" ;;
    .$ent.4) printf '%s\ninteger\n1\n' "\$2" ;;
    .$ent.5) printf '%s\ncounter\n1\n' "\$2" ;;
    .$ent.6) printf '%s\ncounter64\n1\n' "\$2" ;;
    esac ;;
-s)
    case "\$2" in
    .$ent.1|.$ent.2|.$ent.3|.$ent.4) echo "\$2 \$3 \$4" >>"$work/sets.log" ;;
    *) echo not-writable ;;
    esac ;;
esac
EOF
agent_start "$work/agent" "pass .$ent /bin/sh $work/pass.sh" || exit 1

# capture_request TYPE VALUE TOOL...: the datagram TOOL sends (snmpset or
# snmptrap, whose exit status does not matter here), as hex.
capture_request() {
    ip netns exec "$NETNS_AGENT" timeout -k 2 8 python3 -c '
import socket, subprocess, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0))
s.settimeout(5)
dest = "127.0.0.1:%d" % s.getsockname()[1]
subprocess.run([dest if a == "@DEST@" else a for a in sys.argv[1:]], stdout=subprocess.DEVNULL,
               stderr=subprocess.DEVNULL)
print(s.recv(65536).hex())' "$@"
}

# The rows: snmpset type, console type item, object, value.
rows=(
    "u 4 $ent.1 4294967295"
    "t 5 $ent.2 1234"
    "o 8 $ent.3 .1.3.6.1.2.1"
    "i 0 $ent.4 -5"
    "i 0 $ent.4 2147483647"
    "c 6 $ent.5 4294967295"
    "C 7 $ent.6 18446744073709551615"
)
steps=("details|on" "get|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.5.0")
: >"$work/net-snmp.hex"
for row in "${rows[@]}"; do
    read -r letter item oid value <<<"$row"
    steps+=("set|$NETNS_AGENT_ADDR|$item|$oid|$value")
    case "$letter" in
    c|C) capture_request snmptrap -v 2c -c ravine @DEST@ '' 1.3.6.1.6.3.1.1.5.1 "$oid" "$letter" "$value" ;;
    *) capture_request snmpset -v 2c -c ravine-rw -r 0 -t 0.5 @DEST@ "$oid" "$letter" "$value" ;;
    esac >>"$work/net-snmp.hex" || fail "capturing net-snmp's $letter $value"
done
steps+=("get|$NETNS_AGENT_ADDR|$ent.2" "version|1" "bulk|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1")
steps+=("noanswer|192.0.2.3|1.3.6.1.2.1.1.5.0" "traps|2")
# What snmpget prints of the same TimeTicks.
in_agent snmpget -v 2c -c ravine -On "$NETNS_AGENT_ADDR" "$ent.2" >"$work/snmpget.txt" || fail "snmpget"

mkdir -p "$work/console"
(cd "$work/console" && timeout -k 5 60 ip netns exec "$NETNS_CONSOLE" env QT_QPA_PLATFORM=offscreen \
    "$harness" "${steps[@]}") >"$work/harness.out" 2>"$work/harness.err" &
harness_pid=$!
# The trap once the harness waits for it (after its last request).
waiting_for_trap() { grep -q '^ok noanswer' "$work/harness.out"; }
if wait_until 30 waiting_for_trap; then
    in_agent snmptrap -v1 -c ravine "$NETNS_CONSOLE_ADDR:162" 1.3.6.1.6.3.1.1.5 "$NETNS_AGENT_ADDR" 2 0 8640001 \
        1.3.6.1.2.1.2.2.1.1.2 i 2 || fail "snmptrap"
    in_agent snmpinform -v 2c -c ravine -r 0 -t 3 "$NETNS_CONSOLE_ADDR:162" 123456789 1.3.6.1.6.3.1.1.5.1 ||
        fail "snmpinform was not acknowledged"
fi
wait "$harness_pid"
status=$?
cat "$work/harness.out"
[ "$status" -eq 0 ] || { fail "steps_harness exited with status $status"; cat "$work/harness.err"; }

logs=("$work/console"/LOG/*.LOG)
[ -f "${logs[0]}" ] || { fail "no log"; exit 1; }
iconv -f CP932 -t UTF-8 "${logs[0]}" | tr -d '\r' >"$work/log.txt"

oids=()
for row in "${rows[@]}"; do read -r _ _ oid _ <<<"$row"; oids+=("$oid"); done
python3 - "$work/log.txt" "$work/net-snmp.hex" "$work/sets.log" "$work/snmpget.txt" "${#rows[@]}" "${oids[@]}" <<'PY'
import re, sys
lines = open(sys.argv[1], encoding="utf-8").read().split("\n")
captures = [bytes.fromhex(h) for h in open(sys.argv[2]).read().split()]
sets = open(sys.argv[3]).read()
snmpget = open(sys.argv[4], encoding="utf-8").read().splitlines()
failures = 0

def check(what, good, detail=""):
    global failures
    print(("ok: " if good else "FAIL: ") + what + ("" if good or not detail else ": " + detail))
    failures += 0 if good else 1

def block(start):
    """The lines of the record that begins at index `start`, up to the next record."""
    end = start + 1
    while end < len(lines) and lines[end].startswith("  "):
        end += 1
    return lines[start:end]

def undump(block_lines):
    data = bytearray()
    for line in block_lines:
        if re.match(r"^  ([0-9A-F]{2} )+", line):
            data += bytes.fromhex(line[2:50].strip().replace(" ", ""))
    return bytes(data)

def oid_octets(text):
    arcs = [int(a) for a in text.strip(".").split(".")]
    out = bytearray([arcs[0] * 40 + arcs[1]])
    for arc in arcs[2:]:
        groups = [arc & 0x7F]
        arc >>= 7
        while arc:
            groups.insert(0, 0x80 | (arc & 0x7F))
            arc >>= 7
        out += bytes(groups)
    return bytes([0x06, len(out)]) + bytes(out)

def value_after(datagram, oid):
    """The octets after the last binding's name (its value: the last element of both messages)."""
    name = oid_octets(oid)
    at = datagram.rfind(name)
    return datagram[at + len(name):] if at >= 0 else b""

requests = [i for i, l in enumerate(lines) if re.match(r"^(get|set) request 送信 request ID=\d+  SIZE=\d+$", l)]
answers = [i for i, l in enumerate(lines) if re.match(r"^(get )?response 受信 request ID=\d+  SIZE=\d+$", l)]
time = r"\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}"

first = block(requests[0]) if requests else []
check("the GetRequest names its destination and send time right after its first line",
      first[1:3] == ["  送信先=192.0.2.2:161", first[2]] and bool(re.match(r"^  送信時刻=" + time + "$", first[2])),
      repr(first[:4]))
answer = block(answers[0]) if answers else []
check("its answer names snmpd and gives the receive time and the round trip",
      answer[1:2] == ["  送信元=192.0.2.2:161"] and len(answer) > 2
      and bool(re.match(r"^  受信時刻=" + time + r"  応答時間=\d+\.\d{3}ms$", answer[2])), repr(answer[:4]))

set_requests = [i for i in requests if lines[i].startswith("set request")]
count = int(sys.argv[5])
check("one SetRequest a row", len(set_requests) == count, str(len(set_requests)))
for k, (i, theirs) in enumerate(zip(set_requests, captures)):
    ours = undump(block(i))
    oid = sys.argv[6 + k]
    mine, net = value_after(ours, oid), value_after(theirs, oid)
    check("Set row %d: the value octets are net-snmp's (%s)" % (k + 1, net.hex(" ").upper()), mine == net and net,
          mine.hex(" ").upper())
accepted = [block(i) for i in answers[1:1 + count]]
for k in range(5):
    body = accepted[k] if k < len(accepted) else []
    check("snmpd accepts Set row %d" % (k + 1), body and not any("エラー応答=" in l for l in body), repr(body[-3:]))
check("snmpd stored the four writable values", len(sets.splitlines()) == 5, sets)

no_answer = [l for l in lines if re.match(r"^  応答なし：request ID=\d+  5000ms 待ちました$", l)]
check("the request nobody answered is said in the log", len(no_answer) == 1, repr(no_answer))

def summary(block_lines):
    return [l for l in block_lines if not re.match(r"^  ([0-9A-F]{2} )+", l)]

# snmpget -On: ".1.3.6.1.4.1.99999.2 = Timeticks: (100) 0:00:01.00".
ticks = snmpget[0].split(") ", 1)[1] if snmpget and ") " in snmpget[0] else "?"
# The last answer naming the object: the Get's, after the Set's.
ticks_answer = next((summary(block(i)) for i in reversed(answers) if "  object ID =1.3.6.1.4.1.99999.2" in block(i)),
                    [])
check("a TimeTicks answer reads as snmpget prints it (%s)" % ticks,
      ticks_answer[-2:] == ["  応答データ(Ticks)=100", "  時間表記=" + ticks], repr(ticks_answer[-3:]))
bulk = [block(i) for i, l in enumerate(lines) if l.startswith("get bulk request 送信")]
check("the GetBulk names its non-repeaters and max-repetitions",
      bool(bulk) and "  non-repeaters=0  max-repetitions=2" in bulk[0]
      and bulk[0].index("  non-repeaters=0  max-repetitions=2") + 1 == bulk[0].index("  object ID =1.3.6.1.2.1.1"),
      repr(bulk[:1]))

traps = [i for i, l in enumerate(lines) if l.startswith("TRAP受信  SIZE=")]
trap = block(traps[0]) if traps else []
shown = summary(trap)
check("the trap names its sender's address and port",
      len(shown) > 2 and bool(re.match(r"^  送信元=192\.0\.2\.2:\d+$", shown[1]))
      and bool(re.match(r"^  受信時刻=" + time + "$", shown[2])), repr(shown[:3]))
want = ["  TRAP-TYPE=linkDown", "  受信DATA=", "  PDU=Trap", '  community="ravine"', "  enterprise=1.3.6.1.6.3.1.1.5",
        "  agent-addr=192.0.2.2", "  generic-trap=2", "  specific-trap=0"]
check("the linkDown shows its community and Trap-PDU fields", shown[3:11] == want, repr(shown[3:11]))
# snmptrapd prints the time-stamp 8640001 as "1 day, 0:00:00.01".
check("the linkDown shows its time-stamp at a glance and its binding once",
      shown[11:] == ["  time-stamp=8640001", "  時間表記=1 day, 0:00:00.01", "  object ID =1.3.6.1.2.1.2.2.1.1.2",
                     "  応答データ(Integer)=2"], repr(shown[11:]))
inform = summary(block(traps[1])) if len(traps) > 1 else []
want = ["  TRAP-TYPE=coldStart", "  受信DATA=", "  PDU=InformRequest", '  community="ravine"',
        "  object ID =1.3.6.1.2.1.1.3.0", "  応答データ(Ticks)=123456789", "  時間表記=14 days, 6:56:07.89",
        "  object ID =1.3.6.1.6.3.1.1.4.1.0", "  応答データ(OBJECT IDENTIFIER)=1.3.6.1.6.3.1.1.5.1"]
check("the inform is named, with its community and its sysUpTime.0", inform[3:] == want, repr(inform[3:]))
sys.exit(1 if failures else 0)
PY
[ $? -eq 0 ] || failures=$((failures + 1))

grep -q '^message 応答がありません（request ID=' "$work/harness.out" ||
    fail "the message field did not say there was no answer"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all details checks passed"
