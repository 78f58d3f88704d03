#!/usr/bin/env bash
# Starts Wine for the tests of the Windows program and runs them: a private Wine prefix kept in
# the MinGW build folder, and its server. The tests are C++ (pelmira_wine_test,
# tests/win32/wine_e2e_test.cpp, with the scenarios shared with the Linux program); they start
# their own Xvfb.
#   usage: scripts/wine-tests.sh [--build] MINGW_BUILD_DIR [DRIVER] [--gtest_filter=...]
# DRIVER defaults to build/default/tests/win32/pelmira_wine_test. --build first brings the
# Windows programs of a configured MINGW_BUILD_DIR up to date (for CTest).
# Environment: WINE_TESTS_FRESH=1 makes a new Wine prefix.
# Exit status: 0 all passed, 1 a check failed, 77 the programs are not built (skipped).
set -euo pipefail

rebuild=0
if [ "${1:-}" = --build ]; then
  rebuild=1
  shift
fi
if [ $# -lt 1 ]; then
  echo "usage: $0 [--build] MINGW_BUILD_DIR [DRIVER] [--gtest_filter=...]" >&2
  exit 2
fi
src=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -d "$1" ]; then
  echo "wine-tests: $1 does not exist (cmake --preset mingw)" >&2
  exit 77
fi
build=$(cd "$1" && pwd)
driver=$src/build/default/tests/win32/pelmira_wine_test
shift
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  driver=$(realpath "$1")
  shift
fi
if [ $rebuild = 1 ] && [ -f "$build/CMakeCache.txt" ]; then
  cmake --build "$build" --target pel_win32_selftest pel_region_check Pelmira pel_win_probe
fi
for exe in "$build/programs/windows/Pelmira.exe" "$driver" \
  "$build"/tests/win32/pel_{win32_selftest,region_check,win_probe}.exe; do
  if [ ! -f "$exe" ]; then
    echo "wine-tests: $exe is not built" >&2
    exit 77
  fi
done

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
if [ -z "$wine" ] || [ ! -x "$wine" ]; then
  echo "wine-tests: Wine is not installed (scripts/install-deps.sh)" >&2
  exit 1
fi

work="$build/wine-tests"
mkdir -p "$work"
# One run at a time per build folder: the prefix and the files are shared.
exec 9>"$work/lock"
flock 9
rm -rf "$work/logs" "$work"/test-*
mkdir -p "$work/logs"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or HTML engine installers in the prefix
# Wine stores Windows file names through the Unix locale's character set: in a shell with no
# locale set (a fresh root login) a name outside ASCII could not be stored at all.
export LC_ALL=C.UTF-8

# Wine's server and its helpers end with the run. Wine's desktop process keeps the display it
# first saw, so nothing here may start one: the tests' Xvfb is the first display Wine sees.
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
trap 'exit 130' INT TERM
unset DISPLAY

# A server left over from an interrupted run would still serve the old display.
"$wineserver" -k >/dev/null 2>&1 || true
# Wine's helper processes inherit stdout and stderr, so everything Wine prints goes to files.
if [ "${WINE_TESTS_FRESH:-0}" = 1 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
  rm -rf "$WINEPREFIX"
  echo "wine-tests: creating Wine prefix $WINEPREFIX"
  if ! timeout 180 "$wine" wineboot -i >"$work/logs/wineboot.log" 2>&1; then
    echo "wine-tests: wineboot failed (see $work/logs/wineboot.log)" >&2
    exit 1
  fi
  "$wineserver" -k >/dev/null 2>&1 || true
fi
# A persistent server makes every later program start in a fraction of a second.
"$wineserver" -p >/dev/null 2>&1 || true

started=$(date +%s)
rc=0
PEL_WINE="$wine" PEL_MINGW_BUILD="$build" PEL_WINE_WORK="$work" "$driver" "$@" || rc=$?
[ -s "$work/logs/urls.log" ] && echo "wine-tests: start-up opened the home page: $(head -n1 "$work/logs/urls.log")"
echo "wine-tests: finished in $(($(date +%s) - started)) s"
if [ $rc -ne 0 ]; then
  echo "wine-tests: FAILED (files in $work)" >&2
  exit 1
fi
echo "wine-tests: all passed"
