#!/usr/bin/env bash
# Installs what the WebAssembly build and its browser test need, and only what is
# missing, so a second run is quick:
#   - Debian's emscripten, chromium (the system browser the page test drives),
#     dpkg-dev (to unpack source packages), cmark-gfm (the docs as the site's
#     HTML pages, scripts/build-site.sh) and npm;
#   - the sources of FreeType, zlib, libpng, giflib and Google Benchmark, the
#     releases the native build links, from Debian's source packages (a deb-src
#     entry for the same archives is added when none is there), unpacked into a
#     cache folder (googletest ships its source itself);
#   - puppeteer-core from npm into tests/web/node_modules, without a browser of its own;
#   - the playground's compiler (npm @yowasp/clang, the version playground/package.json
#     pins) and the page's editor and bundler into playground/node_modules, from
#     playground/package-lock.json.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

packages=(emscripten chromium dpkg-dev cmark-gfm python3 googletest
  libfreetype6 zlib1g libpng16-16 libgif7 libbenchmark-dev)
command -v npm >/dev/null 2>&1 || packages+=(npm)
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
updated=no
apt_update() {
  if [ $updated = no ]; then "${sudo_cmd[@]}" apt-get update -qq; updated=yes; fi
}
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-web: installing ${missing[*]}"
  apt_update
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Sources of the C libraries the web build compiles to WebAssembly: the very
# releases (and Debian revisions) the native build links. Each is unpacked once
# into the cache, reached through a link named after the library.
cache=${TAVLO_WEB_CACHE:-/var/cache/tavlo-web}
deb_src_added=no
add_deb_src() {
  [ $deb_src_added = no ] || return 0
  deb_src_added=yes
  local list=/etc/apt/sources.list.d/tavlo-deb-src.sources
  [ -f "$list" ] && return 0
  # A deb-src entry for each Debian archive the binary packages come from.
  local uris
  uris=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' 2>/dev/null |
    grep -E '/debian(-security)?/? ' | sort -u)
  {
    echo "# Source packages for the web build's libraries, from the same archives."
    echo "$uris" | awk '{u[$1]=u[$1] " " $2} END {for (k in u) print k u[k]}' |
      while read -r uri suites; do
        printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\n' "$uri" "$suites"
        if [ -f /usr/share/keyrings/debian-archive-keyring.gpg ]; then
          echo "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
        fi
        echo
      done
  } | "${sudo_cmd[@]}" tee "$list" >/dev/null
  updated=no
  apt_update
}
fetch_source() {  # link name, binary package whose source is wanted
  local name=$1 binary=$2 source version dir=""
  source=$(dpkg-query -W -f='${source:Package}' "$binary")
  version=$(dpkg-query -W -f='${source:Version}' "$binary")
  # "$cache/$name.for" names the installed package the unpacked source is for.
  if [ ! -d "$cache/$name/" ] || [ "$(cat "$cache/$name.for" 2>/dev/null)" != "$source=$version" ]; then
    if ! apt-get source --print-uris "$source=$version" 2>/dev/null | grep -q "'"; then
      add_deb_src
    fi
    "${sudo_cmd[@]}" mkdir -p "$cache"
    local work unpacked
    work=$(mktemp -d "$cache/fetch.XXXXXX")
    # The installed revision, or when the archive no longer serves it, the
    # nearest one it does (newest first): the same upstream release.
    local candidates try
    candidates=$(apt-cache showsrc "$source" 2>/dev/null | awk '/^Version:/ {print $2}' |
      grep -vxF "$version" | sort -rV || true)
    for try in "$version" $candidates; do
      rm -rf "${work:?}"/*
      if (cd "$work" && "${sudo_cmd[@]}" apt-get source -qq "$source=$try" >/dev/null 2>&1); then
        [ "$try" = "$version" ] || echo "setup-web: $source $version is not served; using $try"
        break
      fi
    done
    unpacked=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -1)
    if [ -z "$unpacked" ]; then
      echo "setup-web: apt-get source $source=$version gave no source tree" >&2
      exit 1
    fi
    dir="$cache/$source-${try#*:}"
    "${sudo_cmd[@]}" rm -rf "$dir"
    "${sudo_cmd[@]}" mv "$unpacked" "$dir"
    "${sudo_cmd[@]}" rm -rf "$work"
    "${sudo_cmd[@]}" ln -sfn "$dir" "$cache/$name"
    echo "$source=$version" | "${sudo_cmd[@]}" tee "$cache/$name.for" >/dev/null
  fi
}
fetch_source freetype libfreetype6
fetch_source zlib zlib1g
fetch_source libpng libpng16-16
fetch_source giflib libgif7
fetch_source benchmark libbenchmark-dev

# puppeteer-core drives the system Chromium; it must never fetch a browser. npm
# (and the registry) is asked only when a package of tests/web/package-lock.json
# is missing from node_modules or installed at another version: a second run
# only reads the installed package.json files.
modules_current() {
  (cd "$root/tests/web" && node -e '
    const fs = require("fs");
    const lock = JSON.parse(fs.readFileSync("package-lock.json", "utf8"));
    for (const [path, entry] of Object.entries(lock.packages || {})) {
      if (!path.startsWith("node_modules/") || entry.optional || entry.dev) continue;
      let installed = null;
      try { installed = JSON.parse(fs.readFileSync(path + "/package.json", "utf8")).version; }
      catch (e) {}
      if (installed !== entry.version) {
        console.log(path.slice(13) + " " + (installed || "missing") + ", locked " + entry.version);
        process.exit(1);
      }
    }' 2>&1)
}
if ! why=$(modules_current); then
  echo "setup-web: installing puppeteer-core into tests/web/node_modules (${why:-no node})"
  (cd "$root/tests/web" && PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-audit --no-fund --loglevel=error >/dev/null)
fi

# The playground's compiler and the page's editor and bundler (CodeMirror,
# esbuild), exactly as the lock file names them; reinstalled only when the
# installed compiler is not the pinned one or the lock file changed since the
# last install (its hash is kept in node_modules), so a second run stays offline.
pinned_clang=$(node -p "require('$root/playground/package.json').dependencies['@yowasp/clang']")
installed_clang=$(node -p "try { require('$root/playground/node_modules/@yowasp/clang/package.json').version } catch { '' }")
lock_hash=$(sha256sum "$root/playground/package-lock.json" | cut -d' ' -f1)
lock_hash_file=$root/playground/node_modules/.tavlo-lock-sha256
if [ "$installed_clang" != "$pinned_clang" ] || [ "$(cat "$lock_hash_file" 2>/dev/null)" != "$lock_hash" ]; then
  echo "setup-web: installing playground/node_modules (@yowasp/clang $pinned_clang, the page's editor and bundler)"
  (cd "$root/playground" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  echo "$lock_hash" >"$lock_hash_file"
fi
echo "setup-web: sources in $cache"
