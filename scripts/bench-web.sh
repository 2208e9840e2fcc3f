#!/usr/bin/env bash
# One demo frame (bench_frame's demo_frame pose) natively and in WebAssembly under
# node, in the same run, and the ratio. Needs build/bench/bench_frame and
# build-web/bench_frame.js (scripts/test.sh builds both).
set -euo pipefail
cd "$(dirname "$0")/.."
filter=${1:-demo_frame}
args=(--benchmark_filter="^${filter}\$" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
      --benchmark_format=csv)
median() { grep "_median\"" | cut -d, -f4; }  # cpu_time of the median row, in us
native=$(build/bench/bench_frame "${args[@]}" 2>/dev/null | median)
wasm=$(node --no-experimental-fetch build-web/bench_frame.js "${args[@]}" 2>/dev/null | median)
awk -v n="$native" -v w="$wasm" -v f="$filter" 'BEGIN {
  printf "%s: native %.1f us, WebAssembly (node) %.1f us per frame: %.2fx\n", f, n, w, w / n }'
