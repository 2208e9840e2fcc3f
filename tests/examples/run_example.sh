#!/usr/bin/env bash
# Runs one example headless and compares its picture with the stored one (the
# picture the documentation shows), pixel for pixel. A correct program gets none
# of the entry point's words on mistakes (a missing wait, a long loop, a timeout).
#   run_example.sh PROGRAM STORED.png OUTPUT_DIR [platform options...] [-- LOG_LINE...]
# Every LOG_LINE must be a whole line of the run's message log. With
# TAVLO_UPDATE_GOLDEN=1 the stored picture is replaced by the new one instead.
set -euo pipefail
program=$1 stored=$2 out=$3
shift 3
options=() expected=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
[ $# -gt 0 ] && shift
expected=("$@")
name=$(basename "$program")
mkdir -p "$out"
picture=$out/$name.png log=$out/$name.log errors=$out/$name.err
rm -f "$picture" "$log" "$errors"

fail() { echo "FAIL ($name): $*"; [ -f "$log" ] && { echo "--- log:"; cat "$log"; }; exit 1; }
status=0
timeout 60 "$program" --headless --seed 1 "${options[@]}" --log "$log" --save "$picture" \
  2>"$errors" || status=$?
cat "$errors" >&2
[ $status -ne 124 ] || fail "hung: still running after 60 s"
[ $status -eq 0 ] || fail "exit code $status"
! grep -qE 'ever waiting for an event|not waited for an event|--timeout [0-9]+: the run' "$errors" ||
  fail "a mistake's message for a correct program: $(cat "$errors")"
for line in "${expected[@]}"; do
  grep -qxF "$line" "$log" || fail "no log line '$line'"
done
if [ "${TAVLO_UPDATE_GOLDEN:-}" = 1 ]; then
  cp "$picture" "$stored"
  echo "$name: stored picture $stored replaced"
  exit 0
fi
[ -f "$stored" ] || fail "no stored picture $stored (make it with TAVLO_UPDATE_GOLDEN=1)"
differing=$(compare -metric AE "$picture" "$stored" null: 2>&1) || true
[ "$differing" = 0 ] || fail "$differing pixels differ from $stored (the run's picture: $picture)"
echo "$name: picture equal to $stored"
