#!/usr/bin/env bash
# Tests the hello application headless: scripted clicks and a key, its message
# log, its picture compared with a stored one, and a recorded script that replays
# to the same picture.
#   check_hello.sh PROGRAM STORED.png OUTPUT_DIR
set -euo pipefail
program=$(realpath "$1") stored=$(realpath "$2") out=$3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
cd "$out"  # the script file TAVLO.SCR is written to the current folder
rm -f TAVLO.SCR hello.log replay.log

same_picture() {  # PICTURE: equal, pixel for pixel, to the stored one?
  local differing
  differing=$(compare -metric AE "$1" "$stored" null: 2>&1) || true
  [ "$differing" = 0 ] || { echo "$1 differs from $stored in $differing pixels"; return 1; }
}

# 1. Live input from a plan: three clicks, recorded, then q.
"$program" --headless --input "$here/hello_session.txt" --log hello.log --save hello.png
grep -qx "hello on TAVLO [0-9.]*" hello.log || { echo "no greeting in the log"; exit 1; }
same_picture hello.png
[ "$(cat TAVLO.SCR)" = "TAVLO_MOUSE(-40, 65);
TAVLO_MOUSE(0, 85);
TAVLO_MOUSE(40, 65);" ] || { echo "unexpected script:"; cat TAVLO.SCR; exit 1; }

# 2. The recorded script played back gives the same picture.
"$program" --headless --input "$here/hello_replay.txt" --log replay.log --save replay.png
grep -qx "EOF encountered in script file TAVLO.SCR" replay.log || { echo "replay did not end"; exit 1; }
same_picture replay.png
echo "hello: log, picture, recorded script and its replay as expected"
