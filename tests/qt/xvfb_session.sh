# Shared by the Xvfb scripts: a private X server and helpers to drive the real
# program in it. Source it; it defines:
#   skip MESSAGE            exit 77 (CTest's "skipped") with the reason
#   need_tools TOOL...      skip unless every tool is installed
#   start_xvfb              start Xvfb 1024x768x24 on a free display, export DISPLAY
#   wait_window TITLE       print the X window id of the window with that title
#                           (fails after 30 s: it hung)
#   wait_exit PID SECONDS   wait for the process to end; sets exit_status to its
#                           exit code, or to "running" if it did not end in time
# The time limits only detect a hang; none is a verdict on the machine's speed.
#                           (not in a subshell: only this shell can reap it)
#   client_top WINDOW       the first row of the client area below the menu bar
#                           (the canvas frame's black top row)
# Everything started is killed when the shell exits.

work=$(mktemp -d)
xvfb_pid=""
started_pids=()

cleanup_session() {
    for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup_session EXIT

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

need_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (scripts/setup.sh installs it)"
    done
}

# Starts a private X server and waits until it answers a client. -noreset: by
# default the server resets when its last client leaves, and refuses connections
# while it does, so the probe's own disconnect could turn away the next client.
# A server that never answers (a display number still half taken by a dead
# server, a slow start on a loaded machine) is replaced, up to three times.
start_xvfb() {
    local attempt
    for attempt in 1 2 3; do
        rm -f "$work/display"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
        xvfb_pid=$!
        for _ in $(seq 300); do
            [ -s "$work/display" ] && break
            sleep 0.1
        done
        if [ -s "$work/display" ]; then
            export DISPLAY=":$(cat "$work/display")"
            for _ in $(seq 300); do
                xdpyinfo >/dev/null 2>&1 && return 0
                sleep 0.1
            done
        fi
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
    done
    fail "Xvfb did not start: $(cat "$work/xvfb.log")"
}

wait_window() {
    local id
    for _ in $(seq 300); do
        id=$(xdotool search --name "^$1\$" 2>/dev/null | head -1)
        if [ -n "$id" ]; then echo "$id"; return 0; fi
        sleep 0.1
    done
    return 1
}

wait_exit() {
    local pid=$1 tenths=$(($2 * 10))
    exit_status=running
    for _ in $(seq "$tenths"); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            exit_status=$?
            return
        fi
        sleep 0.1
    done
}

client_top() {
    import -window "$1" "$work/top.png"
    convert "$work/top.png" -crop 1x120+300+0 +repage txt:- |
        awk -F'[,:]' '/#000000/ { print $2; exit }'
}
