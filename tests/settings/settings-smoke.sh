#!/usr/bin/env bash
# The real settings window on a real X server (Xvfb), driven like a user with
# xdotool, against the device simulator:
#   the port typed into the port list (which connects and fills both pages),
#   the second tab page, the about box from the About menu and its OK
#   button, and File > Close ending the program.
# Connecting to a device with the factory set-up must write nothing to it.
#
#   settings-smoke.sh SETTINGS SIMULATOR [SCREENSHOT_DIR]
#
# With SCREENSHOT_DIR it writes settings-setup.png and settings-parameters.png
# (the two tab pages of the connected window) there. Exits 77 (skipped) when
# Xvfb or xdotool is missing.
set -euo pipefail

readonly SKIPPED=77
for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (apt-get install xvfb xauth xdotool imagemagick)"
        exit $SKIPPED
    fi
done
if [ -n "${3:-}" ] && ! command -v import >/dev/null; then
    echo "SKIP: import (imagemagick) is needed for screenshots"
    exit $SKIPPED
fi

settings=$(realpath "$1")
simulator=$(realpath "$2")
screenshots=${3:+$(realpath "$3")}

work=$(mktemp -d /tmp/zorvik-settings-smoke-XXXXXX)
xvfb_pid="" sim_pid="" settings_pid=""
cleanup() {
    for pid in $settings_pid $sim_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    echo "--- simulator log (tail)" >&2
    tail -n 20 "$work/sim.log" >&2 || true
    echo "--- settings program output" >&2
    cat "$work/settings.out" >&2 || true
    exit 1
}

# Runs a check every 100 ms until it holds or the seconds are up.
wait_for() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# --- X server on a free display, large enough for the whole window.
mkfifo "$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset 5>"$work/display" \
    2>"$work/xvfb.err" &
xvfb_pid=$!
read -r -t 20 display <"$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.err")"
export DISPLAY=":$display"

# --- The simulated adapter as COM3 in a private port map, beside a COM1
# with nothing behind it, as on a typical PC.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
port="COM3"
coproc SIM { exec "$simulator" --name "$port" --log "$work/sim.log"; }
sim_pid=$SIM_PID
read -r -t 20 announced <&"${SIM[0]}" || fail "the simulator did not start"
[ "$announced" = "$port" ] || fail "simulator announced '$announced'"
ln -s /dev/null "$XDG_RUNTIME_DIR/serialcomm/COM1"

# --- The program. Under xcb, libdbus leaves one allocation that
# LeakSanitizer reports (a false leak).
printf 'leak:libdbus-1.so\n' >"$work/lsan.supp"
LSAN_OPTIONS="suppressions=$work/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
    QT_QPA_PLATFORM=xcb "$settings" >"$work/settings.out" 2>&1 &
settings_pid=$!

visible_windows() { xdotool search --onlyvisible --class '^ZORVIKMicroSettings$' 2>/dev/null | sort; }
# A visible window of the program that is not among the given ones.
new_window() { comm -13 <(printf '%s\n' "$@" | sort) <(visible_windows) | head -n 1; }
has_new_window() { [ -n "$(new_window "$@")" ]; }
is_gone() { ! visible_windows | grep -qx "$1"; }
log_count() { grep -c "$1" "$work/sim.log" 2>/dev/null || true; }

# Presses keys in a window (without a window manager focus must be set).
press() {
    local window=$1
    shift
    xdotool windowfocus --sync "$window" key --delay 50 "$@"
}

# The pages are filled once a keep-alive follows the last value read.
pages_filled() {
    awk '/^request .* cmd=3 / { read = NR } /^request .* cmd=11 / { alive = NR }
         END { exit !(read && alive > read) }' "$work/sim.log" 2>/dev/null
}

wait_for 20 has_new_window || fail "the main window did not appear"
main=$(new_window)
echo "main window $main on $DISPLAY"

# COM1 comes first in the list and nothing is connected. Tab reaches the
# port list; typing the name picks the port, which connects.
press "$main" Tab
xdotool windowfocus --sync "$main" type --delay 30 "$port"
wait_for 15 pages_filled || fail "picking the port did not fill the pages"
if [ -n "$screenshots" ]; then
    sleep 0.5 # let everything paint
    import -window "$main" "$screenshots/settings-setup.png"
fi

# From the port list Tab passes the (disabled) Connect button to Disconnect,
# the next one reaches the tab bar.
press "$main" Tab Tab Right
if [ -n "$screenshots" ]; then
    sleep 0.5
    import -window "$main" "$screenshots/settings-parameters.png"
fi

# The about box: About > first item; OK closes it.
press "$main" alt+a Return
wait_for 10 has_new_window "$main" || fail "no about box"
about=$(new_window "$main")
[ "$(xdotool getwindowname "$about")" = "About ZORVIK Micro Settings" ] \
    || fail "unexpected window '$(xdotool getwindowname "$about")'"
press "$about" Return
wait_for 10 is_gone "$about" || fail "the about box did not close"

[ "$(log_count '^request .* cmd=4 ')" -eq 0 ] || fail "connecting wrote to the device"

# File > Close ends the program.
press "$main" alt+f c
wait_for 10 bash -c "! kill -0 $settings_pid 2>/dev/null" || fail "the program did not end"
status=0
wait "$settings_pid" || status=$?
settings_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "PASS: connected by picking the port, both pages shown, about box opened and closed, closed"
