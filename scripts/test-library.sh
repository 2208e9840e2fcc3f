#!/usr/bin/env bash
# The package as a library, tried as an application author would, outside the
# source tree:
#   1. install into a temporary prefix; build docs/getting-started/hello.cpp with
#      find_package(tavlo) and with pkg-config; run both headless to the stored
#      picture; run the testing guide's check; the wrong entry point's message;
#   2. the same application cross-built for Windows against the installed cross
#      build: imports only GDI32, USER32, KERNEL32 and msvcrt, runs under Wine;
#   3. the Debian package: build it, install it with apt-get, build and run the
#      application against /usr, run the installed cubes --headless, purge it.
#      Skipped with a message when a tavlo package or any of its files is already
#      on the machine, or when a dependency it declares is missing.
#   scripts/test-library.sh BUILD_DIR [WINDOWS_BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
windows_build=${2:-$root/build-windows}
work=$(mktemp -d /tmp/tavlo-library.XXXXXX)
deb_installed=
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

cleanup() {
  if [ -n "$deb_installed" ]; then
    echo "library: removing the Debian package after a failure"
    "${sudo_cmd[@]}" apt-get purge -y -qq -o DPkg::Lock::Timeout=120 tavlo >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
started=$SECONDS
step() { echo "library: $* ($((SECONDS - started)) s)"; }

version=$(sed -n 's/^project(tavlo VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
stored=$root/docs/pictures/hello.png
app_source=$root/docs/getting-started

# Runs an application headless until it has nothing left to do; checks its
# greeting (with the version) and its picture.
check_run() {
  local program=$1 name=$2
  "$program" --headless --log "$work/$name.log" --save "$work/$name.png" ||
    fail "$name: exit code $?"
  grep -qx "hello on TAVLO $version" "$work/$name.log" ||
    fail "$name: no line 'hello on TAVLO $version' in its log: $(cat "$work/$name.log")"
  local differing
  differing=$(compare -metric AE "$work/$name.png" "$stored" null: 2>&1) || true
  [ "$differing" = 0 ] || { cp "$work/$name.png" "$build/$name.png"
    fail "$name: $differing pixels differ from $stored (picture left in $build/$name.png)"; }
}

# ------------------------------------------------------------------ 1. temporary prefix
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
headers=$(cd "$prefix/include" && find . -type f | sort | tr '\n' ' ')
[ "$headers" = "./tavlo/portable/win32_portable.h ./tavlo/tavlo.h ./tavlo/tavlo_version.h ./tavlo/win32.h " ] ||
  fail "installed headers: $headers"
cmake -S "$app_source" -B "$work/hello-cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/hello-cmake" >/dev/null
check_run "$work/hello-cmake/hello" hello-cmake
step "find_package(tavlo): hello built outside the tree, its picture as stored"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
[ "$(pkg-config --modversion tavlo)" = "$version" ] || fail "tavlo.pc gives another version"
# shellcheck disable=SC2046
c++ -std=c++11 -pedantic -Wall -Wextra -Werror -fsyntax-only "$app_source/hello.cpp" \
  $(pkg-config --cflags tavlo) || fail "tavlo.h is not C++11"
# shellcheck disable=SC2046
c++ "$app_source/hello.cpp" -o "$work/hello-pc" $(pkg-config --cflags --libs tavlo)
check_run "$work/hello-pc" hello-pc
cmake -S "$root/docs/testing" -B "$work/hello-tests" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/hello-tests" >/dev/null
(cd "$work/hello-tests" && ctest --output-on-failure >"$work/hello-tests.log" 2>&1) ||
  { cat "$work/hello-tests.log"; fail "the testing guide's check failed"; }
# shellcheck disable=SC2046
c++ "$root/tests/library/wrong_entry.cpp" -o "$work/wrong-entry" $(pkg-config --cflags --libs tavlo)
"$root/tests/library/run_wrong_entry.sh" "$work/wrong-entry" >/dev/null ||
  fail "main instead of WinMain got no message from the installed package"
unset PKG_CONFIG_PATH
step "pkg-config: hello built with c++ alone (tavlo.h as C++11 too); the testing guide's check; the wrong entry's message"

# ------------------------------------------------------------------ 2. Windows
if [ -f "$windows_build/CMakeCache.txt" ] && command -v x86_64-w64-mingw32-objdump >/dev/null; then
  cmake --build "$windows_build" -j2 >/dev/null
  cmake --install "$windows_build" --prefix "$work/windows-prefix" >/dev/null
  cmake -S "$app_source" -B "$work/hello-windows" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -Dtavlo_DIR="$work/windows-prefix/lib/cmake/tavlo" >/dev/null
  cmake --build "$work/hello-windows" >/dev/null
  exe=$work/hello-windows/hello.exe
  headers=$(x86_64-w64-mingw32-objdump -p "$exe")
  imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr a-z A-Z | sort | tr '\n' ' ')
  [ "$imports" = "GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " ] ||
    fail "hello.exe imports $imports"
  grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "hello.exe is not a GUI program"
  # A fresh Wine prefix now and then fails to start its first program on a loaded
  # machine ("could not load kernel32.dll"): one more try in a new prefix.
  under_wine() {
    bash "$root/tests/windows/run_under_wine.sh" --source "$root" --build "$windows_build" \
      --output "$work/wine" --only app --app "$exe" >"$work/wine.log" 2>&1
  }
  if ! under_wine; then
    echo "library: hello.exe under Wine failed once, trying again:"
    tail -3 "$work/wine.log"
    under_wine || { cat "$work/wine.log"; fail "hello.exe under Wine"; }
  fi
  step "Windows: hello.exe imports only ${imports% } and runs under Wine"
else
  step "Windows: skipped (no cross build in $windows_build or no mingw-w64)"
fi

# ------------------------------------------------------------------ 3. Debian package
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$build/tavlo_${version}_amd64.deb
[ -f "$deb" ] || fail "no $deb"
skip=
if dpkg-query -W -f='${Status}' tavlo 2>/dev/null | grep -q installed; then
  skip="a tavlo package is already installed"
fi
while read -r file; do
  if [ -e "$file" ]; then skip="$file already exists"; break; fi
done < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}')
IFS=, read -ra depends <<<"$(dpkg-deb -f "$deb" Depends)"
for dependency in "${depends[@]}"; do
  dependency=$(echo "$dependency" | sed 's/ *(.*//; s/ //g')
  dpkg-query -W -f='${Status}' "$dependency" 2>/dev/null | grep -q "install ok installed" ||
    skip="$dependency is not installed (scripts/setup.sh installs it)"
