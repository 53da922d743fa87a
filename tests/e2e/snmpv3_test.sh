#!/bin/bash
# SNMPv3 with the User-based Security Model against net-snmp's snmpd,
# snmptrap and snmpinform, in two network namespaces (netns.sh): the console
# (steps_harness, the shipped window) at 192.0.2.1, snmpd at 192.0.2.2 with a
# user for every pair of authentication and privacy protocols it offers.
#
#   - for every pair, a GetRequest, a GetNextRequest, a SetRequest and a
#     GetBulkRequest at authPriv, each answered, authenticated and decrypted;
#     the agent's engine discovered once, first; AES-192 and AES-256 with
#     both key extensions (snmpd's "AES-192"/"AES-256" and the Reeder
#     "AES-192-C"/"AES-256-C");
#   - a WALK of the system group at authPriv, by GetBulk, to its end;
#   - for every authentication protocol a GetRequest at authNoPriv, and one
#     at noAuthNoPriv;
#   - a wrong pass phrase ends its request at once, its message saying why
#     (usmStatsWrongDigests), and no "no answer" follows; an unknown user
#     likewise (usmStatsUnknownUserNames);
#   - snmpd restarted (its boots one more): the next request gets a
#     notInTimeWindows Report and goes once more, and is answered;
#   - snmptrap -v3 (its own engine ID) shown as a trap of the user, a trap
#     of a second user (MD5, AES-192-C) set beside it shown as that user's,
#     and snmpinform -v3 -r 0 acknowledged at once; a trap sent again with
#     older boots (snmptrap -Z) refused as a replay;
#   - an agent that forges (forging_agent.py, in the agent's namespace once
#     snmpd is gone): its noAuthNoPriv answer naming the request's msgID and
#     user is shown as not taken, and the request still ends unanswered;
#   - every user of the table above in the console's list at once: a trap
#     of each shown as that user's, authenticated and decrypted as its level
#     says, and an inform of each acknowledged;
#   - over IPv6 (2001:db8::1 and ::2): a GetRequest at authPriv to snmpd on
#     udp6, its engine discovered for that address and the answer taken from
#     [2001:db8::2]:161; snmptrap -v3 and snmpinform -v3 to
#     udp6:[2001:db8::1]:162, the inform acknowledged at once.
#
#   $1: the quillet executable (unused; the harness is the same window)
#   $2: the build directory (the harness is $2/tests/steps_harness)
# Skips (exit 77) when not root or when ip netns, snmpd or snmptrap is missing.
set -u

build="${2:?usage: snmpv3_test.sh QUILLET BUILD_DIR}"
harness="$(realpath -- "$build/tests/steps_harness")"
here="$(cd "$(dirname "$0")" && pwd)"

# shellcheck source=netns.sh
source "$here/netns.sh"
netns_check_able snmpget snmptrap snmpinform python3 iconv timeout || exit 77
require_programs "$harness"

netns_workspace snmpv3

netns_setup "$$" || exit 1

# Every pair snmpd offers; the numbers are the window's (the dialog's order).
auths=("MD5 1" "SHA 2" "SHA-224 3" "SHA-256 4" "SHA-384 5" "SHA-512 6")
privs=("DES 1" "AES 2" "AES-192 3" "AES-256 4" "AES-192-C 5" "AES-256-C 6")
conf=()
steps=("version|2")
pairs=0
for a in "${auths[@]}"; do
    read -r aname anum <<<"$a"
    for p in "${privs[@]}"; do
        read -r pname pnum <<<"$p"
        user="u${anum}${pnum}"
        conf+=("createUser $user $aname \"authpass123\" $pname \"privpass123\"" "rwuser $user priv")
        steps+=("v3|$user|2|$anum|authpass123|$pnum|privpass123"
                "get|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.5.0"
                "getnext|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1"
                "set|$NETNS_AGENT_ADDR|3|1.3.6.1.2.1.1.6.0|rack-$user"
                "bulk|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1")
        pairs=$((pairs + 1))
    done
    conf+=("createUser a$anum $aname \"authpass123\"" "rwuser a$anum auth")
