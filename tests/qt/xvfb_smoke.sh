#!/usr/bin/env bash
# Smoke test of the real program in real windows: the cubes demo under Xvfb,
# driven with xdotool. Checks that
#   - without a usable display the program says so in one line naming --headless
#     and fails;
#   - both windows open where they belong, with a menu bar above the client area;
#   - the graphics window's client area equals, pixel for pixel, the picture of
#     the headless run with the same client size and seed (at the same animation
#     step: the letter turns every step, so the headless runs are searched for it);
#   - a click on "spin X" starts the cubes turning;
#   - Ctrl+Q ends the program with exit code 0, and so does a real close request
#     (WM_DELETE_WINDOW, as a window manager's close button sends);
#   - when openbox is installed: under that window manager the outer size with the
#     frame stays 601 x 540, and Alt+F4 ends the program with exit code 0.
# Usage: xvfb_smoke.sh PATH/TO/cubes     (exit 77: skipped, tools missing)
set -uo pipefail
cubes=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/xvfb_session.sh"
need_tools Xvfb xdotool xdpyinfo import convert compare python3
seed=1000

# Canvas point (x, y up from the centre) to client coordinates of a w x h client.
client_x() { echo $(($2 / 2 + $1)); }
client_y() { echo $(($3 / 2 - $1)); }

start_cubes() {
    (cd "$work" && exec "$cubes" --seed $seed >"$work/cubes.log" 2>&1) &
    cubes_pid=$!
    started_pids+=("$cubes_pid")
    graphics=$(wait_window "TAVLO Graphics") || fail "hung: no graphics window: $(cat "$work/cubes.log")"
    text=$(wait_window "TAVLO Text") || fail "hung: no text window"
    sleep 0.5
    xdotool windowfocus --sync "$graphics"
}

# Shot of the graphics window's client area.
client_shot() {
    import -window "$graphics" "$work/window.png"
    convert "$work/window.png" -crop "601x${client_h}+0+${top}" +repage "$1"
}

differs() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" != 0 ]; }

# Shots of the cube area into $1 until one differs from the shot $2 (the cubes
# turned); fails after 30 s: the program hung.
await_cube_change() {
    for _ in $(seq 150); do
        client_shot "$work/later.png"
        convert "$work/later.png" -crop $cube_area +repage "$1"
        differs "$2" "$1" && return 0
        sleep 0.2
    done
    return 1
}

# Shots into $1 until two in a row, half a second apart, are equal (the
# animation halted); fails after 30 s: the program hung.
await_still_picture() {
    client_shot "$1"
    for _ in $(seq 60); do
        sleep 0.5
        client_shot "$work/still.png"
        differs "$1" "$work/still.png" || return 0
        cp "$work/still.png" "$1"
    done
    return 1
}

echo "== no display"
message=$(DISPLAY=:4711 WAYLAND_DISPLAY= QT_QPA_PLATFORM= "$cubes" 2>&1)
status=$?
[ $status -ne 0 ] || fail "ran without a display"
[ "$(echo "$message" | wc -l)" -eq 1 ] || fail "more than one line: $message"
echo "$message" | grep -q -- --headless || fail "does not name --headless: $message"
echo "ok: $message (exit $status)"

start_xvfb
echo "== windows on $DISPLAY"
start_cubes
eval "$(xdotool getwindowgeometry --shell "$graphics")"
[ "$X,$Y,$WIDTH,$HEIGHT" = "0,0,601,540" ] || fail "graphics window at $X,$Y size ${WIDTH}x$HEIGHT"
eval "$(xdotool getwindowgeometry --shell "$text")"
# The text window: below the graphics window, a third of the 768-pixel screen high.
[ "$X,$Y,$WIDTH,$HEIGHT" = "0,550,601,256" ] || fail "text window at $X,$Y size ${WIDTH}x$HEIGHT"
top=$(client_top "$graphics")
[ -n "$top" ] && [ "$top" -gt 10 ] && [ "$top" -lt 60 ] || fail "no menu bar above the client area (top '$top')"
client_h=$((540 - top))
echo "ok: graphics 601x540 at 0,0 with a ${top}-pixel menu bar; text 601x256 at 0,550"

echo "== the same picture as the headless run"
xdotool key ctrl+h
await_still_picture "$work/real.png" || fail "hung: the animation did not halt within 30 s"
# The animation steps 20 times a second, so however slowly the machine got here,
# up to 15 s of steps are looked through.
match=""
for frames in $(seq 1 300); do
    "$cubes" --headless --seed $seed --client "601x$client_h" --frames "$frames" \
        --save "$work/headless.png" >/dev/null 2>&1 || fail "headless run failed"
    if ! differs "$work/real.png" "$work/headless.png"; then match=$frames; break; fi
done
[ -n "$match" ] || fail "no headless frame equals the window's client area"
echo "ok: client area 601x$client_h equals the headless picture after $match frames"

echo "== spin X"
xdotool key ctrl+a
x=$(client_x 260 601 "$client_h")
y=$(client_y 170 601 "$client_h")
cube_area="300x260+150+130"
client_shot "$work/a.png"; sleep 0.5; client_shot "$work/b.png"
convert "$work/a.png" -crop $cube_area +repage "$work/a_cubes.png"
convert "$work/b.png" -crop $cube_area +repage "$work/b_cubes.png"
differs "$work/a_cubes.png" "$work/b_cubes.png" && fail "cubes turn before spin X"
xdotool mousemove --window "$graphics" "$x" $((y + top)) click 1
await_cube_change "$work/c_cubes.png" "$work/b_cubes.png" ||
    fail "hung: the cubes did not turn within 30 s of the click on spin X"
echo "ok: the cubes turn after a click at client ($x, $y)"

echo "== Ctrl+Q"
xdotool key ctrl+q
wait_exit "$cubes_pid" 30
[ "$exit_status" != running ] || fail "hung: still running 30 s after Ctrl+Q"
[ "$exit_status" = 0 ] || fail "Ctrl+Q: exit status $exit_status"
echo "ok: exit 0"

echo "== close request"
start_cubes
python3 "$here/x11_close_request.py" "$graphics"
wait_exit "$cubes_pid" 30
[ "$exit_status" != running ] || fail "hung: still running 30 s after the close request"
[ "$exit_status" = 0 ] || fail "close request: exit status $exit_status; $(cat "$work/cubes.log")"
echo "ok: exit 0"
echo "== under a window manager"
if command -v openbox >/dev/null 2>&1 && command -v xprop >/dev/null 2>&1; then
    openbox >"$work/openbox.log" 2>&1 &
    started_pids+=($!)
    sleep 1
    start_cubes
    read -r left right top_frame bottom <<<"$(xprop -id "$graphics" _NET_FRAME_EXTENTS |
        sed 's/.*= //; s/,/ /g')"
    eval "$(xdotool getwindowgeometry --shell "$graphics")"
    outer="$((WIDTH + left + right))x$((HEIGHT + top_frame + bottom))"
    [ "$outer" = 601x540 ] || fail "outer size with the frame is $outer"
    xdotool windowactivate --sync "$graphics"
    xdotool key alt+F4
    wait_exit "$cubes_pid" 30
    [ "$exit_status" != running ] || fail "hung: still running 30 s after Alt+F4"
    [ "$exit_status" = 0 ] || fail "Alt+F4: exit status $exit_status"
    echo "ok: outer 601x540 with a ${left},${right},${top_frame},${bottom} frame; Alt+F4 ends it with exit 0"
else
    echo "skipped: openbox (or xprop) is not installed"
fi
echo "PASS"
