#!/bin/bash
# SNMPv3 informs from net-snmp's snmpinform, answered by our engine
# (usm_inform_probe) on a loopback port: snmpinform -r 0 discovers the
# engine ID through our Report, sends the inform, and exits 0 only when our
# acknowledgement arrived on its first try and it accepted it (its digest,
# our engine's time, and for the privacy levels our encryption).
#   $1: the quillet executable (not used here)
#   $2: the build directory (the probe is $2/tests/usm_inform_probe)
# Skips (exit 77) when snmpinform is not installed.
set -u

build="${2:?usage: usm_inform_test.sh QUILLET BUILD_DIR}"
probe="$build/tests/usm_inform_probe"
if ! command -v snmpinform >/dev/null; then
    echo "SKIP: snmpinform (net-snmp's snmp package) is not installed"
    exit 77
fi
if [ ! -x "$probe" ]; then
    echo "FAIL: $probe is missing"
    exit 1
fi

work="$(mktemp -d)"
probe_pid=""
cleanup() {
    [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A port of its own per run: two runs may overlap.
port=$((20000 + $$ % 20000))
"$probe" "$port" 3 >"$work/probe.log" 2>&1 &
probe_pid=$!
sleep 0.5

export MIBS= SNMP_PERSISTENT_DIR="$work/persist"
fail=0
inform() {
    local what="$1"
    shift
    if snmpinform -m '' -v3 -r 0 -t 3 "$@" "127.0.0.1:$port" '' 1.3.6.1.6.3.1.1.5.1 \
        1.3.6.1.2.1.1.5.0 s usm-inform-test >"$work/inform.log" 2>&1; then
        echo "ok: $what"
    else
        echo "FAIL: $what was not acknowledged:"
        sed 's/^/  /' "$work/inform.log"
        fail=1
    fi
}
inform "SHA-256 and AES (authPriv)" -l authPriv -u iuser -a SHA-256 -A authpass123 -x AES -X privpass123
inform "MD5 and DES (authPriv)" -l authPriv -u imd5 -a MD5 -A authpass123 -x DES -X privpass123
inform "SHA-256 (authNoPriv)" -l authNoPriv -u iuser -a SHA-256 -A authpass123

wait "$probe_pid"
probe_status=$?
probe_pid=""
echo "-- our engine said:"
sed 's/^/  /' "$work/probe.log"
[ "$probe_status" -eq 0 ] || { echo "FAIL: the probe ended with $probe_status"; fail=1; }
exit $fail
