#!/usr/bin/env bash
# Installs every Debian package the project needs, and only those that are missing,
# so a second run is quick. Runs apt-get itself (as root, or through sudo).
set -euo pipefail

packages=(
  cmake g++ make pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core fonts-liberation2
  libpng-dev libgif-dev
  qt6-base-dev xvfb xauth xdotool x11-utils imagemagick openbox python3
  bubblewrap
  clang clang-format
  g++-mingw-w64-x86-64 wine64 fonts-wine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
else
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "setup: done"
fi

# The web build and its browser test (WebAssembly, Chromium).
"$(dirname "$0")/setup-web.sh"
