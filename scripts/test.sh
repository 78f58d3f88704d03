#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything and runs every test: unit
# and scenario tests, the same tests under ASan/UBSan, short fuzz runs, the X11 end-to-end tests
# on a private Xvfb, and the Windows program cross-built with MinGW-w64 and tested under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
step() { printf '\n=== %s\n' "$*"; }

step "formatting (clang-format, .clang-format)"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

# The Windows program is configured first: the default preset's Wine test runs it, and is
# skipped when its build folder does not exist yet.
step "Windows program (MinGW-w64), tested under Wine with the default preset's tests"
cmake --preset mingw
cmake --build --preset mingw -j "$jobs"

step "build and test (default preset)"
cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

step "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan-ubsan
cmake --build --preset asan-ubsan -j "$jobs"
ctest --preset asan-ubsan -j "$jobs" -LE e2e

step "fuzz targets (short runs)"
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
bash fuzz/run.sh build/fuzz 20

step "all tests passed"
