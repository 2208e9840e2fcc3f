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

echo "== build and test"
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ "${1:-}" != --quick ]; then
  echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    build_and_test build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTAVLO_SANITIZE=ON -DTAVLO_BENCH=OFF
fi
echo "== all tests passed"
