#!/bin/bash
# The test engineer's workbench against net-snmp's snmpd, in two network
# namespaces (netns.sh): the console (steps_harness, the shipped window) at
# 192.0.2.1, snmpd at 192.0.2.2.
#
#   - WALK of a subtree of the system group and of ifTable in SNMPv2c
#     (GetBulk) and of the system group in SNMPv1 (GetNext): as many objects
#     as snmpwalk finds, and the end line saying the walk left the subtree;
#     a walk from past the agent's last object ends at endOfMibView
#     (SNMPv2c) or noSuchName (SNMPv1); a walk stopped by its button says so;
#   - an agent on another port (v2c_agent.py on 1161) answered there;
#   - an agent that answers only the second copy of a request (on 1162): with
#     one retry the request goes again, shown as such, and is answered; with
#     none it ends unanswered, the message saying so;
#   - the address, OID1, version and port come back at the next start.
#
#   $1: the quillet executable (unused; the harness is the same window)
#   $2: the build directory (the harness is $2/tests/steps_harness)
# Skips (exit 77) when not root or when ip netns, snmpd or snmpwalk is missing.
set -u

build="${2:?usage: workbench_test.sh QUILLET BUILD_DIR}"
harness="$(realpath -- "$build/tests/steps_harness")"
here="$(cd "$(dirname "$0")" && pwd)"

# shellcheck source=netns.sh
source "$here/netns.sh"
netns_check_able snmpwalk snmpbulkwalk python3 iconv timeout || exit 77
require_programs "$harness"

netns_workspace workbench
netns_setup "$$" || exit 1
agent_start "$work/agent" || exit 1

# What net-snmp's own walks find, to compare with.
count() { in_console "$@" 2>/dev/null | grep -c ' = '; }
system_v2=$(count snmpbulkwalk -v2c -c ravine -On "$NETNS_AGENT_ADDR" 1.3.6.1.2.1.1)
iftable_v2=$(count snmpbulkwalk -v2c -c ravine -On "$NETNS_AGENT_ADDR" 1.3.6.1.2.1.2.2)
system_v1=$(count snmpwalk -v1 -c ravine -On "$NETNS_AGENT_ADDR" 1.3.6.1.2.1.1)
[ "$system_v2" -gt 5 ] && [ "$iftable_v2" -gt 10 ] || { echo "snmpd's walks look too small"; exit 1; }

for spec in "1161 always" "1162 second"; do
    read -r port mode <<<"$spec"
    ip netns exec "$NETNS_AGENT" python3 "$here/v2c_agent.py" "$NETNS_AGENT_ADDR" "$port" "$mode" 60 \
        >"$work/agent-$port.out" 2>&1 &
    NETNS_SPAWNED+=("$!")
done

steps=("version|1"
       "walk|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1" "walk|$NETNS_AGENT_ADDR|1.3.6.1.2.1.2.2"
       "walk|$NETNS_AGENT_ADDR|1.3.6.1.9" "walkstop|$NETNS_AGENT_ADDR|1.3.6.1.2.1|5"
       "version|0" "walk|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1" "walk|$NETNS_AGENT_ADDR|1.3.6.1.9"
       "version|1" "details|on"
       "transport|1161|2|0" "get|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.5.0"
       "transport|1162|1|1" "get|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.5.0"
       "transport|1162|0.5|0" "noanswer|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.6.0"
       "transport|1161|0.5|0" "details|off")
mkdir -p "$work/console"
run_harness() {
    (cd "$work/console" && timeout -k 5 150 ip netns exec "$NETNS_CONSOLE" env QT_QPA_PLATFORM=offscreen \
        "$harness" "$@") >>"$work/harness.out" 2>>"$work/harness.err"
}
run_harness "${steps[@]}" || { fail "steps_harness failed"; tail -20 "$work/harness.err"; }
# The next start: the fields as the first run left them.
run_harness "fields" || fail "steps_harness failed on its second start"
grep -v '^ok ' "$work/harness.out"

