#!/bin/bash
# The log on a disk that fills up: log_full_harness runs the console in a
# folder on a small tmpfs (mounted in a mount namespace of its own, gone when
# the test ends), floods its trap port on loopback until the window's title
# says the log stopped for the disk's reserve of free space (15 % of the
# file system), frees the room set aside in a filler file, and sends traps of
# another kind. The disk must never have been full (no log-write notice);
# the log must hold whole records only, then the lines that count the lines
# not logged, together exactly those of the flood traps not in the log, then
# every trap sent after the room was freed, followed by the stop mark.
#   $1: the quillet executable (not used here)
#   $2: the build directory (the harness is $2/tests/log_full_harness)
# Skips (exit 77) when not root or when mount namespaces are unavailable.
set -u

build="$(cd "${2:?usage: log_full_test.sh QUILLET BUILD_DIR}" && pwd)"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
harness="$build/tests/log_full_harness"
corpus="$(cd "$(dirname "$0")/../fuzz/corpus/trap" && pwd)"
after_count=20

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the full-disk test needs root (a tmpfs in a mount namespace)"
    exit 77
fi
if ! unshare -m true 2>/dev/null; then
    echo "SKIP: mount namespaces are unavailable"
    exit 77
fi
if [ ! -x "$harness" ]; then
    echo "FAIL: $harness is missing"
    exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/disk"

# Inside the namespace: a 256 KiB tmpfs, 64 KiB of it held by the filler.
# The mount is private to the namespace and ends with it; the log is copied
# out before that.
unshare -m --propagation private bash -c '
    set -e
    disk="$1"; harness="$2"; corpus="$3"; count="$4"; out="$5"
    mount -t tmpfs -o size=256k quillet-log-full "$disk"
    head -c 65536 /dev/zero >"$disk/filler"
    status=0
    (cd "$disk" && timeout 120 "$harness" --flood="$corpus/snmptrap_plain.bin" \
        --after="$corpus/snmptrap_linkdown.bin" --after-count="$count" --filler="$disk/filler") \
        >"$out/harness.out" 2>"$out/harness.err" || status=$?
    cp "$disk"/LOG/*.LOG "$out/day.log" 2>/dev/null || true
    umount "$disk"
    exit $status
' _ "$work/disk" "$harness" "$corpus" "$after_count" "$work"
status=$?
cat "$work/harness.out"
if [ "$status" -ne 0 ]; then
    echo "FAIL: the harness ended with $status"
    cat "$work/harness.err"
    exit 1
fi
if ! grep -qx "notices=0 traps=[0-9]* title_back=1" "$work/harness.out"; then
    echo "FAIL: the disk filled up, or the title still said the log was stopped"
    exit 1
fi
traps=$(sed -n 's/^notices=0 traps=\([0-9]*\) .*/\1/p' "$work/harness.out")

# Whole records only: the log is the start mark, trap reports each beginning
# with its header line, the stop mark and an empty line. Every report must be
# the flood trap's report or the after trap's, complete; the after traps must
# all be there, after the last flood trap.
python3 - "$work/day.log" "$after_count" "$traps" <<'EOF'
import sys
data = open(sys.argv[1], 'rb').read()
after_count = int(sys.argv[2])
flood_sent = int(sys.argv[3]) - after_count
def fail(why):
    print('FAIL:', why)
    sys.exit(1)
if not data.endswith(b'\r\n\r\n'):
    fail('the log does not end with the stop mark and its empty line')
lines = data[:-2].split(b'\r\n')[:-1]
if len(lines) < 3 or not lines[0].startswith(b'++LOGGING START  ') or not lines[-1].startswith(b'--LOGGING STOP   '):
    fail('the marks are not where they belong')
for mark in (lines[0], lines[-1]):
    if len(mark) != 44:
        fail('a mark of %d bytes' % len(mark))
header = 'TRAP受信  SIZE='.encode('cp932')
resumed = 'LOG記録再開  ディスクの空き不足で記録しなかった行  COUNT='.encode('cp932')
reports = []
counts = []
for line in lines[1:-1]:
    if line.startswith(resumed):
        counts.append((int(line[len(resumed):]), len(reports)))
    elif line.startswith(header):
        reports.append([line])
    elif not reports:
        fail('a line before the first report: %r' % line)
    else:
        reports[-1].append(line)
flood, after = reports[0], reports[-1]
if flood == after:
    fail('no trap after the room was freed')
kinds = []
for report in reports:
    if report == flood:
        kinds.append('f')
    elif report == after:
        kinds.append('a')
    else:
        fail('a report cut short or run into: %r' % report)
text = ''.join(kinds)
if text.count('a') != after_count or not text.endswith('a' * after_count):
    fail('the traps after the room was freed are not all there: %s' % text[-40:])
# A count wherever the log went on: the last one after the last flood report
# logged and before the first trap sent once there was room (a batch of
# queued flood traps larger than the room freed may stop the log once more).
# Together they are the flood's lines that are not in the log.
if not counts or counts[-1][1] != text.count('f'):
    fail('no count line where the log went on for good: %r' % counts)
expected = (flood_sent - text.count('f')) * len(flood)
if sum(c for c, _ in counts) != expected:
    fail('the count lines say %r lines, %d were not logged' % (counts, expected))
print('log: %d flood reports, %d lines counted as not logged, then %d after the room was freed, records whole'
      % (text.count('f'), expected, after_count))
EOF
