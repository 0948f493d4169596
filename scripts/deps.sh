#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages the build and the tests need, when missing.
set -euo pipefail
PACKAGES=(
  build-essential cmake pkg-config git
  libsdl2-dev libgtk-3-dev libjpeg-dev libpng-dev zlib1g-dev
  libvorbis-dev libogg-dev libfreetype-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
  libx11-dev libxext-dev
  libdbus-1-dev dbus
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang-14 libclang-rt-14-dev
  xvfb xauth xdotool x11-utils
)
PACKAGES+=(fonts-dejavu-core)  # media generator: clock digits and titles
PACKAGES+=(file)               # cpack -G DEB: finds the binaries for dpkg-shlibdeps
[[ "${1:-}" == "--tests" ]] && PACKAGES+=(libxml2-utils desktop-file-utils)  # install test: settings file, desktop entry
if [[ "${1:-}" == "--tests" ]]; then
  PACKAGES+=(xscreensaver)
  PACKAGES+=(lintian)  # package test
  command -v npm >/dev/null 2>&1 || PACKAGES+=(npm)
fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