done
conf+=("createUser nauser" "rwuser nauser noauth")
# Every user once more, for notifications: NAME|LEVEL|AUTH|APASS|PRIV|PPASS
# as the v3add step takes it, and the net-snmp options that send as it.
table=()
for a in "${auths[@]}"; do
    read -r aname anum <<<"$a"
    for p in "${privs[@]}"; do
        read -r pname pnum <<<"$p"
        table+=("u${anum}${pnum}|2|$anum|authpass123|$pnum|privpass123|-l authPriv -a $aname -A authpass123 -x $pname -X privpass123")
    done
    table+=("a$anum|1|$anum|authpass123|0||-l authNoPriv -a $aname -A authpass123")
done
table+=("nauser|0|0||0||-l noAuthNoPriv")
# A fixed engine ID, and snmpd reading its persistent data (SNMPCONFPATH in
# place of -C, which would skip it): across a restart it keeps its engine ID
# and counts its boots up, as an agent that reboots does.
conf+=("engineID quillet-e2e-agent")
mkdir -p "$work/agent"
{ echo "agentAddress udp:$NETNS_AGENT_ADDR:161,udp6:[$NETNS_AGENT_ADDR6]:161"; printf '%s\n' "${conf[@]}"; } >"$work/agent/snmpd.conf"
v3_agent_start() {
    SNMPCONFPATH="$work/agent:$SNMP_PERSISTENT_DIR" ip netns exec "$NETNS_AGENT" "$(command -v snmpd || echo /usr/sbin/snmpd)" \
        -f -Lo -p "$work/agent/snmpd.pid" >>"$work/agent/snmpd.log" 2>&1 &
    NETNS_AGENT_PID=$!
    wait_until 10 agent_answers || { echo "snmpd does not answer:"; cat "$work/agent/snmpd.log"; return 1; }
}
agent_answers() {
    in_console snmpget -v3 -u u42 -l authPriv -a SHA-256 -A authpass123 -x AES -X privpass123 -t 0.3 -r 0 \
        "$NETNS_AGENT_ADDR" 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1
}
v3_agent_start || exit 1

steps+=("answered|$((1 + 4 * pairs))" "walk|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1")
for a in "${auths[@]}"; do
    read -r aname anum <<<"$a"
    steps+=("v3|a$anum|1|$anum|authpass123|0|" "get|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.5.0")
done
steps+=("v3|nauser|0|0||0|" "get|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.5.0"
        # A wrong pass phrase, and a user snmpd does not have: each ends at
        # once with its reason, and stays said.
        "v3|u42|2|4|wrongpass99|2|privpass123" "refused|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.5.0|認証に失敗しました"
        "v3|nobody|2|4|authpass123|2|privpass123"
        "refused|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.5.0|エージェントがユーザー名を知りません"
        # snmpd restarts meanwhile; the next request meets a new time window.
        "v3|u42|2|4|authpass123|2|privpass123" "mark|restart" "waitfile|$work/restarted"
        "get|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.5.0" "answered|$((1 + 4 * pairs + 4))"
        # The same agent over IPv6, the peers named in the details (left on:
        # the step may end at the discovery's Report, before the answer).
        "details|on" "get|$NETNS_AGENT_ADDR6|1.3.6.1.2.1.1.5.0"
        # A second user for notifications beside the request user.
        "v3add|u15|2|1|authpass123|5|privpass123"
        "mark|traps" "traps|5"
        # The forging agent in snmpd's place.
        "mark|forger" "waitfile|$work/forger" "noanswer|$NETNS_AGENT_ADDR|1.3.6.1.2.1.1.5.0")
for row in "${table[@]}"; do steps+=("v3add|${row%|*}"); done
steps+=("mark|table" "traps|$((5 + 2 * ${#table[@]}))" "mark|ipv6" "traps|$((7 + 2 * ${#table[@]}))")

mkdir -p "$work/console"
(cd "$work/console" && timeout -k 5 150 ip netns exec "$NETNS_CONSOLE" env QT_QPA_PLATFORM=offscreen \
    "$harness" "${steps[@]}") >"$work/harness.out" 2>"$work/harness.err" &
harness_pid=$!

marked() { grep -q "^mark $1" "$work/harness.out"; }
if wait_until 120 marked restart; then
    # The last Set reached snmpd (before it forgets it in its restart).
    in_agent snmpget -v3 -u u42 -l authPriv -a SHA-256 -A authpass123 -x AES -X privpass123 -Oqv -t 1 -r 1 \
        "$NETNS_AGENT_ADDR" 1.3.6.1.2.1.1.6.0 >"$work/location" 2>&1 || fail "snmpget -v3 of sysLocation.0"
    agent_stop
    v3_agent_start || fail "snmpd did not come back"
    touch "$work/restarted"
