#!/bin/bash
# The two receivers and the request buttons end to end, between two hosts in
# network namespaces (netns.sh): the console at 192.0.2.1 on the real ports
# 161 and 162, net-snmp's snmpd and snmptrap at 192.0.2.2. What the console
# wrote is checked byte for byte in its log file (code page 932, CR LF).
#
#   1. Traps: the shipped quillet receives SNMPv1 traps of every kind the
#      trap listener tells apart, then SNMPv2c traps (linkDown, an
#      enterprise trap with signed and unsigned numbers, the equipment alarm)
#      and an inform, which snmpinform must see acknowledged on its first
#      try, with the inform already in the log; SIGTERM closes it.
#      Each v1 trap is first captured once on loopback in the agent's
#      namespace, so the expected size and dump are what snmptrap really
#      sends (a fixed uptime makes the second send identical). The v2c ones
#      carry a random request-id, so their dumps are checked by form.
#   2. Requests: console_harness (the same window) walks five objects with
#      GetNextRequest, sends GetRequest, SetRequest, GetRequest and, in
#      SNMPv2, GetBulkRequest to snmpd, then walks onto the end of snmpd's
#      view (endOfMibView) and gets ifHCInOctets.1 (a Counter64). The
#      answers are compared with what snmpwalk, snmpbulkget and snmpget get
#      from the same agent.
#
#   $1: the quillet executable
#   $2: the build directory (the harness is $2/tests/console_harness)
# Skips (exit 77) when not root or when ip netns, snmpd or snmptrap is missing.
set -u

quillet="${1:?usage: receivers_test.sh QUILLET BUILD_DIR}"
build="${2:?usage: receivers_test.sh QUILLET BUILD_DIR}"
harness="$build/tests/console_harness"
# The programs run from their own working directories.
quillet="$(realpath -- "$quillet")"
harness="$(realpath -- "$harness")"
here="$(cd "$(dirname "$0")" && pwd)"

# shellcheck source=netns.sh
source "$here/netns.sh"
netns_check_able snmpget snmpwalk snmpbulkget python3 iconv ss timeout || exit 77

require_programs "$quillet" "$harness"

netns_workspace receivers

netns_setup "$$" || exit 1
agent_start "$work/agent" "sysdescr Quillet e2e agent" "syscontact e2e-contact" "sysname e2e-agent" || exit 1

# ---------------------------------------------------------------------------
# The checker: an independent reading of the log (dump lines, marks, blocks).
cat >"$work/check.py" <<'PY'
import re, sys

FAILURES = 0

def ok(what):
    print("ok: " + what)

def fail(what, detail=""):
    global FAILURES
    FAILURES += 1
    print("FAIL: " + what + (": " + detail if detail else ""))

def dump(data):
    """The dump lines of bytes: 16 a line, hex, padding, printable column."""
    lines = []
    for i in range(0, len(data), 16):
        group = data[i:i + 16]
        lines.append("  " + "".join("%02X " % b for b in group) + "   " * (16 - len(group)) + "  "
                     + "".join(chr(b) if 0x20 <= b <= 0x7E else "." for b in group))
    return lines

def undump(lines):
    """Bytes of dump lines; None when a line is not exactly a dump line."""
    data = bytearray()
    for line in lines:
        n = len(line) - 52
        if not 1 <= n <= 16 or not line.startswith("  "):
            return None
        try:
            group = bytes(int(line[2 + 3 * k:4 + 3 * k], 16) for k in range(n))
        except ValueError:
            return None
        if dump(group) != [line]:
            return None
        data += group
    return bytes(data)

MARK_DATE = "(\\d{4})年(\\d{2})月(\\d{2})日 (\\d{2})時(\\d{2})分(\\d{2})秒"
START = re.compile(re.escape("++LOGGING START  ").encode() + MARK_DATE.encode("cp932") + b"\r\n")
STOP = re.compile(re.escape("--LOGGING STOP   ").encode() + MARK_DATE.encode("cp932") + b"\r\n\r\n")

def read_log(path, name_date):
    """Checks the run's frame (marks, CR LF) and returns its report lines."""
    raw = open(path, "rb").read()
    start = START.fullmatch(raw[:46])
    stop = STOP.fullmatch(raw[-48:])
    if start:
        ok("the log begins with the 46-byte start mark")
        if b"".join(start.groups()[:3]).decode() != name_date:
            fail("start mark date", "%r in %s" % (start.groups()[:3], path))
    else:
        fail("start mark", repr(raw[:46]))
    if stop:
        ok("the log ends with the 48-byte stop mark and an empty line")
    else:
        fail("stop mark", repr(raw[-48:]))
    if raw.count(b"++LOGGING START") != 1 or raw.count(b"--LOGGING STOP") != 1:
        fail("one start and one stop mark in the run's log")
    body = raw[46:-48]
    records = body.split(b"\r\n")
    if records[-1] != b"":
        fail("the last report line ends with CR LF", repr(records[-1]))
    records = records[:-1]
    if any(b"\r" in r or b"\n" in r for r in records):
        fail("every line ends with CR LF and holds no other CR or LF")
    lines = []
    for r in records:
        try:
            lines.append(r.decode("cp932"))
        except UnicodeDecodeError:
            fail("the line is code page 932", repr(r))
            lines.append(r.decode("cp932", "replace"))
    return raw, body, lines

