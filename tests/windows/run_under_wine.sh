#!/usr/bin/env bash
# Runs the Windows build of the package under Wine on a virtual X server.
#
# It cross-builds the Windows programs with mingw-w64 (incrementally, in their own
# build folder), creates a throw-away Wine prefix and an Xvfb server on a free
# display, and runs on them, one after the other:
#   1. a smoke test of cubes.exe, driven with xdotool and checked on screenshots:
#      both windows appear, the Run menu opens, the "change color" box turns the
#      cubes black, Ctrl+L fills the text window with log lines, Ctrl+Q ends the
#      program with exit code 0;
#   2. the pixel-fidelity test: fidelity_draw draws the same calls natively (our
#      portable GDI) and as fidelity_draw.exe (Wine's GDI); fidelity_compare
#      compares the two canvases pixel for pixel;
#   3. the opt-in input kinds: input_probe.exe, with every kind switched on, is
#      driven with a drag, a right click and keys without a character while it
#      records; each kind must arrive, and the native input_probe's replay of the
#      recording must give the same events in the same order;
#   4. text: text_probe.exe draws UTF-8 and code page 1252 text with the package
#      and the same characters with Wine's TextOutW; the pictures must be equal.
# Prefix and X server are removed at the end, whatever happens.
#
# Options (all given by CTest, see CMakeLists.txt):
#   --source DIR --build DIR --wine PATH --native-fidelity PATH --compare PATH --output DIR
#   --native-probe PATH      the native input_probe, which replays what
#                            input_probe.exe recorded (part 3)
#   --only smoke|fidelity|input|text  run one of the parts
#   --only app --app EXE     instead, start an application built outside this
#                            tree, wait for its graphics window and end it with
#                            Ctrl+Q: it must exit with code 0
# Environment: TAVLO_FIDELITY_MAX_DIFFERING (default 0) is the number of differing
# pixels the fidelity test accepts outside the informational cases (ovals).
set -euo pipefail

source_dir= build_dir= wine= native_fidelity= compare= output= only= app= native_probe=
while [ $# -gt 0 ]; do
  case $1 in
    --source) source_dir=$2; shift 2 ;;
    --build) build_dir=$2; shift 2 ;;
    --wine) wine=$2; shift 2 ;;
    --native-fidelity) native_fidelity=$2; shift 2 ;;
    --compare) compare=$2; shift 2 ;;
    --native-probe) native_probe=$2; shift 2 ;;
    --output) output=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --app) app=$2; shift 2 ;;
    *) echo "run_under_wine: unknown option $1" >&2; exit 2 ;;
  esac
done
: "${source_dir:?--source missing}" "${build_dir:?--build missing}" "${output:?--output missing}"
wine=${wine:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
wineserver=$(dirname "$wine")/wineserver64
[ -x "$wineserver" ] || wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
mkdir -p "$output"

started=$(date +%s%N)
phase_started=$started
# Prints how long the phase that just ended took.
phase_done() {
  local now
  now=$(date +%s%N)
  printf '[%6.1f s] %s (%.1f s)\n' "$(((now - started) / 1000000))e-3" "$1" \
    "$(((now - phase_started) / 1000000))e-3"
  phase_started=$now
}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# ------------------------------------------------------------------ cross build
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
cmake --build "$build_dir" -j2 >"$output/windows-build.log" 2>&1 ||
  { tail -40 "$output/windows-build.log"; fail "the Windows build failed"; }
cubes_exe=$build_dir/demo/cubes.exe
fidelity_exe=$build_dir/tests/windows/fidelity_draw.exe
probe_exe=$build_dir/tests/windows/input_probe.exe
text_probe_exe=$build_dir/tests/windows/text_probe.exe
phase_done "cross-built the Windows programs"

# ------------------------------------------------------------------ X server and Wine prefix
work=$(mktemp -d /tmp/tavlo-wine.XXXXXX)
xvfb_pid= program_pid=
cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
  if [ -d "$work/prefix" ]; then
    WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null || true
    WINEPREFIX=$work/prefix "$wineserver" -w 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and tells us its number once it is ready.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 600); do
  [ -s "$work/display" ] && break
  sleep 0.05
