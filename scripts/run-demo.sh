#!/usr/bin/env bash
# Sets up the machine, builds the cubes demo and runs it: in real windows when a
# display is there, otherwise a short headless run rendered to a PNG whose path
# it prints. Extra arguments go to the program, which runs in the folder the
# script was started from (so its script file, TAVLO.SCR, is the caller's).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/setup.sh" >/dev/null
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc 2>/dev/null || echo 2)" --target cubes >/dev/null

cubes="$root/build/demo/cubes"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${1:-}" != --headless ]; then
  exec "$cubes" "$@"
fi

mkdir -p "$root/out"
picture="$root/out/cubes.png"
"$cubes" --headless --frames 72 --seed 1 --save "$picture" "$@"
echo "headless run rendered: $picture"