fi
# An authPriv inform of user u42 to $1, which must be acknowledged on its
# first try; $2 (" over IPv6") goes into the lines that say so.
inform_u42() {
    if in_agent snmpinform -v3 -u u42 -l authPriv -a SHA-256 -A authpass123 -x AES -X privpass123 -r 0 -t 3 \
        "$1" '' 1.3.6.1.6.3.1.1.5.2 >/dev/null 2>&1; then
        echo "ok: snmpinform -v3$2 was acknowledged at once"
    else
        fail "snmpinform -v3$2 was not acknowledged"
    fi
}

if wait_until 30 marked traps; then
    in_agent snmptrap -v3 -e 0x8000000001020304 -u u42 -l authPriv -a SHA-256 -A authpass123 -x AES \
        -X privpass123 "$NETNS_CONSOLE_ADDR:162" '' 1.3.6.1.6.3.1.1.5.1 || fail "snmptrap -v3"
    in_agent snmptrap -v3 -e 0x8000000001020305 -u u15 -l authPriv -a MD5 -A authpass123 -x AES-192-C \
        -X privpass123 "$NETNS_CONSOLE_ADDR:162" '' 1.3.6.1.6.3.1.1.5.4 || fail "snmptrap -v3 of a second user"
    inform_u42 "$NETNS_CONSOLE_ADDR:162" ""
    # A newer clock of the trap sender's engine, then an older one: a replay.
    for clock in 5,1000 4,1000; do
        in_agent snmptrap -v3 -e 0x8000000001020304 -Z "$clock" -u u42 -l authPriv -a SHA-256 -A authpass123 \
            -x AES -X privpass123 "$NETNS_CONSOLE_ADDR:162" '' 1.3.6.1.6.3.1.1.5.3 || fail "snmptrap -v3 -Z $clock"
    done
fi
if wait_until 30 marked forger; then
    agent_stop
    ip netns exec "$NETNS_AGENT" python3 "$here/forging_agent.py" "$NETNS_AGENT_ADDR" 1 20 >"$work/forger.out" 2>&1 &
    forger_pid=$!
    # The request goes once the forger listens: a fixed pause lost the race
    # to a slow start of python on a busy machine.
    wait_until 10 grep -q '^listening' "$work/forger.out" || fail "the forging agent did not start"
    touch "$work/forger"
fi
if wait_until 60 marked table; then
    # Their own engine for the table's traps: its clock starts afresh.
    informed=0
    for row in "${table[@]}"; do
        user=${row%%|*}
        read -r -a options <<<"${row##*|}"
        in_agent snmptrap -v3 -e 0x80000000010203AA -u "$user" "${options[@]}" "$NETNS_CONSOLE_ADDR:162" '' \
            1.3.6.1.6.3.1.1.5.4 || fail "snmptrap -v3 as $user"
        if in_agent snmpinform -v3 -u "$user" "${options[@]}" -r 0 -t 3 "$NETNS_CONSOLE_ADDR:162" '' \
            1.3.6.1.6.3.1.1.5.2 >/dev/null 2>&1; then
            informed=$((informed + 1))
        else
            fail "snmpinform -v3 as $user was not acknowledged"
        fi
    done
    echo "ok: $informed of ${#table[@]} users' informs acknowledged at once"
fi
if wait_until 30 marked ipv6; then
    in_agent snmptrap -v3 -e 0x80000000010203BB -u u42 -l authPriv -a SHA-256 -A authpass123 -x AES \
        -X privpass123 "udp6:[$NETNS_CONSOLE_ADDR6]:162" '' 1.3.6.1.6.3.1.1.5.1 || fail "snmptrap -v3 over IPv6"
    inform_u42 "udp6:[$NETNS_CONSOLE_ADDR6]:162" " over IPv6"
fi
wait "$harness_pid"
status=$?
[ -n "${forger_pid:-}" ] && { kill "$forger_pid" 2>/dev/null; wait "$forger_pid" 2>/dev/null; }
grep -v '^ok ' "$work/harness.out"
[ "$status" -eq 0 ] || { fail "steps_harness exited with status $status"; tail -20 "$work/harness.err"; }