done
[ -s "$work/display" ] || fail "hung: Xvfb did not start in 30 s: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -1 "$work/display")

export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
"$wineserver" -p  # one server for the whole run, so every program starts quickly
"$wine" wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed: $(cat "$work/wineboot.log")"
# Without a window manager, Wine decorates its windows itself (and no
# DestroyWindow waits for one).
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
# Debian's Wine does not find its own fonts: give the prefix a copy.
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null ||
  echo "note: no Wine fonts in /usr/share/wine/fonts (package fonts-wine); text will be missing"
phase_done "started Xvfb on $DISPLAY and created the Wine prefix"

# ------------------------------------------------------------------ screenshot helpers
shot() { import -window root -depth 8 "$1"; }

# The colour of one screen pixel, as six hex digits.
pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6 | tr a-f A-F; }

# The number of pixels of one colour (#RRGGBB) in a screen rectangle x y w h.
count_color() {
  local found
  found=$(convert "$1" -crop "$4x$5+$2+$3" +repage -alpha off -format %c histogram:info:- |
    grep -i " $6 " | sed 's/:.*//' | tr -d ' ')
  echo "${found:-0}"
}

# Waits up to $2 seconds for a window with the exact name $1; prints its id.
wait_for_window() {
  local id deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# Waits up to $2 seconds for process $1 to end; sets exit_code.
wait_for_exit() {
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
  if kill -0 "$1" 2>/dev/null; then return 1; fi
  exit_code=0
  wait "$1" || exit_code=$?
}

# Starts the Windows program $1 in folder $2 (its output in $3) and waits for its
# two windows; sets program_pid and graphics (the graphics window's id).
start_app() {
  local name
  name=$(basename "$1")
  (cd "$2" && exec "$wine" "$1" >"$3" 2>&1) &
  program_pid=$!
  graphics=$(wait_for_window "TAVLO Graphics" 30) ||
    fail "hung: $name: the window \"TAVLO Graphics\" did not appear in 30 s: $(cat "$3")"
  wait_for_window "TAVLO Text" 30 >/dev/null || fail "hung: $name: the window \"TAVLO Text\" did not appear in 30 s"
}

# ------------------------------------------------------------------ 1. smoke test of cubes.exe
smoke_test() {
  [ -f "$cubes_exe" ] || fail "no $cubes_exe"
  (cd "$work" && exec "$wine" "$cubes_exe" >"$work/cubes.log" 2>&1) &
  program_pid=$!

  local graphics text
  graphics=$(wait_for_window "TAVLO Graphics" 30) || fail "hung: the window \"TAVLO Graphics\" did not appear in 30 s"
  text=$(wait_for_window "TAVLO Text" 30) || fail "hung: the window \"TAVLO Text\" did not appear in 30 s"
  phase_done "cubes.exe: both windows appeared"

  # Wine's own decorations with its default metrics: a 3-pixel fixed frame, a
  # 19-pixel caption and a 19-pixel menu bar above the client area; the text
  # window has a 4-pixel sizing frame and a caption.
  local X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$graphics")"
  local client_x=$((X + 3)) client_y=$((Y + 3 + 19 + 19))
  local client_w=$((WIDTH - 6)) client_h=$((HEIGHT - 6 - 19 - 19))
  local center_x=$((client_w / 2)) center_y=$((client_h / 2))
  eval "$(xdotool getwindowgeometry --shell "$text")"
  local text_x=$((X + 4)) text_y=$((Y + 4 + 19)) text_w=$((WIDTH - 8)) text_h=$((HEIGHT - 8 - 19))

  # The canvas's black frame starts at the client area's top-left corner, once
  # the first periodic events have drawn the cubes. (The waits here only detect a
  # hang: 30 s each, however loaded the machine.)
  local framed=0
  for _ in $(seq 60); do
    sleep 0.5
    shot "$work/start.ppm"
    [ "$(pixel "$work/start.ppm" "$client_x" "$client_y")" = 000000 ] &&
      [ "$(pixel "$work/start.ppm" $((client_x + 50)) "$client_y")" = 000000 ] &&
      [ "$(pixel "$work/start.ppm" "$client_x" $((client_y + 50)))" = 000000 ] &&
      { framed=1; break; }
  done
  [ $framed = 1 ] ||
    { convert "$work/start.ppm" "$output/smoke-start.png"
      fail "the canvas frame is not at the expected client origin ($client_x, $client_y), or the program hung"; }
  sleep 0.5

  # The Run menu: a click on its title opens a popup window below the menu bar.
  local windows_before windows_open
  windows_before=$(xdotool search --onlyvisible --classname cubes.exe 2>/dev/null | wc -l)
  xdotool mousemove $((client_x + 13)) $((client_y - 10)) click 1
  for _ in $(seq 150); do
    sleep 0.2
    windows_open=$(xdotool search --onlyvisible --classname cubes.exe 2>/dev/null | wc -l)
    [ "$windows_open" -gt "$windows_before" ] && break
  done
  sleep 0.2
  shot "$work/menu.ppm"
  xdotool key Escape
  sleep 0.2
  xdotool key Escape
  [ "$windows_open" -gt "$windows_before" ] ||
    { convert "$work/menu.ppm" "$output/smoke-menu.png"; fail "hung: the Run menu did not open in 30 s"; }
  phase_done "cubes.exe: the Run menu opened"

  # The "change color" box: canvas x 250..270, y 220..240 (y up from the centre).
  local gray_before black_before gray_after black_after area=$((client_w * client_h))
  sleep 0.3
  shot "$work/before-color.ppm"
  gray_before=$(count_color "$work/before-color.ppm" "$client_x" "$client_y" "$client_w" "$client_h" "#CCCCCC")
  black_before=$(count_color "$work/before-color.ppm" "$client_x" "$client_y" "$client_w" "$client_h" "#000000")
  xdotool mousemove $((client_x + center_x + 260)) $((client_y + center_y - 230)) click 1
  for _ in $(seq 60); do  # a loaded machine may take a while to show it
    sleep 0.5
    shot "$work/after-color.ppm"
    gray_after=$(count_color "$work/after-color.ppm" "$client_x" "$client_y" "$client_w" "$client_h" "#CCCCCC")
    black_after=$(count_color "$work/after-color.ppm" "$client_x" "$client_y" "$client_w" "$client_h" "#000000")
    [ "$gray_after" -lt $((gray_before - 1000)) ] && [ "$black_after" -gt $((black_before + 1000)) ] && break
  done
  echo "cubes.exe: 20% gray pixels $gray_before -> $gray_after, black $black_before -> $black_after (client $client_w x $client_h = $area)"
  [ "$gray_after" -lt $((gray_before - 1000)) ] && [ "$black_after" -gt $((black_before + 1000)) ] ||
    { convert "$work/before-color.ppm" "$output/smoke-before-color.png"
      convert "$work/after-color.ppm" "$output/smoke-after-color.png"
      fail "hung: the cubes did not turn black in 30 s"; }
  phase_done "cubes.exe: \"change color\" turned the cubes black"

  # Ctrl+L switches the call log on: log lines appear in the text window.
  local white_before white_after text_area=$((text_w * text_h))
  white_before=$(count_color "$work/after-color.ppm" "$text_x" "$text_y" "$text_w" "$text_h" "#FFFFFF")
  xdotool key ctrl+l
  for _ in $(seq 60); do
    sleep 0.5
    shot "$work/logging.ppm"
    white_after=$(count_color "$work/logging.ppm" "$text_x" "$text_y" "$text_w" "$text_h" "#FFFFFF")
    [ $((text_area - white_after)) -gt $((text_area - white_before + 500)) ] && break
  done
  echo "cubes.exe: text window non-white pixels $((text_area - white_before)) -> $((text_area - white_after))"
  [ $((text_area - white_after)) -gt $((text_area - white_before + 500)) ] ||
    { convert "$work/logging.ppm" "$output/smoke-logging.png"; fail "hung: Ctrl+L showed no log lines in 30 s"; }
  phase_done "cubes.exe: Ctrl+L showed log lines"
  convert "$work/logging.ppm" -crop 601x900+0+0 "$output/smoke-cubes.png"

  xdotool key ctrl+q
  wait_for_exit "$program_pid" 30 || fail "hung: cubes.exe did not end in 30 s after Ctrl+Q"
  program_pid=
  [ "$exit_code" -eq 0 ] || fail "cubes.exe ended with exit code $exit_code"
  phase_done "cubes.exe: Ctrl+Q ended it with exit code 0"
}

# ------------------------------------------------------------------ 2. pixel fidelity
fidelity_test() {
  [ -x "$native_fidelity" ] && [ -x "$compare" ] || fail "native fidelity programs missing"
  "$native_fidelity" "$output/fidelity-ours.ppm" || fail "native fidelity_draw failed"
  (cd "$work" && "$wine" "$fidelity_exe" fidelity-wine.ppm) >"$work/fidelity.log" 2>&1 ||
    fail "fidelity_draw.exe failed: $(cat "$work/fidelity.log")"
  cp "$work/fidelity-wine.ppm" "$output/fidelity-wine.ppm"
  convert "$output/fidelity-ours.ppm" "$output/fidelity-ours.png"
  convert "$output/fidelity-wine.ppm" "$output/fidelity-wine.png"
  local status=0
  "$compare" "$output/fidelity-ours.ppm" "$output/fidelity-wine.ppm" \
    "$output/fidelity-ours.ppm.cases" >"$output/fidelity-report.txt" || status=$?
  cat "$output/fidelity-report.txt"
  phase_done "fidelity: drew natively and under Wine, compared"
  [ $status -le 1 ] || fail "fidelity_compare could not compare the pictures"
  local differing
  differing=$(sed -n 's/^differing outside informational cases \([0-9]*\)$/\1/p' "$output/fidelity-report.txt")
  [ "${differing:-1}" -le "${TAVLO_FIDELITY_MAX_DIFFERING:-0}" ] ||
    fail "$differing pixels differ from Wine's GDI (see $output/fidelity-report.txt)"
}

# ------------------------------------------------------------------ 3. the opt-in input kinds
input_test() {
  [ -f "$probe_exe" ] || fail "no $probe_exe"
  [ -x "$native_probe" ] || fail "the native input_probe is missing"
  mkdir -p "$work/probe" "$work/replay"
  start_app "$probe_exe" "$work/probe" "$work/probe.log"
  local X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$graphics")"
  local cx=$((X + 3)) cy=$((Y + 3 + 19 + 19))
  sleep 0.5
  # Record everything that follows: a drag (left button down, two moves, up), a
  # right click, Left, Shift+Home and the letter a; then stop recording.
  xdotool key ctrl+r
  sleep 0.3
  xdotool mousemove $((cx + 200)) $((cy + 200)) sleep 0.2 mousedown 1 sleep 0.2 \
    mousemove $((cx + 230)) $((cy + 210)) sleep 0.2 mousemove $((cx + 250)) $((cy + 220)) sleep 0.2 \
    mouseup 1 sleep 0.2 mousemove $((cx + 300)) $((cy + 150)) sleep 0.2 click 3 sleep 0.2 \
    key Left sleep 0.2 key shift+Home sleep 0.2 key a sleep 0.3 key ctrl+r sleep 0.5 key ctrl+q
  wait_for_exit "$program_pid" 30 || fail "hung: input_probe.exe did not end in 30 s after Ctrl+Q"
  program_pid=
  [ "$exit_code" -eq 0 ] || fail "input_probe.exe ended with exit code $exit_code: $(cat "$work/probe.log")"
  cp "$work/probe/events.txt" "$output/input-live.txt"
  cp "$work/probe/TAVLO.SCR" "$output/input-recorded.scr" 2>/dev/null || fail "input_probe.exe recorded no TAVLO.SCR"
  tr -d '\r' <"$work/probe/events.txt" >"$work/live.txt"
  phase_done "input_probe.exe: driven with a drag, a right click and keys"

  # Each kind arrived: "kind x y key" (kinds: 2 Key, 5 MouseUp, 6 MouseMove,
  # 7 RightMouse, 8 SpecialKey, 9 KeyUp; 37 VK_LEFT, 36 VK_HOME, x 1 Shift).
  local expect
  for expect in '^6 .* 1$:a move with the left button held' '^5 .* 1$:the left button released' \
                '^7 :the right button pressed' '^5 .* 2$:the right button released' \
                '^8 0 37 37$:Left' '^8 1 36 36$:Shift+Home' '^2 .* 97$:the character a' \
                '^9 [0-9]* 65 65$:the key A released'; do
    grep -q "${expect%%:*}" "$work/live.txt" ||
      fail "input_probe.exe did not get ${expect#*:} (events in $output/input-live.txt)"
  done
  # The drag's release lies 50 pixels right of and 20 below its press.
  local press release
  press=$(grep -m1 '^1 ' "$work/live.txt" | cut -d' ' -f2,3)
  release=$(grep -m1 '^5 .* 1$' "$work/live.txt" | cut -d' ' -f2,3)
  [ "$(( ${release% *} - ${press% *} )) $(( ${release#* } - ${press#* } ))" = "50 -20" ] ||
    fail "the drag went from ($press) to ($release), not 50 right and 20 down"
  for line in TAVLO_UP TAVLO_DRAG TAVLO_RIGHT TAVLO_VKEY TAVLO_LIFT; do
    grep -q "^$line(" "$work/probe/TAVLO.SCR" || fail "the recording has no $line line"
  done

  # The native replay of that recording gives the same events, in order: the
  # live list holds them all (and more: what came before and after recording).
  cp "$work/probe/TAVLO.SCR" "$work/replay/TAVLO.SCR"
  printf '1 ctrl P\n' >"$work/replay/plan.txt"
  (cd "$work/replay" && "$native_probe" --headless --input plan.txt) >"$work/replay.log" 2>&1 ||
    fail "the native replay failed: $(cat "$work/replay.log")"
  cp "$work/replay/events.txt" "$output/input-replayed.txt"
  local replayed
  replayed=$(wc -l <"$work/replay/events.txt")
  [ "$replayed" -ge 8 ] || fail "the native replay gave $replayed events (see $output/input-replayed.txt)"
  awk 'NR == FNR { want[++n] = $0; next } at < n && $0 == want[at + 1] { ++at } END { exit at == n ? 0 : 1 }' \
    "$work/replay/events.txt" "$work/live.txt" ||
    fail "the native replay's events are not the live ones in order (see $output/input-live.txt, $output/input-replayed.txt)"
  phase_done "input_probe: $replayed events recorded under Wine replayed natively the same"
}

# ------------------------------------------------------------------ 4. text
text_test() {
  [ -f "$text_probe_exe" ] || fail "no $text_probe_exe"
  local status=0
  (cd "$work" && exec timeout 60 "$wine" "$text_probe_exe") >"$output/text-probe.txt" \
    2>"$work/text-probe.err" || status=$?
  tr -d '\r' <"$output/text-probe.txt"
  [ $status -ne 124 ] || fail "hung: text_probe.exe still ran after 60 s"
  [ $status -eq 0 ] ||
    fail "text_probe.exe: the package's text is not what TextOutW draws (exit code $status)"
  phase_done "text_probe.exe: the package's text drawn as Wine's TextOutW draws its characters"
}

# ------------------------------------------------------------------ an application
app_test() {
  [ -f "$app" ] || fail "no application $app"
  local name graphics
  name=$(basename "$app")
  start_app "$app" "$work" "$work/app.log"
  phase_done "$name: both windows appeared"
  sleep 0.5
  xdotool key ctrl+q
  wait_for_exit "$program_pid" 30 || fail "hung: $name did not end in 30 s after Ctrl+Q"
  program_pid=
  [ "$exit_code" -eq 0 ] || fail "$name ended with exit code $exit_code"
  phase_done "$name: Ctrl+Q ended it with exit code 0"
}

case $only in
  app) app_test ;;
  smoke) smoke_test ;;
  fidelity) fidelity_test ;;
  input) input_test ;;
  text) text_test ;;
  *) smoke_test; fidelity_test; input_test; text_test ;;
esac
echo "Windows tests under Wine passed in $((($(date +%s%N) - started) / 1000000)) ms"
