#!/usr/bin/env bash
# Runs the shapes example headless with a session plan and checks what it logged
# and drew.
set -euo pipefail
program=$1 plan=$2 out=$3
mkdir -p "$out"
rm -f "$out/shapes.log" "$out/shapes.png"
"$program" --headless --seed 7 --input "$plan" --log "$out/shapes.log" --save "$out/shapes.png"

fail() { echo "FAIL: $*"; echo "--- log:"; cat "$out/shapes.log"; exit 1; }
grep -qx "click at (-197, 195)" "$out/shapes.log" || fail "first click not reported in canvas coordinates"
grep -qx "click at (103, -55)" "$out/shapes.log" || fail "second click not reported"
grep -qx "key 120" "$out/shapes.log" || fail "typed x not reported"
grep -qx "key 113" "$out/shapes.log" || fail "typed q not reported"
periodic=$(sed -n 's/^\([0-9][0-9]*\) periodic events$/\1/p' "$out/shapes.log")
[ -n "$periodic" ] && [ "$periodic" -gt 3 ] || fail "too few periodic events: '$periodic'"
[ -s "$out/shapes.png" ] || fail "no picture saved"
echo "shapes example: clicks, keys and $periodic periodic events as planned"
