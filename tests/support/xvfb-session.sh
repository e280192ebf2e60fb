# Sourced by the end-to-end scripts that drive a real window of one of the
# programs on Xvfb with xdotool, against the device simulator. It provides
# the work directory, the X server, the simulator in a private port map,
# waiting without fixed sleeps, finding the program's windows and typing
# into them, and the clean-up of everything it started.
#
# The script sets `app_pid` and `app_output` when it starts the program, and
# `app_class` (the program's binary name) before it looks for windows.

readonly SKIPPED=77 # ctest's SKIP_RETURN_CODE for these tests
app_pid="" app_output="" app_class=""
xvfb_pid="" sim_pid=""

# require_tools TOOL...: the test is skipped when one of them is missing.
require_tools() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed (apt-get install xvfb xauth xdotool imagemagick)"
            exit $SKIPPED
        fi
    done
}

# session_begin NAME: a work directory; everything started below is stopped
# and the directory removed when the script ends.
session_begin() {
    work=$(mktemp -d "/tmp/zorvik-$1-smoke-XXXXXX")
    trap session_end EXIT
}

session_end() {
    local pid
    for pid in $app_pid $sim_pid $xvfb_pid ${extra_pids:-}; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}

fail() {
    echo "FAIL: $*" >&2
    echo "--- simulator log (tail)" >&2
    tail -n 20 "$work/sim.log" >&2 || true
    echo "--- program output" >&2
    cat "$app_output" >&2 || true
    exit 1
}

# wait_for SECONDS COMMAND...: runs the check every 100 ms until it holds or
# the seconds are up.
wait_for() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# start_xvfb GEOMETRY: an X server on a free display (Xvfb picks it and
# writes its number); sets DISPLAY.
start_xvfb() {
    mkfifo "$work/display"
    Xvfb -displayfd 5 -screen 0 "$1" -nolisten tcp -noreset 5>"$work/display" \
        2>"$work/xvfb.err" &
    xvfb_pid=$!
    local display
    read -r -t 20 display <"$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.err")"
    export DISPLAY=":$display"
}

# start_simulator SIMULATOR PORT [ARGUMENT...]: the simulated adapter under
# the name PORT in a private port map (sets XDG_RUNTIME_DIR), logging to
# $work/sim.log.
start_simulator() {
    local simulator=$1 port=$2
    shift 2
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    coproc SIM { exec "$simulator" --name "$port" --log "$work/sim.log" "$@"; }
    sim_pid=$SIM_PID
    local announced
    read -r -t 20 announced <&"${SIM[0]}" || fail "the simulator did not start"
    [ "$announced" = "$port" ] || fail "simulator announced '$announced'"
}

# LSAN_OPTIONS for a program under xcb: libdbus leaves one allocation that
# LeakSanitizer reports (a false leak).
xcb_lsan_options() {
    printf 'leak:libdbus-1.so\n' >"$work/lsan.supp"
    echo "suppressions=$work/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
}

visible_windows() { xdotool search --onlyvisible --class "^$app_class\$" 2>/dev/null | sort; }
# A visible window of the program that is not among the given ones.
new_window() { comm -13 <(printf '%s\n' "$@" | sort) <(visible_windows) | head -n 1; }
has_new_window() { [ -n "$(new_window "$@")" ]; }
is_gone() { ! visible_windows | grep -qx "$1"; }
log_count() { grep -c "$1" "$work/sim.log" 2>/dev/null || true; }

# press WINDOW KEY...: keys into a window (without a window manager the
# focus must be set first).
press() {
    local window=$1
    shift
    xdotool windowfocus --sync "$window" key --delay 50 "$@"
}
