#!/usr/bin/env bash
# The long fuzzing run (not part of CI; scripts/test.sh fuzzes briefly).
#
# Builds the libFuzzer targets with clang, ASan and UBSan, the package and its
# platform instrumented for coverage (build-fuzz/), and runs each target for a
# fixed number of executions, one after the other:
#   fuzz_script      the script reader on arbitrary file bytes
#   fuzz_event_loop  the script through the real event loop: sessions of
#                    shortcuts, clicks and keys, and the record/play-back round trip
# Each target keeps its corpus in build-fuzz/corpus/<target> (seeded from
# tests/fuzz/corpus for the reader), so a second run goes on from the first. At
# the end it prints, per target: executions, executions per second, coverage
# (libFuzzer's "cov" edges and "ft" features), corpus size and wall time. A
# fault, or an input that runs longer than 10 s, stops the run with the
# target's log; its input is saved as
# build-fuzz/artifacts/<target>/crash-* (replay it by running the target with
# that file as its argument).
#
#   scripts/fuzz.sh                   10 million executions per target
#   scripts/fuzz.sh --runs N          N executions per target
#   scripts/fuzz.sh --only TARGET     one target
#   scripts/fuzz.sh --jobs N          build with N parallel jobs (default 2)
# The targets take the usual libFuzzer options after "--", e.g.
#   scripts/fuzz.sh --runs 100000 -- -max_len=2048
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

runs=10000000 only= jobs=2
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "fuzz.sh: unknown option $1 (see the top of the script)" >&2; exit 2 ;;
  esac
done

build=$root/build-fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVLO_FUZZ=ON -DTAVLO_SANITIZE=ON -DTAVLO_QT=OFF -DTAVLO_BENCH=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target fuzz_script fuzz_event_loop

# Each target writes a file per input; a memory file system keeps that cheap.
private_tmp=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ -w /dev/shm ]; then private_tmp=/dev/shm; fi

summary=()
for target in fuzz_script fuzz_event_loop; do
  if [ -n "$only" ] && [ "$only" != $target ]; then continue; fi
  corpus=$build/corpus/$target
  artifacts=$build/artifacts/$target
  log=$build/$target.log
  mkdir -p "$corpus" "$artifacts"
  if [ $target = fuzz_script ]; then cp -n "$root"/tests/fuzz/corpus/* "$corpus"/; fi
  echo "== $target: $runs executions (log: $log)"
  start=$(date +%s)
  status=0
  TMPDIR=$private_tmp "$build/tests/fuzz/$target" -runs="$runs" -max_len=4096 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$@" "$corpus" >"$log" 2>&1 || status=$?
  seconds=$(( $(date +%s) - start ))
  if [ $status -ne 0 ]; then
    tail -60 "$log"
    echo "== $target failed after $seconds s; inputs in $artifacts" >&2
    exit $status
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  coverage=$(sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\) corp: \([0-9]*\/[^ ]*\).*/cov \1, ft \2, corpus \3/p' <<<"$last")
  summary+=("$target: $executions executions, $rate exec/s, $coverage, $seconds s")
done

echo "== summary"
printf '%s\n' "${summary[@]}"
