#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: once in a normal
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer, and the web
# pass (WebAssembly build, its test suites under node, the browser test).
#   scripts/test.sh            every pass
#   scripts/test.sh --quick    the normal pass only
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

"$root/scripts/setup.sh"

jobs=$(nproc 2>/dev/null || echo 2)
werror=OFF
if [ "${CI:-}" = true ]; then werror=ON; fi

build_and_test() {
  local dir=$1; shift
  cmake -S "$root" -B "$root/$dir" -DTAVLO_WERROR=$werror "$@" >/dev/null
  cmake --build "$root/$dir" -j"$jobs"
  (cd "$root/$dir" && ctest --output-on-failure -j"$jobs")
}

# The web pass: the WebAssembly build (build-web), the package's test suites
# that need no desktop run under node, and the browser test against a loopback
# server, which compares the page with the native program of the normal pass.
web_pass() {
  echo "== web: build (WebAssembly) and test under node"
  cmake --preset web -DTAVLO_WERROR=$werror >/dev/null
  cmake --build "$root/build-web" -j"$jobs"
  (cd "$root/build-web" && ctest --output-on-failure -j"$jobs")
  echo "== web: browser test (Chromium, puppeteer-core, 127.0.0.1)"
  node "$root/tests/web/browser_test.mjs" "$root/build-web/web" "$root/build/demo/cubes"
}

echo "== build and test"
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${1:-}" != --quick ]; then web_pass; fi

if [ "${1:-}" != --quick ]; then
  echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$root/tests/lsan-suppressions.txt" \
    build_and_test build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTAVLO_SANITIZE=ON -DTAVLO_BENCH=OFF
fi
if [ "${1:-}" != --quick ]; then
  echo "== fuzzing the script reader for ${TAVLO_FUZZ_SECONDS:-60} s (libFuzzer, ASan + UBSan)"
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=Debug \
    -DTAVLO_FUZZ=ON -DTAVLO_SANITIZE=ON -DTAVLO_QT=OFF -DTAVLO_BENCH=OFF >/dev/null
  cmake --build "$root/build-fuzz" -j"$jobs" --target fuzz_script
  corpus=$(mktemp -d)
  cp "$root"/tests/fuzz/corpus/* "$corpus"/
  status=0
  "$root/build-fuzz/tests/fuzz/fuzz_script" -max_total_time="${TAVLO_FUZZ_SECONDS:-60}" \
    -max_len=4096 -print_final_stats=1 "$corpus" >"$corpus/fuzz.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|Done|SUMMARY)|ERROR' "$corpus/fuzz.log" || true
  if [ $status -ne 0 ]; then tail -50 "$corpus/fuzz.log"; exit $status; fi
  rm -rf "$corpus"
fi
echo "== all tests passed"
