#!/usr/bin/env bash
# Runs the Windows test programs of a MinGW build under Wine, on a private Xvfb display and a
# private Wine prefix kept in the build folder, and checks their results.
#   usage: scripts/wine-tests.sh [--build] BUILD_DIR        (for example build/mingw)
# --build first brings the test programs of a configured BUILD_DIR up to date (for CTest).
# Environment: WINE_TESTS_FRESH=1 makes a new Wine prefix; WINE_TESTS_TIMEOUT (seconds per
# program, default 120).
# Exit status: 0 all passed, 1 a check failed, 77 the programs are not built (skipped).
set -euo pipefail

rebuild=0
if [ "${1:-}" = --build ]; then
  rebuild=1
  shift
fi
if [ $# -ne 1 ]; then
  echo "usage: $0 [--build] BUILD_DIR" >&2
  exit 2
fi
src=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -d "$1" ]; then
  echo "wine-tests: $1 does not exist (cmake --preset mingw)" >&2
  exit 77
fi
build=$(cd "$1" && pwd)
bin="$build/platform/win32"
if [ $rebuild = 1 ] && [ -f "$build/CMakeCache.txt" ]; then
  cmake --build "$build" --target pel_win32_selftest pel_region_check
fi
selftest="$bin/pel_win32_selftest.exe"
region_check="$bin/pel_region_check.exe"
for exe in "$selftest" "$region_check"; do
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
# One run at a time per build folder: the prefix and the logs are shared.
exec 9>"$work/lock"
flock 9
logs="$work/logs"
rm -rf "$logs"
mkdir -p "$logs"
started=$(date +%s)

export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or HTML engine installers in the prefix
export WINEARCH=win64

xvfb_pid=""
cleanup() {
  # Wine's server and its helpers first, then the display they were using.
  "$wineserver" -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Private X server on a display it picks itself.
rm -f "$work/display"
Xvfb -displayfd 8 -screen 0 1280x1024x24 -nolisten tcp -noreset 8>"$work/display" \
  >"$logs/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "wine-tests: Xvfb did not start (see $logs/xvfb.log)" >&2
  exit 1
fi
display=$(head -n1 "$work/display")
export DISPLAY=":$display"

# A server left over from an interrupted run would still serve the old display.
"$wineserver" -k >/dev/null 2>&1 || true
# Wine's helper processes inherit stdout and stderr, so everything Wine prints goes to files.
if [ "${WINE_TESTS_FRESH:-0}" = 1 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
  rm -rf "$WINEPREFIX"
  echo "wine-tests: creating Wine prefix $WINEPREFIX"
  if ! timeout 180 "$wine" wineboot -i >"$logs/wineboot.log" 2>&1; then
    echo "wine-tests: wineboot failed (see $logs/wineboot.log)" >&2
    exit 1
  fi
fi
# A persistent server makes every later program start in a fraction of a second.
"$wineserver" -p >/dev/null 2>&1 || true

failed=0
run_exe() {  # name exe args...: runs a program, its output in $logs/name.out
  local name=$1
  shift
  local rc=0
  timeout "${WINE_TESTS_TIMEOUT:-120}" "$wine" "$@" >"$logs/$name.out" 2>"$logs/$name.err" ||
    rc=$?
  # Wine prints CR LF; the checks below work on plain lines.
  sed -i 's/\r$//' "$logs/$name.out"
  return $rc
}

echo "wine-tests: Wine backends self-test"
rc=0
run_exe selftest "$selftest" || rc=$?
grep -E '^(INFO|FAIL|SUMMARY)' "$logs/selftest.out" | sed 's/^/  /' || true
if [ $rc -ne 0 ] || grep -q '^FAIL' "$logs/selftest.out" ||
  ! grep -q '^SUMMARY .* 0 failed' "$logs/selftest.out"; then
  echo "wine-tests: FAILED self-test (exit $rc; see $logs/selftest.out, $logs/selftest.err)"
  failed=1
fi

# Region bytes: GDI (CreateRectRgn, CombineRgn RGN_DIFF per run, GetRegionData) against the
# portable writer, for hand-made outlines and for pictures when they exist.
echo "wine-tests: region data, GDI against the portable writer"
region_inputs=("$src"/tests/win32/regions/*.txt)
for pic in "$src"/assets/rec.ppm "$src"/assets/play.ppm; do
  [ -f "$pic" ] && region_inputs+=("$pic")
done
for input in "${region_inputs[@]}"; do
  [ -f "$input" ] || continue
  name=$(basename "$input")
  rc=0
  run_exe "region-$name" "$region_check" "$input" "$logs/$name.gdi" "$logs/$name.portable" ||
    rc=$?
  if [ $rc -ne 0 ] || ! grep -q '^PASS' "$logs/region-$name.out"; then
    echo "  FAIL $name (exit $rc; see $logs/region-$name.out)"
    failed=1
  else
    grep '^PASS' "$logs/region-$name.out" | sed -n 2p | sed 's/^/  /'

  fi
done

echo "wine-tests: finished in $(($(date +%s) - started)) s"
if [ $failed -ne 0 ]; then
  echo "wine-tests: FAILED" >&2
  exit 1
fi
echo "wine-tests: all passed"
