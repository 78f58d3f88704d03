#!/usr/bin/env bash
# Runs the Windows test programs of a MinGW build under Wine, on a private Xvfb display and a
# private Wine prefix kept in the build folder, and checks their results.
#   usage: scripts/wine-tests.sh [--build] BUILD_DIR        (for example build/mingw)
# --build first brings the test programs of a configured BUILD_DIR up to date (for CTest).
# Environment: WINE_TESTS_FRESH=1 makes a new Wine prefix; WINE_TESTS_TIMEOUT (seconds per
# program, default 120); WINE_TESTS_E2E=0 leaves out the end-to-end run of Pelmira.exe.
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
  cmake --build "$build" --target pel_win32_selftest pel_region_check Pelmira pel_win_probe
fi
selftest="$bin/pel_win32_selftest.exe"
region_check="$bin/pel_region_check.exe"
pelmira="$bin/Pelmira.exe"
probe="$bin/pel_win_probe.exe"
for exe in "$selftest" "$region_check" "$pelmira" "$probe"; do
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
# Wine stores Windows file names through the Unix locale's character set: in a shell with no
# locale set (a fresh root login) a name outside ASCII could not be stored at all.
export LC_ALL=C.UTF-8

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

# End to end: Pelmira.exe on the private display next to a click target of the tests. The real
# window is driven as a user would: the Load button and the Open dialog (typed into), F9 and
# Pause with the X focus on the window, a second start, and closing.
check() {  # ok name [detail]: one PASS/FAIL line
  if [ "$1" = 0 ]; then
    echo "  PASS $2"
  else
    echo "  FAIL $2${3:+: $3}"
    failed=1
  fi
}
wait_until() {  # seconds command...: true as soon as the command succeeds, false at the deadline
  local deadline=$(($(date +%s%N) / 1000000 + $1 * 1000))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $(($(date +%s%N) / 1000000)) -lt $deadline ] || return 1
    sleep 0.05
  done
}
winpath() { printf 'Z:%s' "${1//\//\\}"; }
probe_run() {  # name args...: the probe's output in $logs/probe-name.out
  local name=$1
  shift
  local rc=0
  timeout 30 "$wine" "$probe" "$@" >"$logs/probe-$name.out" 2>"$logs/probe-$name.err" || rc=$?
  sed -i 's/\r$//' "$logs/probe-$name.out"
  return $rc
}
visible_named() {  # regex: X ids of the visible windows with that name
  xdotool search --onlyvisible --name "$1" 2>/dev/null || true
}
has_window() { [ -n "$(visible_named "$1")" ]; }
count_windows() { [ "$(visible_named "$1" | wc -l)" -ge "$2" ]; }
count_windows_below() { [ "$(visible_named "$1" | wc -l)" -lt "$2" ]; }
no_window() { [ -z "$(visible_named "$1")" ]; }
lines_matching() { grep -c "$2" "$1" 2>/dev/null || true; }
at_least() { [ "$(lines_matching "$1" "$2")" -ge "$3" ]; }
ended() { ! kill -0 "$1" 2>/dev/null; }
focus_key() {  # X window, key: the key reaches Wine only while one of its windows has the focus
  xdotool windowfocus --sync "$1" >/dev/null 2>&1 || true
  xdotool key "$2"
}

focus_is() { probe_run focus focus && [ "$(cat "$logs/probe-focus.out")" = "$1" ]; }
cursor_now() { probe_run cursor cursor && cat "$logs/probe-cursor.out"; }
cursor_is() { [ "$(cursor_now)" = "$1" ]; }
cursor_differs() { [ "$(cursor_now)" != "$1" ]; }
pointer_to() {  # x y: two warps, so that the window under the pointer sees a move
  xdotool mousemove $(($1 - 1)) "$2"
  xdotool mousemove "$1" "$2"
}

# ---- Main window looks, F12 and boxes in front ---------------------------------------------
look_of() {  # button [pressed]: "face RRGGBB dark N hash H" of a push button on screen
  probe_run look button-look "$@" && cat "$logs/probe-look.out"
}
field() { sed -n "s/.* $1 \([^ ]*\).*/\1/p; s/^$1 \([^ ]*\).*/\1/p" <<<"$2" | head -n1; }

