#!/usr/bin/env bash
# Runs the demo and the shapes example with options a user gets wrong, and with
# output files that cannot be written, and checks exit codes, messages and that
# nothing at the paths was lost.
set -uo pipefail
cubes=$1 shapes=$2 reopen=$3 work=$4 mistakes=$5
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect CODE TEXT -- COMMAND...: the command exits with CODE and says TEXT on stderr.
expect() {
  local code=$1 text=$2; shift 3
  local out status
  out=$(timeout 60 "$@" 2>&1 >/dev/null); status=$?
  if [ "$status" -eq 124 ]; then fail "$* hung: still running after 60 s"; return; fi
  [ "$status" -eq "$code" ] || fail "$* exited $status, not $code: $out"
  [ -z "$text" ] || grep -qF -- "$text" <<<"$out" || fail "$* did not say '$text': $out"
}

# A failed picture write leaves the link (and the device) in place.
ln -s /dev/full full.png
expect 1 "No space left on device" -- "$cubes" --headless --frames 3 --save full.png
expect 1 "Write failed" -- "$cubes" --headless --frames 3 --gif full.png
[ -L full.png ] || fail "--save or --gif removed the link it could not write through"
[ -c /dev/full ] || fail "/dev/full is gone"
[ -z "$(ls -A | grep -v '^full.png$')" ] || fail "temporary files left: $(ls -A)"

# A failed log write is said, with a non-zero exit code.
expect 1 "--log: cannot write /dev/full" -- "$shapes" --headless --frames 3 --log /dev/full

# Paths that cannot be written and plans that cannot be read are refused at start.
mkdir folder
expect 2 "missing/x.png" -- "$cubes" --headless --save missing/x.png
expect 2 "is a folder" -- "$cubes" --headless --gif folder
expect 2 "it is a folder" -- "$cubes" --headless --input folder
expect 2 "cannot open missing/x.log" -- "$cubes" --headless --log missing/x.log
expect 2 "missing/x.png" -- "$cubes" --headless --save-at 3:missing/x.png
expect 2 "TICK:FILE.png" -- "$cubes" --headless --save-at 0:x.png
expect 2 "are the same file" -- "$cubes" --headless --save-at 2:same --summary same
[ ! -e same ] || fail "a refused --summary left a file"
# How a run ended: closed by --frames, or the program quitting on its own (q).
"$shapes" --headless --frames 3 --summary frames.txt >/dev/null 2>&1
{ grep -qx "ended frames" frames.txt && grep -qx "frames 3" frames.txt; } 2>/dev/null ||
  fail "--summary after --frames 3: $(cat frames.txt 2>/dev/null)"
printf '5 key q\n' >quit-plan.txt
"$shapes" --headless --input quit-plan.txt --summary quit.txt >/dev/null 2>&1
grep -qx "ended program" quit.txt || fail "--summary after q: $(cat quit.txt 2>/dev/null)"

# A name too long for the file system is refused at start, not after the run.
mkdir names
long=$(printf 'n%.0s' $(seq 300)).png
expect 2 "File name too long" -- "$cubes" --headless --frames 1 --save "names/$long"
expect 2 "File name too long" -- "$cubes" --headless --frames 1 --gif "names/$long"
[ -z "$(ls -A names)" ] || fail "a refused long name left $(ls -A names)"

# Two options naming one file are refused at start, by the same path, by another
# path to it (a link, ./, an absolute path), existing or not; nothing is touched.
mkdir same && echo "# plan" >same/plan.txt && echo mine >same/mine.png && ln -s mine.png same/link.png
expect 2 "--save same/new.png and --gif same/new.png are the same file" -- \
  "$cubes" --headless --frames 1 --save same/new.png --gif same/new.png
expect 2 "--log same/new.log and --gif $PWD/same/new.log are the same file" -- \
  "$cubes" --headless --frames 1 --log same/new.log --gif "$PWD/same/new.log"
expect 2 "--input same/plan.txt and --save same/./plan.txt are the same file" -- \
  "$cubes" --headless --frames 1 --input same/plan.txt --save same/./plan.txt
expect 2 "--log same/link.png and --save same/mine.png are the same file" -- \
  "$cubes" --headless --frames 1 --log same/link.png --save same/mine.png
[ "$(cat same/plan.txt same/mine.png)" = "$(printf '# plan\nmine')" ] && [ -L same/link.png ] &&
  [ "$(ls -A same | tr '\n' ' ')" = "link.png mine.png plan.txt " ] ||
  fail "refused options touched their files: $(ls -lA same)"
# --log - is standard output, not a file named -.
expect 0 "" -- "$cubes" --headless --frames 1 --log - --save same/-
[ -f same/- ] || fail "--save same/- beside --log - wrote no picture"
rm -rf names same

# --save refuses what a plain write refuses: a link loop, and (as a plain user:
# root may write anything) a read-only file, or a file in a folder it may not write.
ln -s loop.png loop.png
expect 2 "Too many levels of symbolic links" -- "$cubes" --headless --frames 1 --save loop.png
[ -L loop.png ] || fail "--save replaced a link loop"
as_user=()
if [ "$(id -u)" = 0 ]; then as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups); fi
if [ "$(id -u)" != 0 ] || command -v setpriv >/dev/null; then
  mkdir -p plain/closed && echo mine >plain/mine.png && echo open >plain/closed/open.png
  chmod 444 plain/mine.png && chmod 666 plain/closed/open.png
  chmod 555 plain/closed && chmod 777 plain
  expect 2 "plain/mine.png: Permission denied" -- "${as_user[@]}" "$cubes" --headless --frames 1 --save plain/mine.png
  expect 2 "the folder plain/closed must be writable" -- \
    "${as_user[@]}" "$cubes" --headless --frames 1 --gif plain/closed/open.png
  [ "$(cat plain/mine.png plain/closed/open.png)" = "$(printf 'mine\nopen')" ] ||
    fail "--save or --gif changed a file it may not write"
  chmod 755 plain/closed