def blocks(lines):
    """Groups lines into blocks: a header at column 0 and its indented lines."""
    out = []
    for line in lines:
        if line.startswith(" ") and out:
            out[-1][1].append(line)
        else:
            out.append((line, []))
    return out

def compare(what, expected, actual):
    """expected: strings, or compiled patterns that the line must match."""
    good = len(expected) == len(actual)
    for e, a in zip(expected, actual):
        if isinstance(e, str) and e != a or not isinstance(e, str) and not e.fullmatch(a):
            good = False
    if good:
        ok(what)
        return True
    fail(what)
    for i in range(max(len(expected), len(actual))):
        e = expected[i] if i < len(expected) else "(nothing)"
        a = actual[i] if i < len(actual) else "(nothing)"
        e = e if isinstance(e, str) else "/" + e.pattern + "/"
        print("    %s expected %r" % (" " if e == a else "!", e))
        print("    %s actual   %r" % (" " if e == a else "!", a))
    return False

def ber(data, pos):
    """(tag, content start, content end) of the element at pos."""
    tag, first = data[pos], data[pos + 1]
    pos += 2
    if first & 0x80:
        n = first & 0x7F
        length = int.from_bytes(data[pos:pos + n], "big")
        pos += n
    else:
        length = first
    return tag, pos, pos + length

def message_fields(data):
    """version, community, PDU tag and request-id of an SNMP message."""
    _, pos, _ = ber(data, 0)
    _, vs, ve = ber(data, pos)
    _, cs, ce = ber(data, ve)
    pdu, ps, _ = ber(data, ce)
    _, rs, re_ = ber(data, ps)
    return data[vs], data[cs:ce], pdu, int.from_bytes(data[rs:re_], "big", signed=True)

# --- snmp tool output (-On -Ox) --------------------------------------------

def tool_records(path):
    """[(oid, kind, value)] from snmpwalk/snmpget/snmpbulkget -On -Ox output."""
    records = []
    for line in open(path, encoding="latin-1").read().splitlines():
        if line.startswith("."):
            name, _, value = line.partition(" = ")
            records.append([name[1:], value])
        elif records:
            records[-1][1] += " " + line
    out = []
    for name, value in records:
        value = value.strip()
        if value == '""':
            out.append((name, "hex", b""))
        elif value.startswith("Hex-STRING: "):
            out.append((name, "hex", bytes.fromhex(value[12:])))
        elif value.startswith("OID: ."):
            out.append((name, "oid", value[6:]))
        elif value.startswith("Timeticks: ("):
            out.append((name, "ticks", int(value[12:value.index(")")])))
        elif value.startswith("INTEGER: "):
            out.append((name, "int", int(value[9:])))
        elif value.startswith("Counter64: "):
            out.append((name, "Counter64", int(value[11:])))
        elif value.startswith("Counter32: "):
            out.append((name, "Counter", int(value[11:])))
        elif value.startswith("Gauge32: "):
            out.append((name, "Gauge", int(value[9:])))
        elif value.startswith("No more variables left in this MIB View"):
            continue
        else:
            out.append((name, "other", value))
    return out

def binding_lines(record):
    name, kind, value = record
    lines = ["  object ID =" + name]
    if kind == "hex":
        lines.append("  応答データ(OCTET STRING  SIZE=%d)=" % len(value))
        lines += dump(value)
    elif kind == "oid":
        lines.append("  応答データ(OBJECT IDENTIFIER)=" + value)
    elif kind == "ticks":
        lines.append(re.compile(re.escape("  応答データ(Ticks)=") + "[0-9]+"))
    elif kind == "int":
        lines.append("  応答データ(Integer)=%d" % value)
    elif kind in ("Counter64", "Counter", "Gauge"):
        lines.append("  応答データ(%s)=%d" % (kind, value))
    elif kind == "endOfMibView":
        lines.append("  応答データ(endOfMibView)")
    else:
        lines.append("(a value of the kind %r)" % value)
    return lines

def oid_key(text):
    return tuple(int(a) for a in text.split("."))

# --- subcommands ----------------------------------------------------------