e2e_windows_front() {  # main X window: button colours and looks, F12
  local main_x=$1 b look bad=0
  for b in PushButton1 PushButton2 PushButton3 PushButton4 PushButton5 PushButton6; do
    look=$(look_of $b)
    [ "$(field face "$look")" = FFFFFF ] && [ "$(field dark "$look")" -gt 20 ] || bad=1
    [ $bad = 0 ] || { check 1 "push buttons white with their captions" "$b: $look"; break; }
  done
  [ $bad = 0 ] && check 0 "push buttons white with their captions"
  local normal pressed focused
  normal=$(look_of PushButton1)
  pressed=$(look_of PushButton1 pressed)
  [ "$(field face "$pressed")" = FFFFFF ] && [ "$(field hash "$pressed")" != "$(field hash "$normal")" ]
  check $? "a pressed button looks pressed, still white" "$normal / $pressed"
  # Tab on from the first check box to the first push button.
  local i
  for i in 1 2 3 4 5 6 7; do
    focus_is PushButton1 && break
    focus_key "$main_x" Tab
    wait_until 2 focus_is PushButton1 || true
  done
  focused=$(look_of PushButton1)
  focus_is PushButton1 && [ "$(field hash "$focused")" != "$(field hash "$normal")" ]
  check $? "the focused button shows the focus" "$normal / $focused"

  # F12 with the keys on another program shows the hidden window in front.
  local hide_x hide_y target_x
  probe_run hide button PushButton4 && read -r hide_x hide_y <"$logs/probe-hide.out"
  target_x=$(visible_named '^PelTarget$' | head -n1)
  if [ -n "$hide_x" ] && [ -n "$target_x" ]; then
    xdotool mousemove "$hide_x" "$hide_y" click 1
    wait_until 10 no_window '^Pelmira$'
    focus_key "$target_x" F12
    wait_until 10 has_window '^Pelmira$' && probe_run fg foreground &&
      [ "$(cat "$logs/probe-fg.out")" = PelmiraForm1 ]
    check $? "F12 from another program shows the window in the foreground" \
      "$(cat "$logs/probe-fg.out" 2>/dev/null)"
  fi
}

e2e_windows_boxes() {  # after the Help box and the second start: how the boxes were made
  grep -qx 'TOPMOST yes' "$logs/probe-help-box.out" &&
    grep -qx 'OWNER shown' "$logs/probe-help-box.out"
  check $? "Help box topmost, owned by the shown main window"
  grep -qx 'TOPMOST yes' "$logs/probe-msgbox.out" && grep -qx 'OWNER none' "$logs/probe-msgbox.out"
  check $? "second start's box topmost, with no hidden owner" \
    "$(grep -E '^(TOPMOST|OWNER)' "$logs/probe-msgbox.out" | tr '\n' ' ')"
}
e2e_windows_dpi() {  # a start at 150 % scaling: frmRec scaled, its stored outline as at 100 %
  local desktop='HKCU\Control Panel\Desktop' pid rec geometry
  "$wine" reg add "$desktop" /v LogPixels /t REG_DWORD /d 144 /f >"$logs/reg-dpi.out" 2>&1 || true
  find "$WINEPREFIX/drive_c/users" -maxdepth 4 -name recfrm.shp -delete 2>/dev/null || true
  timeout 120 "$wine" "$pelmira" >"$logs/pelmira-dpi.out" 2>"$logs/pelmira-dpi.err" &
  pid=$!
  wait_until 30 has_window '^Pelmira$'
  # Read at start-up: later programs of the run are back at 100 %.
  "$wine" reg delete "$desktop" /v LogPixels /f >>"$logs/reg-dpi.out" 2>&1 || true
  focus_key "$(visible_named '^Pelmira$' | head -n1)" F10
  wait_until 10 has_window '^frmRec$'
  rec=$(visible_named '^frmRec$' | head -n1)
  if [ -n "$rec" ]; then
    xwininfo -shape -id "$rec" >"$logs/frmrec-dpi-xwininfo.txt" 2>&1 || true
    geometry=$(awk '/Absolute upper-left X:/{x=$4} /Width:/{w=$2} /Height:/{h=$2}
      /Window shape extents:/{e=$4} END{print x, w "x" h, e}' "$logs/frmrec-dpi-xwininfo.txt")
    # 146 x 32 at 1.5; the outline's extents grow with it (about 128x22 at 100 %).
    [[ "$geometry" =~ ^1061\ 219x48\ 1[89][0-9]x3[2-5]\+ ]]
    check $? "at 144 dpi frmRec is 219x48 at the right edge, its outline scaled" "$geometry"
  else
    check 1 "frmRec shown at 144 dpi"
  fi
  focus_key "$(visible_named '^Pelmira$' | head -n1)" Pause
  wait_until 10 no_window '^frmRec$'
  local shp
  shp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -name recfrm.shp | head -n1)
  [ -f "$logs/rec.ppm.gdi" ] && [ -n "$shp" ] && cmp -s "$shp" "$logs/rec.ppm.gdi"
  check $? "recfrm.shp stored at 144 dpi has the bytes of 100 %"
  probe_run close-dpi close PelmiraForm1 || true
  wait_until 30 ended "$pid" || kill "$pid" 2>/dev/null || true
}
# ------------------------------------------------------------------------------------------

