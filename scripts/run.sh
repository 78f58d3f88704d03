#!/usr/bin/env bash
# Builds the Linux program and starts it on the current X11 display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --runtime-only
cmake --preset release
cmake --build --preset release -j "$(nproc)"
if [ -x build/release/platform/qt/pelmira ]; then
  exec build/release/platform/qt/pelmira "$@"
fi
echo "Built the engine; the program's windows are not part of this build yet." >&2