fi

# Misspelt options are errors; after a lone -- they belong to the application.
expect 2 "unknown option --frmaes" -- "$cubes" --headless --frmaes 3
expect 0 "" -- "$cubes" --headless --frames 2 -- --frmaes 3

# The ranges the options can hold.
expect 0 "" -- "$cubes" --headless --frames 1 --seed 910692730085
expect 2 "0..910692730085" -- "$cubes" --headless --frames 1 --seed 910692730086
expect 2 "each 1..8192" -- "$cubes" --headless --client 8193x100
# (grep reads the whole text: the usage is longer than one pipe write)
grep -q "910692730085" <<<"$("$cubes" --help)" || fail "--help does not give the --seed range"

# --help names every action an input plan accepts: the list the plan reader
# gives when it meets an unknown one.
printf '1 wave\n' > unknown-action.txt
actions=$("$cubes" --headless --input unknown-action.txt 2>&1 | sed -n 's/.*(expected \(.*\))$/\1/p' |
          sed 's/ or /, /; s/,//g')
[ -n "$actions" ] || fail "no list of actions in the message for an unknown action"
plan_help=$("$cubes" --help | sed -n '/^  --input/,/^  --log/p')
for action in $actions; do
  grep -qw -- "$action" <<<"$plan_help" || fail "--help does not describe the input action $action"
done

# A display that does not answer is named.
DISPLAY=:987 expect 1 "cannot open the display :987" -- "$cubes"

# Pictures get the usual permissions under the umask.
(umask 027 && "$cubes" --headless --frames 2 --save p.png --gif p.gif) || fail "pictures not written"
[ "$(stat -c %a p.png) $(stat -c %a p.gif)" = "640 640" ] ||
  fail "permissions $(stat -c %a p.png) $(stat -c %a p.gif), not 640 640"

# A replay the frame limit cuts short is said; one that ends by itself is not.
printf '1 ctrl P\n' >replay.txt
printf 'TAVLO_PERIODIC(1000);\n' >TAVLO.SCR
expect 0 "replay was cut short" -- "$cubes" --headless --frames 50 --input replay.txt
printf 'TAVLO_PERIODIC(10);\n' >TAVLO.SCR
out=$("$cubes" --headless --frames 50 --input replay.txt 2>&1) || fail "a whole replay failed: $out"
[ -z "$out" ] || fail "a whole replay said: $out"

# A display opened again after close_display is the one --frames and --save
# follow; a second open_display while it is open is said in the log; nothing leaks.
expect 0 "" -- "$reopen" --headless --frames 5 --save both.png --log reopen.log
"$reopen" --headless --frames 5 --save fresh.png -- fresh-only || fail "reopen_display fresh-only failed"
cmp -s both.png fresh.png || fail "--save did not write the display opened after close_display"
[ "$(grep -c 'the display is already open' reopen.log)" = 2 ] ||
  fail "a second open_display was not said once per display: $(cat reopen.log)"

# --timeout ends the run whatever its streams do: standard error a pipe that is
# full and that nobody reads (the program's thread blocked in a write, holding the
# stream), and a --log FIFO that no reader opens (the open blocks at start).
mkfifo unread
exec 3<>unread  # the pipe's reader, which never reads
timeout 60 "$mistakes" --headless --timeout 2 -- chatter 2>unread 3>&-
status=$?
exec 3>&-
[ "$status" -eq 4 ] ||
  fail "--timeout 2 with standard error a full pipe: exit status $status, not 4 (124: hung)"
mkfifo lonely.log
expect 4 "--timeout 2: the run had not ended" -- "$shapes" --headless --timeout 2 --log lonely.log
# Without --timeout the open waits for a reader, which may come later.
"$shapes" --headless --frames 3 --log lonely.log 2>/dev/null &
pid=$!
timeout 60 cat lonely.log >lonely.txt
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "--log FIFO with a late reader: exit status $status, not 0"
grep -q "periodic events" lonely.txt || fail "--log FIFO: the reader got $(cat lonely.txt)"
rm -f unread lonely.log lonely.txt

# A run ended by Ctrl+C or kill leaves no temporary file beside its --gif.
for signal in TERM INT; do
  rm -rf sig && mkdir sig
  set -m  # a background job of its own, so that SIGINT is not ignored
  "$cubes" --headless --gif sig/run.gif 2>/dev/null &
  pid=$!
  set +m
  for _ in $(seq 300); do [ -n "$(ls -A sig)" ] && break; sleep 0.1; done
  [ -n "$(ls -A sig)" ] || fail "hung: no temporary file of --gif appeared in 30 s"
  kill -s "$signal" "$pid"
  wait "$pid"
  status=$?
  [ "$status" -gt 128 ] || fail "SIG$signal: exit status $status, not the signal's"
  [ -z "$(ls -A sig)" ] || fail "SIG$signal left $(ls -A sig)"
done

if [ $failures -ne 0 ]; then echo "$failures failures"; exit 1; fi
echo "entry point: options and output files behave"