start_target() {  # log x y w h: the probe's click target, ready; its process id in $target_pid
  timeout 300 "$wine" "$probe" target "$(winpath "$1")" "$2" "$3" "$4" "$5" \
    >"$logs/target-$(basename "$1").out" 2>&1 &
  target_pid=$!
  wait_until 30 at_least "$1" '^ready' 1
}
e2e_run() {
  local e2e="$work/e2e"
  rm -rf "$e2e"
  mkdir -p "$e2e"
  if ! command -v xdotool >/dev/null || ! command -v xwininfo >/dev/null; then
    check 1 "xdotool and xwininfo installed (scripts/install-deps.sh)"
    return
  fi
  # Start-up opens the home page about once in a hundred starts: the probe stands in for the
  # browser, so that no browser starts and no error box comes in the way.
  "$wine" reg add 'HKCU\Software\Classes\https\shell\open\command' /ve /f \
    /d "\"$(winpath "$probe")\" url \"$(winpath "$e2e/urls.log")\" \"%1\"" \
    >"$logs/reg.out" 2>&1 || true
  # The first load of an indicator window scans its picture and stores the outline.
  find "$WINEPREFIX/drive_c/users" -maxdepth 4 \( -name playfrm.shp -o -name recfrm.shp \) \
    -delete 2>/dev/null || true

  echo "wine-tests: pictures built into Pelmira.exe"
  probe_run pictures pictures "$(winpath "$pelmira")" "$(winpath "$src/assets")" || true
  grep -E '^(PASS|FAIL|INFO)' "$logs/probe-pictures.out" | sed 's/^/  /'
  grep -q '^FAIL' "$logs/probe-pictures.out" && failed=1
  grep -q '^PASS' "$logs/probe-pictures.out" || check 1 "pictures decoded"

  echo "wine-tests: Pelmira.exe start-up, main window"
  # Screen pixels; the target lies clear of the centred main window and of the indicator.
  local tx=700 ty=560 tw=400 th=220
  local target_log="$e2e/target.log"
  local target_pid
  start_target "$target_log" $tx $ty $tw $th
  check $? "click target window ready"

  timeout 300 "$wine" "$pelmira" >"$logs/pelmira-1.out" 2>"$logs/pelmira-1.err" &
  local pid1=$!
  wait_until 60 has_window '^Pelmira$'
  check $? "main window shown"
  local main_x
  main_x=$(visible_named '^Pelmira$' | head -n1)
  if [ -z "$main_x" ]; then
    kill "$pid1" "$target_pid" 2>/dev/null || true
    return
  fi
  # With no window manager the X window is the client area.
  local geometry
  geometry=$(xwininfo -id "$main_x" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
  [ "$geometry" = 536x217 ]
  check $? "X window \"Pelmira\" of 536x217" "$geometry"
  probe_run check-form check-form || true
  grep -E '^(FAIL|INFO)' "$logs/probe-check-form.out" | sed 's/^/  /' || true
  echo "  $(grep -c '^PASS' "$logs/probe-check-form.out") checks of caption, styles, size, controls, focus and tab order passed"
  grep -q '^FAIL' "$logs/probe-check-form.out" && failed=1
  grep -q '^PASS caption' "$logs/probe-check-form.out" || check 1 "main window checks ran"

  echo "wine-tests: Tab order and pointer kinds"
  focus_key "$main_x" Tab
  wait_until 5 focus_is cRecMovement
  check $? "Tab moves the focus from Text1 to Mouse Movement"
  if [ -f "$bin/HAND-M.CUR" ]; then
    local fx fy cx cy hx hy sx sy arrow hand
    probe_run frame1 button Frame1 && read -r fx fy <"$logs/probe-frame1.out"
    probe_run check1 button cRecMovement && read -r cx cy <"$logs/probe-check1.out"
    probe_run help button PushButton3 && read -r hx hy <"$logs/probe-help.out"
    probe_run status button lState && read -r sx sy <"$logs/probe-status.out"
    # The window background just below the frame, a button, a check box, the status line, the
    # frame's empty corner (its centre plus 118, 31 pixels), the background, the status line.
    pointer_to "$fx" $((fy + 40))
    sleep 0.3
    arrow=$(cursor_now)
    pointer_to "$hx" "$hy"
    wait_until 5 cursor_differs "$arrow"
    check $? "hand pointer over a push button"
    hand=$(cursor_now)
    pointer_to "$cx" "$cy"
    sleep 0.3  # time enough for a change that must not come
    [ "$(cursor_now)" = "$hand" ]
    check $? "still the hand on a check box reached from a button"
    pointer_to $((sx + 200)) "$sy"
    sleep 0.3
    [ "$(cursor_now)" = "$hand" ]
    check $? "still the hand on the status line"
    pointer_to $((fx + 118)) $((fy + 31))
    wait_until 5 cursor_is "$arrow"
    check $? "arrow again over the frame's empty area"
    pointer_to "$hx" "$hy"
    wait_until 5 cursor_is "$hand"
    pointer_to "$fx" $((fy + 40))
    wait_until 5 cursor_is "$arrow"
    check $? "arrow again over the window background"
    pointer_to $((sx + 200)) "$sy"
    sleep 0.3
    cursor_is "$arrow"
    check $? "still the arrow on the status line reached from the background"
  fi

  echo "wine-tests: button looks, F12 in front"
  e2e_windows_front "$main_x"

  echo "wine-tests: Help box; Open dialog cancelled"
  local hx2="" hy2=""
  probe_run help-button button PushButton3 && read -r hx2 hy2 <"$logs/probe-help-button.out"
  if [ -n "$hx2" ]; then
    xdotool mousemove "$hx2" "$hy2" click 1
    wait_until 20 count_windows '^Pelmira$' 2
    probe_run help-box msgbox Pelmira || true
    grep -qxF 'TEXT Keyboard shortcuts:|/Start Recording = F10|/Start Playing = F9|/Stop Recording or Stop Playing = Pause|/Hide/Show This Window = F12' \
      "$logs/probe-help-box.out"
    check $? "Help shows the five shortcut lines" "see $logs/probe-help-box.out"
    box=$(visible_named '^Pelmira$' | grep -vx "$main_x" | head -n1)
    [ -n "$box" ] && focus_key "$box" Return
    wait_until 20 count_windows_below '^Pelmira$' 2
    check $? "Help box closed with Return"
  fi
  local lx="" ly=""
  probe_run load-button button PushButton5 && read -r lx ly <"$logs/probe-load-button.out"
  if [ -n "$lx" ]; then
    xdotool mousemove "$lx" "$ly" click 1
    wait_until 30 has_window '^Open$'
    local cancel_dialog
    cancel_dialog=$(visible_named '^Open$' | head -n1)
    [ -n "$cancel_dialog" ] && focus_key "$cancel_dialog" Escape
    wait_until 30 no_window '^Open$'
    check $? "Open dialog cancelled with Escape"
    sleep 0.3  # time enough for a box that must not come
    count_windows_below '^Pelmira$' 2
    check $? "a cancelled Open dialog shows no box"
  fi

  echo "wine-tests: Load button, Open dialog, F9 plays, Pause stops"
  local mmf="$e2e/play.mmf"
  # Moves and clicks inside the target; delays in milliseconds, the list repeats.
  printf '[MouseMotionFile]\r\nmove,750,600,200\r\nLeft,800,650,250\r\nmove,900,700,200\r\nRight,950,720,250\r\nLeft,1000,740,400\r\n' >"$mmf"
  local expected_downs=("down L 800 650" "down R 950 720" "down L 1000 740")
  local positions=("750 600" "800 650" "900 700" "950 720" "1000 740")
  local bx="" by="" box
  if probe_run button-load button PushButton5; then
    read -r bx by <"$logs/probe-button-load.out"
  fi
  if [ -z "$bx" ]; then
    check 1 "Load button found"
  else
    xdotool mousemove "$bx" "$by" click 1
    wait_until 30 has_window '^Open$'
    check $? "Load Recording From File opens the Open dialog"
    local dialog
    dialog=$(visible_named '^Open$' | head -n1)
    if [ -n "$dialog" ]; then
      xdotool windowfocus --sync "$dialog" >/dev/null 2>&1 || true
      xdotool type --delay 5 "$(winpath "$mmf")"
      xdotool key Return
      wait_until 30 no_window '^Open$'
      check $? "path typed into the dialog, dialog closed"
    fi
  fi

  # Playback: the X pointer follows the entries and the target logs each click at its place.
  focus_key "$main_x" F9
  local samples="$e2e/pointer.txt"
  : >"$samples"
  local deadline=$(($(date +%s) + 30))
  while [ "$(lines_matching "$target_log" '^down')" -lt 7 ] && [ "$(date +%s)" -lt $deadline ]; do
    xdotool getmouselocation 2>/dev/null | sed -E 's/^x:([0-9-]+) y:([0-9-]+).*/\1 \2/' \
      >>"$samples"
    sleep 0.05
  done
  local downs
  downs=$(lines_matching "$target_log" '^down')
  [ "$downs" -ge 7 ]
  check $? "playback clicks reach the target window" "$downs presses"
  wait_until 10 has_window '^frmPlay$'
  check $? "frmPlay shown while playing"
  local play_x shape
  play_x=$(visible_named '^frmPlay$' | head -n1)
  if [ -n "$play_x" ]; then
    xwininfo -shape -id "$play_x" >"$logs/frmplay-xwininfo.txt" 2>&1 || true
    shape=$(sed -n 's/.*Window shape extents: *//p' "$logs/frmplay-xwininfo.txt")
    local corner
    corner=$(sed -n 's/.*Absolute upper-left X: *//p' "$logs/frmplay-xwininfo.txt")
    [ -n "$shape" ] && [ "$shape" != "119x32+0+0" ]
    check $? "frmPlay shaped to its picture" "shape extents ${shape:-none}"
    [ "$corner" = $((1280 - 119)) ]
    check $? "frmPlay at the right edge of the screen" "left $corner"
  fi

  focus_key "$main_x" Pause
  wait_until 10 no_window '^frmPlay$'
  check $? "Pause stops playback: frmPlay closed"
  local after_stop pointer_stop
  after_stop=$(lines_matching "$target_log" .)
  pointer_stop=$(xdotool getmouselocation 2>/dev/null | cut -d' ' -f1-2)
  sleep 1  # a stopped playback shows nothing in this second; a running one clicks 2 or 3 times
  [ "$(lines_matching "$target_log" .)" = "$after_stop" ] &&
    [ "$(xdotool getmouselocation 2>/dev/null | cut -d' ' -f1-2)" = "$pointer_stop" ]
  check $? "no clicks and no pointer moves after Pause"

  # Every press in the list's order, at the entry's place; every release where it was pressed.
  local i=0 bad=0 line
  while read -r line; do
    case "$line" in
      down*)
        [ "$line" = "${expected_downs[$((i % 3))]}" ] || bad=1
        ;;
      up*)
        [ "${line#up}" = "${expected_downs[$(((i - 1) % 3))]#down}" ] || bad=1
        continue
        ;;
      *) continue ;;
    esac
    i=$((i + 1))
  done <"$target_log"
  check $bad "presses and releases in the list's order at the entries' places" \
    "see $target_log"
  local seen=0 stray=0 pos
  for pos in "${positions[@]}"; do
    grep -qx "$pos" "$samples" && seen=$((seen + 1))
  done
  while read -r pos; do
    [ "$pos" = "$bx $by" ] && continue
    printf '%s\n' "${positions[@]}" | grep -qx "$pos" || stray=$((stray + 1))
  done <"$samples"
  [ $seen = 5 ] && [ $stray = 0 ]
  check $? "X pointer visits every entry and nothing else" \
    "$seen of 5 seen, $stray stray samples of $(wc -l <"$samples")"
  local shp
  shp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -name playfrm.shp | head -n1)
  if [ -f "$logs/play.ppm.gdi" ]; then
    [ -n "$shp" ] && cmp -s "$shp" "$logs/play.ppm.gdi"
    check $? "stored outline playfrm.shp equals GDI's region of play.ppm"
  fi

  echo "wine-tests: F10 records moves and a click, Save writes the file"
  focus_key "$main_x" F10
  wait_until 10 has_window '^frmRec$'
  check $? "frmRec shown while recording"
  local step
  for step in "720 580" "760 600" "800 620"; do
    # A move between two ticks is one entry; a pause of several ticks keeps them apart.
    # shellcheck disable=SC2086
    xdotool mousemove $step
    sleep 0.1
  done
  xdotool click 1
  # Pause must come at a later tick than the click, or the tick that sees both stops first.
  sleep 0.2
  focus_key "$main_x" Pause
  wait_until 10 no_window '^frmRec$'
  check $? "Pause stops recording: frmRec closed"
  local rec_shp
  rec_shp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -name recfrm.shp | head -n1)
  if [ -f "$logs/rec.ppm.gdi" ]; then
    [ -n "$rec_shp" ] && cmp -s "$rec_shp" "$logs/rec.ppm.gdi"
    check $? "stored outline recfrm.shp equals GDI's region of rec.ppm"
  fi
  local saved="$e2e/saved.mmf" sx="" sy=""
  probe_run save-button button PushButton6 && read -r sx sy <"$logs/probe-save-button.out"
  if [ -n "$sx" ]; then
    xdotool mousemove "$sx" "$sy" click 1
    wait_until 30 has_window '^Save As$'
    check $? "Save Recording To File opens the Save As dialog"
    local save_dialog
    save_dialog=$(visible_named '^Save As$' | head -n1)
    if [ -n "$save_dialog" ]; then
      xdotool windowfocus --sync "$save_dialog" >/dev/null 2>&1 || true
      xdotool type --delay 5 "$(winpath "$saved")"
      xdotool key Return
      wait_until 30 no_window '^Save As$'
      check $? "path typed into the dialog, dialog closed"
    fi
    wait_until 10 test -s "$saved"
    tr -d '\r' <"$saved" >"$e2e/saved.txt" 2>/dev/null || true
    head -n1 "$e2e/saved.txt" | grep -qx '\[MouseMotionFile\]' &&
      grep -qE '^move,760,600,[0-9.]+$' "$e2e/saved.txt" &&
      grep -qE '^move,800,620,[0-9.]+$' "$e2e/saved.txt" &&
      grep -qE '^Left,800,620,[0-9.]+$' "$e2e/saved.txt" &&
      [ "$(grep -c . "$saved")" = "$(grep -c $'\r$' "$saved")" ]
    check $? "saved file: header, the moves and the click, CR LF lines" "see $saved"
  fi

  echo "wine-tests: second start shows the message and ends"
  timeout 120 "$wine" "$pelmira" >"$logs/pelmira-2.out" 2>"$logs/pelmira-2.err" &
  local pid2=$!
  wait_until 30 count_windows '^Pelmira$' 2
  check $? "second instance shows a box titled \"Pelmira\""
  probe_run msgbox msgbox Pelmira || true
  grep -qxF 'TEXT Rodaz Irerevuv is already runing!|/Press [F12] to show Recorder Window.' \
    "$logs/probe-msgbox.out" && grep -qx 'BUTTON OK' "$logs/probe-msgbox.out"
  check $? "its text and OK button" "see $logs/probe-msgbox.out"
  box=$(visible_named '^Pelmira$' | grep -vx "$main_x" | head -n1)
  [ -n "$box" ] && focus_key "$box" Return
  wait_until 30 ended "$pid2"
  check $? "second instance ended after OK"
  local rc2=0
  wait "$pid2" 2>/dev/null || rc2=$?
  check $rc2 "second instance exit status 0" "$rc2"
  ! ended "$pid1" && has_window '^Pelmira$'
  check $? "first instance still running, its window shown"

  e2e_windows_boxes

  echo "wine-tests: closing the main window ends the program"
  probe_run close-main close PelmiraForm1 || true
  wait_until 30 ended "$pid1"
  check $? "program ended after WM_CLOSE"
  wait "$pid1" 2>/dev/null || true

  echo "wine-tests: a broken HAND-M.CUR is reported and start-up goes on; a skin file"
  local broken="$e2e/broken"
  mkdir -p "$broken/x"
  cp "$pelmira" "$broken/"
  printf 'not a cursor' >"$broken/HAND-M.CUR"
  : >"$broken/x/o.cjs"  # an empty skin still turns the window to the button face colour
  timeout 120 "$wine" "$broken/Pelmira.exe" >"$logs/pelmira-3.out" 2>"$logs/pelmira-3.err" &
  local pid3=$!
  wait_until 30 has_window '^Application Error$'
  check $? "\"Application Error\" box shown"
  probe_run msgbox-cursor msgbox "Application Error" || true
  grep -q 'Form1.Form_Load at line 112' "$logs/probe-msgbox-cursor.out" &&
    grep -q 'LoadCursorFromFileW' "$logs/probe-msgbox-cursor.out"
  check $? "it names LoadCursorFromFileW and Form1.Form_Load at line 112" \
    "$(grep '^TEXT' "$logs/probe-msgbox-cursor.out" | head -c 200)"
  box=$(visible_named '^Application Error$' | head -n1)
  [ -n "$box" ] && focus_key "$box" Return
  wait_until 30 has_window '^Pelmira$'
  check $? "main window shown after the report"
  probe_run colours colours || true
  local back status face
  read -r _ back _ status _ face <"$logs/probe-colours.out" || true
  [ -n "$face" ] && [ "$back" = "$face" ] && [ "$status" = FFFFFF ]
  check $? "skin present: background in the button face colour, status line white" \
    "$(cat "$logs/probe-colours.out")"
  probe_run close-broken close PelmiraForm1 || true
  wait_until 30 ended "$pid3"
  check $? "program ended after WM_CLOSE"

  echo "wine-tests: a start at 150 % display scaling"
  e2e_windows_dpi

  probe_run close-target close PelTarget || true
  wait_until 10 ended "$target_pid" || kill "$target_pid" 2>/dev/null || true
  [ -s "$e2e/urls.log" ] && echo "  INFO start-up opened the home page: $(head -n1 "$e2e/urls.log")"
  return 0
}

