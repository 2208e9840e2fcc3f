#!/usr/bin/env bash
# Builds the web version of the demo and the examples (installing what the build
# needs through scripts/setup.sh) and the playground (a page that compiles and
# runs a program written in it), and serves the pages on 127.0.0.1, printing
# the URLs. PORT picks the port (default 8000).
#
#   scripts/run-web.sh                    the demo and every program in examples/
#   scripts/run-web.sh path/to/prog.cpp   also a page for each one-file program
#                                         given (prog.html), wherever it lies
set -euo pipefail
programs=()
for source in "$@"; do
  case $source in
    *.cpp) ;;
    *) echo "run-web: $source is not a .cpp file" >&2; exit 2 ;;
  esac
  [ -f "$source" ] || { echo "run-web: no file $source" >&2; exit 2; }
  programs+=("$(cd "$(dirname "$source")" && pwd)/$(basename "$source")")
done
cd "$(dirname "$0")/.."
root=$(pwd)

"$root/scripts/setup.sh" >/dev/null
# The list of extra programs is set on every run, so it holds exactly these.
cmake --preset web "-DTAVLO_WEB_PROGRAMS=$(IFS=';'; echo "${programs[*]}")" >/dev/null
targets=(cubes)
for source in "$root"/examples/*.cpp "${programs[@]}"; do
  name=$(basename "$source" .cpp)
  targets+=("$name")
done
cmake --build "$root/build-web" -j"$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}" >/dev/null

# The playground's site is built by the native build folder with the package
# for wasm32-wasi (cmake/wasi.cmake) and served beside the pages.
cmake -S "$root" -B "$root/build" -DTAVLO_WASI=ON >/dev/null
cmake --build "$root/build" -j"$(nproc 2>/dev/null || echo 2)" --target playground_site playground_page >/dev/null
ln -sfn "$root/build/wasi/site" "$root/build-web/web/playground"

port=${PORT:-8000}
echo "The cubes demo: http://127.0.0.1:$port/cubes.html"
echo "  options: http://127.0.0.1:$port/cubes.html?seed=1&client=595x491"
echo "  the examples:$(for s in "$root"/examples/*.cpp; do printf ' /%s.html' "$(basename "$s" .cpp)"; done)"
for source in "${programs[@]}"; do
  echo "  $(basename "$source"): http://127.0.0.1:$port/$(basename "$source" .cpp).html"
done
echo "The playground (write a program, Run): http://127.0.0.1:$port/playground/playground.html"
echo "  (Ctrl+C stops the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root/build-web/web"
