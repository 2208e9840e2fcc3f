#!/usr/bin/env bash
# Records a headless session of a program into TAVLO.SCR, plays the recording
# back in a second run, and compares the second run's picture with the stored
# one, pixel for pixel: a recording replays to the same picture.
#   run_replay.sh PROGRAM STORED.png OUTPUT_DIR SESSION.txt LAST_TICK [-- LOG_LINE...]
# The session is recorded from tick 1 to LAST_TICK (Ctrl+R at each end); the
# playback run starts it with Ctrl+P and types q long after its end.
set -euo pipefail
program=$1 stored=$2 out=$3 session=$4 last=$5
shift 5
[ $# -gt 0 ] && shift
expected=("$@")
name=$(basename "$program")-replay
rm -rf "$out/$name"
mkdir -p "$out/$name"
cd "$out/$name"
fail() { echo "FAIL ($name): $*"; [ -f play.log ] && { echo "--- log:"; cat play.log; }; exit 1; }

{ echo "1 ctrl R"; grep -v '^#' "$session" | awk -v last="$last" 'NF && $1 <= last'; echo "$((last + 1)) ctrl R"; echo "$((last + 2)) key q"; } > record.txt
status=0
timeout 60 "$program" --headless --seed 1 --input record.txt --log record.log || status=$?
[ $status -ne 124 ] || fail "hung: the recording run still ran after 60 s"
[ $status -eq 0 ] || fail "the recording run's exit code $status"
[ -s TAVLO.SCR ] || fail "nothing recorded"

printf '1 ctrl P\n%d key q\n' $((last * 4 + 100)) > play.txt
timeout 60 "$program" --headless --seed 1 --input play.txt --log play.log --save play.png || status=$?
[ $status -ne 124 ] || fail "hung: the playback run still ran after 60 s"
[ $status -eq 0 ] || fail "the playback run's exit code $status"
grep -qxF "EOF encountered in script file TAVLO.SCR" play.log || fail "the playback did not reach the end"
for line in "${expected[@]}"; do
  grep -qxF "$line" play.log || fail "no log line '$line'"
done
differing=$(compare -metric AE play.png "$stored" null: 2>&1) || true
[ "$differing" = 0 ] || fail "$differing pixels differ from $stored (the replay's picture: $PWD/play.png)"
echo "$name: the replay's picture equals $stored"
