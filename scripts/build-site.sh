#!/usr/bin/env bash
# Builds the site: ONE folder that any static web server serves as it is, with
# an index page, the cubes demo and every example as a page, the playground and
# the docs as HTML pages, every large file also precompressed (.br, .gz), and a
# service worker that keeps it all for offline use.
#
#   scripts/build-site.sh                     into build-site/
#   scripts/build-site.sh path/to/prog.cpp    also a page for each one-file program given
#   SITE_DIR=/somewhere scripts/build-site.sh into another folder
#
# Each step says what it does and how far the build is (step k of n); a build
# step prints the build tool's progress. A second run with nothing changed does
# next to nothing. scripts/run-web.sh runs this and then serves the folder.
set -euo pipefail
programs=()
for source in "$@"; do
  case $source in
    *.cpp) ;;
    *) echo "build-site: $source is not a .cpp file" >&2; exit 2 ;;
  esac
  [ -f "$source" ] || { echo "build-site: no file $source" >&2; exit 2; }
  programs+=("$(cd "$(dirname "$source")" && pwd)/$(basename "$source")")
done
# A relative SITE_DIR is taken from where the command was given.
site=${SITE_DIR:-}
case $site in
  '') ;;
  /*) ;;
  *) site=$(pwd)/$site ;;
esac
cd "$(dirname "$0")/.."
root=$(pwd)
site=${site:-$root/build-site}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
log=$root/build-site.log
: >"$log"

SECONDS=0
steps=4
step=0
say() { step=$((step + 1)); echo "[$step/$steps] $* ($((SECONDS / 60))m$((SECONDS % 60))s so far)"; }
# Runs a command with its output in the log; the lines that show work and how
# far it is ("[ 42%] Building ...", "[3/120] ...", "make-site: ...") are
# shown, shortened.
progress() {
  local statuses status
  set +e
  "$@" 2>&1 | tee -a "$log" | grep --line-buffered -E '^\[ *[0-9]+%\]|^\[[0-9]+/[0-9]+\]|^(make-site|wasi-cc|assemble):' |
    grep --line-buffered -v 'Built target' | sed -u -E 's/^(.{100}).+$/\1 .../; s/^/      /'
  statuses=("${PIPESTATUS[@]}")
  set -e
  status=${statuses[0]}
  if [ "$status" -ne 0 ]; then
    echo "build-site: failed: $*; the last lines of $log:" >&2
    tail -30 "$log" >&2
    exit "$status"
  fi
}

say "setting up the machine (scripts/setup.sh: only what is missing)"
progress "$root/scripts/setup.sh"

say "the demo and the examples as pages (Emscripten, build-web/)"
# Configured again only when the list of extra programs changed or the build
# does not know the pages' target yet (a build configures itself again when a
# CMakeLists.txt changed).
web_programs=$(IFS=';'; echo "${programs[*]}")
if ! grep -qxF "TAVLO_WEB_PROGRAMS:STRING=$web_programs" "$root/build-web/CMakeCache.txt" 2>/dev/null ||
   ! grep -q '^web_pages:' "$root/build-web/Makefile" 2>/dev/null; then
  progress cmake --preset web "-DTAVLO_WEB_PROGRAMS=$web_programs"
fi
progress cmake --build "$root/build-web" -j"$jobs" --target web_pages

say "the playground: the package for wasm32-wasi, the compiler and the page (build/)"
if ! grep -qx "TAVLO_WASI:BOOL=ON" "$root/build/CMakeCache.txt" 2>/dev/null; then
  progress cmake -S "$root" -B "$root/build" -DTAVLO_WASI=ON
fi
progress cmake --build "$root/build" -j"$jobs" --target playground_site playground_page

say "the site folder: pages, playground, docs, service worker, compressed copies ($site)"
progress node "$root/site/tools/assemble.mjs" "$root/build-web/web" "$root/build/wasi/site" "$root" "$site"

echo "build-site: done in $((SECONDS / 60))m$((SECONDS % 60))s: $site (the build's whole output: $log)"
