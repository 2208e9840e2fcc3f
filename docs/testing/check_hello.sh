#!/usr/bin/env bash
# Tests the hello application headless: scripted clicks and a key, its message
# log, and its picture compared with a stored one.
#   check_hello.sh PROGRAM STORED.png OUTPUT_DIR
set -euo pipefail
program=$1 stored=$2 out=$3
here=$(dirname "$0")
mkdir -p "$out"

"$program" --headless --input "$here/hello_session.txt" \
  --log "$out/hello.log" --save "$out/hello.png"

grep -qx "hello on TAVLO [0-9.]*" "$out/hello.log" || { echo "no greeting in the log"; exit 1; }
differing=$(compare -metric AE "$out/hello.png" "$stored" null: 2>&1) || true
if [ "$differing" != 0 ]; then
  echo "the picture differs from $stored in $differing pixels: see $out/hello.png"
  exit 1
fi
echo "hello: log and picture as expected"
