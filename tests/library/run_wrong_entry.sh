#!/usr/bin/env bash
# Runs a program that defines main instead of WinMain: it must end by itself,
# with exit code 3 and a message naming WinMain and tavlo::tavlo, not wait forever
# and not end as if all went well. The same program drawing and ending without a
# wait is told so as it ends (once), with its own exit code.
set -uo pipefail
program=$1
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
timeout 60 "$program" >"$out" 2>&1 || status=$?
fail() { echo "FAIL: $*"; echo "--- output:"; cat "$out"; exit 1; }
[ $status -ne 124 ] || fail "hung: the program still waits after 60 s"
[ $status -eq 3 ] || fail "exit code $status, expected 3"
grep -q 'defines WinMain (not main)' "$out" || fail "no word of WinMain"
grep -q 'tavlo::tavlo' "$out" || fail "no word of the target to link"
[ "$(grep -c 'defines WinMain (not main)' "$out")" = 1 ] || fail "told more than once"
! grep -q 'ended normally' "$out" || fail "the program went on as if it had run"

status=0
timeout 60 "$program" draw-only >"$out" 2>&1 || status=$?
[ $status -ne 124 ] || fail "hung: the program that never waits still runs after 60 s"
[ $status -eq 0 ] || fail "draw-only: exit code $status, expected the program's 0"
grep -q 'ended without waiting' "$out" || fail "draw-only did not run to its end"
[ "$(grep -c 'defines WinMain (not main)' "$out")" = 1 ] ||
  fail "draw-only: not told once, at its end, that it defines main instead of WinMain"
grep -q 'windows were never shown' "$out" || fail "draw-only: no word of the windows"
echo "main instead of WinMain: exit code 3 with the message; told at the end without a wait"