done
if [ -n "$skip" ]; then
  step "Debian package: built $(basename "$deb"); install test skipped: $skip"
  exit 0
fi
deb_installed=yes
"${sudo_cmd[@]}" apt-get install -y -qq -o DPkg::Lock::Timeout=120 "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get install $deb"; }
cmake -S "$app_source" -B "$work/hello-deb" >/dev/null
cmake --build "$work/hello-deb" >/dev/null
check_run "$work/hello-deb/hello" hello-deb
# shellcheck disable=SC2046
c++ "$app_source/hello.cpp" -o "$work/hello-deb-pc" $(pkg-config --cflags --libs tavlo)
check_run "$work/hello-deb-pc" hello-deb-pc
/usr/bin/cubes --headless --frames 5 --seed 1 --save "$work/cubes.png" || fail "installed cubes"
[ -s "$work/cubes.png" ] || fail "installed cubes saved no picture"
"${sudo_cmd[@]}" apt-get purge -y -qq -o DPkg::Lock::Timeout=120 tavlo >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get purge tavlo"; }
deb_installed=
! dpkg-query -W -f='${Status}' tavlo 2>/dev/null | grep -q "ok installed" || fail "tavlo still installed"
[ ! -e /usr/bin/cubes ] && [ ! -e /usr/include/tavlo/tavlo.h ] || fail "files left after the purge"
step "Debian package: installed with apt-get, hello built with CMake and pkg-config, cubes ran, purged"