def cmd_inform_logged(log, count):
    """The log already holds `count` trap reports, the last an inform's."""
    raw = open(log, "rb").read()
    heads = [m.start() for m in re.finditer(re.escape("TRAP受信  SIZE=".encode("cp932")), raw)]
    if len(heads) < int(count):
        fail("the inform is in the log when snmpinform has its answer", "%d reports" % len(heads))
    else:
        ok("the inform is in the log when snmpinform has its answer")

def cmd_dump(hexbytes):
    for line in dump(bytes.fromhex(" ".join(hexbytes))):
        print(line)

def cmd_traps(log, name_date, expected_path, v2c_path):
    raw, body, lines = read_log(log, name_date)
    expected = open(expected_path, "rb").read()
    # Everything up to the SNMPv2c trap was predicted byte for byte.
    if body[:len(expected)] == expected:
        ok("the SNMPv1 trap reports are byte-exact (%d bytes)" % len(expected))
    else:
        fail("the SNMPv1 trap reports are byte-exact")
        exp_lines = expected.decode("cp932").split("\r\n")[:-1]
        compare("the SNMPv1 trap reports, line by line", exp_lines, lines[:len(exp_lines)])
    v1_lines = expected.count(b"\r\n")
    # Then the SNMPv2c notifications, each checked by form: its size, its
    # dump (the message that was sent: version 1, community, PDU tag), and
    # exactly the lines given after the dump.
    wanted = []
    for line in open(v2c_path, encoding="utf-8").read().split("\n")[:-1]:
        if line.startswith("--- "):
            tag, trap_type = line[4:].split(" ", 1)
            wanted.append((int(tag, 16), trap_type, []))
        else:
            wanted[-1][2].append(line)
    rest = blocks(lines[v1_lines:])
    if len(rest) != len(wanted):
        fail("%d blocks after the SNMPv1 traps" % len(wanted), repr([h for h, _ in rest]))
        return
    for (header, tail), (tag, trap_type, after) in zip(rest, wanted):
        what = "the SNMPv2c %s (%02X)" % (trap_type, tag)
        m = re.fullmatch("TRAP受信  SIZE=([0-9]+)", header)
        if not m:
            fail(what + ": header", repr(header))
            continue
        size = int(m.group(1))
        count = (size + 15) // 16
        data = undump(tail[2:2 + count])
        if tail[:2] != ["  TRAP-TYPE=" + trap_type, "  受信DATA="] or data is None or len(data) != size:
            fail(what + ": type and a dump of SIZE bytes", repr(tail[:3]))
            continue
        version, community, pdu, _ = message_fields(data)
        if (version, community, pdu) != (1, b"ravine", tag):
            fail(what + ": the dump is the message sent", repr((version, community, pdu)))
        compare(what + ": its lines after the dump", after, tail[2 + count:])
    # One line looked at byte by byte, trailing blanks included.
    alarm = bytes.fromhex("2020 8E96 8FDB 8EAF 95CA 8E71 2020202020 20 3D 9195 9275 8C78 95F1"
                          "286D616A6F7229 2020 0D0A")
    if raw.count(b"\r\n" + alarm) == 2:
        ok("the 17-byte entry \"装置警報(major)  \" ends its line with two blanks (v1 and v2c)")
    else:
        fail("the 17-byte entry \"装置警報(major)  \" with two trailing blanks")
    frame_error = bytes.fromhex("2020 8EF3 904D 8374 838C 815B 8380 88D9 8FED 8149 0D0A")
    if raw.count(b"\r\n" + frame_error) == 1:
        ok("\"  受信フレーム異常！\" once, as its code page 932 bytes")
    else:
        fail("\"  受信フレーム異常！\" once, as its code page 932 bytes")

