#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the normal build (warnings are errors) and all tests, end-to-end ones included;
#   2. the unit and window tests again under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the fuzzers of the response and trap scans, a bounded time each;
#   4. a short run of the benchmark, to keep it working (no speed assertions).
# End-to-end tests need root (network namespaces, ports 161/162, raw ICMP);
# without root they skip themselves.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${QUILLET_FUZZ_SECONDS:-60}
export QT_QPA_PLATFORM=offscreen

"$here/scripts/install-deps.sh"

echo "== build and test"
cmake -S "$here" -B "$here/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_WERROR=ON
cmake --build "$here/build-test" -j"$jobs"
(cd "$here/build-test" && ctest --output-on-failure -j"$jobs")

echo "== sanitizers"
cmake -S "$here" -B "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON -DQUILLET_WERROR=ON
cmake --build "$here/build-asan" -j"$jobs"
(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -E '^e2e\.')

echo "== fuzzers"
CXX=clang++ cmake -S "$here" -B "$here/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_FUZZ=ON -DQUILLET_SANITIZE=ON
cmake --build "$here/build-fuzz" -j"$jobs"
for fuzzer in "$here"/build-fuzz/tests/*_fuzz; do
  name=$(basename "$fuzzer" _fuzz)
  corpus=$(mktemp -d)
  cp "$here/tests/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$corpus"
  rm -rf "$corpus"
done

if [ -x "$here/bench/run-bench.sh" ]; then
  echo "== benchmark (short)"
  "$here/bench/run-bench.sh" --short "$here/build-test"
fi
echo "== all tests passed"
