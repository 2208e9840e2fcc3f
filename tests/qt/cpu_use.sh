#!/usr/bin/env bash
# Measures the real program's CPU use under Xvfb (not a test: timings vary with
# the machine). Prints the share of one core used over 10 s while the cubes spin
# and while animation is halted, from utime + stime in /proc/PID/stat.
# Usage: cpu_use.sh PATH/TO/cubes [SECONDS]
set -uo pipefail
cubes=$(realpath "$1")
seconds=${2:-10}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/xvfb_session.sh"
need_tools Xvfb xdotool import convert

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# Share of one core, in percent, used by PID over the next $seconds seconds.
measure() {
    local before after hz
    hz=$(getconf CLK_TCK)
    before=$(cpu_ticks "$1")
    sleep "$seconds"
    after=$(cpu_ticks "$1")
    awk -v t=$((after - before)) -v s="$seconds" -v hz="$hz" 'BEGIN { printf "%.2f%%", 100 * t / (s * hz) }'
}

start_xvfb
(cd "$work" && exec "$cubes" --seed 1000 >"$work/cubes.log" 2>&1) &
pid=$!
started_pids+=("$pid")
graphics=$(wait_window "TAVLO Graphics") || fail "no graphics window"
sleep 1
xdotool windowfocus --sync "$graphics"
top=$(client_top "$graphics")
client_h=$((540 - top))
# Spin X and Y: the cubes turn at every animation step.
xdotool mousemove --window "$graphics" 560 $((client_h / 2 - 170 + top)) click 1
xdotool mousemove --window "$graphics" 560 $((client_h / 2 - 140 + top)) click 1
sleep 1
echo "animating (cubes spinning): $(measure "$pid") of one core over $seconds s"
xdotool key ctrl+h
sleep 1
echo "halted:                      $(measure "$pid") of one core over $seconds s"
xdotool key ctrl+q