def cmd_requests(log, name_date, walk_ref, bulk_ref, after_ref, harness_out, value_hex, walk_from, set_oid,
                 bulk_non, view_ref, hc_before_ref, hc_after_ref):
    raw, body, lines = read_log(log, name_date)
    walk = tool_records(walk_ref)
    bulk = tool_records(bulk_ref)
    after = tool_records(after_ref)
    value = bytes.fromhex(value_hex)
    if len(walk) < 6 or walk[0][0] != walk_from:
        fail("snmpwalk's reference starts at " + walk_from, repr(walk[:2]))
        return
    walked = [r[0] for r in walk[1:6]]

    # What the harness saw in OID1Edit after each answer.
    out = open(harness_out).read().splitlines()
    shown = [l[5:] for l in out if l.startswith("walk ")][:5]
    if shown == walked:
        ok("five GetNextRequests walked " + " ".join(walked))
    else:
        fail("the walk in OID1Edit follows snmpwalk", "shown %r, snmpwalk %r" % (shown, walked))
    keys = [oid_key(walk_from)] + [oid_key(s) for s in shown]
    if all(a < b for a, b in zip(keys, keys[1:])) and len(shown) == 5:
        ok("the five walked objects are different and strictly increasing")
    else:
        fail("the five walked objects are different and strictly increasing", repr(shown))

    requests, responses = [], {}
    for header, tail in blocks(lines):
        m = re.fullmatch("(get|get next|set|get bulk) request 送信 request ID=([0-9]+)  SIZE=([0-9]+)", header)
        r = re.fullmatch("(get response|response) 受信 request ID=([0-9]+)  SIZE=([0-9]+)", header)
        if m:
            size = int(m.group(3))
            count = (size + 15) // 16
            data = undump(tail[2:])
            if len(tail) != 2 + count or not tail[0].startswith("  object ID =") or tail[1] != "  送信DATA=" \
                    or data is None or len(data) != size:
                fail("request block: object ID, 送信DATA and a dump of SIZE bytes", repr((header, tail)))
                continue
            requests.append((m.group(1), int(m.group(2)), tail[0][13:], data))
        elif r:
            size = int(r.group(3))
            count = (size + 15) // 16
            data = undump(tail[1:1 + count])
            if tail[:1] != ["  受信DATA="] or data is None or len(data) != size:
                fail("response block: 受信DATA and a dump of SIZE bytes", repr((header, tail)))
                continue
            rid = int(r.group(2))
            if rid in responses:
                fail("one response for request ID %d" % rid)
            responses[rid] = (r.group(1), data, tail[1 + count:])
        else:
            fail("a line the requests should not produce", repr((header, tail)))

    kinds = [q[0] for q in requests]
    want = ["get next"] * 5 + ["get", "set", "get", "get bulk"] + ["get next"] * 2 + ["get"]
    if kinds != want:
        fail("the requests sent, in order", repr(kinds))
        return
    ids = [q[1] for q in requests]
    if ids == list(range(1, len(ids) + 1)):
        ok("request IDs 1 to %d, one counter for every kind" % len(ids))
    else:
        fail("request IDs count up from 1", repr(ids))
    for kind, rid, _, data in requests:
        version, community, pdu, wire_id = message_fields(data)
        tag = {"get": 0xA0, "get next": 0xA1, "set": 0xA3, "get bulk": 0xA5}[kind]
        if wire_id != rid or pdu != tag:
            fail("the %s request's dump carries its tag and request ID %d" % (kind, rid),
                 "tag %02X id %d" % (pdu, wire_id))
    if set(responses) != set(ids):
        fail("every request has its response", "requests %r, responses %r" % (ids, sorted(responses)))
    else:
        ok("every request has a response with the same request ID")
    for rid, (prefix, data, _) in responses.items():
        version, _, pdu, wire_id = message_fields(data)
        if wire_id != rid or pdu != 0xA2 or prefix != ("get response" if version == 0 else "response"):
            fail("response header of request ID %d matches its datagram" % rid,
                 "%s, version %d, tag %02X, id %d" % (prefix, version, pdu, wire_id))

    def check_answer(index, what, sent_oid, bindings, prefix):
        kind, rid, oid_line, _ = requests[index]
        if oid_line != sent_oid:
            fail(what + ": the request names " + sent_oid, "it names " + oid_line)
        if rid not in responses:
            return
        got_prefix, _, tail = responses[rid]
        if got_prefix != prefix:
            fail(what + ": the header begins " + prefix, got_prefix)
        expected = []
        for record in bindings:
            expected += binding_lines(record)
        compare(what, expected, tail)

    previous = walk_from
    for i in range(5):
        check_answer(i, "GetNextRequest %d from %s answers %s" % (i + 1, previous, walk[i + 1][0]), previous,
                     [walk[i + 1]], "get response")
        previous = walk[i + 1][0]
    check_answer(5, "GetRequest of the identifier the walk left", walk[5][0], [walk[5]], "get response")
    check_answer(6, "SetRequest of %s as OCTET STRING(ASCII)" % set_oid, set_oid, [(set_oid, "hex", value)],
                 "get response")
    check_answer(7, "GetRequest reads the value back", set_oid, [(set_oid, "hex", value)], "get response")
    check_answer(8, "GetBulkRequest (1 non-repeater, max-repetitions 3) shows its bindings", bulk_non, bulk,
                 "response")
    if len(bulk) != 4:
        fail("snmpbulkget gives four bindings", repr(bulk))

    # SNMPv2: the last two steps of a walk of snmpd's whole view, and a
    # Counter64 that snmpget read just before and just after the console.
    view = tool_records(view_ref)
    if len(view) < 2:
        fail("snmpwalk of the whole view", repr(view[-2:]))
    else:
        before_last, last = view[-2], view[-1]
        check_answer(9, "SNMPv2 GetNextRequest from %s answers the last object %s" % (before_last[0], last[0]),
                     before_last[0], [last], "response")
        check_answer(10, "SNMPv2 GetNextRequest from the last object answers endOfMibView", last[0],
                     [(last[0], "endOfMibView", None)], "response")
        if out.count("walk " + last[0]) != 2:
            fail("OID1Edit stays on the last object after endOfMibView", repr([l for l in out if l.startswith("walk ")]))
    low, high = tool_records(hc_before_ref), tool_records(hc_after_ref)
    hc = "1.3.6.1.2.1.31.1.1.1.6.1"
    _, hc_id, hc_line, _ = requests[11]
    if len(low) != 1 or len(high) != 1 or low[0][1] != "Counter64" or hc_id not in responses:
        fail("snmpget reads ifHCInOctets.1 as a Counter64 around the console's GetRequest", repr((low, high)))
    else:
        tail = responses[hc_id][2]
        m = len(tail) == 2 and re.fullmatch(re.escape("  応答データ(Counter64)=") + "([0-9]+)", tail[1])
        if hc_line != hc or tail[0] != "  object ID =" + hc or not m:
            fail("SNMPv2 GetRequest of ifHCInOctets.1 shows a Counter64", repr(tail))
        elif low[0][2] <= int(m.group(1)) <= high[0][2]:
            ok("ifHCInOctets.1 is %s, between snmpget's %d and %d" % (m.group(1), low[0][2], high[0][2]))
        else:
            fail("ifHCInOctets.1 as snmpget reads it", "%s not in %d..%d" % (m.group(1), low[0][2], high[0][2]))

    # The set value, as code page 932 bytes, on the wire and in the agent.
    _, set_id, _, set_data = requests[6]
    if set_data.endswith(b"\x04" + bytes([len(value)]) + value):
        ok("the SetRequest carries the value as code page 932 bytes")
    else:
        fail("the SetRequest carries the value as code page 932 bytes", set_data.hex(" "))
    if after == [(set_oid, "hex", value)]:
        ok("snmpget finds the value set by the console in the agent")
    else:
        fail("snmpget finds the value set by the console", repr(after))

    # The second GetRequest, by hand from the message layout: long-form
    # lengths 82 hi lo, a two-byte request ID, community "ravine".
    _, get_id, _, get_data = requests[7]
    wanted = bytes.fromhex("30 82 00 2D 02 01 00 04 06 72 61 76 69 6E 65 A0 82 00 1E 02 02 %04X"
                           "02 01 00 02 01 00 30 82 00 10 30 82 00 0C 06 08 2B 06 01 02 01 01 06 00 05 00"
                           % get_id)
    if set_oid == "1.3.6.1.2.1.1.6.0":
        if get_data == wanted:
            ok("the GetRequest's bytes are the ones laid out by hand")
        else:
            fail("the GetRequest's bytes", get_data.hex(" "))

    if "done" in out and "counts send=12 recv=12 trap=0" in out:
        ok("the window counted 12 requests sent and 12 answers")
    else:
        fail("the window's counters", repr(out[-2:]))

