#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   0. the layer check: every include runs down the layers (ARCHITECTURE.md);
#   1. the normal build (warnings are errors) and all tests, end-to-end ones included;
#   2. the unit and window tests again under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the same under ThreadSanitizer: the output hub's writer threads, both
#      listeners and the ping worker;
#   4. the fuzzers of the response and trap scans, a bounded time each, with
#      libFuzzer's length limit and again with inputs up to 65,536 octets;
#   5. a short run of the benchmark, to keep it working (no speed assertions).
# Run it yourself, not through sudo: sudo is asked only to install missing
# packages. End-to-end tests need root (network namespaces, ports 161/162,
# raw ICMP); without root they skip, and the run says which. As root (CI)
# a skipped test fails the run: nothing may pass by skipping there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/ownership.sh"
jobs=$(nproc)
fuzz_seconds=${QUILLET_FUZZ_SECONDS:-30}
export QT_QPA_PLATFORM=offscreen

require_own "$here"/build-test "$here"/build-asan "$here"/build-tsan "$here"/build-fuzz || exit 1

timings=()
stage_started=0
stage_name=""
stage() {
    finish_stage
    stage_name="$1"
    stage_started=$SECONDS
    echo "== $stage_name"
}
finish_stage() {
    if [ -n "$stage_name" ]; then
        timings+=("$(printf '%-28s %4d s' "$stage_name" $((SECONDS - stage_started)))")
    fi
    stage_name=""
}

# run_ctest BUILD_DIR [CTEST_ARGS...]: runs the tests of BUILD_DIR; fails when
# none are found, when one fails, and, as root, when one skipped.
run_ctest() {
    local build="$1"
    shift
    local junit
    junit="$(cd "$build" && pwd)/ctest-results.xml"
    rm -f "$junit"
    (cd "$build" && ctest --output-on-failure --no-tests=error -j"$jobs" --output-junit "$junit" "$@")
    local skipped
    # CTest writes status="disabled" or status="notrun" with a <skipped> element
    # for a test that skipped (exit code 77, or GoogleTest's [  SKIPPED ]).
    skipped=$(python3 - "$junit" <<'PY'
import sys, xml.etree.ElementTree as ET
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    if case.find("skipped") is not None or case.get("status") in ("notrun", "disabled"):
        print(case.get("name"))
PY
)
    [ -n "$skipped" ] || return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "FAIL: these tests skipped, and as root every test must run:" >&2
        sed 's/^/  /' <<<"$skipped" >&2
        echo "(their output above says why)" >&2
        return 1
    fi
    echo "note: these tests skipped (they need root; run the test command as root to include them):"
    sed 's/^/  /' <<<"$skipped"
}

stage "layers"
"$here/scripts/check-layers.sh"

stage "install"
"$here/scripts/install-deps.sh" test

stage "build and test"
cmake -S "$here" -B "$here/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_WERROR=ON
cmake --build "$here/build-test" -j"$jobs"
run_ctest "$here/build-test"

stage "address sanitizer"
cmake -S "$here" -B "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON -DQUILLET_WERROR=ON
cmake --build "$here/build-asan" -j"$jobs" --target quillet_unit_tests
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 run_ctest "$here/build-asan" -E '^e2e\.'

stage "thread sanitizer"
cmake -S "$here" -B "$here/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_TSAN=ON -DQUILLET_WERROR=ON
cmake --build "$here/build-tsan" -j"$jobs" --target quillet_unit_tests
# Qt's own libraries are not instrumented: the suppressions name only Qt's
# internals, never our code. A report ends the test with an error, but for
# the canary's (tsan.queued_race_canary.*): a deliberate race in a queued
# lambda, which fails the stage when the suppressions keep it from being
# reported.
TSAN_OPTIONS="suppressions=$here/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
    run_ctest "$here/build-tsan" -E '^e2e\.'

stage "fuzzers"
CXX=clang++ cmake -S "$here" -B "$here/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_FUZZ=ON -DQUILLET_SANITIZE=ON -DQUILLET_WERROR=ON
cmake --build "$here/build-fuzz" -j"$jobs"
fuzzers=("$here"/build-fuzz/tests/*_fuzz)
[ -x "${fuzzers[0]}" ] || { echo "FAIL: no fuzzers were built" >&2; exit 1; }
# Two runs of each fuzzer over one corpus: with libFuzzer's own length limit
# (the largest seed's size, 4,096 octets at least), then with the 65,536
# octets a listener takes, so that mutations may grow past every seed. The
# large seeds come from net-snmp's tools (tests/fuzz/capture_large_corpus.sh).
for fuzzer in "${fuzzers[@]}"; do
    name=$(basename "$fuzzer" _fuzz)
    corpus=$(mktemp -d)
    artifacts=$(mktemp -d)
    cp "$here/tests/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
    for max_len in "" 65536; do
        # -len_control=0: the whole 65,536 from the start, not a limit that
        # creeps up from the largest seed over minutes.
        # Each input gets at most 10 s; a crash, a leak or a time-out leaves
        # its input in $artifacts, printed here so a CI log is enough to
        # reproduce it.
        if ! "$fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 -artifact_prefix="$artifacts/" \
            ${max_len:+-max_len="$max_len" -len_control=0} -print_final_stats=1 "$corpus"; then
            echo "FAIL: the $name fuzzer (max_len ${max_len:-default}) found an input that fails; its files (hex):" >&2
            for file in "$artifacts"/*; do
                [ -f "$file" ] || continue
                echo "-- $(basename "$file") ($(stat -c %s "$file") bytes)" >&2
                od -An -tx1 -v "$file" >&2
            done
            rm -rf "$corpus" "$artifacts"
            exit 1
        fi
    done
    rm -rf "$corpus" "$artifacts"
done

if [ -x "$here/bench/run-bench.sh" ]; then
    stage "benchmark (short)"
    "$here/bench/run-bench.sh" --short "$here/build-test"
fi
finish_stage

echo "== stage times"
printf '%s\n' "${timings[@]}"
echo "== all tests passed"
