#!/usr/bin/env bash
# Runs a program that defines main instead of WinMain: it must end by itself,
# with exit code 3 and a message naming WinMain and tavlo::tavlo, not wait forever
# and not end as if all went well.
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
! grep -q 'ended normally' "$out" || fail "the program went on as if it had run"
echo "main instead of WinMain: exit code 3 with the message"
