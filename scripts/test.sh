#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: once in a normal
# build and once under AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/test.sh            both passes
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

echo "== format (clang-format $(clang-format --version | sed -n 's/.*version \([0-9.]*\).*/\1/p'))"
# Every C++ file git tracks must be as the repository's .clang-format writes it.
git -C "$root" ls-files -z '*.cpp' '*.h' | (cd "$root" && xargs -0 clang-format --dry-run --Werror)

echo "== build and test"
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== the package as a library: installed, found, packaged, cross-built"
"$root/scripts/test-library.sh" "$root/build"

if [ "${1:-}" != --quick ]; then
  echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$root/tests/lsan-suppressions.txt" \
    build_and_test build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTAVLO_SANITIZE=ON -DTAVLO_BENCH=OFF

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
