#!/usr/bin/env bash
# One demo frame (bench_frame's demo_frame pose) natively and in WebAssembly under
# node, in the same run, and the ratio. Needs build/bench/bench_frame and
# build-web/bench_frame.js (scripts/test.sh builds both).
set -euo pipefail
cd "$(dirname "$0")/.."
filter=${1:-demo_frame}
args=(--benchmark_filter="^${filter}\$" --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
      --benchmark_format=csv)
# The least wall-clock time of the repetitions (the cost on an otherwise idle
# machine; node's WebAssembly has no CPU clock of its own), in us.
least() { grep "_min\"" | cut -d, -f3; }
native=$(build/bench/bench_frame "${args[@]}" 2>/dev/null | least)
wasm=$(node --no-experimental-fetch build-web/bench_frame.js "${args[@]}" 2>/dev/null | least)
awk -v n="$native" -v w="$wasm" -v f="$filter" 'BEGIN {
  printf "%s: native %.1f us, WebAssembly (node) %.1f us per frame: %.2fx\n", f, n, w, w / n }'