logs=("$work/console"/LOG/*.LOG)
[ -f "${logs[0]}" ] || { fail "no log"; exit 1; }
iconv -f CP932 -t UTF-8 "${logs[0]}" | tr -d '\r' >"$work/log.txt"

python3 - "$work/log.txt" "$work/harness.out" "$system_v2" "$iftable_v2" "$system_v1" "$NETNS_AGENT_ADDR" <<'PY'
import re, sys
lines = open(sys.argv[1], encoding="utf-8").read().split("\n")
harness = open(sys.argv[2], encoding="utf-8").read().split("\n")
system_v2, iftable_v2, system_v1, agent = int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]
failures = 0

def check(what, good, detail=""):
    global failures
    print(("ok: " if good else "FAIL: ") + what + ("" if good or not detail else ": " + detail))
    failures += 0 if good else 1

ends = [l for l in lines if l.startswith("  WALK終了：")]
def end(i):
    return ends[i] if i < len(ends) else ""
walked = r"  WALK終了：%s 配下 %d件  \d+\.\d{3}秒（%s）$"
check("SNMPv2c walk of the system group: snmpbulkwalk's count, then out of the subtree",
      re.match(walked % (r"1\.3\.6\.1\.2\.1\.1", system_v2, "サブツリーの外に出ました"), end(0)) is not None, end(0))
check("SNMPv2c walk of ifTable: snmpbulkwalk's count",
      re.match(walked % (r"1\.3\.6\.1\.2\.1\.2\.2", iftable_v2, "サブツリーの外に出ました"), end(1)) is not None, end(1))
check("a walk past the last object ends at endOfMibView",
      re.match(walked % (r"1\.3\.6\.1\.9", 0, "endOfMibView"), end(2)) is not None, end(2))
stopped = re.match(r"  WALK終了：1\.3\.6\.1\.2\.1 配下 (\d+)件  \d+\.\d{3}秒（停止しました）$", end(3))
check("a walk stopped by its button says so", stopped is not None and int(stopped.group(1)) >= 5, end(3))
check("SNMPv1 walk of the system group: snmpwalk's count, by GetNext",
      re.match(walked % (r"1\.3\.6\.1\.2\.1\.1", system_v1, "サブツリーの外に出ました"), end(4)) is not None, end(4))
check("an SNMPv1 walk past the last object ends at noSuchName",
      re.match(walked % (r"1\.3\.6\.1\.9", 0, "エラー応答=noSuchName"), end(5)) is not None, end(5))
bulks = [l for l in lines if l.startswith("get bulk request 送信 ")]
nexts = [l for l in lines if l.startswith("get next request 送信 ")]
check("SNMPv2c walks went by GetBulk, SNMPv1 ones by GetNext", len(bulks) >= 4 and len(nexts) >= system_v1,
      "%d bulk, %d next" % (len(bulks), len(nexts)))

text = "\n".join(lines)
check("the agent on port 1161 answered there", "  送信先=%s:1161" % agent in text and "agent-1161" in text)
retry = [i for i, l in enumerate(lines) if re.match(r"request 再送 request ID=\d+  SIZE=\d+  2/2回目$", l)]
check("with one retry the request went once more, shown as such, and was answered by the second try",
      len(retry) == 1 and "  送信先=%s:1162" % agent in lines[retry[0] + 1:retry[0] + 3]
      and any("agent-1162" in l for l in lines[retry[0]:retry[0] + 40]), repr(lines[retry[0]:retry[0] + 3] if retry else []))
check("with no retry it ended unanswered, after the timeout",
      any(re.match(r"  応答なし：request ID=\d+  500ms 待ちました$", l) for l in lines))
check("the message field said so", any(l.startswith("message 応答がありません（request ID=") for l in harness))
check("the address, OID1, version and port came back at the next start",
      "fields %s 1.3.6.1.2.1.1.6.0 1 1161" % agent in harness, repr([l for l in harness if l.startswith("fields")]))
sys.exit(1 if failures else 0)
PY
[ $? -eq 0 ] || failures=$((failures + 1))

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all workbench checks passed"
