#!/usr/bin/env bash
# Builds the Debian package of the Linux program in build/pkg (release, without tests) and runs
# lintian on it. Needs lintian (apt-get install lintian); it is not part of the test run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/pkg
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPEL_WERROR=ON \
  -DPEL_BUILD_TESTS=OFF -DPEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/pelmira_*_amd64.deb)
echo "$deb"
lintian --info --display-info "$deb"