# Input and timer: the diagnostics lines of a running Pelmira.exe (OutputDebugString, which
# Wine prints on its "seh" channel) name the input latch and the tick source.
diagnostics_run() {
  echo "wine-tests: Pelmira.exe diagnostics name the input latch and the tick source"
  local err="$logs/pelmira-diag.err"
  WINEDEBUG=-all,warn+seh timeout 120 "$wine" "$pelmira" >"$logs/pelmira-diag.out" 2>"$err" &
  local pid=$!
  wait_until 60 grep -aq 'Pelmira: tick:' "$err"
  check $? "diagnostics name the tick source" "see $err"
  grep -ao 'Pelmira: [^"]*' "$err" | sed 's/\\n$//; s/^/  INFO /' | sort -u
  grep -aq 'Pelmira: tick: high-resolution waitable timer, 10 ms; throttling opt-outs: execution speed [a-z]*, timer resolution [a-z]*' "$err"
  check $? "the high-resolution waitable timer runs, throttling opt-outs asked for"
  grep -aq 'Pelmira: input: presses latched from raw input' "$err"
  check $? "presses latched from raw input"
  probe_run close-diag close PelmiraForm1 || true
  wait_until 30 ended "$pid" || kill "$pid" 2>/dev/null || true
}

# ---------------------------------------------------------------------------------------------
# The command line (kept apart so that it can move with the other scenarios): --play of a file
# clicking the test window then exit 0, a file given on the command line opened at start-up, a
# second start handing its file to the running instance, and --help on standard output.
command_line_run() {
  echo "wine-tests: command line"
  local cl="$work/command-line"
  rm -rf "$cl"
  mkdir -p "$cl"
  run_exe cl-help "$pelmira" --help
  grep -q -- '--play' "$logs/cl-help.out"
  check $? "--help prints the options on standard output" "see $logs/cl-help.out"

  local tx=700 ty=560 tw=400 th=220
  local target_log="$cl/target.log"
  local target_pid
  start_target "$target_log" $tx $ty $tw $th
  # Two clicks a pass inside the target: two passes are four presses, and then the exit.
  local mmf="$cl/two.mmf"
  printf '[MouseMotionFile]\r\nmove,750,600,100\r\nLeft,800,650,100\r\nRight,950,720,100\r\n' >"$mmf"
  local rc=0
  run_exe cl-play "$pelmira" --play "$(winpath "$mmf")" --repeat 2 || rc=$?
  check $rc "--play --repeat 2 exits with 0" "exit $rc; see $logs/cl-play.err"
  wait_until 5 at_least "$target_log" '^down' 4
  [ "$(lines_matching "$target_log" '^down')" = 4 ] &&
    [ "$(lines_matching "$target_log" '^down L 800 650')" = 2 ]
  check $? "--play --repeat 2 clicks the target twice per pass" "$(grep -c '^down' "$target_log")"
  rc=0
  run_exe cl-missing "$pelmira" --play "$(winpath "$cl/missing.mmf")" || rc=$?
  [ $rc = 1 ] && [ "$(wc -l <"$logs/cl-missing.err")" = 1 ]
  check $? "--play of a missing file: exit 1 and one line" "exit $rc"

  # A file given on the command line is loaded: F9 plays it.
  timeout 300 "$wine" "$pelmira" "$(winpath "$mmf")" >"$logs/cl-open.out" 2>"$logs/cl-open.err" &
  local pid=$!
  wait_until 60 has_window '^Pelmira$'
  check $? "started with a file: main window shown"
  local main_x
  main_x=$(visible_named '^Pelmira$' | head -n1)
  local before
  before=$(lines_matching "$target_log" '^down')
  if [ -n "$main_x" ]; then
    focus_key "$main_x" F9
    wait_until 20 at_least "$target_log" '^down' $((before + 2))
    check $? "the file given on the command line plays with F9"
    focus_key "$main_x" Pause
    wait_until 10 no_window '^frmPlay$'
  fi
  # A second start with a file hands it over and ends without its message box.
  printf '[MouseMotionFile]\r\nMiddle,900,700,300\r\n' >"$cl/middle.mmf"
  rc=0
  run_exe cl-second "$pelmira" "$(winpath "$cl/middle.mmf")" || rc=$?
  check $rc "a second start hands its file to the running instance and ends with 0" "exit $rc"
  if [ -n "$main_x" ]; then
    focus_key "$main_x" F9
    wait_until 20 at_least "$target_log" '^down M 900 700' 1
    check $? "the handed file is loaded in the running instance"
    focus_key "$main_x" Pause
  fi
  probe_run cl-close close PelmiraForm1 || true
  wait_until 30 ended "$pid" || kill "$pid" 2>/dev/null || true
  probe_run cl-close-target close PelTarget || true
  wait_until 10 ended "$target_pid" || kill "$target_pid" 2>/dev/null || true
}
# ---------------------------------------------------------------------------------------------

if [ "${WINE_TESTS_E2E:-1}" != 0 ]; then
  # Called in a list, so a failing step does not end the script: every step reports through
  # check and the run goes on to close what it started.
  e2e_run || failed=1
  diagnostics_run || failed=1
  command_line_run || failed=1
fi

echo "wine-tests: finished in $(($(date +%s) - started)) s"
if [ $failed -ne 0 ]; then
  echo "wine-tests: FAILED" >&2
  exit 1
fi
echo "wine-tests: all passed"
