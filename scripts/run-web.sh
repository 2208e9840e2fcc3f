#!/usr/bin/env bash
# Builds the site (scripts/build-site.sh: the demo and the examples as pages,
# the playground, the docs; installing what the build needs through
# scripts/setup.sh) and serves it on 127.0.0.1 with the project's own server
# (scripts/serve-site.mjs, which sends the precompressed copies), printing the
# URLs. PORT picks the port (default 8000); SITE_DIR the folder (build-site/).
#
#   scripts/run-web.sh                    the demo and every program in examples/
#   scripts/run-web.sh path/to/prog.cpp   also a page for each one-file program
#                                         given (prog.html), wherever it lies
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
site=${SITE_DIR:-$root/build-site}
SITE_DIR=$site "$root/scripts/build-site.sh" "$@"

port=${PORT:-8000}
echo "The site: http://127.0.0.1:$port/ (the demo, the examples, the playground and the docs)"
echo "  the cubes demo: http://127.0.0.1:$port/cubes.html?seed=1&client=595x491"
echo "  the examples:$(for s in "$root"/examples/*.cpp; do printf ' /%s.html' "$(basename "$s" .cpp)"; done)"
for source in "$@"; do
  echo "  $(basename "$source"): http://127.0.0.1:$port/$(basename "$source" .cpp).html"
done
echo "  the playground (write a program, Run): http://127.0.0.1:$port/playground/playground.html"
echo "  the docs: http://127.0.0.1:$port/docs/"
echo "  (Ctrl+C stops the server)"
exec node "$root/scripts/serve-site.mjs" "$site" "$port"
