#!/usr/bin/env bash
# Builds the web version of the demo and the examples (installing what the build
# needs through scripts/setup.sh) and serves the pages on 127.0.0.1, printing
# the URL. PORT picks the port (default 8000).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

"$root/scripts/setup.sh" >/dev/null
cmake --preset web >/dev/null
cmake --build "$root/build-web" -j"$(nproc 2>/dev/null || echo 2)" --target cubes shapes paint typing bounce >/dev/null

port=${PORT:-8000}
echo "The cubes demo: http://127.0.0.1:$port/cubes.html"
echo "  options: http://127.0.0.1:$port/cubes.html?seed=1&client=595x491"
echo "  the examples: /shapes.html /paint.html /typing.html /bounce.html"
echo "  (Ctrl+C stops the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root/build-web/web"
