#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: once in a normal
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer, and the web
# pass (WebAssembly build, its test suites under node, the browser test).
#   scripts/test.sh            every pass
#   scripts/test.sh --quick    the normal pass only
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# Each step's header says how long the run has taken so far, so a slow run shows
# where its time goes.
SECONDS=0
step() { echo "== [$((SECONDS / 60))m$((SECONDS % 60))s] $*"; }

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

step "format (clang-format $(clang-format --version | sed -n 's/.*version \([0-9.]*\).*/\1/p'), eslint)"
# Every C++ file git tracks must be as the repository's .clang-format writes it.
git -C "$root" ls-files -z '*.cpp' '*.h' | (cd "$root" && xargs -0 clang-format --dry-run --Werror)
# Every JavaScript file of the pages, the playground, the tools and the tests
# follows the project's rules (tests/web/eslint.config.mjs).
(cd "$root" && tests/web/node_modules/.bin/eslint --config tests/web/eslint.config.mjs \
   package/platform/portable/presenters/web playground/runtime playground/page playground/tools \
   playground/tests tests/web bench scripts site)

# The web pass: the WebAssembly build (build-web), the package's test suites
# that need no desktop run under node, and the browser test against a loopback
# server, which compares the page with the native program of the normal pass.
web_pass() {
  step "web: build (WebAssembly) and test under node"
  cmake --preset web -DTAVLO_WERROR=$werror >/dev/null
  cmake --build "$root/build-web" -j"$jobs"
  (cd "$root/build-web" && ctest --output-on-failure -j"$jobs")
  step "web: browser test (Chromium, puppeteer-core, 127.0.0.1)"
  node "$root/tests/web/browser_test.mjs" "$root/build-web/web" "$root/build/demo/cubes"
  # The playground: the package built for wasm32-wasi by the pinned in-browser
  # compiler under node (a program built so against the native one), the site
  # folder, and the page in Chromium compiling and running programs against the
  # native pictures.
  step "web: the playground (the package for wasm32-wasi, the site, its tests under node and in Chromium)"
  cmake -S "$root" -B "$root/build" -DTAVLO_WASI=ON >/dev/null
  cmake --build "$root/build" -j"$jobs" --target shapes cubes playground_wasi playground_site playground_page
  (cd "$root/build" && ctest --output-on-failure -R '^Playground\.')
  # The site folder from the two builds above, served by the project's server:
  # the bytes of a first and a second visit, use without a network, a new version.
  step "web: the site (scripts/build-site.sh) in Chromium: bytes sent, offline, a new version"
  "$root/scripts/build-site.sh"
  node "$root/tests/web/site_test.mjs" "$root/build-site"
}

step "build and test"
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${1:-}" != --quick ]; then web_pass; fi

step "the package as a library: installed, found, packaged, cross-built"
"$root/scripts/test-library.sh" "$root/build"

if [ "${1:-}" != --quick ]; then
  step "build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$root/tests/lsan-suppressions.txt" \
    build_and_test build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTAVLO_SANITIZE=ON -DTAVLO_BENCH=OFF

  # Each libFuzzer target for a short while (TAVLO_FUZZ_SECONDS each, 30 by
  # default), the package instrumented for coverage, under ASan + UBSan.
  # scripts/fuzz.sh is the long run.
  seconds=${TAVLO_FUZZ_SECONDS:-30}
  step "fuzzing the script reader, the event loop and the line formatter for $seconds s each (libFuzzer, ASan + UBSan)"
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVLO_FUZZ=ON -DTAVLO_SANITIZE=ON -DTAVLO_QT=OFF -DTAVLO_BENCH=OFF >/dev/null
  cmake --build "$root/build-fuzz" -j"$jobs" --target fuzz_script fuzz_event_loop fuzz_line_format
  # Each target writes a file per input; a memory file system keeps that cheap.
  private_tmp=${TMPDIR:-/tmp}
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then private_tmp=/dev/shm; fi
  for target in fuzz_script fuzz_event_loop fuzz_line_format; do
    work=$(mktemp -d)
    mkdir "$work/corpus"
    if [ $target = fuzz_script ]; then cp "$root"/tests/fuzz/corpus/* "$work/corpus"/; fi
    status=0
    TMPDIR=$private_tmp "$root/build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" \
      -max_len=4096 -timeout=10 -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" \
      >"$work/fuzz.log" 2>&1 || status=$?
    echo "-- $target"
    grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|Done|SUMMARY)|DONE|ERROR' \
      "$work/fuzz.log" || true
    if [ $status -ne 0 ]; then tail -50 "$work/fuzz.log"; ls "$work"; exit $status; fi
    rm -rf "$work"
  done
fi
step "all tests passed"