logs=("$work/console"/LOG/*.LOG)
[ -f "${logs[0]}" ] || { fail "no log"; exit 1; }
iconv -f CP932 -t UTF-8 "${logs[0]}" | tr -d '\r' >"$work/log.txt"

python3 - "$work/log.txt" "$pairs" "$(cat "$work/location")" "$(printf '%s\n' "${table[@]}" | cut -d'|' -f1,2 | tr '\n' ' ')" <<'PY'
import re, sys
lines = open(sys.argv[1], encoding="utf-8").read().split("\n")
pairs = int(sys.argv[2])
failures = 0

def check(what, good, detail=""):
    global failures
    print(("ok: " if good else "FAIL: ") + what + ("" if good or not detail else ": " + detail))
    failures += 0 if good else 1

def blocks(head):
    found = []
    for i, line in enumerate(lines):
        if re.match(head, line):
            end = i + 1
            while end < len(lines) and lines[end].startswith("  "):
                end += 1
            found.append(lines[i:end])
    return found

answers = blocks(r"^response 受信 request ID=\d+  SIZE=\d+$")
reports = blocks(r"^report 受信 request ID=\d+  SIZE=\d+$")
trusted = [b for b in answers if any(l.endswith("確認済み") for l in b) and any(l.endswith("復号済み") for l in b)]
check("every pair's four requests answered, authenticated and decrypted", len(trusted) >= 4 * pairs + 1,
      "%d of %d" % (len(trusted), 4 * pairs + 1))
for auth in ("MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512"):
    for priv in ("DES", "AES", "AES-192", "AES-256", "AES-192-C", "AES-256-C"):
        n = sum(1 for b in trusted if "  認証=あり(%s) 確認済み" % auth in b and "  暗号化=あり(%s) 復号済み" % priv in b)
        check("%s with %s: Get, GetNext, Set and GetBulk answered" % (auth, priv), n >= 4, str(n))
check("no answer refused", not any(any(l.startswith("  USM検証失敗=") for l in b) for b in answers))
discovery = [b for b in blocks(r"^get request 送信 request ID=\d+  SIZE=\d+$") if "  SNMPv3 エンジンID探索(discovery)" in b]
check("the agent's engine discovered once for each of its addresses, 192.0.2.2 first", len(discovery) == 2 and
      "  送信先=[2001:db8::2]:161" in discovery[1] and
      any(l == "  usmStatsUnknownEngineIDs = 1" or l.startswith("  usmStatsUnknownEngineIDs = ") for l in reports[0]),
      "%d discoveries" % len(discovery))
texts = [l for b in reports for l in b if l.startswith("  usmStats")]
check("a wrong pass phrase shown as usmStatsWrongDigests", any(t.startswith("  usmStatsWrongDigests = ") for t in texts),
      repr(texts))
check("an unknown user shown as usmStatsUnknownUserNames",
      any(t.startswith("  usmStatsUnknownUserNames = ") for t in texts), repr(texts))
late = [i for i, b in enumerate(reports) if any(l.startswith("  usmStatsNotInTimeWindows = ") for l in b)]
# Two at the least, at first and after the restart; a third when the first
# request to the agent's IPv6 address, discovered afresh, meets the time
# window too (it does in some runs, depending on when it is sent).
check("the agent's clock came from its authenticated Reports, at first and after its restart", 2 <= len(late) <= 3,
      repr(texts))
walk = [l for l in lines if l.startswith("  WALK終了：1.3.6.1.2.1.1 配下 ")]
check("the SNMPv3 walk of the system group went to the subtree's end",
      len(walk) == 1 and walk[0].endswith("（サブツリーの外に出ました）") and int(walk[0].split(" 配下 ")[1].split("件")[0]) > 5,
      repr(walk))
ended = [l for b in reports for l in b if l.startswith("  要求を終了しました：")]
check("the wrong pass phrase and the unknown user each ended their request",
      len(ended) == 2 and ended[0].startswith("  要求を終了しました：認証に失敗しました")
      and "usmStatsUnknownUserNames" in ended[1], repr(ended))
for level, name in (("authNoPriv", "a"), ("noAuthNoPriv", "nauser")):
    n = sum(1 for b in answers if any(l.startswith("  msgUserName=" + name) for l in b)
            and not any(l.startswith("  応答として扱いません") or l.startswith("  USM検証失敗") for l in b))
    check("answers at %s" % level, n >= (6 if name == "a" else 1), str(n))
forged = [b for b in answers if "  応答として扱いません：セキュリティレベルが要求と違います" in b]
check("the forged noAuthNoPriv answers were shown as not taken", len(forged) >= 1, str(len(forged)))
trusted = [b for b in trusted if not any(l.startswith("  応答として扱いません") for l in b)]
last = [b for b in answers if b in trusted][-1] if trusted else []
check("and the request sent once more was answered", last in trusted and "  object ID =1.3.6.1.2.1.1.5.0" in last,
      repr(last[:3]))
check("the last Set reached snmpd", sys.argv[3].strip().strip('"') == "rack-u66", sys.argv[3])
traps = blocks(r"^TRAP受信  SIZE=\d+$")
trap = traps[0] if traps else []
check("snmptrap -v3 shown as a coldStart of user u42 at authPriv",
      "  TRAP-TYPE=coldStart" in trap and "  msgUserName=u42" in trap and "  認証=あり(SHA-256) 確認済み" in trap
      and "  暗号化=あり(AES) 復号済み" in trap and "  msgAuthoritativeEngineID=80 00 00 00 01 02 03 04" in trap,
      repr(trap[:14]))
second = [b for b in traps[:5] if "  msgUserName=u15" in b]
check("a trap of a second user shown as its linkUp at authPriv with AES-192-C",
      len(second) == 1 and "  TRAP-TYPE=linkUp" in second[0] and "  認証=あり(MD5) 確認済み" in second[0]
      and "  暗号化=あり(AES-192-C) 復号済み" in second[0], repr(second[:1]))
inform = traps[2] if len(traps) > 2 else []
check("snmpinform -v3 shown as a warmStart", "  TRAP-TYPE=warmStart" in inform and "  msgUserName=u42" in inform,
      repr(inform[:14]))
replays = traps[3:5]
table = [row.split("|") for row in sys.argv[4].split()]
late_traps = traps[5:5 + 2 * len(table)]
for name, level in table:
    mine = [b for b in late_traps if "  msgUserName=" + name in b]
    shown = len(mine) == 2 and all("  USM検証失敗" not in "\n".join(b) for b in mine)
    if level != "0":
        shown = shown and all(any(l.startswith("  認証=あり(") and l.endswith("確認済み") for l in b) for b in mine)
    if level == "2":
        shown = shown and all(any(l.startswith("  暗号化=あり(") and l.endswith("復号済み") for l in b) for b in mine)
    check("%s's trap and inform shown as its own at its level" % name, shown, repr([b[:3] for b in mine]))
check("a trap with a newer clock taken, then one with older boots refused as a replay",
      len(replays) == 2 and "  TRAP-TYPE=linkDown" in replays[0] and "  USM検証失敗=notInTimeWindow" in replays[1],
      repr([b[:3] for b in replays]))
probes = [l for l in lines if l.startswith("SNMPv3 エンジンID探索(discovery)受信")]
check("each snmpinform's discovery one line, not a trap", len(probes) == 2 + len(table)
      and len(traps) == 7 + 2 * len(table), "%d probes, %d traps" % (len(probes), len(traps)))
ipv6 = [b for b in answers if "  送信元=[2001:db8::2]:161" in b]
check("a request over IPv6 answered from [2001:db8::2]:161, authenticated and decrypted",
      len(ipv6) == 1 and ipv6[0] in trusted and "  object ID =1.3.6.1.2.1.1.5.0" in ipv6[0],
      repr([b[:4] for b in ipv6]))
over6 = traps[5 + 2 * len(table):]
check("snmptrap -v3 and snmpinform -v3 over IPv6 shown as u42's coldStart and warmStart",
      len(over6) == 2 and "  TRAP-TYPE=coldStart" in over6[0] and "  TRAP-TYPE=warmStart" in over6[1]
      and all("  msgUserName=u42" in b and "  暗号化=あり(AES) 復号済み" in b for b in over6),
      repr([b[:6] for b in over6]))
text = "\n".join(lines)
check("no pass phrase in the log", "authpass123" not in text and "privpass123" not in text and "wrongpass99" not in text)
sys.exit(1 if failures else 0)
PY
[ $? -eq 0 ] || failures=$((failures + 1))
! grep -q -e authpass123 -e privpass123 "$work/console/steps-settings.ini" || fail "a pass phrase in the settings file"
grep -q '^message 応答がありません（request ID=' "$work/harness.out" ||
    fail "the forged answer ended the wait"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all SNMPv3 checks passed"
