#!/usr/bin/env bash
# Builds the Linux program (without its tests) and starts it on the current X11 or Wayland desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --runtime-only
cmake --preset release
cmake --build --preset release --target pelmira -j "$(nproc)"
exec build/release/programs/linux/pelmira "$@"