if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    {"dump": lambda: cmd_dump(args), "traps": lambda: cmd_traps(*args),
     "inform_logged": lambda: cmd_inform_logged(*args),
     "requests": lambda: cmd_requests(*args)}[command]()
    sys.exit(1 if FAILURES else 0)
PY

check() { python3 "$work/check.py" "$@"; }

# The day's log of a run in DIR: LOG/YYYYMMDD.LOG.
log_of() {
    local found=("$1"/LOG/*.LOG)
    [ "${#found[@]}" -eq 1 ] && [ -f "${found[0]}" ] && echo "${found[0]}"
}

# ---------------------------------------------------------------------------
# 1. Traps into the shipped console.
mkdir -p "$work/traps"
netns_require || exit 1
netns_spawn "$NETNS_CONSOLE" "$work/traps" "$work/traps.out" 40 env QT_QPA_PLATFORM=offscreen "$quillet"
quillet_pid="$NETNS_PID"
console_ready() {
    udp_bound "$NETNS_CONSOLE" 161 && udp_bound "$NETNS_CONSOLE" 162 &&
        log="$(log_of "$work/traps")" && [ "$(stat -c %s "$log")" -ge 46 ]
}
if ! wait_until 10 console_ready; then
    echo "FAIL: quillet did not bind 161 and 162 and open its log; its output:"
    cat "$work/traps.out"
    exit 1
fi
log="$(log_of "$work/traps")"

trap_count() { LC_ALL=C grep -a -c $'^TRAP\x8e\xf3\x90\x4d  SIZE=' "$log"; }
sent_traps=0
expected="$work/traps.expected"
: >"$expected"

line() { printf '%s\n' "$@" >>"$expected"; }

# send_v1 NAME TRAP-TYPE ENTERPRISE GENERIC SPECIFIC BINDING...: captures the
# trap once on loopback, sends it to the console and waits for its report;
# appends the report's expected header lines and dump.
send_v1() {
    local name="$1" type="$2"
    shift 2
    local args=(snmptrap -v 1 -c ravine @DEST@ "$1" "$NETNS_AGENT_ADDR" "$2" "$3" 4242)
    shift 3
    args+=("$@")
    local bytes
    if ! bytes="$(capture_udp "$NETNS_AGENT" 5 "${args[@]}")" || [ -z "$bytes" ]; then
        fail "$name: cannot capture what snmptrap sends"
        return 1
    fi
    echo "$bytes" >"$work/$name.hex"
    netns_require || return 1
    args[5]="$NETNS_CONSOLE_ADDR:162"   # in place of @DEST@
    in_agent "${args[@]}" || fail "$name: snmptrap failed"
    sent_traps=$((sent_traps + 1))
    if ! wait_until 5 test_trap_count "$sent_traps"; then
        fail "$name: no report in the log"
        return 1
    fi
    line "TRAP受信  SIZE=$(wc -w <<<"$bytes")" "  TRAP-TYPE=$type" "  受信DATA="
    check dump "$bytes" >>"$expected"
}
test_trap_count() { [ "$(trap_count)" -ge "$1" ]; }

# send_raw NAME HEX: sends the bytes as they are to the console's port 162 and
# appends the lines of a datagram that is not a whole trap.
send_raw() {
    local name="$1" bytes="$2"
    netns_require || return 1
    in_agent python3 -c 'import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.sendto(bytes.fromhex(sys.argv[2]), (sys.argv[1], 162))' "$NETNS_CONSOLE_ADDR" "$bytes" || fail "$name: not sent"
    sent_traps=$((sent_traps + 1))
    if ! wait_until 5 test_trap_count "$sent_traps"; then
        fail "$name: no report in the log"
        return 1
    fi
    line "TRAP受信  SIZE=$(wc -w <<<"$bytes")" "  TRAP-TYPE=" "  受信DATA="
    [ -n "$bytes" ] && check dump "$bytes" >>"$expected"
    line "  受信フレーム異常！"
}

dump_of() { check dump "$@" >>"$expected"; }

ent=1.3.6.1.4.1.99999
equipment=1.3.6.1.4.1.317.2.26.1.2
long_text="$(printf '0123456789%.0s' $(seq 20))"   # 200 bytes: length 81 C8

send_v1 cold coldStart 1.3.6.1.4.1.8072.3.2.10 0 0

# Bindings of a linkDown are not listed.
send_v1 linkdown linkDown 1.3.6.1.6.3.1.1.5 2 0 1.3.6.1.2.1.2.2.1.1.2 i 2

send_v1 equipment enterpriseSpecific "$equipment" 6 1 \
    "$equipment.1.0" i 6 "$equipment.2.0" i 10 "$equipment.3.0" i 3 "$equipment.4.0" i 255 \
    "$equipment.5.0" s 20050307090500
line "  事象識別子      =装置警報(major)  " \
    "  事象詳細情報    =EQP          " \
    "  事象発生位置    =3" \
    "  事象発生実装位置=本体部分など" \
    "  事象発生時刻    =2005年3月7日9時5分0秒"

# Integers are shown signed as the agent meant them, whatever their length:
# -7 is F9, -100000 is FE 79 60, -100000000 is FA 0A 1F 00, 255 is 00 FF.
send_v1 plain enterpriseSpecific "$ent" 6 17 \
    "$ent.1.0" i 5 "$ent.2.0" s abc "$ent.3.0" i -7 "$ent.4.0" i -100000 "$ent.5.0" i -100000000 \
    "$ent.6.0" x 007F80FF2041 "$ent.7.0" s "$long_text" "$ent.8.0" i 255
line "  応答データ(int)=5" "  応答データ(int)=-7" "  応答データ(int)=-100000" \
    "  応答データ(int)=-100000000" "  応答データ(int)=255"
line "  応答データ(OCTET STRING  SIZE=3)="
dump_of 61 62 63
line "  応答データ(OCTET STRING  SIZE=6)="
dump_of 00 7F 80 FF 20 41
line "  応答データ(OCTET STRING  SIZE=200)="
dump_of "$(printf '%s' "$long_text" | od -An -tx1)"

# The equipment enterprise alone does not make an alarm: the last binding
# name decides.
send_v1 prefix-enterprise enterpriseSpecific "$equipment" 6 2 "$equipment.1.0" i 6 "$ent.9.0" i 42
line "  応答データ(int)=6" "  応答データ(int)=42"

# A whole trap is never a frame error for a value's type: Counter32,
# Gauge32 (u), TimeTicks, IpAddress, identifiers, NULL, Counter64 and the
# Opaque values (I, U, F, D) add no line; INTEGERs and strings still do.
send_v1 counter enterpriseSpecific "$ent" 6 3 "$ent.4.0" c 12345
send_v1 every-type enterpriseSpecific "$ent" 6 4 \
    "$ent.1.0" c 123456 "$ent.2.0" u 5 "$ent.3.0" t 1234 "$ent.4.0" a 10.0.0.1 "$ent.5.0" o 1.3.6.1.2.1 \
    "$ent.6.0" n '' "$ent.7.0" C 123 "$ent.8.0" I -3 "$ent.9.0" U 7 "$ent.10.0" F 1.5 "$ent.11.0" D 2.5 \
    "$ent.12.0" i 9 "$ent.13.0" s abc
line "  応答データ(int)=9" "  応答データ(OCTET STRING  SIZE=3)="
dump_of 61 62 63

# Not a trap at all: shown as a frame error, with no trap type.
send_raw text "68 65 6C 6C 6F 0A"

# Equipment bindings in a trap that is not enterprise-specific: no alarm.
send_v1 equipment-linkup linkUp "$equipment" 3 0 "$equipment.1.0" i 6 "$equipment.5.0" s 20050307090500

# Last, SNMPv2c notifications: their request IDs are random, so each is
# checked by form, with the lines it must show after its dump.
v2c_expected="$work/v2c.expected"
: >"$v2c_expected"
v2c_line() { printf '%s\n' "$@" >>"$v2c_expected"; }
trap_oid_lines() { v2c_line "  object ID =1.3.6.1.6.3.1.1.4.1.0" "  応答データ(OBJECT IDENTIFIER)=$1"; }

# send_v2c NAME TRAP-OID BINDING...
send_v2c() {
    local name="$1"
    shift
    netns_require || return 1
    in_agent snmptrap -v 2c -c ravine "$NETNS_CONSOLE_ADDR:162" '' "$@" || fail "$name: snmptrap -v 2c failed"
    sent_traps=$((sent_traps + 1))
    wait_until 5 test_trap_count "$sent_traps" || fail "$name: no report in the log"
}

v2c_line "--- A7 linkDown"
trap_oid_lines 1.3.6.1.6.3.1.1.5.3
v2c_line "  object ID =1.3.6.1.2.1.2.2.1.1.3" "  応答データ(Integer)=3"
send_v2c v2c-linkdown 1.3.6.1.6.3.1.1.5.3 1.3.6.1.2.1.2.2.1.1.3 i 3

# Numbers as snmpget shows them: -7, a Counter32 of 2^32-1 (41 05 00 FF FF
# FF FF) and a Counter64 of 2^64-1 (46 09 00 FF ... FF).
v2c_line "--- A7 enterpriseSpecific"
trap_oid_lines "$ent.0.17"
v2c_line "  object ID =$ent.1.0" "  応答データ(Integer)=-7" "  object ID =$ent.2.0" \
    "  応答データ(OCTET STRING  SIZE=3)="
check dump 61 62 63 >>"$v2c_expected"
v2c_line "  object ID =$ent.3.0" "  応答データ(Counter)=4294967295" \
    "  object ID =$ent.4.0" "  応答データ(Counter64)=18446744073709551615"
send_v2c v2c-enterprise "$ent.0.17" "$ent.1.0" i -7 "$ent.2.0" s abc "$ent.3.0" c 4294967295 \
    "$ent.4.0" C 18446744073709551615

# The equipment's alarm sent as v2c gives the same five lines as in v1.
v2c_line "--- A7 enterpriseSpecific"
trap_oid_lines "$equipment.0.1"
v2c_line "  事象識別子      =装置警報(major)  " \
    "  事象詳細情報    =EQP          " \
    "  事象発生位置    =3" \
    "  事象発生実装位置=本体部分など" \
    "  事象発生時刻    =2005年3月7日9時5分0秒"
send_v2c v2c-equipment "$equipment.0.1" \
    "$equipment.1.0" i 6 "$equipment.2.0" i 10 "$equipment.3.0" i 3 "$equipment.4.0" i 255 \
    "$equipment.5.0" s 20050307090500

# An inform: with -r 0 snmpinform sends it once and exits 0 only when the
# acknowledgement came back within 3 s. The console writes the inform to
# its log before it answers, so the log holds it as soon as snmpinform ends.
v2c_line "--- A6 linkUp"
trap_oid_lines 1.3.6.1.6.3.1.1.5.4
v2c_line "  object ID =1.3.6.1.2.1.2.2.1.1.3" "  応答データ(Integer)=3"
netns_require || exit 1
if in_agent snmpinform -v 2c -c ravine -r 0 -t 3 "$NETNS_CONSOLE_ADDR:162" '' 1.3.6.1.6.3.1.1.5.4 \
    1.3.6.1.2.1.2.2.1.1.3 i 3; then
    echo "ok: snmpinform -r 0 got its acknowledgement on the first try"
else
    fail "snmpinform -r 0 got no acknowledgement"
fi
sent_traps=$((sent_traps + 1))
check inform_logged "$log" "$sent_traps" || failures=$((failures + 1))
wait_until 5 test_trap_count "$sent_traps" || fail "inform: no report in the log"

stop_pid "$quillet_pid" 10
status=$?
[ "$status" -eq 0 ] || fail "quillet exited with status $status on SIGTERM; its output: $(cat "$work/traps.out")"

sed 's/$/\r/' "$expected" | iconv -f UTF-8 -t CP932 >"$expected.cp932" || fail "iconv of the expected traps"
name_date="$(basename "$log" .LOG)"
check traps "$log" "$name_date" "$expected.cp932" "$v2c_expected" || failures=$((failures + 1))

# ---------------------------------------------------------------------------
# 2. Requests from the window to snmpd.
walk_from=1.3.6.1.2.1.1.1.0
set_oid=1.3.6.1.2.1.1.6.0
bulk_non=1.3.6.1.2.1.1.3.0
bulk_rep=1.3.6.1.2.1.1
set_value="東京～大手町 e2e $$"
value_hex="$(printf '%s' "$set_value" | iconv -f UTF-8 -t CP932 | od -An -tx1 | tr -d '\n')"

netns_require || exit 1
in_agent snmpwalk -v 1 -c ravine -On -Ox -t 1 -r 1 "$NETNS_AGENT_ADDR" 1.3.6.1.2.1.1 >"$work/walk.ref" ||
    fail "snmpwalk of the agent"
in_agent snmpbulkget -v 2c -c ravine -On -Ox -t 1 -r 1 -Cn1 -Cr3 "$NETNS_AGENT_ADDR" "$bulk_non" "$bulk_rep" \
    >"$work/bulk.ref" || fail "snmpbulkget of the agent"

# The whole view in SNMPv2, for its last two objects (a few thousand lines).
hc_oid=1.3.6.1.2.1.31.1.1.1.6.1
in_agent timeout 60 snmpwalk -v 2c -c ravine -On -Ox -t 2 -r 1 "$NETNS_AGENT_ADDR" .1 >"$work/view.ref" ||
    fail "snmpwalk -v 2c of the whole view"
view_before_last="$(grep '^\.' "$work/view.ref" | grep -v 'No more variables' | tail -2 | head -1 | cut -d' ' -f1)"
view_before_last="${view_before_last#.}"
in_agent snmpget -v 2c -c ravine -On -t 1 -r 1 "$NETNS_AGENT_ADDR" "$hc_oid" >"$work/hc-before.ref" ||
    fail "snmpget of ifHCInOctets.1"

mkdir -p "$work/requests"
(cd "$work/requests" && timeout -k 5 40 ip netns exec "$NETNS_CONSOLE" env QT_QPA_PLATFORM=offscreen \
    "$harness" --agent="$NETNS_AGENT_ADDR" --walk-from="$walk_from" --set-oid="$set_oid" \
    --set-value="$set_value" --bulk-non="$bulk_non" --bulk-rep="$bulk_rep" --bulk-max=3 \
    --v2c-walk-from="$view_before_last" --v2c-walk-steps=2 --v2c-get="$hc_oid") \
    >"$work/harness.out" 2>"$work/harness.err"
status=$?
if [ "$status" -ne 0 ]; then
    fail "console_harness exited with status $status"
    grep -v -e '^QStandardPaths' "$work/harness.err"
fi

in_agent snmpget -v 1 -c ravine -On -Ox -t 1 -r 1 "$NETNS_AGENT_ADDR" "$set_oid" >"$work/after.ref" ||
    fail "snmpget of $set_oid"
in_agent snmpget -v 2c -c ravine -On -t 1 -r 1 "$NETNS_AGENT_ADDR" "$hc_oid" >"$work/hc-after.ref" ||
    fail "snmpget of ifHCInOctets.1 after the console"

if log="$(log_of "$work/requests")"; then
    check requests "$log" "$(basename "$log" .LOG)" "$work/walk.ref" "$work/bulk.ref" "$work/after.ref" \
        "$work/harness.out" "$value_hex" "$walk_from" "$set_oid" "$bulk_non" "$work/view.ref" \
        "$work/hc-before.ref" "$work/hc-after.ref" || failures=$((failures + 1))
else
    fail "the harness wrote no log"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check group(s) failed"
    exit 1
fi
echo "all receiver and request checks passed"
