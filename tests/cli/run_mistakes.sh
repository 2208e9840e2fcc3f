#!/usr/bin/env bash
# The mistakes a first program makes get one line each, and correct programs get
# none: WinMain returning without ever waiting; a program that stops waiting while
# its windows are open (real windows, on Qt's offscreen platform); --timeout ending
# an endless loop (with exit code 4 and no file left behind); --log - showing the
# message log's repairs on standard output.
#   run_mistakes.sh MISTAKES CUBES SHAPES REOPEN WORK [qt]
set -uo pipefail
mistakes=$1 cubes=$2 shapes=$3 reopen=$4 work=$5 qt=${6:-}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The lines that must never appear for a correct program.
mistake_lines='ever waiting for an event|has not waited for an event|did not wait for an event|--timeout [0-9]+: the run|not started through'

# run CODE -- COMMAND...: runs it (60 s hang detector), leaves stdout in out.txt
# and stderr in err.txt, and checks the exit code.
run() {
  local code=$1; shift 2
  local status=0
  timeout 60 "$@" >out.txt 2>err.txt || status=$?
  if [ "$status" -eq 124 ]; then fail "$* hung: still running after 60 s"; return 1; fi
  [ "$status" -eq "$code" ] || { fail "$* exited $status, not $code: $(cat err.txt)"; return 1; }
}
# one_line TEXT WHAT: err.txt has exactly one line containing TEXT.
one_line() {
  local count
  count=$(grep -cF -- "$1" err.txt)
  [ "$count" = 1 ] || fail "$2: $count lines with '$1', not 1: $(cat err.txt)"
}
clean() {
  ! grep -qE -- "$mistake_lines" err.txt || fail "$1 got a mistake's message: $(cat err.txt)"
}

# WinMain returns right after drawing: told once, exit code its own.
if run 0 -- "$mistakes" --headless -- return; then
  one_line "WinMain returned without ever waiting for an event" "return without waiting"
  grep -qF '"2. The program" in docs/getting-started.md' err.txt ||
    fail "the getting-started section is not named: $(cat err.txt)"
fi

# --timeout ends a loop that never calls the package again.
if run 4 -- "$mistakes" --headless --timeout 1 -- spin; then
  one_line "--timeout 1: the run had not ended after 1 s" "endless loop"
fi
# ... and a run that goes on for ever in virtual time, its --gif half written:
# the new file beside the GIF is removed.
mkdir gif
if run 4 -- "$cubes" --headless --timeout 2 --gif gif/run.gif; then
  one_line "(exit code 4)" "endless animation"
  [ -z "$(ls -A gif)" ] || fail "--timeout left $(ls -A gif)"
fi
# A run that ends in time is unaffected; a bad value is refused at start.
run 0 -- "$cubes" --headless --timeout 60 --frames 3 --save in-time.png && clean "a run in time"
[ -f in-time.png ] || fail "a run that ended in time wrote no picture"
run 2 -- "$cubes" --headless --timeout 0 && one_line "--timeout needs a whole number of seconds" "--timeout 0"
grep -q -- "--timeout SECONDS" <<<"$("$cubes" --help)" || fail "--help does not list --timeout"

# --log - puts the message log's repairs on standard output.
if run 0 -- "$mistakes" --headless --log - -- repairs; then
  grep -qxF "Illegal color 99; using RED." out.txt || fail "--log - did not show the repair: $(cat out.txt)"
  clean "a program that waits"
fi

# Correct programs run clean.
run 0 -- "$cubes" --headless --frames 5 --log cubes.log && clean "cubes"
run 0 -- "$shapes" --headless --frames 5 && clean "shapes"
run 0 -- "$reopen" --headless --frames 5 && clean "reopen_display"

# Real windows: a program that stops waiting is told once (a short limit for the
# test); one that waits is not (the usual limit).
if [ "$qt" = qt ]; then
  export QT_QPA_PLATFORM=offscreen
  TAVLO_NOT_WAITING_MS=200 "$mistakes" -- spin >out.txt 2>err.txt &
  pid=$!
  for _ in $(seq 600); do grep -q "has not waited" err.txt && break; sleep 0.1; done
  grep -q "has not waited" err.txt || fail "hung: no word of the loop after 60 s: $(cat err.txt)"
  sleep 0.5  # a repeat would come within this
  kill "$pid"; wait "$pid" 2>/dev/null
  one_line "the program has not waited for an event (wait_event) for 0.2 s: its windows cannot update or close until it waits" "a loop in real windows"
  # (--frames needs --headless here: --timeout ends it, after more than the usual limit.)
  if run 4 -- "$cubes" --timeout 8; then
    ! grep -qE -- "ever waiting for an event|has not waited for an event" err.txt ||
      fail "cubes in real windows got a mistake's message: $(cat err.txt)"
  fi
  run 0 -- "$mistakes" --timeout 60 -- return && one_line "WinMain returned without" "return in real windows"
fi

if [ $failures -ne 0 ]; then echo "$failures failures"; exit 1; fi
echo "mistakes: each told in one line; correct programs run clean"
