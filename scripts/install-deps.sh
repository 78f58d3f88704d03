#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the two programs need; with
# --runtime-only just what building and running the Linux program takes (no test tools, no
# locales). Safe to run again: apt skips what is already there.
set -euo pipefail

want=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libx11-dev libxcb1-dev libxi-dev libxtst-dev libxext-dev libxrandr-dev
  xvfb xdotool x11-utils imagemagick fonts-liberation locales strace openbox
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  g++-mingw-w64-x86-64 wine64 wine
  libwayland-dev libwayland-bin wayland-protocols qt6-wayland sway
  mutter pipewire dbus-daemon
)
runtime_only=
if [ "${1:-}" = "--runtime-only" ]; then
  runtime_only=1
  want=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libx11-dev libxcb1-dev libxi-dev libxtst-dev libxext-dev libxrandr-dev libwayland-dev libwayland-bin wayland-protocols qt6-wayland fonts-liberation)
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages: ${missing[*]}; run this script as root" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A locale that writes decimal commas, for the tests that check delays keep their point.
if [ -z "$runtime_only" ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ "$(id -u)" != 0 ]; then
    echo "locale de_DE.UTF-8 missing; run this script as root" >&2
    exit 1
  fi
  localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
